// The process's shared HTTP(S) transfer engine: one libcurl multi handle driven by a
// thread of its own, so that a caller starts a GET and returns while the transfer
// runs, and hears the outcome in a completion called on the engine's thread.
#pragma once

#include "marquee/UniqueFunction.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mq::maintenance {

/// One GET.
struct TransferRequest {
    std::string url;
    /// The whole transfer, connection included, must end within this.
    std::chrono::milliseconds timeout { 10'000 };
    /// A PEM file of trusted certificate authorities; the system's when absent.
    std::optional<std::string> caFile;
    /// A body longer than this ends the transfer as a transport error.
    std::size_t maxBodyBytes { 16 * 1024 * 1024 };
};

/// How a transfer ended: either a transport error, or a status and a body.
struct TransferResult {
    /// Set when no HTTP answer was had (resolution, connection, TLS, time-out, a
    /// body over the limit): a one-line description of what went wrong.
    std::optional<std::string> transportError;
    /// The HTTP status of the answer (0 with a transport error).
    long status { 0 };
    std::vector<std::uint8_t> body;
};

using TransferCompletion = UniqueFunction<void(TransferResult)>;

class TransferEngine {
public:
    TransferEngine();
    /// Ends the transfers still running (their completions get a transport error) and joins the thread.
    ~TransferEngine();
    TransferEngine(const TransferEngine&) = delete;
    TransferEngine& operator=(const TransferEngine&) = delete;

    /// The engine every part of the process shares, made on first use.
    static TransferEngine& shared();

    /// Starts `request` and returns at once. `completion` is called exactly once, on
    /// the engine's thread; it may start further transfers.
    void get(TransferRequest request, TransferCompletion completion);

    struct State;

private:
    std::shared_ptr<State> m_state;
};

} // namespace mq::maintenance
