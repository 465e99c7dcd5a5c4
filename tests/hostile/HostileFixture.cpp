#include "tests/hostile/HostileFixture.h"
#include "tests/support/Eventually.h"

#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <sstream>
#include <vector>

namespace mq::test {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::size_t entriesIn(const std::string& directory)
{
    std::size_t count = 0;
    if (DIR* dir = ::opendir(directory.c_str())) {
        while (const dirent* entry = ::readdir(dir))
            if (entry->d_name[0] != '.')
                ++count;
        ::closedir(dir);
    }
    return count;
}

#if defined(__SANITIZE_ADDRESS__)
/// AddressSanitizer's allocator maps anonymous regions as it goes (shadow,
/// quarantine, size classes), so under it only file mappings (shared blocks,
/// libraries) are counted.
constexpr bool kSanitizerOwnsAnonymousMappings = true;
#else
constexpr bool kSanitizerOwnsAnonymousMappings = false;
#endif

/// The mappings in /proc/<pid>/maps text, leaving out thread stacks and
/// allocator arenas: the C library keeps both for reuse after a thread ends, so
/// their number depends on how many threads once ran at the same time. Both are
/// an anonymous region beside an anonymous inaccessible one (a stack's guard
/// page, an arena's reserve). Every file mapping, and every other anonymous one
/// (such as the private page put over a faulted shared block), counts.
std::size_t lastingMappings(const std::string& mapsText)
{
    struct Region {
        unsigned long start;
        unsigned long end;
        std::string permissions;
        bool anonymous;
    };
    std::vector<Region> regions;
    std::istringstream lines(mapsText);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string range, permissions, offset, device, inode, path;
        fields >> range >> permissions >> offset >> device >> inode >> path;
        auto dash = range.find('-');
        if (dash == std::string::npos)
            continue;
        regions.push_back({ std::stoul(range.substr(0, dash), nullptr, 16), std::stoul(range.substr(dash + 1), nullptr, 16), permissions,
            path.empty() });
    }
    auto isReserve = [&](std::size_t i) { return regions[i].anonymous && regions[i].permissions == "---p"; };
    std::size_t count = 0;
    for (std::size_t i = 0; i < regions.size(); ++i) {
        if (regions[i].anonymous && kSanitizerOwnsAnonymousMappings)
            continue;
        if (regions[i].anonymous) {
            if (isReserve(i))
                continue;
            bool besideReserve = (i > 0 && isReserve(i - 1) && regions[i - 1].end == regions[i].start)
                || (i + 1 < regions.size() && isReserve(i + 1) && regions[i].end == regions[i + 1].start);
            if (besideReserve)
                continue;
        }
        ++count;
    }
    return count;
}

std::size_t statusKilobytes(const std::string& file, const std::string& key)
{
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(key + ":", 0) == 0) {
            std::istringstream fields(line.substr(key.size() + 1));
            std::size_t value = 0;
            fields >> value;
            return value;
        }
    }
    return 0;
}

} // namespace

std::size_t residentKilobytesOf(pid_t pid)
{
    return statusKilobytes("/proc/" + std::to_string(pid) + "/status", "VmRSS");
}

HelperResources resourcesOf(pid_t pid)
{
    std::string proc = "/proc/" + std::to_string(pid);
    std::ifstream maps(proc + "/maps");
    std::string mapsText((std::istreambuf_iterator<char>(maps)), std::istreambuf_iterator<char>());
    return { entriesIn(proc + "/fd"), lastingMappings(mapsText), entriesIn(proc + "/task"), statusKilobytes(proc + "/status", "VmHWM"),
        std::move(mapsText) };
}

Bystander::Bystander(HelperHarness& harness)
    : m_connection(harness.connect())
{
    m_thread = std::thread([this] {
        while (m_running.load()) {
            auto started = Clock::now();
            auto reply = m_connection->evaluateControlBarStateWithFrameRate({ 25.0, false }, 10s);
            auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count();
            if (!reply.hasValue())
                ++m_failures;
            else
                ++m_replies;
            if (took > m_worstMilliseconds.load())
                m_worstMilliseconds.store(took);
            {
                std::lock_guard lock(m_latenciesMutex);
                m_latencies.push_back(took);
            }
            std::this_thread::sleep_for(20ms);
        }
    });
}

Bystander::~Bystander()
{
    stop();
}

std::chrono::milliseconds Bystander::stop()
{
    m_running.store(false);
    if (m_thread.joinable())
        m_thread.join();
    return std::chrono::milliseconds(m_worstMilliseconds.load());
}

std::chrono::milliseconds Bystander::p99() const
{
    std::lock_guard lock(m_latenciesMutex);
    if (m_latencies.empty())
        return std::chrono::milliseconds(0);
    std::vector<long long> sorted = m_latencies;
    std::sort(sorted.begin(), sorted.end());
    std::size_t index = (sorted.size() * 99 + 99) / 100 - 1;
    return std::chrono::milliseconds(sorted[std::min(index, sorted.size() - 1)]);
}

HostileTest::HostileTest(std::optional<std::string> scenario)
    : harness(HelperHarness::Desktop::logicSim, std::move(scenario))
    , connection(harness.connect())
{
}

void HostileTest::takeBaseline(bool withBystander)
{
    // The bystander's connection is part of the baseline while it runs.
    if (withBystander) {
        bystander = std::make_unique<Bystander>(harness);
        test::eventually([&] { return bystander->replies() > 0; }, 5s);
    }
    m_baseline = resourcesOf(harness.helper().pid());
}

void HostileTest::expectRecovered()
{
    ASSERT_TRUE(helperAlive()) << "the helper ended";
    std::chrono::milliseconds worst = bystander ? bystander->stop() : 0ms;
    if (bystander) {
        EXPECT_EQ(bystander->failures(), 0u) << "the bystander was refused or timed out";
        EXPECT_GT(bystander->replies(), 0u);
    }

    // A newcomer is served at once.
    auto newcomer = harness.connect();
    auto started = Clock::now();
    auto reply = newcomer->evaluateControlBarStateWithFrameRate({ 25.0, false }, 10s);
    auto newcomerLatency = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
    ASSERT_TRUE(reply.hasValue()) << "a new client is not served";
    newcomer.reset();

    // The bystander's connection was in the baseline and is still open; the
    // newcomer's is closed again.
    HelperResources now;
    // The global pool lets an idle thread retire, so the helper may end with fewer
    // threads than it had; more would be a leak.
    test::eventually([&] {
        now = resourcesOf(harness.helper().pid());
        return now.descriptors == m_baseline.descriptors && now.mappings == m_baseline.mappings && now.threads <= m_baseline.threads;
    }, 5s, 20ms);
    EXPECT_EQ(now.descriptors, m_baseline.descriptors) << "descriptors";
    EXPECT_EQ(now.mappings, m_baseline.mappings) << "mappings; before:\n" << m_baseline.mapsText << "after:\n" << now.mapsText;
    EXPECT_LE(now.threads, m_baseline.threads) << "threads";

    std::cout << "[hostile] " << ::testing::UnitTest::GetInstance()->current_test_info()->name() << ": helper peak RSS "
              << now.peakResidentKilobytes << " kB, bystander worst reply " << std::max(worst, newcomerLatency).count() << " ms"
              << std::endl;
    RecordProperty("helperPeakRSSKilobytes", static_cast<int>(now.peakResidentKilobytes));
    RecordProperty("bystanderWorstReplyMilliseconds", static_cast<int>(std::max(worst, newcomerLatency).count()));
}

} // namespace mq::test
