#include "logic/GoToPosition.h"

#include "ax/ElementQueries.h"
#include "logic/BarOneCommit.h"
#include "logic/DialogTimecode.h"
#include "logic/FailRequest.h"
#include "logic/GoToPositionSession.h"
#include "logic/OperationTrace.h"
#include "logic/ServiceLog.h"
#include "marquee/SMPTEComponents.h"
#include "timecode/TimecodeFields.h"
#include "timecode/TimecodeParsing.h"
#include "timecode/TypedTimecodeText.h"

#include <cmath>

namespace mq::logic {

namespace {

constexpr double kBarOneTakenTimeoutSeconds = 1.0;

const char* yesNo(bool value)
{
    return value ? "true" : "false";
}

constexpr std::string_view kDialogMissing = "Go to Position dialog did not appear in time";

// The third child of the dialog, whatever its role, read as a timecode group.
std::optional<timecode::TimecodeFields> readThirdChild(const ax::UIElement& dialog)
{
    auto children = ax::arrayOrNothing<ax::UIElement>(dialog, ax::Attribute::children);
    if (!children || children->size() < 3)
        return std::nullopt;
    return readTimecodeGroupFields((*children)[2]);
}

} // namespace

std::optional<double> readCurrentPlayheadSeconds(LogicDriving& logic, double frameRate)
{
    Expected<GoToPositionSession, DialogRefusal> session
        = GoToPositionSession::open(logic, "Go to Position (read playhead)", std::nullopt, frameRate);
    if (!session) {
        serviceLog().error("readCurrentPlayheadSeconds: {}", session.error().message(kDialogMissing));
        return std::nullopt;
    }
    std::optional<timecode::TimecodeFields> fields = session->currentPosition();
    session.value().close();
    if (!fields) {
        serviceLog().error("readCurrentPlayheadSeconds: could not read SMPTE from Go to Position dialog");
        return std::nullopt;
    }
    return timecode::fieldsToSeconds(*fields, frameRate);
}

ServiceResult<double> readLogicPlayheadSMPTE(LogicDriving& logic, double frameRate, bool isDropFrame)
{
    serviceLog().info("readLogicPlayheadSMPTE: starting (fps={:f}, df={})", frameRate, yesNo(isDropFrame));
    auto seconds = readCurrentPlayheadSeconds(logic, frameRate);
    if (!seconds)
        return failRequest(kPlayheadUnreadable, "Could not read the playhead from the Go to Position dialog", "readLogicPlayheadSMPTE");
    serviceLog().info("readLogicPlayheadSMPTE: playhead == {:f}s", *seconds);
    return *seconds;
}

ServiceResult<ProjectStart> readLogicProjectStartSMPTE(LogicDriving& logic, double frameRate, bool isDropFrame)
{
    constexpr std::string_view operation = "readLogicProjectStartSMPTE";
    serviceLog().info("readLogicProjectStartSMPTE: starting (fps={:f}, df={})", frameRate, yesNo(isDropFrame));

    auto controlBarSeconds = logic.readControlBarSeconds(frameRate);
    Expected<GoToPositionSession, DialogRefusal> session
        = GoToPositionSession::open(logic, "Go to Position (SMPTE sync)", controlBarSeconds, frameRate);
    if (!session)
        return failRequest(kProjectStartDialogMissing, session.error().message(kDialogMissing), operation);
    double viewOffset = session->viewOffsetSeconds();
    if (!std::isfinite(viewOffset))
        viewOffset = 0.0;

    // Bar 1 into the focused bar field, then Tab: the SMPTE group shows bar 1's time.
    if (Expected<void, std::string> entered = session.value().enterBarOne(); !entered)
        return failRequest(kProjectStartBarOneFailed, inputFailureMessage("Could not enter bar 1 in Go to Position dialog", entered.error()), operation);
    // A busy or slow Logic takes the bar later than the settle pause: its SMPTE
    // group still shows the old position until the Bars group shows bar 1.
    TraceStep taken(logic.trace, "wait for bar 1 to be taken", StepKind::wait);
    taken.waitedFor("the Bars group showing bar 1, at most 1.0 s");
    if (!waitForBarOneTaken(session->dialog(), kBarOneTakenTimeoutSeconds)) {
        serviceLog().error("readLogicProjectStartSMPTE: bar 1 not shown as taken after {:f}s; reading anyway", kBarOneTakenTimeoutSeconds);
        taken.fail(StepOutcome::timedOut, "bar 1 not shown as taken; reading anyway");
    }
    taken.end();
    TraceStep read(logic.trace, "read bar 1's time", StepKind::read);
    auto fields = readThirdChild(session->dialog());
    if (fields && read.recording())
        read.found(timecode::timecodeDisplayText(*fields));
    else if (!fields)
        read.fail(StepOutcome::failed, "the third timecode group did not read");
    read.end();
    session.value().close();
    if (!fields)
        return failRequest(kProjectStartUnreadable, "Could not read SMPTE from Go to Position dialog", operation);

    double seconds = timecode::fieldsToSeconds(*fields, frameRate);
    std::int64_t mode = timecode::displayMode(fields->layout);
    serviceLog().info("readLogicProjectStartSMPTE: bar 1 == {} ({:f}s), Logic display mode {}", timecode::timecodeDisplayText(*fields),
        seconds, mode);
    return ProjectStart { seconds, viewOffset, mode };
}

ServiceResult<PlayheadMove> goToLogicPlayheadSMPTESeconds(LogicDriving& logic, double seconds, double frameRate,
    bool isDropFrame)
{
    constexpr std::string_view operation = "goToLogicPlayheadSMPTESeconds";
    serviceLog().info("goToLogicPlayheadSMPTESeconds: target={:f}s (fps={:f}, df={})", seconds, frameRate, yesNo(isDropFrame));

    auto controlBarSeconds = logic.readControlBarSeconds(frameRate);
    Expected<GoToPositionSession, DialogRefusal> opened
        = GoToPositionSession::open(logic, "Go to Position (move playhead)", controlBarSeconds, frameRate);
    if (!opened)
        return failRequest(kMoveDialogMissing, opened.error().message(kDialogMissing), operation);
    GoToPositionSession& session = opened.value();

    auto components = timecode::smpteComponents(seconds, frameRate, isDropFrame);
    // The fraction is not typed: a sub-frame field goes in as 0, and a seconds
    // fraction is computed from the whole frame.
    components.fraction = 0;
    auto text = timecode::typedTimecodeText(components, session.layout(), frameRate);

    // Key events go to whatever is in front: each is sent only while the dialog is.
    if (Expected<void, std::string> typed = session.typeWithKeyEvents(text); !typed)
        return failRequest(kMoveDialogMissing, inputFailureMessage("Could not type the position in Go to Position dialog", typed.error()), operation);
    TraceStep landing(logic.trace, "read where the playhead will land", StepKind::read);
    auto landed = readDialogTimecodeGroup(session.dialog(), 2);
    landing.found(landed ? timecode::timecodeDisplayText(*landed) : std::string("unreadable"));
    landing.end();
    if (Expected<void, std::string> confirmed = session.confirm(); !confirmed)
        return failRequest(kMoveDialogMissing, inputFailureMessage("Could not confirm Go to Position dialog", confirmed.error()), operation);

    double landedSeconds = std::nan("");
    if (landed && landed->layout.kind() != timecode::TimecodeLayout::Kind::secondsFraction
        && (landed->layout.kind() == timecode::TimecodeLayout::Kind::frames || landed->subField == 0))
        landedSeconds = timecode::fieldsToSeconds(*landed, frameRate);
    serviceLog().info("goToLogicPlayheadSMPTESeconds: typed {}, landed {} ({:f}s)", text,
        landed ? timecode::timecodeDisplayText(*landed) : std::string("nil"), landedSeconds);
    return PlayheadMove { landedSeconds, session.viewOffsetSeconds() };
}

} // namespace mq::logic
