#include "tests/maintenance/HttpsTestServer.h"

#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <stdexcept>

namespace mq::test {

namespace {

using namespace std::chrono_literals;

void runTool(std::vector<std::string> argv)
{
    std::string command = argv[0] + " " + (argv.size() > 1 ? argv[1] : "");
    ChildProcess tool(std::move(argv));
    auto status = tool.waitForExit(60s);
    if (!status || !WIFEXITED(*status) || WEXITSTATUS(*status) != 0)
        throw std::runtime_error("the openssl tool failed: " + command);
}

void makeAuthority(const TempRuntimeDir& dir, const std::string& name, const std::string& commonName)
{
    runTool({ MQ_OPENSSL_TOOL, "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
        "-keyout", dir.file(name + ".key"), "-out", dir.file(name + ".pem"), "-days", "2", "-subj", "/CN=" + commonName,
        "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign" });
}

} // namespace

TestCertificates::TestCertificates()
{
    makeAuthority(m_dir, "ca", "Marquee Test CA");
    makeAuthority(m_dir, "other-ca", "Some Other CA");
    runTool({ MQ_OPENSSL_TOOL, "req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
        m_dir.file("server.key"), "-out", m_dir.file("server.csr"), "-subj", "/CN=127.0.0.1" });
    {
        std::ofstream extensions(m_dir.file("server.ext"));
        extensions << "subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n";
    }
    runTool({ MQ_OPENSSL_TOOL, "x509", "-req", "-in", m_dir.file("server.csr"), "-CA", m_dir.file("ca.pem"), "-CAkey",
        m_dir.file("ca.key"), "-CAcreateserial", "-out", m_dir.file("server.pem"), "-days", "2", "-extfile",
        m_dir.file("server.ext") });
}

HttpsTestServer::HttpsTestServer(const TestCertificates& certificates, const nlohmann::json& routes)
{
    {
        std::ofstream file(m_dir.file("routes.json"));
        file << routes.dump();
    }
    m_process = std::make_unique<ChildProcess>(std::vector<std::string> { MQ_PYTHON3, MQ_HTTPS_TEST_SERVER,
        m_dir.file("routes.json"), certificates.serverCertificateFile(), certificates.serverKeyFile() });
    if (!m_process->waitForLine("PORT ", 20s))
        throw std::runtime_error("the HTTPS test server did not start");
    for (const auto& line : m_process->lines(ChildProcess::Stream::standardOutput)) {
        if (line.starts_with("PORT "))
            m_port = std::stoi(line.substr(5));
    }
}

std::string HttpsTestServer::url(const std::string& path) const
{
    return "https://127.0.0.1:" + std::to_string(m_port) + path;
}

std::size_t HttpsTestServer::requestCount(const std::string& path) const
{
    std::size_t count = 0;
    for (const auto& line : m_process->lines(ChildProcess::Stream::standardOutput))
        count += line == "REQUEST " + path;
    return count;
}

} // namespace mq::test
