// MQSpotToTimeline against the scripted platform: the event's descriptors, its
// parameters in order with their types and sizes, and every failing step ending
// the send with its status and no descriptor left behind.
#include "logic/MQSpotToTimeline.h"
#include "platform/Log.h"
#include "tests/support/ScriptedPlatform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>

namespace mq::logic {
namespace {

using platform::fourCharCode;
namespace osstatus = platform::osstatus;
using Sent = test::ScriptedScripting::SentAppleEvent;

std::string int32Bytes(std::int32_t value)
{
    std::string bytes(4, '\0');
    std::memcpy(bytes.data(), &value, 4);
    return bytes;
}

std::string text(platform::FourCharCode code)
{
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((code >> shift) & 0xFF));
    return out;
}

/// "keyword type size" of each parameter, in order.
std::vector<std::string> layout(const Sent& event)
{
    std::vector<std::string> out;
    for (const auto& p : event.parameters)
        out.push_back(text(p.keyword) + " " + text(p.type) + " " + std::to_string(p.bytes.size()));
    return out;
}

class SpotToTimeline : public ::testing::Test {
protected:
    log::LogCapture capture;
    test::ScriptedScripting scripting;
};

TEST_F(SpotToTimeline, SendsTheEventWithEveryParameterInOrder)
{
    EXPECT_EQ(MQSpotToTimeline::sendWithAudioFilePath(scripting, "/Audio/Line 12.wav", "Line 12 – “take 2”", "com.apple.logic10"), osstatus::noErr);
    ASSERT_EQ(scripting.sentEvents.size(), 1u);
    const Sent& event = scripting.sentEvents[0];
    EXPECT_EQ(event.eventClass, fourCharCode("aUeV"));
    EXPECT_EQ(event.eventID, fourCharCode("Spt2"));
    EXPECT_EQ(event.targetType, fourCharCode("bund"));
    EXPECT_EQ(event.targetBytes, "com.apple.logic10") << "no terminating zero";
    EXPECT_EQ(event.returnID, -1);
    EXPECT_EQ(event.transactionID, 0);
    EXPECT_EQ(event.sendMode, platform::appleevent::kAENoReply);
    EXPECT_EQ(event.timeoutTicks, -1);
    EXPECT_EQ(layout(event), (std::vector<std::string> { "sPmo long 4", "sPfi fsrf 80", "sPve long 4", "sPtn long 4", "sPss long 4",
                                 "sPst long 4", "sPsp long 4", "sPrg utf8 24" }));
    const char* values[] = { "\1", nullptr, "\1", "\0", "\0", "\0", "\0" };
    for (std::size_t i = 0; i < 7; ++i) {
        if (values[i]) {
            EXPECT_EQ(event.parameters[i].bytes, int32Bytes(values[i][0])) << text(event.parameters[i].keyword);
        }
    }
    // The file reference is the platform's, made from the path.
    platform::FileReference ref;
    ASSERT_EQ(scripting.makeFileReference("/Audio/Line 12.wav", ref), osstatus::noErr);
    EXPECT_EQ(event.parameters[1].bytes, std::string(ref.bytes.begin(), ref.bytes.end()));
    EXPECT_EQ(event.parameters[7].bytes, "Line 12 – “take 2”");
    EXPECT_EQ(scripting.liveDescriptors(), 0u);
    EXPECT_TRUE(capture.contains("MQSpotToTimeline: sent for /Audio/Line 12.wav (region 'Line 12 – “take 2”')", "helper.service"));
}

TEST_F(SpotToTimeline, AnEmptyRegionNameSendsNoNameParameter)
{
    EXPECT_EQ(MQSpotToTimeline::sendWithAudioFilePath(scripting, "/a.aif", "", "com.apple.logic10"), osstatus::noErr);
    ASSERT_EQ(scripting.sentEvents.size(), 1u);
    EXPECT_EQ(layout(scripting.sentEvents[0]),
        (std::vector<std::string> { "sPmo long 4", "sPfi fsrf 80", "sPve long 4", "sPtn long 4", "sPss long 4", "sPst long 4", "sPsp long 4" }));
    EXPECT_TRUE(capture.contains("MQSpotToTimeline: sent for /a.aif (region '')"));
}

TEST_F(SpotToTimeline, AMissingFileFailsBeforeAnyDescriptor)
{
    scripting.fileReferenceStatusByPath["/gone.wav"] = osstatus::fnfErr;
    EXPECT_EQ(MQSpotToTimeline::sendWithAudioFilePath(scripting, "/gone.wav", "Gone", "com.apple.logic10"), osstatus::fnfErr);
    EXPECT_EQ(scripting.calls, std::vector<std::string> { "makeFileReference" });
    EXPECT_TRUE(scripting.sentEvents.empty());
    EXPECT_TRUE(capture.contains("MQSpotToTimeline: FSPathMakeRef failed (-43) for /gone.wav"));
}

TEST_F(SpotToTimeline, TheSendsStatusIsAnswered)
{
    for (std::int32_t status : { osstatus::procNotFound, osstatus::errAEEventNotPermitted, osstatus::errAEWrongDataType }) {
        scripting.sendStatus = status;
        EXPECT_EQ(MQSpotToTimeline::sendWithAudioFilePath(scripting, "/a.wav", "A", "com.apple.logic10"), status);
        EXPECT_TRUE(capture.contains("MQSpotToTimeline: AESendMessage failed (" + std::to_string(status) + ")"));
        EXPECT_EQ(scripting.liveDescriptors(), 0u);
    }
    EXPECT_FALSE(capture.contains("MQSpotToTimeline: sent for"));
}

// Each step fails in turn: the send ends there with that step's status, makes
// no further call but the disposals, and leaves no descriptor alive.
struct FailingStep {
    const char* name;
    std::size_t callIndex;
    std::size_t callsBeforeDisposal;
    std::size_t disposals;
};

void PrintTo(const FailingStep& step, std::ostream* out) { *out << step.name; }

class SpotToTimelineStepFails : public SpotToTimeline, public ::testing::WithParamInterface<FailingStep> { };

TEST_P(SpotToTimelineStepFails, EndsTheSendAndDisposesOfEverything)
{
    const FailingStep& step = GetParam();
    scripting.failAtCall = step.callIndex;
    scripting.failStatus = -108;
    EXPECT_EQ(MQSpotToTimeline::sendWithAudioFilePath(scripting, "/a.wav", "Name", "com.apple.logic10"), -108);
    EXPECT_EQ(scripting.liveDescriptors(), 0u);
    ASSERT_EQ(scripting.calls.size(), step.callsBeforeDisposal + step.disposals);
    for (std::size_t i = step.callsBeforeDisposal; i < scripting.calls.size(); ++i)
        EXPECT_EQ(scripting.calls[i], "disposeDesc");
    EXPECT_TRUE(scripting.sentEvents.empty());
    EXPECT_FALSE(capture.contains("MQSpotToTimeline: sent for"));
}

// Calls: makeFileReference 0, createDesc 1, createAppleEvent 2, putParamPtr 3 to
// 10 (eight parameters with a name), sendMessage 11. Once the descriptors exist,
// all three (the reply still null) are handed back to the platform.
INSTANTIATE_TEST_SUITE_P(Steps, SpotToTimelineStepFails,
    ::testing::Values(FailingStep { "makeFileReference", 0, 1, 0 }, FailingStep { "createDesc", 1, 2, 3 }, FailingStep { "createAppleEvent", 2, 3, 3 },
        FailingStep { "putMode", 3, 4, 3 }, FailingStep { "putFile", 4, 5, 3 }, FailingStep { "putVe", 5, 6, 3 }, FailingStep { "putTn", 6, 7, 3 },
        FailingStep { "putSs", 7, 8, 3 }, FailingStep { "putSt", 8, 9, 3 }, FailingStep { "putSp", 9, 10, 3 }, FailingStep { "putName", 10, 11, 3 },
        FailingStep { "sendMessage", 11, 12, 3 }),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace mq::logic
