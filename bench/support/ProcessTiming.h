// What the end-to-end timing tools share: starting logicsim and the helper on a
// private runtime directory, sending logicsim a control command, and printing a
// duration's median and p90 against its floor.
#pragma once

#include <nlohmann/json.hpp>

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace mq::bench {

/// Starts `path` with `argv` (argv[0] first), XDG_RUNTIME_DIR set to `runtime`,
/// `environment` ("NAME=value") added, and its output discarded, or its standard
/// error written to `standardErrorFile` when one is named. The child's pid.
pid_t startProcess(const char* path, std::vector<const char*> argv, const std::string& runtime, const std::string& standardErrorFile = {},
    const std::vector<std::string>& environment = {});
/// Waits up to 5 s for `path` to exist.
bool waitForFile(const std::string& path);
/// Runs `logicsim ctl COMMAND ARGS` (the logicsim at `logicsimPath`) and waits
/// for it; true when it succeeded.
bool logicsimControl(const char* logicsimPath, const std::string& runtime, const char* command, const std::string& args);
/// logicsim and the helper on a private runtime directory, for one timing tool:
/// started together, and when it goes ended (SIGTERM, waited for) with the
/// directory removed.
class TimingSession {
public:
    /// Starts logicsim, then the helper, each waited for (5 s) until it listens.
    /// The helper gets `helperEnvironment` ("NAME=value") too. With `sharedLogic`,
    /// no logicsim is started: the helper drives that session's (a second helper
    /// measured against the first on the same Logic).
    TimingSession(const char* logicsimPath, const char* helperPath, const std::vector<std::string>& helperEnvironment = {},
        const TimingSession* sharedLogic = nullptr);
    ~TimingSession();
    TimingSession(const TimingSession&) = delete;
    TimingSession& operator=(const TimingSession&) = delete;

    /// Whether both came up.
    bool started() const { return m_started; }
    const std::string& runtime() const { return m_runtime; }
    std::string helperSocket() const { return m_runtime + "/com.quillmoor.marquee.helper"; }
    /// The helper's standard error: its log, with its operation records.
    std::string helperLog() const { return m_runtime + "/helper.log"; }
    /// `logicsim ctl COMMAND ARGS` against this logicsim; true when it succeeded.
    bool control(const char* command, const std::string& args) const { return logicsimControl(m_logicsimPath, m_runtime, command, args); }

private:
    const char* m_logicsimPath;
    std::string m_runtime;
    pid_t m_logicsim { -1 };
    pid_t m_helper { -1 };
    bool m_started { false };
};

/// The latency profile logicsim runs under when LOGICSIM_LATENCY_PROFILE names one
/// (it inherits the bench's environment): a bench then keeps that profile's
/// delays, and what it reports above the floor includes Logic's time. Nothing
/// otherwise: the bench sets Logic's delays to its own (mostly 0).
std::optional<std::string> latencyProfile();

/// Prints "name  floor F ms  median M ms (+M-F)  p90 P ms (+P-F)", and under it
/// the three steps of `records` (the operation records of the runs measured)
/// that took most above their planned time (StepExcess.h).
void reportAgainstFloor(const char* name, double floorMs, std::vector<double> ms, const std::vector<nlohmann::json>& records = {});

} // namespace mq::bench
