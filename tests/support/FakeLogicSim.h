// A stand-in for logicsim's socket in tests that do not need the whole simulator:
// it accepts client connections on $XDG_RUNTIME_DIR/logicsim.sock, records every
// request line (hellos aside) and answers each with what the test chose.
#pragma once

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace mq::test {

class FakeLogicSim {
public:
    /// The reply body for one request (its "id" is added).
    using Answer = std::function<nlohmann::json(const nlohmann::json& request)>;

    /// Listens on `socketPath`; answers {"ran": true} until told otherwise.
    /// Throws std::runtime_error when it cannot listen.
    explicit FakeLogicSim(std::string socketPath);
    ~FakeLogicSim();
    FakeLogicSim(const FakeLogicSim&) = delete;
    FakeLogicSim& operator=(const FakeLogicSim&) = delete;

    void setAnswer(Answer answer);
    /// Every request received so far, in arrival order.
    std::vector<nlohmann::json> requests() const;
    /// The codes of the "logic.runStoredAction" requests received so far.
    std::vector<std::uint32_t> actionCodes() const;
    /// Waits until `count` action requests have arrived; false when `timeout` passes first.
    bool waitForActions(std::size_t count, std::chrono::milliseconds timeout) const;

private:
    struct State;
    std::shared_ptr<State> m_state;
};

} // namespace mq::test
