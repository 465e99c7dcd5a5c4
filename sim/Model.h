// logicsim's world: the running applications, Logic's windows as an
// accessibility tree, the clients and their permissions, input, the desktop and
// the injected faults. One Model lives on the server's single thread; every
// request and control command is a call on it and nothing here locks.
#pragma once

#include "platform/CoreTypes.h"
#include "sim/systemevents/SystemEventsScript.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace mq::sim {

using nlohmann::json;
using platform::AXErrorCode;
using platform::CFValue;
using platform::pid_type;
using Token = std::uint64_t;

/// One interface element. Applications are elements too (role AXApplication).
struct Element {
    Token token { 0 };
    pid_type pid { 0 };
    std::string key; // the scenario's name for it, for control commands; may be empty
    std::string role;
    /// Stored attributes in their listed order; nullopt means "supported, no value".
    std::vector<std::pair<std::string, std::optional<CFValue>>> attributes;
    std::vector<Token> children;
    Token parent { 0 };
    std::vector<std::string> actions;
    std::vector<std::string> settable;

    /// What pressing it does: "confirm" or "cancel" closes its dialog; empty does nothing.
    std::string press;
    /// When set, AXPress through accessibility fails with this code (keys still work).
    std::optional<AXErrorCode> refuseAXPress;
    bool focusable { false };
    /// Cmd-A selected the field's whole text: the next typing replaces it.
    bool selectAll { false };

    // Windows only.
    Token focusedField { 0 };
    /// The name of a dialog behaviour (see DialogBehavior); empty for the generic one.
    std::string behavior;

    const std::optional<CFValue>* find(std::string_view name) const;
    void set(const std::string& name, std::optional<CFValue> value);
    bool erase(std::string_view name);
};

struct Application {
    std::string key;
    std::optional<std::string> bundleIdentifier;
    std::optional<std::string> localizedName;
    std::string activationPolicy { "regular" }; // "regular", "accessory", "prohibited"
    std::string bundlePath; // where it is installed; empty when unknown
    pid_type pid { -1 };
    bool terminated { false };
    bool running { true };
    Token element { 0 };
    std::vector<Token> windows; // front to back
    Token mainWindow { 0 };
    Token focusedWindow { 0 };
    json definition; // the scenario entry, to launch it again
};

struct FaultRule {
    std::string op { "*" }; // a wire op, "ax.*" style prefix, or "*"
    std::optional<std::string> attribute;
    std::optional<std::string> action;
    std::optional<pid_type> client;
    int delayMs { 0 };
    bool noReply { false };
    std::optional<std::int32_t> error;
    int remaining { -1 }; // -1: every matching call
};

/// What a dialog does with keys and with being confirmed or cancelled. The
/// generic behaviour types into text fields and closes on Return and Escape;
/// later dialogs (Go to Position...) register their own.
class DialogBehavior {
public:
    virtual ~DialogBehavior() = default;
    /// Called after Tab moved the focus away from `field` (an edit was committed).
    virtual void fieldCommitted(class Model&, Element& dialog, Element& field) { (void)dialog, (void)field; }
    /// Called before the dialog closes; `confirmed` false for cancel/Escape.
    virtual void closing(class Model&, Element& dialog, bool confirmed) { (void)dialog, (void)confirmed; }
};

/// A keystroke script to "System Events" on its way: the steps still to carry out
/// against one process. The server carries them out in turn and waits out the
/// delays on timers.
struct ScriptRun {
    std::string processName;
    std::string application; // the addressed application's key
    std::vector<systemevents::Step> steps;
    std::size_t next { 0 };
    /// Set when the process went away during the run.
    std::optional<json> errorInfo;
};

/// What a script.run request leads to: the reply at once, or a run to carry out.
struct ScriptStart {
    json reply;
    std::shared_ptr<ScriptRun> run;
};

/// A reply the server holds back until the world gives it (an Automation prompt
/// that waits for the user): its ticket and, once answered, its body.
struct AnsweredRequest {
    std::uint64_t ticket { 0 };
    json reply;
};

/// A notification to push to every client connection.
struct Broadcast {
    json message;
};

class Model {
public:
    Model();

    /// Replaces the whole world with `scenario`. Throws std::runtime_error with
    /// a reason when the scenario is malformed.
    void load(const json& scenario);
    /// Back to the last loaded scenario.
    void reset();

    /// A client request (everything but "ctl"). Returns the reply body without
    /// its id; `clientPid` is what the connection said in its hello (0 if none).
    json handle(const std::string& op, const json& request, pid_type clientPid);

    /// script.run: compiles the source and checks what it addresses. A script
    /// that cannot run is answered at once; otherwise its run is returned.
    ScriptStart startScript(const json& request, pid_type clientPid);
    /// Carries out the run's steps up to the next delay, whose seconds it
    /// returns; nothing when the run is over.
    std::optional<double> continueScript(ScriptRun& run);
    /// The reply to a finished run.
    json finishScript(const ScriptRun& run);

    /// logic.runStoredAction: Logic performs its command `code` (stored actions).
    json runStoredAction(std::uint32_t code);
    /// Logic's document state that the stored actions change: markers, tracks,
    /// regions, the movie, the Colors window and the marker track.
    json& logicState() { return m_logic; }
    /// A control command.
    json control(const std::string& command, const json& args);
    /// The first fault rule that matches, consumed once.
    std::optional<FaultRule> takeFault(const std::string& op, const json& request, pid_type clientPid);

    json stateJson() const;

    /// Messages to send to every client, gathered since the last call.
    std::vector<json> takeBroadcasts();
    /// Requests held back (a reply {"deferred": ticket}) that have been answered since the last call.
    std::vector<AnsweredRequest> takeAnsweredRequests();
    /// Applications opened with a launch delay whose time has come start running
    /// (sim/PermissionPrompts.cpp). Every request and control command starts with it.
    void advanceLaunches();

    // For behaviours and control commands.
    Element* element(Token token);
    Element* elementByKey(const std::string& key);
    Application* applicationByPid(pid_type pid);
    Application* application(const std::string& keyOrBundle);
    Application* frontmostApplication();
    void closeDialog(Element& dialog, bool confirmed);
    void registerBehavior(const std::string& name, std::unique_ptr<DialogBehavior> behavior);
    void log(json entry); // appended to the event log in the state
    /// The transport: frameRate, playheadSeconds, bar1Seconds, and the settings of
    /// the time display (see GoToPositionDialog.h).
    json& transport() { return m_transport; }
    /// Adds a window built from `definition` to `app`; a modal one takes the focus.
    Token addWindow(Application& app, const json& definition, bool front);
    /// Shows the playhead in the control bar's SMPTE display (while it follows).
    void updateDisplayFromPlayhead();
    /// Brings a playing transport's playhead, and the display, up to the present.
    /// Every request and control command starts with it, so each read of the
    /// display sees the time of the read (sim/Transport.cpp).
    void advanceTransport();

private:
    friend struct ScenarioLoader;

    // Accessibility.
    json axCall(const std::string& op, const json& request, pid_type clientPid);
    std::pair<AXErrorCode, std::optional<CFValue>> readAttribute(const Element& element, const std::string& name) const;
    std::vector<std::string> attributeNames(const Element& element) const;
    AXErrorCode writeAttribute(Element& element, const std::string& name, const CFValue& value);
    AXErrorCode perform(Element& element, const std::string& action, bool throughAccessibility);
    Token hitTest(const std::vector<Token>& roots, double x, double y) const;
    Token windowOf(const Element& element) const;
    bool trusted(pid_type clientPid) const;
    platform::AXElementRef ref(Token token) const;
    CFValue refs(const std::vector<Token>& tokens) const;

    // Input.
    /// A key event; to the frontmost application's key window, or to `target`'s
    /// (keystrokes of "System Events" reach the process they address).
    void keyboard(const json& request, Application* target = nullptr);
    void mouse(const json& request);
    void typeText(Element& dialog, const std::string& text);
    void moveFocus(Element& dialog, bool backwards);
    std::vector<Token> focusableFields(const Element& window) const;
    Element* targetDialog(Application* target = nullptr);
    void registerStoredActionBehaviors();
    Application* logicApplication();

    // Permissions, prompts, quiet launches, the settings application and the
    // helper's own application state (sim/PermissionPrompts.cpp).
    json automationPermission(const json& request);
    json openApplication(const json& request);
    /// app.setActivationPolicy and app.activate from the client `clientPid`.
    json clientApplication(const std::string& op, const json& request, pid_type clientPid);
    /// A "x-apple.systempreferences:" URL opens the settings application at that pane.
    void openSettingsPane(const std::string& url);
    /// answer-prompt; nothing for other commands.
    std::optional<json> promptControl(const std::string& command, const json& args);
    json promptState() const;

    // Workspace and desktop.
    json runningApplications() const;
    json launch(Application& app, std::optional<pid_type> pid = std::nullopt);
    void quit(Application& app);
    void broadcastNotification(const std::string& center, const std::string& name);

    // Tree editing.
    Token addElement(const json& definition, pid_type pid, Token parent, std::vector<std::pair<Token, json>>& references);
    void resolveReferences(std::vector<std::pair<Token, json>>& references);
    void removeSubtree(Token token);
    void removeWindow(Token window);
    json elementJson(const Element& element, int depth) const;
    json applicationJson(const Application& app) const;
    Token buildLargeWindow(Application& app, int count, int fanout, const std::string& key);
    void applyDisplayLanguage(const std::string& language);

    // The transport and the control bar's display (sim/Transport.cpp).
    /// Handles the transport and desktop-state commands; nothing when `command` is another.
    std::optional<json> transportControl(const std::string& command, const json& args);
    void startPlaying();
    void stopPlaying();
    /// Replaces the SMPTE display's sliders with those of the transport's
    /// `controlBarDisplay`, in the current language and listing order.
    void rebuildTimeDisplay();
    /// Takes the control bar out of its window (its elements are destroyed), or puts
    /// a new one back at the front.
    void setControlBarHidden(bool hidden);
    /// The display's sliders, left to right on screen.
    std::vector<Token> slidersOnScreen(const Element& display) const;
    /// A scenario definition of `element` and its subtree, to build it again.
    json definitionOf(const Element& element) const;

    json m_scenario;
    std::unordered_map<Token, Element> m_elements;
    std::map<std::string, Token> m_keys;
    std::vector<Application> m_applications; // workspace order
    std::string m_frontmost; // application key
    Token m_nextToken { 1 };
    pid_type m_nextPid { 4000 };

    bool m_trustedByDefault { true };
    std::map<pid_type, bool> m_trust;
    std::map<pid_type, int> m_prompts;
    std::map<std::string, std::string> m_automation; // bundle id -> "allowed"/"denied"/"ask"
    std::string m_automationAnswer { "allow" }; // the user's answer to a prompt: "allow", "deny" or "wait"
    struct PendingPrompt {
        std::uint64_t ticket;
        std::string target;
    };
    std::vector<PendingPrompt> m_pendingPrompts; // oldest first
    std::vector<AnsweredRequest> m_answeredRequests;
    std::uint64_t m_nextTicket { 1 };
    std::map<std::string, std::chrono::steady_clock::time_point> m_launchesDue; // application key -> when it runs
    struct ClientApplication {
        std::string activationPolicy { "regular" };
        int activations { 0 };
    };
    std::map<pid_type, ClientApplication> m_clientApplications;
    json m_settings = json { { "running", false }, { "pane", nullptr } };

    std::vector<FaultRule> m_faults;
    json m_events = json::array();
    json m_keyEvents = json::array();
    json m_mouseEvents = json::array();
    json m_scripts = json::array();
    json m_appleEvents = json::array();
    json m_openedURLs = json::array();
    json m_dialogResults = json::array();
    platform::CGPoint m_cursor { 400, 300 };
    json m_session = json::object();
    json m_screens = json::array();
    json m_pasteboard = json::array();
    json m_transport = json::object();
    std::string m_language { "en" };
    json m_logic = json { { "markers", json::array() }, { "tracks", json::array() }, { "regions", json::array() }, { "movie", nullptr },
        { "locators", nullptr }, { "colorsWindowOpen", false }, { "chosenColor", nullptr }, { "markerTrackShown", false },
        { "lastCreated", nullptr }, { "naming", nullptr }, { "markerSteps", json::array() }, { "alignSteps", json::array() } };
    std::chrono::steady_clock::time_point m_playStarted {};
    double m_playStartSeconds { 0 };
    double m_playheadWritten { -1 }; // the playhead as advanceTransport last wrote it
    json m_hiddenControlBar; // the hidden bar's definition; null while it shows
    Token m_hiddenControlBarWindow { 0 };
    std::map<std::string, std::unique_ptr<DialogBehavior>> m_behaviors;
    std::vector<json> m_broadcasts;
};

} // namespace mq::sim
