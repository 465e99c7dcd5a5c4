// A job that throws on one of the helper's queues: in a release build the
// exception is logged with the job's name, every reply the job held is answered
// as a failure (once), and the queue runs its next job; debug and sanitizer
// builds abort there instead.
#include "app/ipc/server/Reply.h"
#include "platform/Dispatch.h"
#include "platform/JobBoundary.h"
#include "platform/Log.h"

#include <gtest/gtest.h>

#include <cmath>
#include <future>
#include <optional>
#include <stdexcept>
#include <tuple>

namespace mq {
namespace {

using namespace std::chrono_literals;
using Answer = std::tuple<bool, double, std::optional<ServiceError>>;

/// Queues a job that holds a reply and throws, then a job that answers `next`.
void throwOnQueue(SerialDispatchQueue& queue, std::promise<Answer>& answered, std::promise<void>& next)
{
    Reply<void(bool, double, std::optional<ServiceError>)> reply("createLogicMarkerWithTimecodeSeconds:",
        [&answered](bool ok, double value, std::optional<ServiceError> error) { answered.set_value({ ok, value, std::move(error) }); });
    queue.async([reply = std::move(reply)]() mutable {
        throw std::runtime_error("index out of range");
    });
    queue.async([&next] { next.set_value(); });
}

TEST(JobBoundary, AThrowingJobFailsItsReplyAndTheQueueGoesOn)
{
    if constexpr (kJobBoundaryAborts) {
        EXPECT_DEATH(
            {
                SerialDispatchQueue queue("test.boundary");
                std::promise<Answer> answered;
                std::promise<void> next;
                throwOnQueue(queue, answered, next);
                next.get_future().wait_for(5s);
            },
            "test.boundary: threw index out of range");
        return;
    }
    log::LogCapture log;
    auto faultsBefore = replyFaultCount();
    SerialDispatchQueue queue("test.boundary");
    std::promise<Answer> answered;
    std::promise<void> next;
    throwOnQueue(queue, answered, next);
    auto answer = answered.get_future();
    ASSERT_EQ(answer.wait_for(5s), std::future_status::ready) << "the reply was not answered";
    auto [ok, value, error] = answer.get();
    EXPECT_FALSE(ok);
    EXPECT_TRUE(std::isnan(value));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, kInternalErrorCode);
    EXPECT_EQ(next.get_future().wait_for(5s), std::future_status::ready) << "the queue stopped";
    EXPECT_TRUE(log.contains("test.boundary: threw index out of range; its replies are answered as failures", "helper"));
    EXPECT_TRUE(log.contains("reply to createLogicMarkerWithTimecodeSeconds: answered as a failure"));
    EXPECT_EQ(replyFaultCount(), faultsBefore);
}

// A reply that a handler holds as a parameter is answered while the exception
// unwinds through it, before the boundary sees the exception.
TEST(JobBoundary, AReplyUnwoundByAnExceptionIsAnsweredOnce)
{
    if constexpr (kJobBoundaryAborts)
        GTEST_SKIP() << "this build aborts at the boundary";
    log::LogCapture log;
    auto faultsBefore = replyFaultCount();
    int answers = 0;
    std::optional<ServiceError> error;
    auto handler = [](Reply<void(std::int64_t, std::optional<ServiceError>)> reply) {
        (void)reply;
        throw std::logic_error("bug");
    };
    bool returned = callAtJobBoundary("request evaluateControlBarStateWithFrameRate:isDropFrame:reply: from pid 1", [&] {
        handler(Reply<void(std::int64_t, std::optional<ServiceError>)>("evaluateControlBarStateWithFrameRate:isDropFrame:reply:",
            [&](std::int64_t state, std::optional<ServiceError> failure) {
                ++answers;
                EXPECT_EQ(state, -1);
                error = std::move(failure);
            }));
    });
    EXPECT_FALSE(returned);
    EXPECT_EQ(answers, 1);
    EXPECT_TRUE(error);
    EXPECT_TRUE(log.contains("request evaluateControlBarStateWithFrameRate:isDropFrame:reply: from pid 1: threw bug"));
    EXPECT_EQ(replyFaultCount(), faultsBefore);
}

} // namespace
} // namespace mq
