// A spot event with one parameter corrupted on its way to Logic: the helper's
// service runs in this process over a platform whose Apple Event calls pass
// everything through to the real backend except that one parameter. Sent without
// a reply, the event is answered noErr once delivered; Logic's handler refuses it
// and places nothing. The helper notices that no region came, fails with code 30
// and colours nothing: the region that was selected before keeps its colour.
#include "platform/Log.h"
#include "tests/harness/InProcessService.h"
#include "tests/support/TestAudioFile.h"

#include <gtest/gtest.h>

#include <ostream>

namespace mq {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using platform::AEDescRef;
using platform::FourCharCode;
using platform::fourCharCode;

/// The platform's scripting with one Apple Event parameter replaced as it is put.
class CorruptingScripting final : public platform::Scripting {
public:
    CorruptingScripting(platform::Scripting& inner, FourCharCode keyword, FourCharCode type, std::string bytes)
        : m_inner(inner)
        , m_keyword(keyword)
        , m_type(type)
        , m_bytes(std::move(bytes))
    {
    }

    platform::ScriptResult runAppleScript(const std::string& source) override { return m_inner.runAppleScript(source); }
    std::int32_t makeFileReference(const std::string& path, platform::FileReference& out) override { return m_inner.makeFileReference(path, out); }
    std::int32_t createDesc(FourCharCode type, const void* data, std::size_t size, AEDescRef& result) override
    {
        return m_inner.createDesc(type, data, size, result);
    }
    std::int32_t createAppleEvent(FourCharCode eventClass, FourCharCode eventID, const AEDescRef& target, std::int16_t returnID,
        std::int32_t transactionID, AEDescRef& result) override
    {
        return m_inner.createAppleEvent(eventClass, eventID, target, returnID, transactionID, result);
    }
    std::int32_t putParamPtr(const AEDescRef& event, FourCharCode keyword, FourCharCode type, const void* data, std::size_t size) override
    {
        if (keyword == m_keyword)
            return m_inner.putParamPtr(event, keyword, m_type, m_bytes.data(), m_bytes.size());
        return m_inner.putParamPtr(event, keyword, type, data, size);
    }
    std::int32_t sendMessage(const AEDescRef& event, AEDescRef& reply, std::int32_t sendMode, std::int64_t timeoutTicks) override
    {
        return m_inner.sendMessage(event, reply, sendMode, timeoutTicks);
    }
    std::int32_t disposeDesc(AEDescRef& desc) override { return m_inner.disposeDesc(desc); }
    std::int32_t determinePermissionToAutomateTarget(const std::string& bundleIdentifier, FourCharCode eventClass, FourCharCode eventID,
        bool askUserIfNeeded) override
    {
        return m_inner.determinePermissionToAutomateTarget(bundleIdentifier, eventClass, eventID, askUserIfNeeded);
    }

private:
    platform::Scripting& m_inner;
    FourCharCode m_keyword;
    FourCharCode m_type;
    std::string m_bytes;
};

struct Corruption {
    const char* name;
    FourCharCode keyword;
    FourCharCode type;
    std::string bytes;
    std::int32_t status;
    const char* recorded; // the parameter as logicsim lists it
};

void PrintTo(const Corruption& corruption, std::ostream* out) { *out << corruption.name; }

class PlacementWithACorruptParameter : public ::testing::TestWithParam<Corruption> {
protected:
    log::LogCapture capture;
    std::unique_ptr<CorruptingScripting> scripting;
    test::InProcessService helper { [this](platform::Platform own) {
        scripting = std::make_unique<CorruptingScripting>(own.scripting, GetParam().keyword, GetParam().type, GetParam().bytes);
        return platform::Platform { own.accessibility, own.input, *scripting, own.workspace, own.desktop };
    } };
};

TEST_P(PlacementWithACorruptParameter, IsRefusedByLogicAndFailsWithCode30)
{
    const Corruption& c = GetParam();
    helper.logicSim().ctl("set-logic", { { "tracks", { { { "name", "Audio 1" } } } }, { "selectedTrack", 0 },
                                           { "regions", { { { "track", 0 }, { "name", "Earlier" }, { "start", 3600.0 }, { "length", 1.0 }, { "color", 3 } } } },
                                           { "selection", { { "kind", "region" }, { "index", 0 } } } });
    std::string path = helper.runtimeDir().file("line.wav");
    test::writeTestAudioFile(path, test::AudioFormat::wav, 48000, 48000);
    auto result = helper.connection().placeAudioFileWithURL({ URL::fileURLWithPath(path), 3602.0, "Line", false, "", 7, false, 0.0, 25.0, false }, 30s);
    ASSERT_TRUE(result.hasValue());
    auto [ok, viewOffset, error] = result.value();
    EXPECT_FALSE(ok);
    EXPECT_TRUE(std::isnan(viewOffset));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, 30);
    EXPECT_EQ(error->localizedDescription, "Spot-to-timeline Apple Event failed (no region within 5 s)");
    EXPECT_FALSE(capture.contains("MQSpotToTimeline: AESendMessage failed", "helper.service")) << "a no-reply send only fails on the sender's side";

    json world = helper.logicSim().ctl("state", { { "only", { "appleEvents", "logic", "events" } } });
    ASSERT_EQ(world["appleEvents"].size(), 1u);
    json event = world["appleEvents"][0];
    EXPECT_EQ(event["status"], 0);
    EXPECT_EQ(event["handlerStatus"], c.status);
    std::string listed;
    for (const json& p : event["parameters"])
        listed += p["keyword"].get<std::string>() + " " + p["type"].get<std::string>() + " " + std::to_string(p["size"].get<int>()) + "; ";
    EXPECT_NE(listed.find(c.recorded), std::string::npos) << listed;
    ASSERT_EQ(world["logic"]["regions"].size(), 1u) << "nothing was placed";
    EXPECT_EQ(world["logic"]["regions"][0]["color"], 3) << "the earlier region was coloured";
    for (const json& e : world["events"]) {
        EXPECT_NE(e.value("type", ""), "spotReceived");
        EXPECT_NE(e.value("type", ""), "colorClick") << "the Colors window was clicked";
    }
}

INSTANTIATE_TEST_SUITE_P(Parameters, PlacementWithACorruptParameter,
    ::testing::Values(Corruption { "integerAsShort", fourCharCode("sPve"), fourCharCode("shor"), std::string(2, '\1'), -1703, "sPve shor 2; " },
        Corruption { "referenceCut", fourCharCode("sPfi"), fourCharCode("fsrf"), std::string(40, '\0'), -1702, "sPfi fsrf 40; " },
        Corruption { "nameAsStyledText", fourCharCode("sPrg"), fourCharCode("STXT"), "Line", -1703, "sPrg STXT 4; " }),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace mq
