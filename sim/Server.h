// logicsim's socket: accepts client and control connections on a Unix stream
// socket and answers their JSON lines from the Simulator, on one thread.
#pragma once

#include "sim/Simulator.h"

#include <memory>
#include <string>

namespace mq::sim {

class Server {
public:
    /// Binds `socketPath` (mode 0600). Throws std::runtime_error when another
    /// logicsim answers on it or it cannot be bound.
    Server(Simulator& simulator, std::string socketPath);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    /// Serves until SIGINT or SIGTERM; removes the socket file at the end.
    void run();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace mq::sim
