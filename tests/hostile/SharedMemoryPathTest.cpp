// A client names a shared-memory path that is not one: a user's document, a
// relative path (resolved against the helper's working directory), or a name
// with a NUL byte that the system would cut. The helper refuses each as a failed
// open, with the reason in its log, and leaves every file as it was.
#include "tests/hostile/HostileFixture.h"
#include "tests/support/Eventually.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

namespace mq {
namespace {

using namespace std::chrono_literals;

std::string contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class SharedMemoryPath : public test::HostileTest {
protected:
    std::string file(const std::string& name) { return harness.runtimeDir().file(name); }
    std::string helperWorkingDirectory()
    {
        char buffer[4096] = {};
        ssize_t length = ::readlink(("/proc/" + std::to_string(harness.helper().pid()) + "/cwd").c_str(), buffer, sizeof buffer - 1);
        return length > 0 ? std::string(buffer, static_cast<std::size_t>(length)) : std::string();
    }
};

TEST_F(SharedMemoryPath, PathsThatAreNotSharedMemoryAreRefusedAndNothingIsTouched)
{
    ASSERT_TRUE(std::get<0>(connection->startTransportScrubObservingWithFrameRate({ 25.0, false, file("warm-up") }, 10s).value()));
    ASSERT_TRUE(connection->stopTransportScrubObservingForShmPath({ file("warm-up") }, 10s).hasValue());
    ASSERT_TRUE(std::get<0>(connection->startProjectCloseWatchForShmPath({ file("warm-up") }, 10s).value()));
    ASSERT_TRUE(connection->stopProjectCloseWatchForShmPath({ file("warm-up") }, 10s).hasValue());
    takeBaseline();

    std::string document = file("notes.txt");
    std::string text;
    for (int i = 0; i < 1024; ++i)
        text += static_cast<char>('a' + i % 26);
    std::ofstream(document, std::ios::binary) << text;
    ASSERT_EQ(::mkdir(file("sub").c_str(), 0700), 0);
    // Unique, so that a file left by another run cannot be taken for this one's.
    std::string relative = "hostile-relative-shm-" + std::to_string(::getpid());

    struct Row {
        const char* name;
        std::string path;
        const char* reason;
    };
    const Row rows[] = {
        { "a user's 1 KB document", document, "(an existing file of another size was not made for shared memory)" },
        { "the document through ..", file("sub/../notes.txt"), "(an existing file of another size was not made for shared memory)" },
        { "a relative path", relative, "(the path is not absolute)" },
        { "a NUL that would cut the path to the document", document + std::string(1, '\0') + ".shm", "(the path holds a NUL byte)" },
    };
    for (const Row& row : rows) {
        auto scrub = connection->startTransportScrubObservingWithFrameRate({ 25.0, false, row.path }, 10s);
        ASSERT_TRUE(scrub.hasValue()) << row.name << ": the connection did not answer";
        EXPECT_FALSE(std::get<0>(scrub.value())) << row.name;
        EXPECT_TRUE(helperLogged(std::string("scrub: open shm failed errno ") + (row.reason[1] == 'a' ? "17 " : "22 ") + row.reason))
            << row.name;
        auto watch = connection->startProjectCloseWatchForShmPath({ row.path }, 10s);
        ASSERT_TRUE(watch.hasValue()) << row.name;
        EXPECT_FALSE(std::get<0>(watch.value())) << row.name;
        EXPECT_EQ(contents(document), text) << row.name << ": the document was changed";
    }
    // The watch's refusal line is read from the helper's pipe by another thread.
    EXPECT_TRUE(test::eventually([&] { return harness.countLogLines("(the path holds a NUL byte)") >= 2; }, 5s))
        << "the NUL reaches the helper uncut";
    std::string cwd = helperWorkingDirectory();
    ASSERT_FALSE(cwd.empty());
    EXPECT_NE(::access((cwd + "/" + relative).c_str(), F_OK), 0) << "a relative path created a file in the helper's directory";
    ::unlink((cwd + "/" + relative).c_str());

    // A symbolic link in the middle of a path still works (on a Mac, /tmp is one).
    ASSERT_EQ(::symlink(file("sub").c_str(), file("linked").c_str()), 0);
    auto linked = connection->startTransportScrubObservingWithFrameRate({ 25.0, false, file("linked/scrub") }, 10s);
    ASSERT_TRUE(linked.hasValue());
    EXPECT_TRUE(std::get<0>(linked.value()));
    struct stat status {};
    EXPECT_EQ(::stat(file("sub/scrub").c_str(), &status), 0);
    EXPECT_EQ(status.st_size, 64);
    ASSERT_TRUE(connection->stopTransportScrubObservingForShmPath({ file("linked/scrub") }, 10s).hasValue());
    expectRecovered();
}

} // namespace
} // namespace mq
