// The stored actions through the Linux interpreter stand-in: the runner starts
// marquee-osascript, which asks logicsim (here a fake of its socket) to run the
// action, and exits 0 exactly when it ran.
#include "logic/StoredActionRunner.h"

#include "sim/osascript-standin/StoredActionScript.h"
#include "tests/support/FakeLogicSim.h"
#include "tests/support/TempRuntimeDir.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace mq::logic {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

TEST(StoredActionScript, FindsTheCodeOnlyInAWholePropertyLine)
{
    struct Row {
        std::string script;
        std::optional<std::uint32_t> code;
    };
    const Row rows[] = {
        { "property storedAction : 21\n", 21u },
        { "-- x\nproperty storedAction : 1192\non run\nend run\n", 1192u },
        { "property storedAction : 681", 681u },
        { "property storedAction : 5\r\n", 5u },
        { "property storedAction : 4294967295\n", 4294967295u },
        { "property storedAction : 4294967296\n", std::nullopt },
        { "property storedAction : 99999999999\n", std::nullopt },
        { "property storedAction : \n", std::nullopt },
        { "property storedAction : 21x\n", std::nullopt },
        { "property storedAction : -1\n", std::nullopt },
        { " property storedAction : 21\n", std::nullopt },
        { "property storedAction: 21\n", std::nullopt },
        { "-- property storedAction : 21\n", std::nullopt },
        { "", std::nullopt },
        { "property storedAction : 7\nproperty storedAction : 8\n", 7u },
    };
    for (const Row& row : rows)
        EXPECT_EQ(sim::storedActionCode(row.script), row.code) << row.script;
}

TEST(StoredActionScript, AddressesAnApplicationOrTheFirstRunningOfAList)
{
    struct Row {
        std::string script;
        std::optional<sim::StoredActionAddress> address;
    };
    const Row rows[] = {
        { "tell application id \"com.apple.logic10\"\n", sim::StoredActionAddress { { "com.apple.logic10" }, false } },
        { "on run\n\t\ttell application id \"com.example.x\"\nend run\n", sim::StoredActionAddress { { "com.example.x" }, false } },
        { "property logicIds : {\"com.apple.logic10\", \"com.apple.mobilelogic\"}\ntell application id logicId\n",
            sim::StoredActionAddress { { "com.apple.logic10", "com.apple.mobilelogic" }, true } },
        { "tell application id logicId\n", std::nullopt },
        { "using terms from application id \"com.apple.logic10\"\n", std::nullopt },
        { "-- tell application id \"com.apple.logic10\"\n", std::nullopt },
        { "", std::nullopt },
    };
    for (const Row& row : rows) {
        auto address = sim::storedActionAddress(row.script);
        ASSERT_EQ(address.has_value(), row.address.has_value()) << row.script;
        if (address) {
            EXPECT_EQ(address->bundleIdentifiers, row.address->bundleIdentifiers) << row.script;
            EXPECT_EQ(address->firstRunningOnly, row.address->firstRunningOnly) << row.script;
        }
    }
}

/// Points this process (and so the interpreters it starts) at a private runtime
/// directory with a fake logicsim in it.
class StoredActionInterpreterTest : public ::testing::Test {
public:
    void SetUp() override
    {
        if (const char* previous = std::getenv("XDG_RUNTIME_DIR"))
            m_previous = previous;
        ::setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
    }
    void TearDown() override
    {
        if (m_previous)
            ::setenv("XDG_RUNTIME_DIR", m_previous->c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
    }

    test::TempRuntimeDir dir;

private:
    std::optional<std::string> m_previous;
};

TEST_F(StoredActionInterpreterTest, LogicsimIsAskedForEachListedCodeInTurn)
{
    test::FakeLogicSim logicsim(dir.file("logicsim.sock"));
    const std::vector<std::uint32_t> codes { 5, 21, 476, 2564, 480, 1192, 362, 347, 483, 888, 1795, 571, 584, 358, 1194, 1320, 1306, 1346, 1197, 681 };
    for (std::uint32_t code : codes)
        EXPECT_TRUE(runStoredAction(code)) << code;
    EXPECT_EQ(logicsim.actionCodes(), codes);
    // The stored script addresses whichever Logic runs, never one bundle by name.
    for (const json& request : logicsim.requests()) {
        if (request.value("op", "") == "logic.runStoredAction") {
            EXPECT_EQ(request.value("firstRunningOf", json()), json({ "com.apple.logic10", "com.apple.mobilelogic" })) << request.dump();
        }
    }
}

TEST_F(StoredActionInterpreterTest, AnswersWhatLogicsimSays)
{
    test::FakeLogicSim logicsim(dir.file("logicsim.sock"));
    struct Row {
        const char* answer;
        json reply;
        bool ran;
    };
    const Row rows[] = {
        { "ran", { { "ran", true } }, true },
        { "not ran", { { "ran", false }, { "reason", "no project is open" } }, false },
        { "error", { { "error", "unknown op logic.runStoredAction" } }, false },
        { "ran is not a boolean", { { "ran", 1 } }, false },
    };
    for (const Row& row : rows) {
        logicsim.setAnswer([&](const json&) { return row.reply; });
        EXPECT_EQ(runStoredAction(21), row.ran) << row.answer;
    }
    EXPECT_EQ(logicsim.actionCodes().size(), std::size(rows));
}

TEST_F(StoredActionInterpreterTest, RefusedCodesNeverReachLogicsim)
{
    test::FakeLogicSim logicsim(dir.file("logicsim.sock"));
    for (std::uint32_t code : { 0u, 1u, 2u, 11u, 58u, 119u, 256u, 4294967295u })
        EXPECT_FALSE(runStoredAction(code)) << code;
    EXPECT_TRUE(logicsim.requests().empty());
}

TEST_F(StoredActionInterpreterTest, NoLogicsimMeansFalse)
{
    EXPECT_FALSE(runStoredAction(21));
}

TEST_F(StoredActionInterpreterTest, ANonTemplateScriptIsRefusedByTheInterpreter)
{
    test::FakeLogicSim logicsim(dir.file("logicsim.sock"));
    stored::Key key {};
    stored::KeyPiece pieces[4] {};
    pieces[0][0] = 9;
    stored::combineKeyPieces(pieces, key);
    stored::IV iv {};
    const std::string scriptTemplate = "tell application \"Logic Pro\" to run command __ID__\n";
    const std::string allowList = "go: 21\n";
    auto templateCipher = stored::encipher(std::span(reinterpret_cast<const std::uint8_t*>(scriptTemplate.data()), scriptTemplate.size()), key, iv);
    auto allowListCipher = stored::encipher(std::span(reinterpret_cast<const std::uint8_t*>(allowList.data()), allowList.size()), key, iv);
    stored::StoredActionData data { pieces, { templateCipher, iv }, { allowListCipher, iv } };
    stored::RunOptions options;
    options.data = &data;
    EXPECT_FALSE(stored::runStoredAction(21, options));
    EXPECT_TRUE(logicsim.requests().empty());
}

} // namespace
} // namespace mq::logic
