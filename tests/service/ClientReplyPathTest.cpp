// The client's reply path against a scripted helper in this process: whichever
// thread reads the socket, every reply reaches the call or callback it belongs
// to, exactly once, whatever the order in which the helper answers.
#include "marquee/HelperConnection.h"
#include "protocol/Frame.h"
#include "tests/support/Eventually.h"
#include "tests/support/TempRuntimeDir.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <future>
#include <thread>

namespace mq {
namespace {

using namespace std::chrono_literals;

bool readExactly(int fd, std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        auto got = ::recv(fd, data, size, 0);
        if (got <= 0)
            return false;
        data += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

// A helper that takes `count` control-bar state requests and then answers them in
// `order` (indices in arrival order), each with its frame rate as the state.
// `split` sends each reply in two writes with a pause between them.
class ScriptedHelper {
public:
    explicit ScriptedHelper(std::string path)
        : m_path(std::move(path))
    {
        m_listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, m_path.c_str(), sizeof(address.sun_path) - 1);
        EXPECT_EQ(::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        EXPECT_EQ(::listen(m_listener, 4), 0);
    }
    ~ScriptedHelper()
    {
        if (m_thread.joinable())
            m_thread.join();
        if (m_client >= 0)
            ::close(m_client);
        ::close(m_listener);
    }

    void serve(std::size_t count, std::vector<std::size_t> order, bool split, bool closeAfter,
        std::chrono::milliseconds pauseBeforeLast = std::chrono::milliseconds(0))
    {
        m_thread = std::thread([=, this] {
            m_client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            std::vector<ipc::Frame> requests;
            while (requests.size() < count) {
                std::uint8_t header[ipc::kFrameHeaderBytes];
                if (!readExactly(m_client, header, sizeof header))
                    return;
                std::vector<std::uint8_t> body(ipc::frameBodyLength(header));
                if (!readExactly(m_client, body.data(), body.size()))
                    return;
                requests.push_back(ipc::decodeFrameBody(body.data(), body.size()).value());
                requestsReceived.fetch_add(1);
            }
            for (std::size_t n = 0; n < order.size(); ++n) {
                if (n + 1 == order.size() && pauseBeforeLast.count() > 0) {
                    std::this_thread::sleep_for(pauseBeforeLast);
                    lastReplySent.store(std::chrono::steady_clock::now());
                }
                const ipc::Frame& request = requests.at(order[n]);
                auto state = static_cast<std::int64_t>(std::get<double>(request.values.at(0)));
                auto bytes = ipc::encodeFrame(ipc::Frame { ipc::FrameKind::reply, request.id, {}, { WireValue(state) } });
                std::size_t first = split ? bytes.size() / 2 : bytes.size();
                ::send(m_client, bytes.data(), first, MSG_NOSIGNAL);
                if (split) {
                    std::this_thread::sleep_for(20ms);
                    ::send(m_client, bytes.data() + first, bytes.size() - first, MSG_NOSIGNAL);
                }
                std::this_thread::sleep_for(5ms);
            }
            if (closeAfter)
                ::shutdown(m_client, SHUT_RDWR);
        });
    }

    std::atomic<std::chrono::steady_clock::time_point> lastReplySent { std::chrono::steady_clock::time_point::max() };
    /// Requests read so far: a test waits on it to send its next one after the last.
    std::atomic<std::size_t> requestsReceived { 0 };

private:
    std::string m_path;
    int m_listener { -1 };
    int m_client { -1 };
    std::thread m_thread;
};

struct ReplyOrderRow {
    const char* name;
    int blockingCalls; // on threads of their own, frame rates 10, 20, ...
    int callbacks; // sent before the blocking calls, frame rates 100, 200, ...
    std::vector<std::size_t> order;
    bool split;
};

class ReplyOrder : public ::testing::TestWithParam<ReplyOrderRow> {};

TEST_P(ReplyOrder, EveryReplyReachesItsOwnCaller)
{
    const ReplyOrderRow& row = GetParam();
    test::TempRuntimeDir dir;
    ScriptedHelper helper(dir.file("helper.sock"));
    auto count = static_cast<std::size_t>(row.blockingCalls + row.callbacks);
    helper.serve(count, row.order, row.split, false);
    auto connected = client::HelperConnection::connect(dir.file("helper.sock"));
    ASSERT_TRUE(connected.ok());
    auto& connection = *connected.value();

    std::vector<std::promise<std::int64_t>> callbackStates(static_cast<std::size_t>(row.callbacks));
    std::atomic<int> callbackRuns { 0 };
    for (int i = 0; i < row.callbacks; ++i) {
        double rate = 100.0 * (i + 1);
        connection.evaluateControlBarStateWithFrameRateAsync({ rate, false }, [&, i](auto result) {
            ++callbackRuns;
            callbackStates[static_cast<std::size_t>(i)].set_value(result.ok() ? std::get<0>(result.value()) : -1);
        });
    }
    std::vector<std::int64_t> states(static_cast<std::size_t>(row.blockingCalls), -1);
    std::vector<std::thread> callers;
    for (int i = 0; i < row.blockingCalls; ++i) {
        callers.emplace_back([&, i] {
            auto result = connection.evaluateControlBarStateWithFrameRate({ 10.0 * (i + 1), false }, 10s);
            states[static_cast<std::size_t>(i)] = result.ok() ? std::get<0>(result.value()) : -1;
        });
        // The requests arrive in the order of the rows' indices.
        EXPECT_TRUE(test::eventually([&] { return helper.requestsReceived.load() > static_cast<std::size_t>(row.callbacks + i); }, 10s)) << "call " << i;
    }
    for (auto& caller : callers)
        caller.join();
    for (int i = 0; i < row.blockingCalls; ++i)
        EXPECT_EQ(states[static_cast<std::size_t>(i)], 10 * (i + 1)) << "blocking call " << i;
    for (int i = 0; i < row.callbacks; ++i) {
        auto future = callbackStates[static_cast<std::size_t>(i)].get_future();
        ASSERT_EQ(future.wait_for(10s), std::future_status::ready) << "callback " << i;
        EXPECT_EQ(future.get(), 100 * (i + 1)) << "callback " << i;
    }
    EXPECT_EQ(callbackRuns.load(), row.callbacks);
    EXPECT_EQ(connection.unmatchedReplyCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Orders, ReplyOrder,
    ::testing::Values(ReplyOrderRow { "OneCall", 1, 0, { 0 }, false },
        ReplyOrderRow { "OneCallInTwoPieces", 1, 0, { 0 }, true },
        ReplyOrderRow { "TwoCallsAnsweredInReverse", 2, 0, { 1, 0 }, false },
        ReplyOrderRow { "ThreeCallsAnsweredOutOfOrderInPieces", 3, 0, { 2, 0, 1 }, true },
        ReplyOrderRow { "ACallbackAnsweredFirst", 1, 1, { 0, 1 }, false },
        ReplyOrderRow { "ACallbackAnsweredLast", 1, 1, { 1, 0 }, false },
        ReplyOrderRow { "CallbacksAlone", 0, 2, { 1, 0 }, true },
        ReplyOrderRow { "CallbacksBetweenCalls", 2, 2, { 3, 0, 2, 1 }, false }),
    [](const auto& info) { return info.param.name; });

TEST(ClientReplyPath, ACallWaitingLongDoesNotHoldUpTheRepliesOfOthers)
{
    test::TempRuntimeDir dir;
    ScriptedHelper helper(dir.file("helper.sock"));
    // The first caller's reply comes last, a while after the others'.
    helper.serve(3, { 1, 2, 0 }, false, false, 1500ms);
    auto connected = client::HelperConnection::connect(dir.file("helper.sock"));
    ASSERT_TRUE(connected.ok());
    auto& connection = *connected.value();
    auto slow = std::async(std::launch::async, [&] { return connection.evaluateControlBarStateWithFrameRate({ 1.0, false }, 10s); });
    ASSERT_TRUE(test::eventually([&] { return helper.requestsReceived.load() >= 1; }, 10s)) << "the first call is asked first";
    std::vector<std::future<std::pair<std::int64_t, std::chrono::steady_clock::time_point>>> quick;
    for (double rate : { 2.0, 3.0 })
        quick.push_back(std::async(std::launch::async, [&connection, rate] {
            auto result = connection.evaluateControlBarStateWithFrameRate({ rate, false }, 10s);
            return std::make_pair(result.ok() ? std::get<0>(result.value()) : std::int64_t(-1), std::chrono::steady_clock::now());
        }));
    for (std::size_t i = 0; i < quick.size(); ++i) {
        auto [state, returned] = quick[i].get();
        EXPECT_EQ(state, static_cast<std::int64_t>(i) + 2);
        EXPECT_LT(returned, helper.lastReplySent.load()) << "a call waited for another call's reply";
    }
    auto slowResult = slow.get();
    ASSERT_TRUE(slowResult.ok());
    EXPECT_EQ(std::get<0>(slowResult.value()), 1);
}

TEST(ClientReplyPath, AHelperThatLeavesFailsTheWaitingCallAndTheCallbacks)
{
    test::TempRuntimeDir dir;
    ScriptedHelper helper(dir.file("helper.sock"));
    helper.serve(2, {}, false, true);
    auto connected = client::HelperConnection::connect(dir.file("helper.sock"));
    ASSERT_TRUE(connected.ok());
    auto& connection = *connected.value();
    std::promise<client::ClientError::Kind> callbackError;
    connection.evaluateControlBarStateWithFrameRateAsync({ 1.0, false },
        [&](auto result) { callbackError.set_value(result.ok() ? client::ClientError::Kind::badReply : result.error().kind); });
    auto result = connection.evaluateControlBarStateWithFrameRate({ 2.0, false }, 10s);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().kind, client::ClientError::Kind::disconnected);
    auto future = callbackError.get_future();
    ASSERT_EQ(future.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(future.get(), client::ClientError::Kind::disconnected);
    EXPECT_TRUE(connection.isClosed());
    auto after = connection.evaluateControlBarStateWithFrameRate({ 3.0, false }, 1s);
    ASSERT_FALSE(after.ok());
    EXPECT_EQ(after.error().kind, client::ClientError::Kind::disconnected);
}

TEST(ClientReplyPath, AReplyAfterTheCallGaveUpIsCountedAndTheNextCallIsServed)
{
    test::TempRuntimeDir dir;
    ScriptedHelper helper(dir.file("helper.sock"));
    // Both requests first, then both replies: the first comes after its call timed out.
    helper.serve(2, { 0, 1 }, false, false);
    auto connected = client::HelperConnection::connect(dir.file("helper.sock"));
    ASSERT_TRUE(connected.ok());
    auto& connection = *connected.value();
    auto first = connection.evaluateControlBarStateWithFrameRate({ 1.0, false }, 50ms);
    ASSERT_FALSE(first.ok());
    EXPECT_EQ(first.error().kind, client::ClientError::Kind::timedOut);
    auto second = connection.evaluateControlBarStateWithFrameRate({ 2.0, false }, 10s);
    ASSERT_TRUE(second.ok()) << second.error().message;
    EXPECT_EQ(std::get<0>(second.value()), 2);
    EXPECT_EQ(connection.unmatchedReplyCount(), 1u);
}

} // namespace
} // namespace mq
