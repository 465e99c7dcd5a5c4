// What a plug-in does with the Marquee helper: connect, read Logic's playhead and
// show it as SMPTE timecode, follow the transport through the shared-memory scrub
// block, and carry on sensibly when the helper is not there. It includes only the
// installed <marquee/...> headers.
//
//   plugin-side [--socket PATH] [--follow SECONDS]
//
// Exit status: 0 when it worked, 3 when no helper answers, 1 on any other failure.
#include <marquee/HelperConnection.h>
#include <marquee/SMPTEComponents.h>
#include <marquee/ScrubReader.h>
#include <marquee/Version.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

constexpr double kFrameRate = 25.0;

std::string scrubFilePath()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return std::string(runtime && *runtime ? runtime : "/tmp") + "/plugin-side-scrub-" + std::to_string(::getpid());
}

} // namespace

int main(int argc, char** argv)
{
    std::optional<std::string> socketPath;
    double followSeconds = 1.0;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string flag = argv[i];
        if (flag == "--socket")
            socketPath = argv[i + 1];
        else if (flag == "--follow")
            followSeconds = std::atof(argv[i + 1]);
    }
    std::printf("marquee-client %s\n", std::string(mq::client::libraryVersion()).c_str());

    // The helper may not be running (or not installed): a plug-in keeps working
    // without it and says so once.
    auto connected = mq::client::HelperConnection::connect(socketPath);
    if (!connected) {
        std::printf("helper not available: %s\n", connected.error().message.c_str());
        return 3;
    }
    mq::client::HelperConnection& helper = *connected.value();

    auto playhead = helper.readLogicPlayheadSMPTEWithFrameRate({ kFrameRate, false }, 10s);
    if (!playhead) {
        std::printf("no reply: %s\n", playhead.error().message.c_str());
        return 1;
    }
    auto [seconds, ok, error] = playhead.value();
    if (!ok) {
        std::printf("Logic did not give its playhead: %s\n", error ? error->localizedDescription.c_str() : "no reason");
        return 1;
    }
    mq::timecode::SMPTEComponents smpte = mq::timecode::smpteComponents(seconds, kFrameRate, false);
    std::printf("playhead %.3f s %02lld:%02lld:%02lld:%02lld\n", seconds, static_cast<long long>(smpte.hours),
        static_cast<long long>(smpte.minutes), static_cast<long long>(smpte.seconds), static_cast<long long>(smpte.frames));

    // The transport, 60 times a second, without a request per reading.
    std::string path = scrubFilePath();
    auto opened = mq::client::ScrubReader::open(path);
    if (!opened.hasValue()) {
        std::printf("cannot map %s\n", path.c_str());
        return 1;
    }
    const auto& reader = opened.value();
    auto started = helper.startTransportScrubObservingWithFrameRate({ kFrameRate, false, path }, 10s);
    if (!started || !std::get<0>(started.value())) {
        std::printf("the helper did not start observing\n");
        ::unlink(path.c_str());
        return 1;
    }
    std::uint32_t lastSequence = 0;
    unsigned updates = 0;
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(followSeconds);
    while (std::chrono::steady_clock::now() < until) {
        if (auto snapshot = reader.snapshot(); snapshot && snapshot->sequence != lastSequence) {
            lastSequence = snapshot->sequence;
            ++updates;
            std::printf("scrub %.3f s valid %d\n", snapshot->position, snapshot->valid ? 1 : 0);
        }
        std::this_thread::sleep_for(2ms);
    }
    (void)helper.stopTransportScrubObservingForShmPath({ path }, 10s);
    ::unlink(path.c_str());
    std::printf("followed %u update(s)\n", updates);
    return updates > 0 ? 0 : 1;
}
