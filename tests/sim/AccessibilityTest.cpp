// Accessibility through the backend against a running logicsim: identity,
// status codes, trust, applications coming and going.
#include "tests/sim/LogicSimFixture.h"

#include "platform/Dispatch.h"

namespace mq::test {
namespace {

using namespace platform;

CFArray arrayOf(const CFValue& value)
{
    auto array = value.get<CFArray>();
    return array ? *array : CFArray {};
}

AXElementRef elementOf(const CFValue& value)
{
    auto e = value.get<AXElementRef>();
    return e ? *e : AXElementRef {};
}

class Accessibility : public LogicSimTest { };

TEST_F(Accessibility, SameInterfaceElementGivesEqualHandles)
{
    auto app = ax().createApplication(logicPid());
    CFValue windows, main, focused, again;
    ASSERT_EQ(read(app, "AXWindows", windows), 0);
    ASSERT_EQ(read(app, "AXMainWindow", main), 0);
    ASSERT_EQ(read(app, "AXFocusedWindow", focused), 0);
    ASSERT_EQ(arrayOf(windows).size(), 1u);
    EXPECT_EQ(elementOf(arrayOf(windows)[0]), elementOf(main));
    EXPECT_EQ(elementOf(main), elementOf(focused));
    ASSERT_EQ(read(elementOf(main), "AXParent", again), 0);
    EXPECT_EQ(elementOf(again), app);

    auto bar = elementByKeyPath({ 0, kControlBar });
    auto display = elementByKeyPath({ 0, kControlBar, 2 });
    EXPECT_NE(bar, display);
    CFValue parent;
    ASSERT_EQ(read(display, "AXParent", parent), 0);
    EXPECT_EQ(elementOf(parent), bar);
}

TEST_F(Accessibility, DefaultScenarioShowsTheProjectAndTheControlBarDisplay)
{
    auto window = elementByKeyPath({ 0 });
    EXPECT_EQ(readString(window, "AXDocument"), "/Users/someone/Music/Demo Project.logicx");
    EXPECT_EQ(readString(window, "AXSubrole"), "AXStandardWindow");
    EXPECT_EQ(readString(elementByKeyPath({ 0, kControlBar }), "AXDescription"), "Control Bar");
    const char* descriptions[] = { "Hours", "Minutes", "Seconds", "Frames" };
    const char* values[] = { "01", "00", "00", "00" };
    double lastX = -1;
    for (int i = 0; i < 4; ++i) {
        auto slider = elementByKeyPath({ 0, kControlBar, 2, i });
        EXPECT_EQ(readString(slider, "AXRole"), "AXSlider");
        EXPECT_EQ(readString(slider, "AXDescription"), descriptions[i]);
        EXPECT_EQ(readString(slider, "AXValueDescription"), values[i]);
        CFValue position;
        ASSERT_EQ(read(slider, "AXPosition", position), 0);
        auto point = std::get<CGPoint>(*position.get<AXValue>());
        EXPECT_GT(point.x, lastX);
        lastX = point.x;
    }
}

TEST_F(Accessibility, UnsupportedAttributeDiffersFromOneWithoutValue)
{
    auto window = elementByKeyPath({ 0 });
    ctl("set-attribute", { { "element", "project" }, { "attribute", "AXDocument" }, { "value", nullptr } });
    CFValue value;
    EXPECT_EQ(read(window, "AXDocument", value), axerror::noValue);
    EXPECT_EQ(read(window, "AXNoSuchAttribute", value), axerror::attributeUnsupported);
    ctl("set-attribute", { { "element", "project" }, { "attribute", "AXDocument" }, { "remove", true } });
    EXPECT_EQ(read(window, "AXDocument", value), axerror::attributeUnsupported);

    // The same distinction inside a multiple-attribute read, and with stop-on-error.
    CFArray values;
    ASSERT_EQ(ax().copyMultipleAttributeValues(window, { "AXRole", "AXDocument", "AXTitle" }, 0, values), 0);
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(values[0], CFValue("AXWindow"));
    EXPECT_EQ(values[1], CFValue(AXValue(AXValueError { axerror::attributeUnsupported })));
    EXPECT_EQ(values[2], CFValue("Demo Project - Tracks"));
    EXPECT_EQ(ax().copyMultipleAttributeValues(window, { "AXRole", "AXDocument" }, 1, values), axerror::attributeUnsupported);

    // The application element has no main window when none is set.
    ctl("set-main-window", { { "window", nullptr } });
    EXPECT_EQ(read(ax().createApplication(logicPid()), "AXMainWindow", value), axerror::noValue);
}

TEST_F(Accessibility, CountsSlicesNamesAndSettability)
{
    auto display = elementByKeyPath({ 0, kControlBar, 2 });
    std::int64_t count = 0;
    ASSERT_EQ(ax().getAttributeValueCount(display, "AXChildren", count), 0);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(ax().getAttributeValueCount(display, "AXRole", count), axerror::illegalArgument);
    CFArray values;
    ASSERT_EQ(ax().copyAttributeValues(display, "AXChildren", 1, 2, values), 0);
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(elementOf(values[0]), elementByKeyPath({ 0, kControlBar, 2, 1 }));
    EXPECT_EQ(ax().copyAttributeValues(display, "AXRole", 0, 0, values), 0);
    EXPECT_EQ(ax().copyAttributeValues(display, "AXNope", 0, 0, values), axerror::attributeUnsupported);

    CFArray names;
    ASSERT_EQ(ax().copyAttributeNames(display, names), 0);
    EXPECT_NE(std::find(names.begin(), names.end(), CFValue("AXDescription")), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), CFValue("AXChildren")), names.end());

    auto window = elementByKeyPath({ 0 });
    bool settable = false;
    ASSERT_EQ(ax().isAttributeSettable(window, "AXPosition", settable), 0);
    EXPECT_TRUE(settable);
    ASSERT_EQ(ax().isAttributeSettable(window, "AXTitle", settable), 0);
    EXPECT_FALSE(settable);
    EXPECT_EQ(ax().isAttributeSettable(window, "AXNope", settable), axerror::attributeUnsupported);
    ASSERT_EQ(ax().setAttributeValue(window, "AXPosition", CFValue(AXValue(CGPoint { 10, 40 }))), 0);
    CFValue position;
    ASSERT_EQ(read(window, "AXPosition", position), 0);
    EXPECT_EQ(position, CFValue(AXValue(CGPoint { 10, 40 })));
    EXPECT_EQ(ax().setAttributeValue(window, "AXPosition", CFValue("left")), axerror::illegalArgument);
    EXPECT_EQ(ax().setAttributeValue(window, "AXTitle", CFValue("x")), axerror::failure);

    std::string description;
    EXPECT_EQ(ax().copyActionDescription(elementByKeyPath({ 0, kControlBar, 1 }), "AXPress", description), 0);
    EXPECT_EQ(description, "press");
    EXPECT_EQ(ax().performAction(display, "AXPress"), axerror::actionUnsupported);
    CFValue unused;
    EXPECT_EQ(ax().copyParameterizedAttributeValue(display, "AXLineForIndex", CFValue(1), unused), axerror::parameterizedAttributeUnsupported);
}

TEST_F(Accessibility, ElementAtPositionFindsTheDeepestElement)
{
    AXElementRef hit;
    ASSERT_EQ(ax().copyElementAtPosition(ax().createApplication(logicPid()), 655, 70, hit), 0);
    EXPECT_EQ(hit, elementByKeyPath({ 0, kControlBar, 2, 1 }));
    // The first region's name, in the tracks area (the window's fourth child).
    ASSERT_EQ(ax().copyElementAtPosition(ax().createSystemWide(), 505, 155, hit), 0);
    EXPECT_EQ(hit, elementByKeyPath({ 0, 3, 0, 0, 0 }));
    EXPECT_EQ(ax().copyElementAtPosition(ax().createSystemWide(), 5000, 5000, hit), axerror::noValue);
}

TEST_F(Accessibility, ElementsOfAQuitApplicationAreInvalid)
{
    auto pid = logicPid();
    auto app = ax().createApplication(pid);
    auto window = elementByKeyPath({ 0 });
    ctl("quit", { { "app", "logic" } });
    CFValue value;
    EXPECT_EQ(read(window, "AXRole", value), axerror::invalidUIElement);
    EXPECT_EQ(read(app, "AXWindows", value), axerror::invalidUIElement);
    EXPECT_EQ(ax().performAction(window, "AXRaise"), axerror::invalidUIElement);
    for (const auto& running : m_backend->runningApplications())
        EXPECT_NE(running.bundleIdentifier, "com.apple.logic10");

    // A relaunch is a new process: new pid, new element identities.
    ctl("launch", { { "app", "logic" } });
    auto newPid = logicPid();
    EXPECT_NE(newPid, pid);
    EXPECT_EQ(read(window, "AXRole", value), axerror::invalidUIElement);
    auto newWindow = elementByKeyPath({ 0 });
    EXPECT_NE(newWindow, window);
    EXPECT_EQ(readString(newWindow, "AXRole"), "AXWindow");
}

TEST_F(Accessibility, UntrustedClientGetsAPIDisabledAndPromptsAreRecorded)
{
    auto window = elementByKeyPath({ 0 });
    EXPECT_TRUE(m_backend->isProcessTrustedWithOptions(false));
    ctl("set-trust", { { "pid", ::getpid() }, { "trusted", false } });
    CFValue value;
    CFArray names;
    EXPECT_EQ(read(window, "AXRole", value), axerror::apiDisabled);
    EXPECT_EQ(ax().copyAttributeNames(window, names), axerror::apiDisabled);
    EXPECT_EQ(ax().performAction(window, "AXRaise"), axerror::apiDisabled);
    EXPECT_EQ(ax().setAttributeValue(window, "AXPosition", CFValue(AXValue(CGPoint {}))), axerror::apiDisabled);
    EXPECT_FALSE(m_backend->isProcessTrustedWithOptions(false));
    EXPECT_FALSE(m_backend->isProcessTrustedWithOptions(true));
    EXPECT_FALSE(m_backend->isProcessTrustedWithOptions(true));
    auto state = ctl("state");
    EXPECT_EQ(state["accessibility"]["prompts"][std::to_string(::getpid())], 2);

    // Trust is per client: another pid's setting does not change ours.
    ctl("set-trust", { { "pid", ::getpid() + 1 }, { "trusted", true } });
    EXPECT_EQ(read(window, "AXRole", value), axerror::apiDisabled);
    ctl("set-trust", { { "pid", ::getpid() }, { "trusted", true } });
    EXPECT_EQ(read(window, "AXRole", value), 0);
}

TEST_F(Accessibility, WorkspaceListsTwoLogicInstancesInOrder)
{
    ctl("add-app", { { "application", { { "key", "logic-2" }, { "bundleIdentifier", "com.apple.logic10" }, { "localizedName", "Logic Pro" } } } });
    ctl("add-app", { { "application", { { "key", "mobile" }, { "bundleIdentifier", "com.apple.mobilelogic" }, { "localizedName", "Logic Pro" } } } });
    ctl("add-app", { { "application", { { "key", "gone" }, { "bundleIdentifier", "com.apple.logic10" }, { "terminated", true } } } });
    ctl("add-app", { { "application", { { "key", "nopid" }, { "bundleIdentifier", "com.apple.logic10" }, { "pid", -1 } } } });
    std::vector<RunningApplication> logic;
    for (const auto& app : m_backend->runningApplications())
        if (app.bundleIdentifier == "com.apple.logic10")
            logic.push_back(app);
    ASSERT_EQ(logic.size(), 4u);
    EXPECT_LT(logic[0].pid, logic[1].pid);
    EXPECT_FALSE(logic[1].isTerminated);
    EXPECT_TRUE(logic[2].isTerminated);
    EXPECT_EQ(logic[3].pid, -1);
    CFValue value;
    EXPECT_EQ(read(ax().createApplication(logic[2].pid), "AXRole", value), axerror::invalidUIElement);
    EXPECT_EQ(read(ax().createApplication(logic[1].pid), "AXRole", value), 0);

    bool sawProhibited = false;
    for (const auto& app : m_backend->runningApplications())
        sawProhibited = sawProhibited || (app.bundleIdentifier == "com.apple.systemevents" && app.activationPolicy == ActivationPolicy::prohibited);
    EXPECT_TRUE(sawProhibited);
}

TEST_F(Accessibility, ObserverHearsWindowsCreatedAndDestroyed)
{
    SerialDispatchQueue queue("observer");
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> heard;
    AXObserverRef observer;
    auto pid = logicPid();
    ASSERT_EQ(ax().observerCreate(pid, [&](AXObserverRef, AXElementRef, const std::string& name, const CFDictionary&) {
        std::lock_guard lock(mutex);
        heard.push_back(name);
        changed.notify_all();
    }, observer), 0);
    auto app = ax().createApplication(pid);
    ASSERT_EQ(ax().observerAddNotification(observer, app, "AXWindowCreated"), 0);
    EXPECT_EQ(ax().observerAddNotification(observer, app, "AXWindowCreated"), axerror::notificationAlreadyRegistered);
    ASSERT_EQ(ax().observerAddNotification(observer, app, "AXUIElementDestroyed"), 0);
    ax().observerSchedule(observer, &queue);
    ctl("add-window", { { "window", { { "key", "floating" }, { "role", "AXWindow" }, { "subrole", "AXFloatingWindow" } } } });
    ctl("remove-window", { { "window", "floating" } });
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, 2s, [&] { return heard.size() >= 2; }));
        EXPECT_EQ(heard, (std::vector<std::string> { "AXWindowCreated", "AXUIElementDestroyed" }));
    }
    EXPECT_EQ(ax().observerRemoveNotification(observer, app, "AXValueChanged"), axerror::notificationNotRegistered);
    ax().observerRelease(observer);
    ctl("quit", { { "app", "logic" } });
    EXPECT_EQ(ax().observerCreate(pid, [](auto, auto, const auto&, const auto&) {}, observer), axerror::invalidUIElement);
}

TEST_F(Accessibility, ObserverHearsADialogTakeTheFocusAndGiveItBack)
{
    SerialDispatchQueue queue("observer");
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> heard;
    AXObserverRef observer;
    auto pid = logicPid();
    ASSERT_EQ(ax().observerCreate(pid, [&](AXObserverRef, AXElementRef, const std::string& name, const CFDictionary&) {
        std::lock_guard lock(mutex);
        heard.push_back(name);
        changed.notify_all();
    }, observer), 0);
    auto app = ax().createApplication(pid);
    ASSERT_EQ(ax().observerAddNotification(observer, app, "AXWindowCreated"), 0);
    ASSERT_EQ(ax().observerAddNotification(observer, app, "AXFocusedWindowChanged"), 0);
    ax().observerSchedule(observer, &queue);
    ctl("add-window", { { "window", { { "key", "alert" }, { "role", "AXWindow" }, { "subrole", "AXDialog" }, { "modal", true } } } });
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, 2s, [&] { return heard.size() >= 2; }));
        EXPECT_EQ(heard, (std::vector<std::string> { "AXWindowCreated", "AXFocusedWindowChanged" }));
        heard.clear();
    }
    ctl("remove-window", { { "window", "alert" } });
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, 2s, [&] { return !heard.empty(); }));
        EXPECT_EQ(heard, (std::vector<std::string> { "AXFocusedWindowChanged" })) << "the focus goes back to the project window";
    }
    ax().observerRelease(observer);
}

} // namespace
} // namespace mq::test
