// Every scenario that ships with logicsim loads and shows what it promises.
#include "tests/sim/LogicSimFixture.h"

#include <filesystem>

namespace mq::test {
namespace {

using namespace platform;

struct ScenarioCase {
    const char* file;
    const char* logicBundle; // nullptr: Logic is not running
    std::optional<std::string> document; // nullopt: no value
    const char* controlBarName;
};

class Scenarios : public LogicSimTest, public ::testing::WithParamInterface<ScenarioCase> { };

TEST_P(Scenarios, LoadsAndShowsLogicAsDescribed)
{
    const auto& c = GetParam();
    ctl("load", { { "file", std::string(MQ_SCENARIO_DIR) + "/" + c.file } });
    pid_type pid = -1;
    for (const auto& app : m_backend->runningApplications())
        if (app.bundleIdentifier == "com.apple.logic10" || app.bundleIdentifier == "com.apple.mobilelogic") {
            EXPECT_EQ(app.bundleIdentifier, c.logicBundle ? std::optional<std::string>(c.logicBundle) : std::nullopt);
            EXPECT_EQ(app.localizedName, "Logic Pro");
            pid = app.pid;
        }
    if (!c.logicBundle) {
        EXPECT_EQ(pid, -1);
        return;
    }
    ASSERT_GT(pid, 0);
    CFValue main;
    ASSERT_EQ(read(ax().createApplication(pid), "AXMainWindow", main), 0);
    auto window = *main.get<AXElementRef>();
    CFValue document;
    auto code = read(window, "AXDocument", document);
    if (c.document) {
        ASSERT_EQ(code, 0);
        EXPECT_EQ(document, CFValue(*c.document));
    } else {
        EXPECT_EQ(code, axerror::noValue);
    }
    CFValue children;
    ASSERT_EQ(read(window, "AXChildren", children), 0);
    // The control bar is one of the window's own children (the default project
    // window lists it after the areas of a real project).
    bool found = false;
    for (const auto& child : *children.get<CFArray>())
        found = found || readString(*child.get<AXElementRef>(), "AXDescription") == c.controlBarName;
    EXPECT_TRUE(found) << c.controlBarName;
}

INSTANTIATE_TEST_SUITE_P(Shipped, Scenarios,
    ::testing::Values(ScenarioCase { "default.json", "com.apple.logic10", "/Users/someone/Music/Demo Project.logicx", "Control Bar" },
        ScenarioCase { "untitled.json", "com.apple.logic10", std::nullopt, "Control Bar" },
        ScenarioCase { "mobilelogic-german.json", "com.apple.mobilelogic", "/Users/someone/Music/Demo Project.logicx", "Steuerungsleiste" },
        ScenarioCase { "logic-not-running.json", nullptr, std::nullopt, "" },
        ScenarioCase { "finder-window.json", "com.apple.logic10", "/Users/someone/Music/Demo Project.logicx", "Control Bar" }),
    [](const auto& info) {
        std::string name = info.param.file;
        name = name.substr(0, name.find('.'));
        std::erase(name, '-');
        return name;
    });

TEST(ScenarioFiles, EveryShippedScenarioHasACase)
{
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(MQ_SCENARIO_DIR))
        count += entry.path().extension() == ".json";
    EXPECT_EQ(count, 5u) << "add the new scenario to the table above";
}

} // namespace
} // namespace mq::test
