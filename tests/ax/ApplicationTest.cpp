#include "ax/Application.h"
#include "tests/support/ScriptedAccessibility.h"
#include "tests/support/ScriptedWorkspace.h"

#include <gtest/gtest.h>

namespace mq::ax {
namespace {

using platform::ActivationPolicy;
using platform::RunningApplication;

RunningApplication running(std::optional<std::string> bundle, platform::pid_type pid, bool terminated = false,
    ActivationPolicy policy = ActivationPolicy::regular)
{
    return RunningApplication { std::move(bundle), pid, std::string("App"), terminated, policy };
}

std::vector<platform::pid_type> pids(const std::vector<Application>& applications)
{
    std::vector<platform::pid_type> result;
    for (const Application& application : applications)
        result.push_back(application.element().pid);
    return result;
}

class ApplicationTest : public ::testing::Test {
protected:
    test::ScriptedAccessibility backend;
    test::ScriptedWorkspace workspace;
};

TEST_F(ApplicationTest, AllForBundleIDMatchesExactlyInWorkspaceOrder)
{
    workspace.setRunningApplications({
        running("com.apple.finder", 10),
        running("com.apple.logic10", 31),
        running("com.apple.Logic10", 32),
        running("com.apple.logic10", 12),
        running("com.apple.logic10", 13, true),
        running("com.apple.logic10", -1),
        running(std::nullopt, 14),
    });
    struct Row {
        const char* bundle;
        std::vector<platform::pid_type> expected;
    };
    const Row rows[] = {
        { "com.apple.logic10", { 31, 12 } },
        { "com.apple.Logic10", { 32 } },
        { "COM.APPLE.LOGIC10", {} },
        { "com.apple.logic", {} },
        { "", {} },
    };
    for (const Row& row : rows)
        EXPECT_EQ(pids(Application::allForBundleID(workspace, backend, row.bundle)), row.expected) << row.bundle;
}

TEST_F(ApplicationTest, AllSkipsProhibitedTerminatedAndNegativePids)
{
    workspace.setRunningApplications({
        running("a", 1),
        running("b", 2, false, ActivationPolicy::prohibited),
        running("c", 3, false, ActivationPolicy::accessory),
        running("d", 4, true),
        running("e", -5),
        running(std::nullopt, 6),
    });
    EXPECT_EQ(pids(Application::all(workspace, backend)), (std::vector<platform::pid_type> { 1, 3, 6 }));
}

TEST_F(ApplicationTest, FromRunningApplication)
{
    EXPECT_TRUE(Application::fromRunningApplication(backend, running("x", 0)).has_value());
    EXPECT_FALSE(Application::fromRunningApplication(backend, running("x", -1)).has_value());
    EXPECT_FALSE(Application::fromRunningApplication(backend, running("x", 5, true)).has_value());
}

TEST_F(ApplicationTest, WindowsAreNewElementsInOrderAndAbsentWhenNotAListOfElements)
{
    platform::AXElementRef app = backend.addApplication(40);
    platform::AXElementRef first = backend.addWindow(app, "One");
    platform::AXElementRef second = backend.addWindow(app, "Two");
    Application application(backend, 40);
    std::optional<std::vector<UIElement>> windows = application.windows().value();
    ASSERT_TRUE(windows.has_value());
    EXPECT_EQ(*windows, (std::vector<UIElement> { UIElement(backend, first), UIElement(backend, second) }));

    backend.setAttribute(app, "AXWindows", platform::CFArray { first, "not an element" });
    EXPECT_EQ(application.windows(), std::nullopt);
    backend.setAttribute(app, "AXWindows", "nothing");
    EXPECT_EQ(application.windows(), std::nullopt);
    backend.setAttribute(app, "AXWindows", platform::CFArray {});
    EXPECT_EQ(application.windows(), std::vector<UIElement> {});
}

} // namespace
} // namespace mq::ax
