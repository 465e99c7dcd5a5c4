// What the seam's contract tests run against: one backend of the platform seam
// and an application of the desktop behind it that the tests may end or stall.
// Each backend supplies makeContractTarget(): logicsim on Linux (its Logic is the
// application), the real frameworks on a Mac (a small test application of our own).
#pragma once

#include "platform/Platform.h"

#include <memory>
#include <string>

namespace mq::test {

class ContractTarget {
public:
    virtual ~ContractTarget() = default;

    virtual platform::Platform platform() = 0;

    /// The test application: running, with at least one window.
    virtual platform::pid_type applicationPid() = 0;
    virtual std::string applicationBundleIdentifier() = 0;

    /// Ends the test application and returns once it is gone.
    virtual void quitApplication() = 0;
    /// Makes the application stop answering, as a busy main thread does, and answer again.
    virtual void stallApplication() = 0;
    virtual void resumeApplication() = 0;
};

/// The backend of this build.
std::unique_ptr<ContractTarget> makeContractTarget();

} // namespace mq::test
