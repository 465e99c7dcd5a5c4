#include "ax/Observer.h"
#include "platform/Dispatch.h"
#include "tests/support/ScriptedAccessibility.h"

#include <gtest/gtest.h>

#include <future>

namespace mq::ax {
namespace {

using test::AXCall;

class ObserverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        appRef = backend.addApplication(70);
        windowRef = backend.addWindow(appRef, "Main");
    }
    /// Waits until every job queued so far has run.
    void drain()
    {
        std::promise<void> done;
        queue.async([&] { done.set_value(); });
        done.get_future().wait();
    }

    test::ScriptedAccessibility backend;
    SerialDispatchQueue queue { "observer-test" };
    platform::AXElementRef appRef;
    platform::AXElementRef windowRef;
};

struct Received {
    UIElement element;
    AXNotification notification;
};

TEST_F(ObserverTest, DeliversRegisteredNotificationsOnItsQueueWhileStarted)
{
    std::vector<Received> received;
    auto observer = Observer::create(Application(backend, 70), [&](Observer& from, const UIElement& element, AXNotification notification) {
        EXPECT_TRUE(queue.isCurrent());
        EXPECT_EQ(from.pid(), 70);
        received.push_back({ element, notification });
    }).value();
    ASSERT_NE(observer, nullptr);
    EXPECT_EQ(observer->pid(), 70);
    ASSERT_TRUE(observer->addNotification(AXNotification::titleChanged, UIElement(backend, windowRef)));
    EXPECT_EQ(backend.registrationCount(observer->axObserver()), 1u);
    EXPECT_EQ(backend.calls().back().name, "AXTitleChanged");

    EXPECT_EQ(backend.postNotification(windowRef, "AXTitleChanged"), 0u); // not started
    observer->start(queue);
    EXPECT_EQ(backend.postNotification(windowRef, "AXTitleChanged"), 1u);
    EXPECT_EQ(backend.postNotification(windowRef, "AXMoved"), 0u); // not registered
    drain();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].element, UIElement(backend, windowRef));
    EXPECT_EQ(received[0].notification, AXNotification::titleChanged);

    observer->stop();
    EXPECT_FALSE(backend.isScheduled(observer->axObserver()));
    ASSERT_TRUE(observer->removeNotification(AXNotification::titleChanged, UIElement(backend, windowRef)));
    EXPECT_EQ(backend.registrationCount(observer->axObserver()), 0u);
    EXPECT_EQ(observer->application(), Application(backend, 70));
}

TEST_F(ObserverTest, AnUnknownNotificationIsPrintedAndNotDelivered)
{
    int delivered = 0;
    auto observer = Observer::create(Application(backend, 70), [&](Observer&, const UIElement&, AXNotification) { ++delivered; }).value();
    observer->start(queue);
    ::testing::internal::CaptureStdout();
    ASSERT_TRUE(backend.postNotificationTo(observer->axObserver(), windowRef, "AXSomethingNew"));
    drain();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Unknown AX notification AXSomethingNew received\n");
    EXPECT_EQ(delivered, 0);
}

TEST_F(ObserverTest, TheInfoCallbackReceivesTheUnpackedDictionary)
{
    ValueDictionary info;
    auto observer = Observer::createWithInfo(Application(backend, 70),
        [&](Observer&, const UIElement&, AXNotification, const ValueDictionary& dictionary) { info = dictionary; }).value();
    ASSERT_TRUE(observer->addNotification(AXNotification::announcementRequested, UIElement(backend, appRef)));
    observer->start(queue);
    backend.postNotification(appRef, "AXAnnouncementRequested", platform::CFDictionary { { "AXUIElementsKey", windowRef } });
    drain();
    ASSERT_EQ(info.size(), 1u);
    EXPECT_EQ(info[0].first, "AXUIElementsKey");
    EXPECT_EQ(info[0].second, Value(UIElement(backend, windowRef)));
}

TEST_F(ObserverTest, NoObserverForAnInvalidApplicationAndReleasedOnDestruction)
{
    backend.quit(70);
    EXPECT_EQ(Observer::create(Application(backend, 70), [](Observer&, const UIElement&, AXNotification) {}).value(), nullptr);
    backend.addApplication(70);
    {
        auto observer = Observer::create(Application(backend, 70), [](Observer&, const UIElement&, AXNotification) {}).value();
        ASSERT_NE(observer, nullptr);
    }
    EXPECT_EQ(backend.count(AXCall::observerRelease), 1u);
}

TEST_F(ObserverTest, ACallbackQueuedBeforeDestructionDoesNothing)
{
    int delivered = 0;
    std::promise<void> gate;
    auto observer = Observer::create(Application(backend, 70), [&](Observer&, const UIElement&, AXNotification) { ++delivered; }).value();
    ASSERT_TRUE(observer->addNotification(AXNotification::moved, UIElement(backend, windowRef)));
    observer->start(queue);
    queue.async([future = gate.get_future().share()] { future.wait(); });
    backend.postNotification(windowRef, "AXMoved");
    observer.reset();
    gate.set_value();
    drain();
    EXPECT_EQ(delivered, 0);
}

} // namespace
} // namespace mq::ax
