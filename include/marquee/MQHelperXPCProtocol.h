// MQHelperXPCProtocol: the whole request interface between the plug-in and the helper.
//
// MQ_HELPER_XPC_PROTOCOL is the one declaration of every request: its method name,
// its selector, its arguments and its reply values, in protocol order. The server's
// handler interface (app/ipc/server/MQHelperXPCInterface.h) and dispatch table and
// the client's proxy are all expanded from it, so a selector or a type cannot differ
// between the two ends without a compile error. This header is the protocol alone:
// both ends include it, and nothing in it knows how requests are served.
#pragma once

#include "marquee/WireValue.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace mq {

using OptionalError = std::optional<ServiceError>;

// X(method, "selector", void(arguments...), void(reply values...))
#define MQ_HELPER_XPC_PROTOCOL(X)                                                                                     \
    X(bounceGoToPositionWithTimecodeSeconds,                                                                          \
        "bounceGoToPositionWithTimecodeSeconds:stopTransport:pacingSeconds:frameRate:isDropFrame:withReply:",        \
        void(double timecodeSeconds, bool stopTransport, double pacingSeconds, double frameRate, bool isDropFrame), \
        void(bool ok, double viewOffsetSeconds, ::mq::OptionalError error))                                         \
    X(bounceOpenMovieWithURL, "bounceOpenMovieWithURL:pacingSeconds:withReply:",                                      \
        void(::mq::URL movieURL, double pacingSeconds), void(bool ok, ::mq::OptionalError error))                   \
    X(bounceAlignMovieRegionWithPacingSeconds, "bounceAlignMovieRegionWithPacingSeconds:withReply:",                  \
        void(double pacingSeconds), void(bool ok, ::mq::OptionalError error))                                       \
    X(bounceOpenExportDialogWithPacingSeconds, "bounceOpenExportDialogWithPacingSeconds:withReply:",                  \
        void(double pacingSeconds), void(bool ok, ::mq::OptionalError error))                                       \
    X(bounceAwaitExportDialogsClosedWithReply, "bounceAwaitExportDialogsClosedWithReply:", void(),                     \
        void(std::optional<std::string> name, ::mq::OptionalError error))                                           \
    X(placeAudioFileWithURL,                                                                                          \
        "placeAudioFileWithURL:timecodeSeconds:displayName:createNewTrack:trackName:lpColorIndex:colorTrack:"         \
        "pacingSeconds:frameRate:isDropFrame:withReply:",                                                             \
        void(::mq::URL audioFileURL, double timecodeSeconds, std::string displayName, bool createNewTrack,          \
            std::string trackName, std::int64_t lpColorIndex, bool colorTrack, double pacingSeconds,                \
            double frameRate, bool isDropFrame),                                                                    \
        void(bool ok, double viewOffsetSeconds, ::mq::OptionalError error))                                         \
    X(createLogicMarkerWithTimecodeSeconds,                                                                           \
        "createLogicMarkerWithTimecodeSeconds:durationSeconds:displayName:lpColorIndex:pacingSeconds:frameRate:"      \
        "isDropFrame:withReply:",                                                                                     \
        void(double timecodeSeconds, double durationSeconds, std::string displayName, std::int64_t lpColorIndex,    \
            double pacingSeconds, double frameRate, bool isDropFrame),                                              \
        void(bool ok, double viewOffsetSeconds, ::mq::OptionalError error))                                         \
    X(setColorsWindowAvoidRectX, "setColorsWindowAvoidRectX:y:width:height:withReply:",                              \
        void(double x, double y, double width, double height), void())                                              \
    X(closeColorsWindowWithReply, "closeColorsWindowWithReply:", void(), void())                                      \
    X(readLogicProjectStartSMPTEWithFrameRate, "readLogicProjectStartSMPTEWithFrameRate:isDropFrame:reply:",          \
        void(double frameRate, bool isDropFrame),                                                                   \
        void(double barOneSeconds, double viewOffsetSeconds, std::int64_t displayMode, bool ok,                     \
            ::mq::OptionalError error))                                                                             \
    X(readLogicPlayheadSMPTEWithFrameRate, "readLogicPlayheadSMPTEWithFrameRate:isDropFrame:reply:",                  \
        void(double frameRate, bool isDropFrame), void(double seconds, bool ok, ::mq::OptionalError error))        \
    X(goToLogicPlayheadSMPTESeconds, "goToLogicPlayheadSMPTESeconds:frameRate:isDropFrame:withReply:",                \
        void(double seconds, double frameRate, bool isDropFrame),                                                   \
        void(double landedSeconds, double viewOffsetSeconds, bool ok, ::mq::OptionalError error))                   \
    X(currentLogicProjectURLWithReply, "currentLogicProjectURLWithReply:", void(),                                     \
        void(std::optional<::mq::URL> projectURL, ::mq::OptionalError error))                                       \
    X(openLogicSynchronizationSettingsWithReply, "openLogicSynchronizationSettingsWithReply:", void(), void())         \
    X(runActionWithCode, "runActionWithCode:withReply:", void(std::uint32_t code), void(bool ok))                     \
    X(evaluateControlBarStateWithFrameRate, "evaluateControlBarStateWithFrameRate:isDropFrame:reply:",                \
        void(double frameRate, bool isDropFrame), void(std::int64_t state))                                         \
    X(checkForUpdateWithReply, "checkForUpdateWithReply:", void(),                                                    \
        void(bool updateAvailable, std::optional<std::string> version, std::optional<::mq::URL> downloadURL,       \
            std::optional<::mq::Data> releaseNotes, ::mq::OptionalError error))                                     \
    X(startTransportScrubObservingWithFrameRate,                                                                      \
        "startTransportScrubObservingWithFrameRate:isDropFrame:shmPath:withReply:",                                   \
        void(double frameRate, bool isDropFrame, std::string shmPath), void(bool ok))                               \
    X(stopTransportScrubObservingForShmPath, "stopTransportScrubObservingForShmPath:reply:",                          \
        void(std::string shmPath), void())                                                                          \
    X(startProjectCloseWatchForShmPath, "startProjectCloseWatchForShmPath:withReply:", void(std::string shmPath),     \
        void(bool ok))                                                                                              \
    X(stopProjectCloseWatchForShmPath, "stopProjectCloseWatchForShmPath:reply:", void(std::string shmPath), void())  \
    X(permissionsStatusWithReply, "permissionsStatusWithReply:", void(),                                              \
        void(bool accessibility, bool automationLogic, bool automationSystemEvents, bool allGranted))               \
    X(primeAutomationPromptsWithReply, "primeAutomationPromptsWithReply:", void(), void())                             \
    X(openAccessibilitySettingsWithReply, "openAccessibilitySettingsWithReply:", void(), void())                       \
    X(openAutomationSettingsWithReply, "openAutomationSettingsWithReply:", void(), void())                             \
    X(recheckPermissionsBouncingWithReply, "recheckPermissionsBouncingWithReply:", void(), void())                     \
    X(fetchLatestCrashReportWithReply, "fetchLatestCrashReportWithReply:", void(),                                    \
        void(std::optional<::mq::Data> report, std::optional<std::string> fileName))

namespace protocol {

template<typename Signature>
struct SignatureTraits;
template<typename... Args>
struct SignatureTraits<void(Args...)> {
    using Tuple = std::tuple<std::decay_t<Args>...>;
};

/// Everything about one request, for the dispatch table and the client proxy.
#define MQ_DECLARE_REQUEST(M, S, Sig, RSig)                         \
    struct M {                                                      \
        static constexpr std::string_view selector = S;             \
        static constexpr std::string_view name = #M;                \
        static constexpr std::string_view argumentsText = #Sig;     \
        static constexpr std::string_view replyText = #RSig;        \
        using Arguments = SignatureTraits<Sig>::Tuple;              \
        using ReplyValues = SignatureTraits<RSig>::Tuple;           \
    };
MQ_HELPER_XPC_PROTOCOL(MQ_DECLARE_REQUEST)
#undef MQ_DECLARE_REQUEST

#define MQ_COUNT_REQUEST(M, S, Sig, RSig) +1
inline constexpr size_t kRequestCount = 0 MQ_HELPER_XPC_PROTOCOL(MQ_COUNT_REQUEST);
#undef MQ_COUNT_REQUEST

#define MQ_LIST_SELECTOR(M, S, Sig, RSig) S,
/// Every selector, in protocol order.
inline constexpr std::array<std::string_view, kRequestCount> kSelectors { MQ_HELPER_XPC_PROTOCOL(MQ_LIST_SELECTOR) };
#undef MQ_LIST_SELECTOR

static_assert(kRequestCount == 27, "MQHelperXPCProtocol has 27 requests");

/// The parameter names of a signature's text ("void(double seconds, bool ok)"
/// gives "seconds", "ok"), for tools that print requests and replies.
std::vector<std::string> parameterNames(std::string_view signatureText);

} // namespace protocol

} // namespace mq
