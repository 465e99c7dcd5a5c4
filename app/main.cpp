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

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("marquee-helper %s\n", MQ_VERSION);
        return 0;
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
