// A guarded mapping whose file is cut short: the store that faults completes on a
// private page, the block reports it, and nothing else is touched. A fault outside
// every guarded page still ends the process.
#include "marquee/SharedMemoryBlock.h"
#include "monitors/SharedMemoryBlockGuard.h"
#include "tests/support/TempRuntimeDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

namespace mq {
namespace {

std::string contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

shm::ScrubBlock openScrub(const std::string& path, shm::FaultPolicy policy = shm::FaultPolicy::guarded)
{
    auto opened = shm::ScrubBlock::open(path, policy);
    EXPECT_TRUE(opened.hasValue());
    return std::move(opened.value());
}

class SharedMemoryBlockGuard : public ::testing::Test {
public:
    test::TempRuntimeDir dir;
};

TEST_F(SharedMemoryBlockGuard, AStoreIntoAFileCutToNothingFaultsHarmlesslyAndIsReported)
{
    std::string victimPath = dir.file("victim");
    std::string otherPath = dir.file("other");
    shm::ScrubBlock victim = openScrub(victimPath);
    shm::ScrubBlock other = openScrub(otherPath);
    victim.storeSequence(1);
    EXPECT_FALSE(victim.faulted());

    ASSERT_EQ(::truncate(victimPath.c_str(), 0), 0);
    victim.storeSequence(2); // SIGBUS without the guard.
    victim.storeValid(1);
    EXPECT_TRUE(victim.faulted());
    EXPECT_EQ(victim.sequence(), 2u) << "the block goes on working on its private page";
    EXPECT_EQ(contents(victimPath), "") << "nothing reaches the file that was cut";

    other.storeSequence(7);
    EXPECT_FALSE(other.faulted());
    auto client = shm::ScrubBlock::open(otherPath);
    ASSERT_TRUE(client.hasValue());
    EXPECT_EQ(client.value().sequence(), 7u) << "the other mapping still shares its file";
}

TEST_F(SharedMemoryBlockGuard, ALoadFromAFileCutToNothingIsCaughtToo)
{
    std::string path = dir.file("victim");
    shm::WatchBlock block = [&] {
        auto opened = shm::WatchBlock::open(path, shm::FaultPolicy::guarded);
        EXPECT_TRUE(opened.hasValue());
        return std::move(opened.value());
    }();
    ASSERT_EQ(::truncate(path.c_str(), 0), 0);
    EXPECT_EQ(block.closedFlag(), 0u);
    EXPECT_TRUE(block.faulted());
}

TEST_F(SharedMemoryBlockGuard, SlotsAreGivenBackSoOpeningNeverRunsOut)
{
    std::string path = dir.file("cycled");
    for (std::size_t i = 0; i < shm::BlockGuard::kCapacity * 2; ++i) {
        auto opened = shm::ScrubBlock::open(path, shm::FaultPolicy::guarded);
        ASSERT_TRUE(opened.hasValue()) << "open " << i;
    }
    // A released slot no longer reports its old page's fault.
    {
        shm::ScrubBlock faulty = openScrub(path);
        ASSERT_EQ(::truncate(path.c_str(), 0), 0);
        faulty.storeValid(1);
        EXPECT_TRUE(faulty.faulted());
    }
    EXPECT_FALSE(openScrub(path).faulted());
}

TEST_F(SharedMemoryBlockGuard, AMovedBlockKeepsItsGuard)
{
    std::string path = dir.file("moved");
    shm::ScrubBlock first = openScrub(path);
    shm::ScrubBlock moved = std::move(first);
    ASSERT_EQ(::truncate(path.c_str(), 0), 0);
    moved.storeValid(1);
    EXPECT_TRUE(moved.faulted());
}

/// Whether a child ended by the fault: killed by SIGBUS, or (under a sanitizer,
/// whose own handler had the signal before the guard) ended with its report,
/// rather than reaching the exit code 4 that follows the faulting line.
bool endedByTheFault(int status)
{
    if (WIFSIGNALED(status))
        return WTERMSIG(status) == SIGBUS || WTERMSIG(status) == SIGABRT;
    return WIFEXITED(status) && WEXITSTATUS(status) != 4 && WEXITSTATUS(status) != 0 && WEXITSTATUS(status) != 3;
}

/// Runs `body` in a child process and returns its wait status.
template<typename Body>
int inChild(Body body)
{
    pid_t child = ::fork();
    if (child == 0) {
        body();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return status;
}

TEST_F(SharedMemoryBlockGuard, AFaultOutsideEveryGuardedPageStillEndsTheProcess)
{
    std::string guardedPath = dir.file("guarded");
    std::string loosePath = dir.file("loose");
    int status = inChild([&] {
        shm::ScrubBlock guarded = openScrub(guardedPath); // Installs the handler.
        shm::ScrubBlock loose = openScrub(loosePath, shm::FaultPolicy::unguarded);
        if (::truncate(loosePath.c_str(), 0) != 0)
            ::_exit(3);
        loose.storeValid(1);
        ::_exit(4); // Reached only when the fault was swallowed.
    });
    EXPECT_TRUE(endedByTheFault(status)) << "exit status " << (WIFEXITED(status) ? WEXITSTATUS(status) : -1);
}

TEST_F(SharedMemoryBlockGuard, ASentBusSignalStillEndsTheProcess)
{
    std::string path = dir.file("guarded");
    int status = inChild([&] {
        shm::ScrubBlock guarded = openScrub(path);
        ::raise(SIGBUS);
        ::_exit(4);
    });
    EXPECT_TRUE(endedByTheFault(status)) << "exit status " << (WIFEXITED(status) ? WEXITSTATUS(status) : -1);
}

} // namespace
} // namespace mq
