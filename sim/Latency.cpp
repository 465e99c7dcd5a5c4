#include "sim/Latency.h"

#include "sim/Commands.h"
#include "sim/World.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace mq::sim {

namespace {

Latency::Range rangeFrom(const nlohmann::json& settings, const char* name, Latency::Range fallback)
{
    auto it = settings.find(name);
    if (it == settings.end())
        return fallback;
    auto bad = [&] { return std::runtime_error(std::string("latency.") + name + " must be milliseconds, [min, max] or [min, max, tailMax, tailPercent]"); };
    Latency::Range range {};
    if (it->is_number_integer()) {
        int ms = it->get<int>();
        range = { ms, ms, ms, 0 };
    } else if (it->is_array() && (it->size() == 2 || it->size() == 4)) {
        for (const auto& n : *it)
            if (!n.is_number_integer())
                throw bad();
        range = { (*it)[0].get<int>(), (*it)[1].get<int>(), (*it)[1].get<int>(), 0 };
        if (it->size() == 4) {
            range.tailMaxMs = (*it)[2].get<int>();
            range.tailPercent = (*it)[3].get<int>();
        }
    } else {
        throw bad();
    }
    if (range.minMs < 0 || range.maxMs < range.minMs || range.tailMaxMs < range.maxMs || range.tailPercent < 0 || range.tailPercent > 100)
        throw std::runtime_error(std::string("latency.") + name + " must be a range of milliseconds from low to high");
    return range;
}

nlohmann::json rangeJson(const Latency::Range& r)
{
    if (r.tailMaxMs == r.maxMs)
        return { r.minMs, r.maxMs };
    return { r.minMs, r.maxMs, r.tailMaxMs, r.tailPercent };
}

} // namespace

std::string Latency::defaultProfile()
{
    const char* named = std::getenv("LOGICSIM_LATENCY_PROFILE");
    return named && *named ? named : "quick";
}

Latency Latency::fromScenario(const nlohmann::json& settings)
{
    if (!settings.is_null() && !settings.is_object())
        throw std::runtime_error("latency must be an object");
    const nlohmann::json none = nlohmann::json::object();
    const nlohmann::json& given = settings.is_null() ? none : settings;

    Latency latency;
    latency.m_profile = given.value("profile", defaultProfile());
    if (latency.m_profile == "slow") {
        // A loaded machine: windows often take half a second and now and then
        // one and a half, commits lag, a name editor now and then takes half a
        // second, a file takes time by its length and Logic answers again while
        // it reads the audio. (Windows stay under the helper's 2 s dialog waits,
        // name editors under its 2 s wait for the name field.)
        latency.m_windowOpen = { 100, 500, 1500, 5 };
        latency.m_commit = { 30, 80, 150, 20 };
        latency.m_nameEditor = { 30, 120, 500, 10 };
        latency.m_import = { 50, 300, 300, 0 };
        latency.m_importMsPerSecond = 25;
        latency.m_importBusyPercent = 30;
        latency.m_exportGap = { 300, 1500, 1500, 0 };
    } else if (latency.m_profile != "quick") {
        throw std::runtime_error("latency.profile must be \"quick\" or \"slow\"");
    }
    latency.m_seed = given.value("seed", std::uint64_t(1));
    latency.m_random.seed(latency.m_seed);
    latency.m_windowOpen = rangeFrom(given, "windowOpenMs", latency.m_windowOpen);
    latency.m_commit = rangeFrom(given, "commitMs", latency.m_commit);
    latency.m_nameEditor = rangeFrom(given, "nameEditorMs", latency.m_nameEditor);
    latency.m_import = rangeFrom(given, "importMs", latency.m_import);
    latency.m_exportGap = rangeFrom(given, "exportGapMs", latency.m_exportGap);
    double perSecond = given.value("importMsPerSecond", latency.m_importMsPerSecond);
    if (!(perSecond >= 0) || perSecond > 10'000)
        throw std::runtime_error("latency.importMsPerSecond must be from 0 to 10000");
    latency.m_importMsPerSecond = perSecond;
    if (auto busy = given.find("importBusyPercent"); busy != given.end()) {
        if (!busy->is_number_integer() || busy->get<int>() < 0 || busy->get<int>() > 100)
            throw std::runtime_error("latency.importBusyPercent must be from 0 to 100");
        latency.m_importBusyPercent = busy->get<int>();
    }
    double callMs = given.value("accessibilityCallMs", 0.0);
    if (!(callMs >= 0) || callMs > 10'000)
        throw std::runtime_error("latency.accessibilityCallMs must be from 0 to 10000");
    latency.m_accessibilityCall = std::chrono::microseconds(std::llround(callMs * 1000));
    return latency;
}

std::chrono::milliseconds Latency::audioImport(double lengthSeconds)
{
    constexpr double kLongestGrowthMs = 1500;
    double growth = std::isfinite(lengthSeconds) && lengthSeconds > 0 ? std::min(kLongestGrowthMs, lengthSeconds * m_importMsPerSecond) : 0;
    return draw(m_import) + std::chrono::milliseconds(std::llround(growth));
}

std::chrono::milliseconds Latency::draw(const Range& range)
{
    if (range.tailPercent > 0 && range.tailMaxMs > range.maxMs) {
        std::uniform_int_distribution<int> percent(0, 99);
        if (percent(m_random) < range.tailPercent) {
            std::uniform_int_distribution<int> tail(range.maxMs + 1, range.tailMaxMs);
            return std::chrono::milliseconds(tail(m_random));
        }
    }
    if (range.maxMs == range.minMs)
        return std::chrono::milliseconds(range.minMs);
    std::uniform_int_distribution<int> pick(range.minMs, range.maxMs);
    return std::chrono::milliseconds(pick(m_random));
}

nlohmann::json Latency::describe() const
{
    return nlohmann::json { { "profile", m_profile }, { "seed", m_seed }, { "windowOpenMs", rangeJson(m_windowOpen) },
        { "commitMs", rangeJson(m_commit) }, { "nameEditorMs", rangeJson(m_nameEditor) }, { "importMs", rangeJson(m_import) },
        { "importMsPerSecond", m_importMsPerSecond }, { "importBusyPercent", m_importBusyPercent }, { "exportGapMs", rangeJson(m_exportGap) },
        { "accessibilityCallMs", static_cast<double>(m_accessibilityCall.count()) / 1000 } };
}

void addLatencyCommands(CommandMap& commands)
{
    // Replaces the latency settings (the scenario's "latency" object); the
    // generator starts again from the seed.
    commands.add("set-latency", [](World& world, const nlohmann::json& args) {
        world.latency = Latency::fromScenario(args);
        return okReply();
    });
    // Keeps Logic's main thread busy for "ms" from now, as an import or a bounce does.
    commands.add("logic-busy", [](World& world, const nlohmann::json& args) {
        int ms = args.value("ms", 0);
        if (ms < 0 || ms > 600'000)
            throw std::runtime_error("ms must be from 0 to 600000");
        world.keepLogicBusy(std::chrono::milliseconds(ms), "control");
        return okReply();
    });
}

} // namespace mq::sim
