// marquee-helper: the background helper that drives Logic Pro for the Marquee plug-in.
#include "app/AppDelegate.h"
#include "platform/Dispatch.h"
// The desktop behind the platform seam: on Linux, logicsim. A macOS build would
// construct the backend over the system frameworks here instead.
#include "platform/linux/LogicSimPlatform.h"

#include <asio/io_context.hpp>
#include <asio/signal_set.hpp>

#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kUsage = R"(Usage: marquee-helper [--help | --version]

The background helper that lets the Marquee plug-in drive Logic Pro. It serves
requests on $XDG_RUNTIME_DIR/com.quillmoor.marquee.helper until it is stopped
(SIGTERM, SIGINT) or a client asks it to relaunch. Usually systemd starts it
through the user socket: systemctl --user enable --now marquee-helper.socket

Environment:
  XDG_RUNTIME_DIR                    where the request socket lies
  MARQUEE_STORED_ACTION_INTERPRETER  the stored actions' interpreter, instead
                                     of the one installed beside the helper
  MARQUEE_UPDATE_ENDPOINT, MARQUEE_CA_FILE   the update check
  MARQUEE_OPERATION_JOURNAL=off      record no step timelines (marquee trace)
  MARQUEE_TRACE_NAMES=1              keep marker, track and file names in them

Options:
  -h, --help     show this text and exit
  --version      show the version and exit
)";

} // namespace

int main(int argc, char** argv)
{
    // Options answer without serving; anything else is a usage error, so that a
    // mistyped option never leaves a second helper running.
    if (argc > 1) {
        if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
            std::printf("marquee-helper %s\n", MQ_VERSION);
            return 0;
        }
        if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        std::fprintf(stderr, "marquee-helper: unexpected argument '%s'\nRun with --help for more information.\n", argv[1]);
        return 2;
    }

    // A client that vanishes while its reply is written must not kill the helper.
    std::signal(SIGPIPE, SIG_IGN);

    mq::RunLoop mainLoop;
    mq::platform::LogicSimPlatform desktop;
    auto platform = desktop.platform();
    mq::AppDelegate delegate(mainLoop, platform);

    asio::signal_set signals(*static_cast<asio::io_context*>(mainLoop.nativeHandle()), SIGTERM, SIGINT);
    signals.async_wait([&](const std::error_code& error, int signal) {
        if (!error)
            delegate.terminate(0, signal == SIGTERM ? "SIGTERM" : "SIGINT");
    });

    mainLoop.async([&] {
        if (!delegate.applicationDidFinishLaunching())
            delegate.terminate(1, "start-up failed");
    });
    mainLoop.run();
    return 0;
}
