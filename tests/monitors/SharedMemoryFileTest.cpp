// Opening shared-memory files: sizes, modes, layouts, and paths that must be
// refused (missing directory, symbolic link, FIFO, directory, device, read-only
// file) without hanging, by the mapping itself and by both monitors.
#include "marquee/ProjectWatchReader.h"
#include "marquee/ScrubReader.h"
#include "monitors/ProjectCloseWatcher.h"
#include "marquee/SharedMemoryBlock.h"
#include "monitors/TransportReader.h"
#include "tests/monitors/MonitorFixture.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <future>

namespace mq {
namespace {

using monitors::testing::MonitorFixture;
using monitors::testing::startWatch;

std::string contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& bytes, mode_t mode = 0600)
{
    std::ofstream(path, std::ios::binary) << bytes;
    ::chmod(path.c_str(), mode);
}

/// MappedBlock::open on another thread, bounded: a hang fails the test instead of
/// holding it (the stuck thread is left behind).
std::optional<Expected<shm::MappedBlock, shm::MapFailure>> openWithin(const std::string& path, std::chrono::seconds limit)
{
    auto promise = std::make_shared<std::promise<Expected<shm::MappedBlock, shm::MapFailure>>>();
    auto future = promise->get_future();
    std::thread([promise, path] { promise->set_value(shm::MappedBlock::open(path)); }).detach();
    if (future.wait_for(limit) != std::future_status::ready)
        return std::nullopt;
    return future.get();
}

class SharedMemoryFile : public ::testing::Test {
public:
    test::TempRuntimeDir dir;
};

TEST_F(SharedMemoryFile, AMissingFileIsCreated0600And64BytesLong)
{
    std::string path = dir.file("new");
    auto opened = shm::MappedBlock::open(path);
    ASSERT_TRUE(opened.hasValue());
    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_size, 64);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    EXPECT_EQ(contents(path), std::string(64, '\0'));
}

struct SizeRow {
    const char* name;
    std::size_t initial;
};

class ExistingFileSize : public SharedMemoryFile, public ::testing::WithParamInterface<SizeRow> {};

TEST_P(ExistingFileSize, IsCutOrExtendedTo64BytesKeepingItsStart)
{
    std::string path = dir.file("f");
    std::string initial(GetParam().initial, 'x');
    writeFile(path, initial);
    ASSERT_TRUE(shm::MappedBlock::open(path).hasValue());
    std::string expected = initial.substr(0, 64);
    expected.resize(64, '\0');
    EXPECT_EQ(contents(path), expected);
}

const std::size_t kPage = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));

// The sizes this protocol makes: new, the block, and one memory page.
INSTANTIATE_TEST_SUITE_P(Sizes, ExistingFileSize,
    ::testing::Values(SizeRow { "Empty", 0 }, SizeRow { "Exact", 64 }, SizeRow { "OnePage", kPage }),
    [](const auto& info) { return info.param.name; });

class ForeignFileSize : public SharedMemoryFile, public ::testing::WithParamInterface<SizeRow> {};

TEST_P(ForeignFileSize, IsRefusedAndLeftAsItWas)
{
    std::string path = dir.file("notes.txt");
    std::string text;
    for (std::size_t i = 0; i < GetParam().initial; ++i)
        text += static_cast<char>('a' + i % 26);
    writeFile(path, text);
    auto opened = shm::MappedBlock::open(path, shm::FaultPolicy::guarded);
    ASSERT_TRUE(!opened.hasValue());
    auto failure = opened.error();
    EXPECT_EQ(failure.stage, shm::MapFailure::Stage::open);
    EXPECT_EQ(failure.error, EEXIST);
    ASSERT_NE(failure.reason, nullptr);
    EXPECT_STREQ(failure.reason, "an existing file of another size was not made for shared memory");
    EXPECT_EQ(contents(path), text) << "the user's file is neither cut nor extended";
    EXPECT_TRUE(!client::ScrubReader::open(path).hasValue());
}

INSTANTIATE_TEST_SUITE_P(Sizes, ForeignFileSize,
    ::testing::Values(SizeRow { "Shorter", 10 }, SizeRow { "OneShort", 63 }, SizeRow { "OneLonger", 65 }, SizeRow { "OneKilobyte", 1024 },
        SizeRow { "TwoPages", 2 * kPage }),
    [](const auto& info) { return info.param.name; });

struct RefusedNameRow {
    const char* name;
    std::string (*path)(const test::TempRuntimeDir&);
    const char* reason;
};

class RefusedName : public SharedMemoryFile, public ::testing::WithParamInterface<RefusedNameRow> {};

TEST_P(RefusedName, IsNotOpenedAtAll)
{
    writeFile(dir.file("kept"), "user data");
    std::string path = GetParam().path(dir);
    auto opened = shm::MappedBlock::open(path, shm::FaultPolicy::guarded);
    ASSERT_TRUE(!opened.hasValue());
    auto failure = opened.error();
    EXPECT_EQ(failure.stage, shm::MapFailure::Stage::open);
    EXPECT_EQ(failure.error, EINVAL);
    ASSERT_NE(failure.reason, nullptr);
    EXPECT_STREQ(failure.reason, GetParam().reason);
    EXPECT_EQ(contents(dir.file("kept")), "user data");
    EXPECT_NE(::access(dir.file("new").c_str(), F_OK), 0) << "nothing is created";
}

INSTANTIATE_TEST_SUITE_P(Paths, RefusedName,
    ::testing::Values(
        RefusedNameRow { "Relative", [](const test::TempRuntimeDir&) { return std::string("new"); }, "the path is not absolute" },
        RefusedNameRow { "DotRelative", [](const test::TempRuntimeDir&) { return std::string("./new"); }, "the path is not absolute" },
        RefusedNameRow { "Empty", [](const test::TempRuntimeDir&) { return std::string(); }, "the path is not absolute" },
        // Cut at the NUL, this path would name the user's file.
        RefusedNameRow { "NulInTheMiddle", [](const test::TempRuntimeDir& d) { return d.file("kept") + std::string(1, '\0') + "/x"; },
            "the path holds a NUL byte" },
        RefusedNameRow { "NulAtTheEnd", [](const test::TempRuntimeDir& d) { return d.file("new") + std::string(1, '\0'); },
            "the path holds a NUL byte" }),
    [](const auto& info) { return info.param.name; });

TEST_F(SharedMemoryFile, SymbolicLinksBeforeTheLastComponentAreFollowed)
{
    ASSERT_EQ(::mkdir(dir.file("real").c_str(), 0700), 0);
    ASSERT_EQ(::symlink(dir.file("real").c_str(), dir.file("linked").c_str()), 0);
    std::string path = dir.file("linked") + "/../linked/scrub";
    auto opened = shm::ScrubBlock::open(path, shm::FaultPolicy::guarded);
    ASSERT_TRUE(opened.hasValue());
    opened.value().storeSequence(5);
    EXPECT_EQ(contents(dir.file("real/scrub")).size(), 64u);
}

TEST_F(SharedMemoryFile, FieldsLieAtTheirOffsetsInHostOrder)
{
    std::string path = dir.file("layout");
    auto scrub = shm::ScrubBlock::open(path);
    ASSERT_TRUE(scrub.hasValue());
    auto& block = scrub.value();
    block.storeSteadyRateRequest(0x11223344);
    block.storePosition(1.5);
    block.storeValid(1);
    block.storeSequence(0xA1B2C3D4);
    block.storeDisplayModeWord(-7);
    auto watch = shm::WatchBlock::open(path);
    ASSERT_TRUE(watch.hasValue());
    watch.value().storeClosedFlag();

    std::string bytes = contents(path);
    ASSERT_EQ(bytes.size(), 64u);
    auto at = [&](std::size_t offset, auto value) {
        std::memcpy(&value, bytes.data() + offset, sizeof value);
        return value;
    };
    EXPECT_EQ(at(16, std::uint32_t {}), 0x11223344u);
    EXPECT_EQ(at(24, double {}), 1.5);
    EXPECT_EQ(at(32, std::uint32_t {}), 1u);
    EXPECT_EQ(at(36, std::uint32_t {}), 0xA1B2C3D4u);
    EXPECT_EQ(at(40, std::uint32_t {}), 1u);
    EXPECT_EQ(at(56, std::int32_t {}), -7);
    EXPECT_EQ(bytes[24 + 7], '\x3f') << "little-endian double";
}

TEST_F(SharedMemoryFile, AMovedBlockUnmapsOnce)
{
    auto opened = shm::ScrubBlock::open(dir.file("m"));
    ASSERT_TRUE(opened.hasValue());
    shm::ScrubBlock moved = std::move(opened.value());
    moved.storeSequence(9);
    auto reader = client::ScrubReader::open(dir.file("m"));
    ASSERT_TRUE(reader.hasValue());
    EXPECT_EQ(reader.value().snapshot()->sequence, 9u);
}

enum class BadPath { missingDirectory, symlinkToFile, danglingSymlink, fifo, directory, device };

struct BadPathRow {
    const char* name;
    BadPath kind;
    int error;
};

/// Makes the bad path in `dir`; returns it. A symlink's target is "target".
std::string makeBadPath(const test::TempRuntimeDir& dir, BadPath kind)
{
    switch (kind) {
    case BadPath::missingDirectory:
        return dir.file("missing/scrub");
    case BadPath::symlinkToFile:
        writeFile(dir.file("target"), "client data");
        EXPECT_EQ(::symlink(dir.file("target").c_str(), dir.file("link").c_str()), 0);
        return dir.file("link");
    case BadPath::danglingSymlink:
        EXPECT_EQ(::symlink(dir.file("target").c_str(), dir.file("link").c_str()), 0);
        return dir.file("link");
    case BadPath::fifo:
        EXPECT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
        return dir.file("fifo");
    case BadPath::directory:
        EXPECT_EQ(::mkdir(dir.file("dir").c_str(), 0700), 0);
        return dir.file("dir");
    case BadPath::device:
        return "/dev/null";
    }
    return {};
}

const auto kBadPaths = ::testing::Values(BadPathRow { "MissingDirectory", BadPath::missingDirectory, ENOENT },
    BadPathRow { "SymlinkToAFile", BadPath::symlinkToFile, ELOOP }, BadPathRow { "DanglingSymlink", BadPath::danglingSymlink, ELOOP },
    BadPathRow { "Fifo", BadPath::fifo, EINVAL }, BadPathRow { "Directory", BadPath::directory, EISDIR },
    BadPathRow { "Device", BadPath::device, EINVAL });

class RefusedPath : public SharedMemoryFile, public ::testing::WithParamInterface<BadPathRow> {};

TEST_P(RefusedPath, FailsToOpenPromptlyAndTouchesNothing)
{
    std::string path = makeBadPath(dir, GetParam().kind);
    auto opened = openWithin(path, std::chrono::seconds(5));
    ASSERT_TRUE(opened) << "the open did not return within 5 s";
    ASSERT_TRUE(!opened->hasValue());
    EXPECT_EQ(opened->error().stage, shm::MapFailure::Stage::open);
    EXPECT_EQ(opened->error().error, GetParam().error) << std::strerror(opened->error().error);

    if (GetParam().kind == BadPath::symlinkToFile) {
        EXPECT_EQ(contents(dir.file("target")), "client data") << "the link's target is neither cut nor extended";
    }
    if (GetParam().kind == BadPath::danglingSymlink) {
        EXPECT_NE(::access(dir.file("target").c_str(), F_OK), 0) << "no file is created through the link";
    }
    // The client readers refuse the same paths.
    EXPECT_TRUE(!client::ScrubReader::open(path).hasValue());
    EXPECT_TRUE(!client::ProjectWatchReader::open(path).hasValue());
}

INSTANTIATE_TEST_SUITE_P(Paths, RefusedPath, kBadPaths, [](const auto& info) { return info.param.name; });

TEST_F(SharedMemoryFile, AReadOnlyFileIsRefused)
{
    // Root may write any file, so the open is tried as an unprivileged user then.
    if (::geteuid() != 0) {
        std::string path = dir.file("readonly");
        writeFile(path, "", 0400);
        auto opened = shm::MappedBlock::open(path);
        ASSERT_TRUE(!opened.hasValue());
        EXPECT_EQ(opened.error().error, EACCES);
        return;
    }
    const passwd* nobody = ::getpwnam("nobody");
    if (!nobody)
        GTEST_SKIP() << "running as root and there is no user 'nobody' to drop to";
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    std::string path = dir.file("readonly");
    writeFile(path, "", 0444);
    ASSERT_EQ(::chown(path.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);

    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0)
            ::_exit(10);
        auto opened = shm::MappedBlock::open(path);
        auto* failure = (opened.hasValue() ? nullptr : &opened.error());
        ::_exit(!failure ? 11 : failure->stage != shm::MapFailure::Stage::open ? 12 : failure->error == EACCES ? 0 : 13);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10: could not drop privileges, 11: opened, 12: map failure, 13: other errno";
    EXPECT_EQ(contents(path), "");
}

// Both monitors log the open failure and refuse the path.

class MonitorsRefuse : public MonitorFixture, public ::testing::WithParamInterface<BadPathRow> {};

TEST_P(MonitorsRefuse, WithTheOpenFailureLine)
{
    monitors::testing::LogicScene& logic = scene;
    logic.startLogic();
    logic.addProjectWithDisplay();
    std::string path = makeBadPath(files, GetParam().kind);
    std::string errorText = std::to_string(GetParam().error);

    bool scrubStarted = main.sync([&] {
        TransportReader reader(scripted.platform, main.loop, std::chrono::hours(1));
        bool started = true;
        reader.start(25, false, path, [&](bool found) { started = found; });
        EXPECT_FALSE(reader.isPolling());
        EXPECT_EQ(reader.targetCount(), 0u);
        return started;
    });
    EXPECT_FALSE(scrubStarted);
    EXPECT_EQ(levelOf("scrub: open shm failed errno " + errorText, "helper.scrub"), log::Level::error);

    bool watchStarted = main.sync([&] {
        ProjectCloseWatcher watcher(scripted.platform, main.loop);
        bool started = startWatch(watcher, path);
        EXPECT_FALSE(watcher.isWatching());
        EXPECT_EQ(watcher.targetCount(), 0u);
        return started;
    });
    EXPECT_FALSE(watchStarted);
    EXPECT_EQ(levelOf("open shm failed errno " + errorText, "helper.projectclose"), log::Level::error);
}

INSTANTIATE_TEST_SUITE_P(Paths, MonitorsRefuse, kBadPaths, [](const auto& info) { return info.param.name; });

TEST_F(MonitorFixture, AWatchWhoseRestartFailsIsDropped)
{
    scene.startLogic();
    scene.setMainWindow(scene.addWindow("Film", std::string("/Music/Film.logicx")));
    std::string path = files.file("watch");
    main.sync([&] {
        ProjectCloseWatcher watcher(scripted.platform, main.loop);
        ASSERT_TRUE(startWatch(watcher, path));
        ASSERT_EQ(::unlink(path.c_str()), 0);
        ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
        EXPECT_FALSE(startWatch(watcher, path));
        EXPECT_EQ(watcher.targetCount(), 0u);
        EXPECT_FALSE(watcher.isWatching());
    });
    EXPECT_EQ(levelOf("open shm failed errno " + std::to_string(EISDIR), "helper.projectclose"), log::Level::error);
}


TEST_F(MonitorFixture, MonitorsLogWhyAPathWasRefused)
{
    scene.startLogic();
    scene.addProjectWithDisplay();
    std::string userFile = files.file("notes.txt");
    writeFile(userFile, std::string(1024, 'n'));
    struct Row {
        std::string path;
        const char* line;
    };
    const Row rows[] = {
        { "relative/scrub", "open shm failed errno 22 (the path is not absolute)" },
        { userFile + std::string(1, '\0') + "x", "open shm failed errno 22 (the path holds a NUL byte)" },
        { userFile, "open shm failed errno 17 (an existing file of another size was not made for shared memory)" },
    };
    for (const Row& row : rows) {
        bool started = main.sync([&] {
            TransportReader reader(scripted.platform, main.loop, std::chrono::hours(1));
            ProjectCloseWatcher watcher(scripted.platform, main.loop);
            bool scrubStarted = true;
            reader.start(25, false, row.path, [&](bool found) { scrubStarted = found; });
            return scrubStarted || startWatch(watcher, row.path);
        });
        EXPECT_FALSE(started) << row.line;
        EXPECT_EQ(levelOf(std::string("scrub: ") + row.line, "helper.scrub"), log::Level::error) << row.line;
        EXPECT_EQ(levelOf(row.line, "helper.projectclose"), log::Level::error) << row.line;
    }
    EXPECT_EQ(contents(userFile), std::string(1024, 'n'));
}

} // namespace
} // namespace mq
