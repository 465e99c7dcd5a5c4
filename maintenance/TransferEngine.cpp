#include "maintenance/TransferEngine.h"

#include "platform/JobBoundary.h"

#include <curl/curl.h>

#include <deque>
#include <fmt/format.h>
#include <mutex>
#include <set>
#include <thread>

namespace mq::maintenance {

namespace {

// One transfer in flight: what the write callback fills and the completion to call.
struct Transfer {
    TransferCompletion completion;
    std::vector<std::uint8_t> body;
    std::size_t maxBodyBytes { 0 };
    bool bodyTooLarge { false };
    char errorBuffer[CURL_ERROR_SIZE] {};
};

size_t appendBody(char* data, size_t size, size_t count, void* context)
{
    auto* transfer = static_cast<Transfer*>(context);
    size_t bytes = size * count;
    if (transfer->body.size() + bytes > transfer->maxBodyBytes) {
        transfer->bodyTooLarge = true;
        return 0; // Ends the transfer with CURLE_WRITE_ERROR.
    }
    transfer->body.insert(transfer->body.end(), data, data + bytes);
    return bytes;
}

// Calls a completion on the engine's thread. One that throws fails alone: it is
// reported, the replies it held are answered as failures, and the engine goes on.
void complete(TransferCompletion& completion, TransferResult result)
{
    if (callAtJobBoundary("transfer completion", [&] { completion(std::move(result)); }))
        return;
    FailedJobTeardown teardown;
    completion = nullptr;
}

void initializeCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

} // namespace

struct TransferEngine::State {
    std::mutex mutex;
    std::deque<std::pair<TransferRequest, TransferCompletion>> pending;
    bool stopping { false };
    CURLM* multi { nullptr };
    std::thread thread;
    std::set<CURL*> running; // Engine thread only.

    void run();
    /// Makes an easy handle for `request`; on failure calls `completion` with the reason.
    void begin(TransferRequest request, TransferCompletion completion);
    void finish(CURL* easy, CURLcode code);
};

void TransferEngine::State::begin(TransferRequest request, TransferCompletion completion)
{
    CURL* easy = curl_easy_init();
    if (!easy) {
        complete(completion, TransferResult { "could not create a transfer", 0, {} });
        return;
    }
    auto* transfer = new Transfer { std::move(completion), {}, request.maxBodyBytes, false, {} };
    curl_easy_setopt(easy, CURLOPT_PRIVATE, transfer);
    curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(request.timeout.count()));
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    // Every transfer is HTTPS: the update check accepts no other address.
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "https");
    // Redirects are followed as a browser would, but never away from HTTPS.
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy, CURLOPT_USERAGENT, "MarqueeHelper");
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer->errorBuffer);
    if (request.caFile) {
        // Only the named authorities: the system's directory is not consulted.
        curl_easy_setopt(easy, CURLOPT_CAINFO, request.caFile->c_str());
        curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr);
    }
    if (CURLMcode added = curl_multi_add_handle(multi, easy); added != CURLM_OK) {
        curl_easy_cleanup(easy);
        auto completionToCall = std::move(transfer->completion);
        delete transfer;
        complete(completionToCall, TransferResult { fmt::format("could not start the transfer: {}", curl_multi_strerror(added)), 0, {} });
        return;
    }
    running.insert(easy);
}

void TransferEngine::State::finish(CURL* easy, CURLcode code)
{
    Transfer* transfer = nullptr;
    curl_easy_getinfo(easy, CURLINFO_PRIVATE, &transfer);
    TransferResult result;
    if (code == CURLE_OK) {
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &result.status);
        result.body = std::move(transfer->body);
    } else if (code == CURLE_ABORTED_BY_CALLBACK) {
        result.transportError = "the transfer engine is shutting down";
    } else if (transfer->bodyTooLarge) {
        result.transportError = fmt::format("the response is larger than {} bytes", transfer->maxBodyBytes);
    } else {
        result.transportError = transfer->errorBuffer[0] ? std::string(transfer->errorBuffer) : std::string(curl_easy_strerror(code));
    }
    curl_multi_remove_handle(multi, easy);
    curl_easy_cleanup(easy);
    running.erase(easy);
    auto completion = std::move(transfer->completion);
    delete transfer;
    complete(completion, std::move(result));
}

void TransferEngine::State::run()
{
    for (;;) {
        std::deque<std::pair<TransferRequest, TransferCompletion>> starting;
        bool stop = false;
        {
            std::lock_guard lock(mutex);
            starting.swap(pending);
            stop = stopping;
        }
        for (auto& [request, completion] : starting) {
            if (stop)
                complete(completion, TransferResult { "the transfer engine is shutting down", 0, {} });
            else
                begin(std::move(request), std::move(completion));
        }
        if (stop)
            break;

        int stillRunning = 0;
        curl_multi_perform(multi, &stillRunning);
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg == CURLMSG_DONE)
                finish(message->easy_handle, message->data.result);
        }
        curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
    }

    // Transfers still running end with a transport error, so every completion runs once.
    while (!running.empty())
        finish(*running.begin(), CURLE_ABORTED_BY_CALLBACK);
}

TransferEngine::TransferEngine()
    : m_state(std::make_shared<State>())
{
    initializeCurlOnce();
    m_state->multi = curl_multi_init();
    m_state->thread = std::thread([state = m_state] { state->run(); });
}

TransferEngine::~TransferEngine()
{
    {
        std::lock_guard lock(m_state->mutex);
        m_state->stopping = true;
    }
    curl_multi_wakeup(m_state->multi);
    m_state->thread.join();
    curl_multi_cleanup(m_state->multi);
}

TransferEngine& TransferEngine::shared()
{
    static TransferEngine engine;
    return engine;
}

void TransferEngine::get(TransferRequest request, TransferCompletion completion)
{
    {
        std::unique_lock lock(m_state->mutex);
        if (m_state->stopping) {
            lock.unlock();
            completion(TransferResult { "the transfer engine is shutting down", 0, {} });
            return;
        }
        m_state->pending.emplace_back(std::move(request), std::move(completion));
    }
    curl_multi_wakeup(m_state->multi);
}

} // namespace mq::maintenance
