// The connection both socket clients share, over a socket pair whose other end
// the test plays: whichever thread reads the socket, every reply reaches the call
// or callback it belongs to, exactly once, whatever the order of the answers; a
// message that answers no request reaches the handler in stream order; an error
// of the stream fails everything that waits.
#include "base/FramedConnection.h"
#include "tests/support/Eventually.h"

#include <gtest/gtest.h>

#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>
#include <map>
#include <mutex>

namespace mq {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

/// "ID TEXT\n": a reply to request ID; "- TEXT\n": a message that answers none.
/// A line of a single "!" breaks the stream.
struct TestLines {
    using Message = std::pair<std::optional<std::uint64_t>, std::string>;

    Expected<std::size_t, std::string> take(std::span<const std::uint8_t> bytes, std::vector<Message>& out)
    {
        std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        std::size_t start = 0;
        for (std::size_t newline; (newline = text.find('\n', start)) != std::string_view::npos; start = newline + 1) {
            std::string_view line = text.substr(start, newline - start);
            if (line == "!")
                return unexpected(std::string("a broken line"));
            std::size_t space = line.find(' ');
            std::string_view id = line.substr(0, space);
            std::string payload(line.substr(space + 1));
            out.emplace_back(id == "-" ? std::nullopt : std::optional<std::uint64_t>(std::stoull(std::string(id))), payload);
        }
        return start;
    }

    static std::optional<std::uint64_t> replyId(const Message& message) { return message.first; }
};

using Connection = FramedConnection<TestLines>;

auto request(std::string payload)
{
    return [payload = std::move(payload)](std::uint64_t id) { return std::to_string(id) + " " + payload + "\n"; };
}

/// The other end of the socket: reads requests ("ID PAYLOAD" lines) and answers them.
class Peer {
public:
    explicit Peer(int fd)
        : m_fd(fd)
    {
    }
    ~Peer() { ::close(m_fd); }

    /// The next `count` requests, by payload: their ids.
    std::map<std::string, std::uint64_t> receive(std::size_t count)
    {
        std::map<std::string, std::uint64_t> requests;
        while (requests.size() < count) {
            std::size_t newline = m_inbox.find('\n');
            if (newline == std::string::npos) {
                char chunk[4096];
                ssize_t got = ::recv(m_fd, chunk, sizeof chunk, 0);
                if (got <= 0)
                    break;
                m_inbox.append(chunk, static_cast<std::size_t>(got));
                continue;
            }
            std::string line = m_inbox.substr(0, newline);
            m_inbox.erase(0, newline + 1);
            std::size_t space = line.find(' ');
            requests[line.substr(space + 1)] = std::stoull(line.substr(0, space));
        }
        return requests;
    }

    /// Sends `text`; with `split`, in two writes, the second once the first has been read.
    void send(const std::string& text, bool split = false)
    {
        std::size_t first = split ? text.size() / 2 : text.size();
        ASSERT_EQ(::send(m_fd, text.data(), first, MSG_NOSIGNAL), static_cast<ssize_t>(first));
        if (!split)
            return;
        ASSERT_TRUE(test::eventually([&] { return unread() == 0; }, 5s)) << "the first piece was not read";
        ASSERT_EQ(::send(m_fd, text.data() + first, text.size() - first, MSG_NOSIGNAL), static_cast<ssize_t>(text.size() - first));
    }

    void reply(std::uint64_t id, const std::string& payload, bool split = false) { send(std::to_string(id) + " " + payload + "\n", split); }

    void leave() { ::shutdown(m_fd, SHUT_RDWR); }

private:
    /// Bytes sent that the other end has not read yet.
    int unread() const
    {
        int queued = 0;
        ::ioctl(m_fd, TIOCOUTQ, &queued);
        return queued;
    }

    int m_fd;
    std::string m_inbox;
};

struct Pair {
    std::unique_ptr<Connection> connection;
    std::unique_ptr<Peer> peer;
};

Pair connectedPair(Connection::UnsolicitedHandler unsolicited = {})
{
    int fds[2];
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    EXPECT_TRUE(platform::setBlockingReadSlice(fds[0]));
    return { std::make_unique<Connection>(fds[0], TestLines {}, "the peer closed the connection", std::move(unsolicited)),
        std::make_unique<Peer>(fds[1]) };
}

std::string payloadOf(Connection::Reply reply)
{
    return reply ? reply->second : "error: " + reply.error().reason;
}

struct ReplyOrderRow {
    const char* name;
    int calls; // blocking calls on threads of their own, payloads "call0", "call1", ...
    int callbacks; // payloads "callback0", ...
    std::vector<std::string> answerOrder;
    bool split;
};

class ReplyOrder : public ::testing::TestWithParam<ReplyOrderRow> {};

TEST_P(ReplyOrder, EveryReplyReachesItsOwnCaller)
{
    const ReplyOrderRow& row = GetParam();
    Pair pair = connectedPair();
    auto& [connection, peer] = pair;

    std::vector<std::promise<std::string>> callbackPayloads(static_cast<std::size_t>(row.callbacks));
    std::atomic<int> callbackRuns { 0 };
    for (int i = 0; i < row.callbacks; ++i)
        connection->send(request("callback" + std::to_string(i)), [&, i](Connection::Reply reply) {
            ++callbackRuns;
            callbackPayloads[static_cast<std::size_t>(i)].set_value(payloadOf(std::move(reply)));
        });
    std::vector<std::future<std::string>> calls;
    for (int i = 0; i < row.calls; ++i)
        calls.push_back(std::async(std::launch::async,
            [&, i] { return payloadOf(connection->call(request("call" + std::to_string(i)), Clock::now() + 10s)); }));

    auto requests = peer->receive(row.answerOrder.size());
    ASSERT_EQ(requests.size(), row.answerOrder.size());
    for (const std::string& payload : row.answerOrder)
        peer->reply(requests.at(payload), payload, row.split);

    for (int i = 0; i < row.calls; ++i)
        EXPECT_EQ(calls[static_cast<std::size_t>(i)].get(), "call" + std::to_string(i));
    for (int i = 0; i < row.callbacks; ++i) {
        auto future = callbackPayloads[static_cast<std::size_t>(i)].get_future();
        ASSERT_EQ(future.wait_for(10s), std::future_status::ready) << "callback " << i;
        EXPECT_EQ(future.get(), "callback" + std::to_string(i));
    }
    EXPECT_EQ(callbackRuns.load(), row.callbacks);
    EXPECT_EQ(connection->unmatchedReplyCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Orders, ReplyOrder,
    ::testing::Values(ReplyOrderRow { "OneCall", 1, 0, { "call0" }, false },
        ReplyOrderRow { "OneCallInTwoPieces", 1, 0, { "call0" }, true },
        ReplyOrderRow { "TwoCallsAnsweredInReverse", 2, 0, { "call1", "call0" }, false },
        ReplyOrderRow { "ThreeCallsAnsweredOutOfOrderInPieces", 3, 0, { "call2", "call0", "call1" }, true },
        ReplyOrderRow { "ACallbackAnsweredFirst", 1, 1, { "callback0", "call0" }, false },
        ReplyOrderRow { "ACallbackAnsweredLast", 1, 1, { "call0", "callback0" }, false },
        ReplyOrderRow { "CallbacksAlone", 0, 2, { "callback1", "callback0" }, true },
        ReplyOrderRow { "CallbacksBetweenCalls", 2, 2, { "callback1", "call0", "callback0", "call1" }, false }),
    [](const auto& info) { return info.param.name; });

TEST(FramedConnection, ACallWaitingLongDoesNotHoldUpTheRepliesOfOthers)
{
    Pair pair = connectedPair();
    auto& [connection, peer] = pair;
    auto slow = std::async(std::launch::async, [&] { return payloadOf(connection->call(request("slow"), Clock::now() + 10s)); });
    auto requests = peer->receive(1);
    // The slow call now waits on the socket; the quick ones come after it and are
    // answered while it still waits. Its own reply comes only once they returned.
    std::vector<std::future<std::string>> quick;
    for (std::string payload : { "quick0", "quick1" })
        quick.push_back(std::async(std::launch::async, [&, payload] { return payloadOf(connection->call(request(payload), Clock::now() + 5s)); }));
    requests.merge(peer->receive(2));
    peer->reply(requests.at("quick1"), "quick1");
    peer->reply(requests.at("quick0"), "quick0");
    EXPECT_EQ(quick[0].get(), "quick0");
    EXPECT_EQ(quick[1].get(), "quick1");
    peer->reply(requests.at("slow"), "slow");
    EXPECT_EQ(slow.get(), "slow");
}

TEST(FramedConnection, MessagesThatAnswerNoRequestReachTheHandlerInStreamOrder)
{
    std::mutex mutex;
    std::vector<std::string> seen;
    Pair pair = connectedPair([&](Connection::Message& message) {
        std::lock_guard lock(mutex);
        seen.push_back(message.second);
    });
    auto& [connection, peer] = pair;
    auto call = std::async(std::launch::async, [&] { return payloadOf(connection->call(request("call"), Clock::now() + 10s)); });
    auto requests = peer->receive(1);
    peer->send("- before the reply\n");
    peer->reply(requests.at("call"), "call");
    EXPECT_EQ(call.get(), "call");
    {
        // Read before the reply, so handled before the call returned.
        std::lock_guard lock(mutex);
        EXPECT_EQ(seen, std::vector<std::string> { "before the reply" });
    }
    // Between calls the reader thread delivers them.
    connection->setEager(true);
    peer->send("- between calls\n");
    EXPECT_TRUE(test::eventually([&] {
        std::lock_guard lock(mutex);
        return seen.size() == 2 && seen.back() == "between calls";
    }, 5s));
}

struct StreamErrorRow {
    const char* name;
    std::string reason;
};

class StreamError : public ::testing::TestWithParam<StreamErrorRow> {};

TEST_P(StreamError, FailsTheWaitingCallAndTheCallbacksOnce)
{
    Pair pair = connectedPair();
    auto& [connection, peer] = pair;
    std::promise<std::string> callbackError;
    std::atomic<int> callbackRuns { 0 };
    connection->send(request("callback"), [&](Connection::Reply reply) {
        ++callbackRuns;
        callbackError.set_value(payloadOf(std::move(reply)));
    });
    auto call = std::async(std::launch::async, [&] { return connection->call(request("call"), Clock::now() + 10s); });
    peer->receive(2);
    if (GetParam().reason == "a broken line")
        peer->send("!\n");
    else
        peer->leave();

    Connection::Reply reply = call.get();
    ASSERT_FALSE(reply);
    EXPECT_EQ(reply.error().kind, ConnectionError::Kind::closed);
    EXPECT_EQ(reply.error().reason, GetParam().reason);
    auto future = callbackError.get_future();
    ASSERT_EQ(future.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(future.get(), "error: " + GetParam().reason);
    EXPECT_TRUE(connection->isClosed());
    // A closed connection stays closed: the next request fails at once.
    EXPECT_EQ(payloadOf(connection->call(request("after"), Clock::now() + 10s)), "error: " + GetParam().reason);
    std::promise<std::string> late;
    connection->send(request("late"), [&](Connection::Reply lateReply) { late.set_value(payloadOf(std::move(lateReply))); });
    EXPECT_EQ(late.get_future().get(), "error: " + GetParam().reason);
    EXPECT_EQ(callbackRuns.load(), 1);
    EXPECT_FALSE(connection->closedByPeerWhileIdle()) << "requests were waiting";
}

INSTANTIATE_TEST_SUITE_P(Errors, StreamError,
    ::testing::Values(StreamErrorRow { "PeerLeaves", "the peer closed the connection" }, StreamErrorRow { "BrokenFraming", "a broken line" }),
    [](const auto& info) { return info.param.name; });

TEST(FramedConnection, APeerThatClosesAnIdleConnectionIsToldApart)
{
    // The helper closes idle connections to let new clients in: nothing was lost,
    // and its client may connect again.
    Pair pair = connectedPair();
    auto& [connection, peer] = pair;
    auto call = std::async(std::launch::async, [&] { return payloadOf(connection->call(request("call"), Clock::now() + 10s)); });
    peer->reply(peer->receive(1).at("call"), "call");
    EXPECT_EQ(call.get(), "call");
    EXPECT_FALSE(connection->closedByPeerWhileIdle());
    peer->leave();
    EXPECT_TRUE(connection->closedByPeerWhileIdle());
    EXPECT_TRUE(connection->isClosed());
}

TEST(FramedConnection, AReplyAfterTheCallGaveUpIsCountedAndTheNextCallIsServed)
{
    Pair pair = connectedPair();
    auto& [connection, peer] = pair;
    Connection::Reply first = connection->call(request("first"), Clock::now() + 50ms);
    ASSERT_FALSE(first);
    EXPECT_EQ(first.error().kind, ConnectionError::Kind::timedOut);
    auto second = std::async(std::launch::async, [&] { return payloadOf(connection->call(request("second"), Clock::now() + 10s)); });
    auto requests = peer->receive(2);
    peer->reply(requests.at("first"), "first");
    peer->reply(requests.at("second"), "second");
    EXPECT_EQ(second.get(), "second");
    EXPECT_EQ(connection->unmatchedReplyCount(), 1u);
}

TEST(FramedConnection, ARequestThePeerDoesNotTakeInTimeIsATimeOutAndClosesTheConnection)
{
    // A peer that reads nothing fills the socket: the request cannot be sent whole
    // before the deadline. The peer is slow, not gone; the half-sent request still
    // leaves the stream unusable.
    Pair pair = connectedPair();
    auto& [connection, peer] = pair;
    auto start = Clock::now();
    Connection::Reply reply = connection->call(request(std::string(8 << 20, 'x')), start + 200ms);
    ASSERT_FALSE(reply);
    EXPECT_EQ(reply.error().kind, ConnectionError::Kind::timedOut);
    EXPECT_GE(Clock::now() - start, 200ms);
    EXPECT_TRUE(connection->isClosed());
}

} // namespace
} // namespace mq
