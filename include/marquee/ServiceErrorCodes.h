// Every error code that a failed request answers with, declared once. The
// constants the operations reply with (and that a plug-in compares an error's code
// with) and the table that docs/errors.md is written from both expand from
// MQ_SERVICE_ERROR_CODES; tests/platform/ServiceErrorCodesTest.cpp checks the page
// against the table.
//
// All codes belong to the domain kServiceErrorDomain. A code is unique within its
// group of requests; groups reuse numbers (22 is "playhead not set" for both
// placement and bounce), as clients already rely on.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace mq {

// X(group, constant, code, meaning): the group of requests that answer with the
// code, the name the code goes by here, its number, and what it means for a client.
#define MQ_SERVICE_ERROR_CODES(X)                                                                                       \
    X("any request", kInvalidArgumentErrorCode, 2, "An argument was refused before anything was done; the message names it.") \
    X("any request", kInternalErrorCode, 3, "Handling the request failed inside the helper; the message names the request.") \
    X("checkForUpdate", kUpdateCheckErrorCode, 20, "The update check failed; the message says which fetch or check.")   \
    X("bounce", kBouncePlayheadNotSet, 22, "Logic's playhead position could not be entered in Go to Position.")           \
    X("bounce", kBounceMoviePathNotEntered, 24, "The movie's path could not be entered in Logic's Open dialog.")          \
    X("bounce", kBounceGoToPositionMissing, 27, "Logic's Go to Position dialog did not appear (or Logic was not ready).") \
    X("bounce", kBounceOpenMovieMissing, 28, "Logic's Open Movie dialog did not appear (or Logic was not ready).")        \
    X("bounce", kBounceMovieNotLoaded, 29, "Logic did not finish loading the movie in time.")                              \
    X("bounce", kBounceExportDialogMissing, 30, "Logic's export dialog did not appear; nothing was sent.")                 \
    X("bounce", kBounceExportDialogStillOpen, 31, "Logic's export dialogs did not close in time.")                         \
    X("placeAudioFile", kPlacementPlayheadNotSet, 22, "The playhead position could not be entered in Go to Position.")  \
    X("placeAudioFile", kPlacementDialogMissing, 27, "The Go to Position dialog did not appear (or Logic was not ready).") \
    X("placeAudioFile", kSpotEventFailed, 30, "The spot-to-timeline Apple Event failed.")                                 \
    X("placeAudioFile", kPlacementInputRefused, 31, "Logic left the front after the playhead was set; the message says how far it got.") \
    X("createLogicMarker", kLocatorDialogMissing, 40, "The Set Left and Right Locator dialog did not appear (or Logic was not ready).") \
    X("createLogicMarker", kLocatorEntryFailed, 41, "The locator values could not be entered.")                           \
    X("createLogicMarker", kMarkerNameFailed, 44, "The marker's name could not be entered.")                               \
    X("createLogicMarker", kClipEndBeyondProject, 45, "The clip ends beyond the end of the project.")                      \
    X("createLogicMarker", kMarkerInputRefused, 46, "Logic left the front after the locators were set; the message says how far it got.") \
    X("readLogicProjectStartSMPTE", kProjectStartDialogMissing, 50, "The Go to Position dialog did not appear.")          \
    X("readLogicProjectStartSMPTE", kProjectStartBarOneFailed, 51, "Bar 1 could not be entered in the Go to Position dialog.") \
    X("readLogicProjectStartSMPTE", kProjectStartUnreadable, 52, "The SMPTE position could not be read from the dialog.") \
    X("currentLogicProjectURL", kLogicNotReachableErrorCode, 60, "Logic Pro is not running or Accessibility access is denied.") \
    X("currentLogicProjectURL", kNoSavedProjectErrorCode, 61, "Logic Pro has no saved project open.")                     \
    X("readLogicPlayheadSMPTE", kPlayheadUnreadable, 81, "The playhead could not be read from the Go to Position dialog.") \
    X("goToLogicPlayheadSMPTESeconds", kMoveDialogMissing, 82, "The Go to Position dialog did not appear, or the position could not be typed or confirmed.")

#define MQ_SERVICE_ERROR_CONSTANT(group, name, code, meaning) inline constexpr std::int64_t name = code;
MQ_SERVICE_ERROR_CODES(MQ_SERVICE_ERROR_CONSTANT)
#undef MQ_SERVICE_ERROR_CONSTANT

/// One row of the table.
struct ServiceErrorCodeEntry {
    std::string_view group;
    std::string_view name;
    std::int64_t code;
    std::string_view meaning;
};

/// The table, in declaration order.
inline constexpr auto kServiceErrorCodes = std::to_array<ServiceErrorCodeEntry>({
#define MQ_SERVICE_ERROR_ENTRY(group, name, code, meaning) { group, #name, code, meaning },
    MQ_SERVICE_ERROR_CODES(MQ_SERVICE_ERROR_ENTRY)
#undef MQ_SERVICE_ERROR_ENTRY
});

} // namespace mq
