// shm_probe: a second process that reads the helper's shared-memory files with the
// client readers, for tests of what another process sees.
//
//   shm_probe scrub PATH FPS LAST_SEQUENCE TIMEOUT_MS
//     Follows a scrub file whose write number n carries the position n / FPS, and
//     checks every consistent snapshot: the sequence never goes back, and the
//     position belongs to that write or to the one being written after it. Prints
//     "ready" once mapped and "seen N inconsistent M" at the end. Exit 0 when
//     LAST_SEQUENCE was reached with nothing inconsistent, 1 when something was
//     inconsistent, 2 on time-out, 3 when the file cannot be used.
//   shm_probe watch PATH TIMEOUT_MS
//     Prints "ready", then "closed" once the closed flag is set (exit 0); exit 2 on time-out.
#include "marquee/ProjectWatchReader.h"
#include "marquee/ScrubReader.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

int followScrub(const std::string& path, double fps, std::uint32_t lastSequence, std::chrono::milliseconds timeout)
{
    auto opened = mq::client::ScrubReader::open(path);
    if (!opened.hasValue())
        return 3;
    const auto& reader = opened.value();
    std::printf("ready\n");
    std::fflush(stdout);

    const auto deadline = Clock::now() + timeout;
    std::uint32_t previous = 0;
    unsigned long seen = 0;
    unsigned long inconsistent = 0;
    int result = 2;
    while (Clock::now() < deadline) {
        std::optional<mq::client::ScrubSnapshot> snapshot = reader.snapshot();
        if (!snapshot || snapshot->sequence == 0)
            continue;
        if (snapshot->sequence != previous) {
            ++seen;
            long write = std::lround(snapshot->position * fps);
            bool positionFits = write == static_cast<long>(snapshot->sequence) || write == static_cast<long>(snapshot->sequence) + 1;
            if (snapshot->sequence < previous || !positionFits || snapshot->displayModeWord != 1) {
                ++inconsistent;
                std::printf("inconsistent: sequence %u after %u, position %.6f, mode %d\n", snapshot->sequence, previous,
                    snapshot->position, snapshot->displayModeWord);
            }
            previous = snapshot->sequence;
        }
        if (previous >= lastSequence) {
            result = inconsistent == 0 ? 0 : 1;
            break;
        }
    }
    std::printf("seen %lu inconsistent %lu\n", seen, inconsistent);
    return result;
}

int followWatch(const std::string& path, std::chrono::milliseconds timeout)
{
    auto opened = mq::client::ProjectWatchReader::open(path);
    if (!opened.hasValue())
        return 3;
    const auto& reader = opened.value();
    std::printf("ready\n");
    std::fflush(stdout);
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        if (reader.isProjectClosed()) {
            std::printf("closed\n");
            return 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "scrub" && argc == 6)
        return followScrub(argv[2], std::atof(argv[3]), static_cast<std::uint32_t>(std::strtoul(argv[4], nullptr, 10)),
            std::chrono::milliseconds(std::atol(argv[5])));
    if (mode == "watch" && argc == 4)
        return followWatch(argv[2], std::chrono::milliseconds(std::atol(argv[3])));
    std::fprintf(stderr, "usage: shm_probe scrub PATH FPS LAST_SEQUENCE TIMEOUT_MS | watch PATH TIMEOUT_MS\n");
    return 64;
}
