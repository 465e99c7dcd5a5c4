// A real HTTPS server on the loopback for the update check tests: certificate
// authorities and a server certificate made with the openssl tool at test time, and
// a small Python server that answers each path as a test's routes say.
#pragma once

#include "tests/support/ChildProcess.h"
#include "tests/support/TempRuntimeDir.h"

#include <nlohmann/json.hpp>

#include <memory>
#include <string>

namespace mq::test {

/// A test certificate authority that signed the server's certificate, and another
/// that did not. Made once per test binary (key generation is the slow part).
class TestCertificates {
public:
    /// Throws std::runtime_error when the openssl tool fails.
    TestCertificates();

    std::string trustedAuthorityFile() const { return m_dir.file("ca.pem"); }
    std::string otherAuthorityFile() const { return m_dir.file("other-ca.pem"); }
    std::string serverCertificateFile() const { return m_dir.file("server.pem"); }
    std::string serverKeyFile() const { return m_dir.file("server.key"); }

private:
    TempRuntimeDir m_dir;
};

class HttpsTestServer {
public:
    /// Starts the server with `routes` ({"/path": {"status": 200, "body": "..."}})
    /// and waits (bounded) until it listens. Throws when it does not.
    HttpsTestServer(const TestCertificates& certificates, const nlohmann::json& routes);

    /// "https://127.0.0.1:PORT" followed by `path`.
    std::string url(const std::string& path = "") const;
    /// How many requests for `path` arrived so far.
    std::size_t requestCount(const std::string& path) const;

private:
    TempRuntimeDir m_dir;
    std::unique_ptr<ChildProcess> m_process;
    int m_port { 0 };
};

} // namespace mq::test
