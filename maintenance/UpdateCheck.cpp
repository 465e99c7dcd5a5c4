#include "maintenance/UpdateCheck.h"

#include "platform/Log.h"
#include "base/UTF8.h"

#include <curl/curl.h>

#include <memory>

namespace mq::maintenance {

namespace {

// The version document is small; anything near this is not one.
constexpr std::size_t kMaxVersionDocumentBytes = 64 * 1024;

const log::Logger& serviceLog()
{
    static const log::Logger logger("helper.service");
    return logger;
}

// What both steps share: where the check ends up and how it fails.
struct Check {
    TransferEngine& engine;
    UpdateCheckSettings settings;
    std::size_t maxNotesBytes;
    UniqueFunction<void(UpdateCheckOutcome)> completion;

    void fail(std::string message)
    {
        // Messages quote the server's answer, which need not be UTF-8.
        message = withInvalidUTF8Replaced(message);
        serviceLog().error("checkForUpdate failed: {}", message);
        completion(unexpected(std::move(message)));
    }

    TransferRequest request(const URL& url, std::size_t maxBodyBytes) const
    {
        return TransferRequest { url.absoluteString(), settings.requestTimeout, settings.caFile, maxBodyBytes };
    }
};

void fetchReleaseNotes(std::unique_ptr<Check> check, std::string version, URL notesURL, URL downloadURL)
{
    auto request = check->request(notesURL, check->maxNotesBytes);
    auto& engine = check->engine;
    engine.get(std::move(request),
        [check = std::move(check), version = std::move(version), downloadURL = std::move(downloadURL)](TransferResult result) mutable {
            if (result.transportError)
                return check->fail("Release notes fetch failed: " + *result.transportError);
            if (result.status != 200)
                return check->fail("Release notes HTTP status " + std::to_string(result.status));
            serviceLog().info("checkForUpdate: ok ({} HTML bytes)", result.body.size());
            check->completion(UpdateAvailable { std::move(version), std::move(downloadURL), std::move(result.body) });
        });
}

void onVersionDocument(std::unique_ptr<Check> check, TransferResult result)
{
    if (result.transportError)
        return check->fail("Version JSON fetch failed: " + *result.transportError);
    if (result.status != 200)
        return check->fail("Version JSON HTTP status " + std::to_string(result.status));
    if (result.body.empty())
        return check->fail("Version JSON empty body");
    auto decoded = decodeVersionCheckPayload(result.body);
    if (!decoded)
        return check->fail("Version JSON parse failed: " + decoded.error());
    auto& payload = decoded.value();
    auto notesURL = parseTransferURL(payload.releaseNotes);
    auto downloadURL = parseTransferURL(payload.path);
    // Only HTTPS, like the endpoint: notes over plain text could be altered on the
    // way, and a download address of another scheme (a local file, say) is no
    // place to fetch the product from.
    if (!notesURL || !downloadURL || notesURL->scheme() != "https" || downloadURL->scheme() != "https")
        return check->fail("Version JSON has malformed URLs");
    serviceLog().info("checkForUpdate: version={}, notes={}, download={}", payload.version, notesURL->absoluteString(),
        downloadURL->absoluteString());
    fetchReleaseNotes(std::move(check), std::move(payload.version), std::move(*notesURL), std::move(*downloadURL));
}

} // namespace

std::optional<URL> parseTransferURL(const std::string& text)
{
    auto url = URL::parse(text);
    if (!url)
        return std::nullopt;
    // libcurl's parser is the one the transfer uses: it refuses spaces, a missing
    // host where one is needed and a malformed port, which the loose form allows.
    CURLU* handle = curl_url();
    if (!handle)
        return std::nullopt;
    bool accepted = curl_url_set(handle, CURLUPART_URL, text.c_str(), 0) == CURLUE_OK;
    curl_url_cleanup(handle);
    if (!accepted)
        return std::nullopt;
    return url;
}

void checkForUpdate(TransferEngine& engine, const UpdateCheckSettings& settings, std::size_t maxNotesBytes,
    UniqueFunction<void(UpdateCheckOutcome)> completion)
{
    auto check = std::make_unique<Check>(Check { engine, settings, maxNotesBytes, std::move(completion) });
    // The endpoint is an HTTPS base URL: a plain-text endpoint could be answered by
    // anyone on the way with a download address of their choosing.
    std::optional<URL> endpoint = settings.endpoint ? parseTransferURL(*settings.endpoint) : std::nullopt;
    if (!endpoint || endpoint->scheme() != "https")
        return check->fail("Bad version-check URL");
    serviceLog().info("checkForUpdate: GET {}", endpoint->absoluteString());
    auto request = check->request(*endpoint, kMaxVersionDocumentBytes);
    engine.get(std::move(request), [check = std::move(check)](TransferResult result) mutable {
        onVersionDocument(std::move(check), std::move(result));
    });
}

} // namespace mq::maintenance
