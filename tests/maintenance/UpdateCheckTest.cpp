// The update check against a real HTTPS server on the loopback, with certificate
// authorities made for the test: every answer the endpoint and the notes page can
// give, the exact failure messages, the log lines and the requests the server saw.
#include "maintenance/UpdateCheck.h"
#include "platform/Log.h"
#include "tests/maintenance/HttpsTestServer.h"

#include <gtest/gtest.h>

#include <future>

namespace mq::maintenance {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

constexpr std::size_t kNotesLimit = 1024;

json versionDocument(const std::string& notesPath, const std::string& downloadURL = "https://example.invalid/Marquee-2.1.dmg")
{
    return json { { "version", "2.1.0" }, { "releaseNotes", "{base}" + notesPath }, { "path", downloadURL } };
}

json route(int status, const std::string& body = "")
{
    return json { { "status", status }, { "body", body } };
}

class UpdateCheckTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_certificates = new test::TestCertificates(); }
    static void TearDownTestSuite()
    {
        delete s_certificates;
        s_certificates = nullptr;
    }

    /// Runs one check against `endpoint` and waits (bounded) for its outcome.
    UpdateCheckOutcome check(const std::string& endpoint, std::optional<std::string> caFile = std::nullopt,
        std::chrono::milliseconds timeout = 10s)
    {
        UpdateCheckSettings settings { endpoint, caFile ? caFile : s_certificates->trustedAuthorityFile(), timeout };
        std::promise<UpdateCheckOutcome> done;
        auto outcome = done.get_future();
        checkForUpdate(m_engine, settings, kNotesLimit, [&done](UpdateCheckOutcome result) { done.set_value(std::move(result)); });
        if (outcome.wait_for(30s) != std::future_status::ready) {
            ADD_FAILURE() << "no outcome within 30 s";
            return std::string("no outcome");
        }
        return outcome.get();
    }

    static test::TestCertificates* s_certificates;
    TransferEngine m_engine;
    log::LogCapture m_log;
};

test::TestCertificates* UpdateCheckTest::s_certificates = nullptr;

std::string failureOf(const UpdateCheckOutcome& outcome)
{
    auto* message = (outcome.hasValue() ? nullptr : &outcome.error());
    return message ? *message : "(succeeded)";
}

TEST_F(UpdateCheckTest, AnEndpointWithValidJSONAndNotesSucceedsWithTheNotesBytes)
{
    const std::string notes = "<html><body>Faster markers.</body></html>";
    test::HttpsTestServer server(*s_certificates,
        { { "/version", route(200, versionDocument("/notes").dump()) }, { "/notes", route(200, notes) } });

    auto outcome = check(server.url("/version"));
    auto* update = (outcome.hasValue() ? &outcome.value() : nullptr);
    ASSERT_TRUE(update) << failureOf(outcome);
    EXPECT_EQ(update->version, "2.1.0");
    EXPECT_EQ(update->downloadURL.absoluteString(), "https://example.invalid/Marquee-2.1.dmg");
    EXPECT_EQ(std::string(update->releaseNotesHTML.begin(), update->releaseNotesHTML.end()), notes);
    EXPECT_EQ(server.waitForRequests("/version", 1), 1u);
    EXPECT_EQ(server.waitForRequests("/notes", 1), 1u);
    EXPECT_TRUE(m_log.contains("checkForUpdate: GET " + server.url("/version"), "helper.service"));
    EXPECT_TRUE(m_log.contains("checkForUpdate: version=2.1.0, notes=" + server.url("/notes")
        + ", download=https://example.invalid/Marquee-2.1.dmg"));
    EXPECT_TRUE(m_log.contains("checkForUpdate: ok (" + std::to_string(notes.size()) + " HTML bytes)"));
    EXPECT_EQ(m_log.count("checkForUpdate failed"), 0u);
}

TEST_F(UpdateCheckTest, AnEmptyNotesPageSucceedsWithNoBytes)
{
    test::HttpsTestServer server(*s_certificates, { { "/version", route(200, versionDocument("/empty").dump()) }, { "/empty", route(200) } });
    auto outcome = check(server.url("/version"));
    auto* update = (outcome.hasValue() ? &outcome.value() : nullptr);
    ASSERT_TRUE(update) << failureOf(outcome);
    EXPECT_TRUE(update->releaseNotesHTML.empty());
    EXPECT_TRUE(m_log.contains("checkForUpdate: ok (0 HTML bytes)"));
}

TEST_F(UpdateCheckTest, EachFailingAnswerFailsWithItsMessageAndStopsWhereItFailed)
{
    const json document = versionDocument("/notes");
    json lacksPath = document;
    lacksPath.erase("path");
    json numericVersion = document;
    numericVersion["version"] = 21;
    json badNotesURL = document;
    badNotesURL["releaseNotes"] = "not a url";
    json badDownloadURL = document;
    badDownloadURL["path"] = "https://exa mple.com/x.dmg";

    test::HttpsTestServer server(*s_certificates,
        {
            { "/204", route(204) },
            { "/304", route(304) },
            { "/500", route(500, "oops") },
            { "/empty", route(200) },
            { "/lacks-path", route(200, lacksPath.dump()) },
            { "/numeric-version", route(200, numericVersion.dump()) },
            { "/not-json", route(200, "<html>") },
            { "/array", route(200, "[1, 2]") },
            { "/bad-notes-url", route(200, badNotesURL.dump()) },
            { "/bad-download-url", route(200, badDownloadURL.dump()) },
            { "/notes-404", route(200, versionDocument("/missing-notes").dump()) },
            { "/missing-notes", route(404, "gone") },
            { "/notes-too-large", route(200, versionDocument("/large").dump()) },
            { "/large", route(200, std::string(kNotesLimit + 1, 'x')) },
            { "/huge-version", route(200, std::string(64 * 1024 + 1, ' ')) },
            { "/notes", route(200, "notes") },
        });

    struct Row {
        const char* path;
        std::string expected; // The whole message, or its start when `prefixOnly`.
        bool prefixOnly;
        const char* notesPath; // Asked for when the check got as far as the notes.
    };
    const Row rows[] = {
        { "/204", "Version JSON HTTP status 204", false, nullptr },
        { "/304", "Version JSON HTTP status 304", false, nullptr },
        { "/500", "Version JSON HTTP status 500", false, nullptr },
        { "/empty", "Version JSON empty body", false, nullptr },
        { "/lacks-path", "Version JSON parse failed: no value associated with key \"path\"", false, nullptr },
        { "/numeric-version", "Version JSON parse failed: expected a string for key \"version\" but found number", false, nullptr },
        { "/not-json", "Version JSON parse failed: the data is not valid JSON: ", true, nullptr },
        { "/array", "Version JSON parse failed: expected a JSON object at the top level", false, nullptr },
        { "/bad-notes-url", "Version JSON has malformed URLs", false, nullptr },
        { "/bad-download-url", "Version JSON has malformed URLs", false, nullptr },
        { "/huge-version", "Version JSON fetch failed: the response is larger than 65536 bytes", false, nullptr },
        { "/notes-404", "Release notes HTTP status 404", false, "/missing-notes" },
        { "/notes-too-large", "Release notes fetch failed: the response is larger than 1024 bytes", false, "/large" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        auto failureLinesBefore = m_log.count("checkForUpdate failed: ");
        std::string message = failureOf(check(server.url(row.path)));
        if (row.prefixOnly) {
            EXPECT_TRUE(message.starts_with(row.expected)) << message;
        } else {
            EXPECT_EQ(message, row.expected);
        }
        EXPECT_EQ(m_log.count("checkForUpdate failed: ") - failureLinesBefore, 1u);
        EXPECT_TRUE(m_log.contains("checkForUpdate failed: " + message, "helper.service"));
        EXPECT_EQ(server.waitForRequests(row.path, 1), 1u);
        if (row.notesPath) {
            EXPECT_EQ(server.waitForRequests(row.notesPath, 1), 1u);
        }
    }
    // No check that failed on the version document went on to a second request.
    EXPECT_EQ(server.requestCount("/notes"), 0u);
}

TEST_F(UpdateCheckTest, AnUntrustedCertificateFailsAsATransportError)
{
    test::HttpsTestServer server(*s_certificates, { { "/version", route(200, versionDocument("/notes").dump()) } });
    std::string message = failureOf(check(server.url("/version"), s_certificates->otherAuthorityFile()));
    EXPECT_TRUE(message.starts_with("Version JSON fetch failed: ")) << message;
    EXPECT_NE(message.find("certificate"), std::string::npos) << message;
    // The handshake failed, so no request was ever made.
    EXPECT_EQ(server.requestCount("/version"), 0u);
}

TEST_F(UpdateCheckTest, AServerThatNeverAnswersTimesOut)
{
    test::HttpsTestServer server(*s_certificates, { { "/version", json { { "hang", true } } } });
    auto started = std::chrono::steady_clock::now();
    std::string message = failureOf(check(server.url("/version"), std::nullopt, 1s));
    EXPECT_TRUE(message.starts_with("Version JSON fetch failed: ")) << message;
    EXPECT_NE(message.find("timed out"), std::string::npos) << message;
    EXPECT_GE(std::chrono::steady_clock::now() - started, 1s);
}

TEST_F(UpdateCheckTest, AnEndpointThatIsNotAnHTTPSURLFailsBeforeAnyRequest)
{
    for (const char* endpoint : { "", "no scheme", "https://exa mple.com", "http://127.0.0.1:1/version", "https://" }) {
        SCOPED_TRACE(endpoint);
        EXPECT_EQ(failureOf(check(endpoint)), "Bad version-check URL");
    }
    UpdateCheckSettings unset;
    std::optional<UpdateCheckOutcome> outcome;
    checkForUpdate(m_engine, unset, kNotesLimit, [&](UpdateCheckOutcome result) { outcome = std::move(result); });
    ASSERT_TRUE(outcome) << "an unset endpoint fails at once";
    EXPECT_EQ(failureOf(*outcome), "Bad version-check URL");
    EXPECT_EQ(m_log.count("checkForUpdate: GET"), 0u);
}

TEST_F(UpdateCheckTest, AConnectionRefusedIsATransportError)
{
    // A port that was just free: nothing listens there.
    std::string url;
    {
        test::HttpsTestServer server(*s_certificates, json::object());
        url = server.url("/version");
    }
    std::string message = failureOf(check(url));
    EXPECT_TRUE(message.starts_with("Version JSON fetch failed: ")) << message;
}

TEST(TransferEngineTest, TransfersStillRunningEndWithATransportErrorWhenTheEngineGoes)
{
    test::TestCertificates certificates;
    test::HttpsTestServer server(certificates, { { "/hang", json { { "hang", true } } } });
    std::promise<TransferResult> done;
    auto result = done.get_future();
    {
        TransferEngine engine;
        engine.get(TransferRequest { server.url("/hang"), 60s, certificates.trustedAuthorityFile() },
            [&done](TransferResult transfer) { done.set_value(std::move(transfer)); });
        ASSERT_TRUE(result.wait_for(1s) == std::future_status::timeout);
    }
    ASSERT_EQ(result.wait_for(0s), std::future_status::ready);
    auto transfer = result.get();
    ASSERT_TRUE(transfer.transportError);
    EXPECT_EQ(*transfer.transportError, "the transfer engine is shutting down");
}

} // namespace
} // namespace mq::maintenance
