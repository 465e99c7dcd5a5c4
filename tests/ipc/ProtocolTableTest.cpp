#include "marquee/MQHelperXPCProtocol.h"

#include <gtest/gtest.h>

#include <set>

namespace mq {
namespace {

// The selectors as the plug-in spells them; a typo in the table breaks every
// client that uses that request.
TEST(ProtocolTable, SelectorsAreTheClientsSpellingInOrder)
{
    const std::vector<std::string_view> expected {
        "bounceGoToPositionWithTimecodeSeconds:stopTransport:pacingSeconds:frameRate:isDropFrame:withReply:",
        "bounceOpenMovieWithURL:pacingSeconds:withReply:",
        "bounceAlignMovieRegionWithPacingSeconds:withReply:",
        "bounceOpenExportDialogWithPacingSeconds:withReply:",
        "bounceAwaitExportDialogsClosedWithReply:",
        "placeAudioFileWithURL:timecodeSeconds:displayName:createNewTrack:trackName:lpColorIndex:colorTrack:pacingSeconds:frameRate:isDropFrame:withReply:",
        "createLogicMarkerWithTimecodeSeconds:durationSeconds:displayName:lpColorIndex:pacingSeconds:frameRate:isDropFrame:withReply:",
        "setColorsWindowAvoidRectX:y:width:height:withReply:",
        "closeColorsWindowWithReply:",
        "readLogicProjectStartSMPTEWithFrameRate:isDropFrame:reply:",
        "readLogicPlayheadSMPTEWithFrameRate:isDropFrame:reply:",
        "goToLogicPlayheadSMPTESeconds:frameRate:isDropFrame:withReply:",
        "currentLogicProjectURLWithReply:",
        "openLogicSynchronizationSettingsWithReply:",
        "runActionWithCode:withReply:",
        "evaluateControlBarStateWithFrameRate:isDropFrame:reply:",
        "checkForUpdateWithReply:",
        "startTransportScrubObservingWithFrameRate:isDropFrame:shmPath:withReply:",
        "stopTransportScrubObservingForShmPath:reply:",
        "startProjectCloseWatchForShmPath:withReply:",
        "stopProjectCloseWatchForShmPath:reply:",
        "permissionsStatusWithReply:",
        "primeAutomationPromptsWithReply:",
        "openAccessibilitySettingsWithReply:",
        "openAutomationSettingsWithReply:",
        "recheckPermissionsBouncingWithReply:",
        "fetchLatestCrashReportWithReply:",
    };
    ASSERT_EQ(protocol::kSelectors.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(protocol::kSelectors[i], expected[i]) << "row " << i + 1;
}

// Each selector names one argument per colon before "withReply:"/"reply:".
TEST(ProtocolTable, ArgumentCountsMatchTheSelectors)
{
#define MQ_CHECK_ARITY(M, S, Sig, RSig)                                                                 \
    {                                                                                                   \
        std::string_view selector = protocol::M::selector;                                              \
        auto colons = static_cast<std::size_t>(std::count(selector.begin(), selector.end(), ':'));      \
        EXPECT_EQ(std::tuple_size_v<protocol::M::Arguments>, colons - 1) << selector;                  \
        EXPECT_EQ(protocol::parameterNames(protocol::M::argumentsText).size(),                         \
            std::tuple_size_v<protocol::M::Arguments>)                                                  \
            << selector;                                                                                \
        EXPECT_EQ(protocol::parameterNames(protocol::M::replyText).size(),                             \
            std::tuple_size_v<protocol::M::ReplyValues>)                                                \
            << selector;                                                                                \
    }
    MQ_HELPER_XPC_PROTOCOL(MQ_CHECK_ARITY)
#undef MQ_CHECK_ARITY
}

TEST(ProtocolTable, ParameterNamesComeFromTheDeclaration)
{
    EXPECT_EQ(protocol::parameterNames(protocol::goToLogicPlayheadSMPTESeconds::replyText),
        (std::vector<std::string> { "landedSeconds", "viewOffsetSeconds", "ok", "error" }));
    EXPECT_EQ(protocol::parameterNames(protocol::checkForUpdateWithReply::replyText),
        (std::vector<std::string> { "updateAvailable", "version", "downloadURL", "releaseNotes", "error" }));
    EXPECT_TRUE(protocol::parameterNames(protocol::closeColorsWindowWithReply::argumentsText).empty());
}

} // namespace
} // namespace mq
