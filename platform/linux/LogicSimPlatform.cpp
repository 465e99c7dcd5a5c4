#include "platform/linux/LogicSimPlatform.h"

#include "platform/Dispatch.h"
#include "platform/linux/LogicSimConnection.h"
#include "platform/linux/LogicSimFields.h"
#include "platform/linux/LogicSimWire.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <unistd.h>

namespace mq::platform {

namespace field = wire::field;

using nlohmann::json;
using Status = LogicSimConnection::Status;

namespace {

std::string utf8FromUtf16(const std::u16string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        else if (c >= 0xD800 && c <= 0xDFFF)
            c = 0xFFFD; // a lone surrogate
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::optional<CGRect> rectFrom(const json& j)
{
    if (!j.is_array() || j.size() != 4)
        return std::nullopt;
    for (const auto& n : j)
        if (!n.is_number())
            return std::nullopt;
    return CGRect { { j[0].get<double>(), j[1].get<double>() }, { j[2].get<double>(), j[3].get<double>() } };
}

std::string fourCC(FourCharCode code)
{
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8)
        text.push_back(static_cast<char>((code >> shift) & 0xFF));
    return text;
}

using ElementKey = std::pair<pid_type, std::uint64_t>;
ElementKey keyOf(const AXElementRef& e) { return { e.pid, e.token }; }

} // namespace

struct LogicSimPlatform::State {
    struct WorkspaceObserver {
        NotificationCenterKind center;
        std::string name;
        DispatchQueue* queue;
        std::function<void()> handler;
    };
    struct AXObserverEntry {
        pid_type pid;
        AXObserverCallback callback;
        DispatchQueue* queue { nullptr };
        std::set<std::pair<ElementKey, std::string>> registrations;
    };

    explicit State(LogicSimOptions o)
        : options(std::move(o))
        , connection(options.socketPath.value_or(wire::defaultSocketPath().value_or("")))
    {
        connection.setEventHandler([this](const json& event) { onEvent(event); });
    }

    std::chrono::nanoseconds timeoutFor(const AXElementRef& element)
    {
        float seconds = 0;
        {
            std::lock_guard lock(mutex);
            if (auto it = timeouts.find(keyOf(element)); it != timeouts.end() && !element.isSystemWide)
                seconds = it->second;
        }
        if (seconds <= 0)
            seconds = globalTimeout.load();
        return std::chrono::nanoseconds(static_cast<std::int64_t>(double(seconds) * 1e9));
    }

    // One accessibility call: the status code, and the reply when it is 0.
    AXErrorCode ax(const AXElementRef& element, json request, json& reply)
    {
        request[field::el] = wire::encodeElement(element);
        auto result = connection.call(std::move(request), timeoutFor(element));
        if (result.status == Status::gone)
            return axerror::invalidUIElement;
        if (result.status == Status::timedOut)
            return axerror::cannotComplete;
        if (!result.reply.contains(field::err) || !result.reply[field::err].is_number_integer())
            return axerror::failure;
        reply = std::move(result.reply);
        return reply[field::err].get<AXErrorCode>();
    }

    // An accessibility call whose reply carries one value.
    AXErrorCode axValue(const AXElementRef& element, json request, CFValue& value)
    {
        json reply;
        AXErrorCode code = ax(element, std::move(request), reply);
        if (code)
            return code;
        // Decoded in place: a copy of the value first would cost a whole tree of
        // allocations for an element's children.
        auto found = reply.find(field::value);
        auto decoded = found != reply.end() ? wire::decode(*found) : wire::decode(json());
        if (!decoded)
            return axerror::failure;
        value = std::move(*decoded);
        return axerror::success;
    }

    AXErrorCode axArray(const AXElementRef& element, json request, CFArray& values)
    {
        CFValue value;
        AXErrorCode code = axValue(element, std::move(request), value);
        if (code)
            return code;
        auto array = value.get<CFArray>();
        if (!array)
            return axerror::failure;
        values = *array;
        return axerror::success;
    }

    std::optional<json> query(json request, std::chrono::nanoseconds timeout)
    {
        auto result = connection.call(std::move(request), timeout);
        if (result.status != Status::ok || result.reply.contains(field::error))
            return std::nullopt;
        return std::move(result.reply);
    }

    void onEvent(const json& event)
    {
        std::lock_guard lock(mutex);
        auto kind = event.value(field::event, "");
        if (kind == "notification") {
            auto center = event.value(field::center, "") == "distributed" ? NotificationCenterKind::distributed : NotificationCenterKind::workspace;
            auto name = event.value(field::name, "");
            for (auto& [token, observer] : workspaceObservers)
                if (observer.center == center && observer.name == name)
                    observer.queue->async([handler = observer.handler] { handler(); });
        } else if (kind == "ax") {
            auto element = wire::decodeElement(event.value(field::element, json()));
            auto name = event.value(field::notification, "");
            if (!element)
                return;
            for (auto& [token, observer] : axObservers) {
                if (!observer.queue || observer.pid != element->pid)
                    continue;
                // Registrations on the application element hear all of its elements.
                bool heard = observer.registrations.count({ keyOf(*element), name }) || observer.registrations.count({ { element->pid, 0 }, name });
                if (heard)
                    observer.queue->async([callback = observer.callback, ref = AXObserverRef { token }, e = *element, name] {
                        callback(ref, e, name, {});
                    });
            }
        }
    }

    // An accessibility notification matters to whoever scheduled an observer as
    // soon as it comes (a wait sleeps until it does), so while one is scheduled the
    // connection reads events without delay.
    void updateEventsAwaited()
    {
        // One update at a time, so that the last to run saw the latest table.
        std::lock_guard updating(awaitedMutex);
        bool awaited = false;
        {
            std::lock_guard lock(mutex);
            for (const auto& [token, observer] : axObservers)
                awaited = awaited || observer.queue != nullptr;
        }
        connection.setEventsAwaited(awaited);
    }

    /// An Apple Event descriptor held here until it is disposed of: a typed value,
    /// or an event with its target and parameters.
    struct Descriptor {
        struct Parameter {
            FourCharCode keyword;
            FourCharCode type;
            std::string bytes;
        };
        struct Event {
            FourCharCode eventClass;
            FourCharCode eventID;
            FourCharCode targetType;
            std::string targetBytes;
            std::int16_t returnID;
            std::int32_t transactionID;
            std::vector<Parameter> parameters;
        };
        FourCharCode type;
        std::string bytes;
        std::optional<Event> event;
    };

    LogicSimOptions options;
    std::atomic<float> globalTimeout { kDefaultMessagingTimeoutSeconds };
    std::mutex mutex;
    std::mutex awaitedMutex;
    std::map<std::uint64_t, Descriptor> descriptors;
    std::map<ElementKey, float> timeouts;
    std::map<NotificationToken, WorkspaceObserver> workspaceObservers;
    std::map<std::uint64_t, AXObserverEntry> axObservers;
    std::uint64_t nextToken { 1 };
    // Last, so that its reader thread stops before the tables it delivers to go.
    LogicSimConnection connection;
};

LogicSimPlatform::LogicSimPlatform(LogicSimOptions options)
    : m_state(std::make_unique<State>(std::move(options)))
{
}

LogicSimPlatform::~LogicSimPlatform() = default;

AXElementRef LogicSimPlatform::createApplication(pid_type pid) { return AXElementRef { pid, 0, false }; }

AXElementRef LogicSimPlatform::createSystemWide() { return AXElementRef { 0, 0, true }; }

AXErrorCode LogicSimPlatform::copyAttributeNames(const AXElementRef& element, CFArray& names)
{
    return m_state->axArray(element, { { field::op, wire::opName(wire::Op::axCopyAttributeNames) } }, names);
}

AXErrorCode LogicSimPlatform::copyAttributeValue(const AXElementRef& element, std::string_view attribute, CFValue& value)
{
    return m_state->axValue(element, { { field::op, wire::opName(wire::Op::axCopyAttributeValue) }, { field::attr, attribute } }, value);
}

AXErrorCode LogicSimPlatform::copyAttributeValues(const AXElementRef& element, std::string_view attribute, std::int64_t index,
    std::int64_t maxValues, CFArray& values)
{
    return m_state->axArray(element, { { field::op, wire::opName(wire::Op::axCopyAttributeValues) }, { field::attr, attribute }, { field::index, index }, { field::max, maxValues } },
        values);
}

AXErrorCode LogicSimPlatform::getAttributeValueCount(const AXElementRef& element, std::string_view attribute, std::int64_t& count)
{
    json reply;
    AXErrorCode code = m_state->ax(element, { { field::op, wire::opName(wire::Op::axGetAttributeValueCount) }, { field::attr, attribute } }, reply);
    if (code)
        return code;
    count = reply.value(field::count, std::int64_t(0));
    return axerror::success;
}

AXErrorCode LogicSimPlatform::copyMultipleAttributeValues(const AXElementRef& element, const std::vector<std::string>& attributes,
    std::uint32_t options, CFArray& values)
{
    return m_state->axArray(element, { { field::op, wire::opName(wire::Op::axCopyMultipleAttributeValues) }, { field::attrs, attributes }, { field::options, options } }, values);
}

AXErrorCode LogicSimPlatform::isAttributeSettable(const AXElementRef& element, std::string_view attribute, bool& settable)
{
    json reply;
    AXErrorCode code = m_state->ax(element, { { field::op, wire::opName(wire::Op::axIsAttributeSettable) }, { field::attr, attribute } }, reply);
    if (code)
        return code;
    settable = reply.value(field::settable, false);
    return axerror::success;
}

AXErrorCode LogicSimPlatform::setAttributeValue(const AXElementRef& element, std::string_view attribute, const CFValue& value)
{
    json reply;
    return m_state->ax(element, { { field::op, wire::opName(wire::Op::axSetAttributeValue) }, { field::attr, attribute }, { field::value, wire::encode(value) } }, reply);
}

AXErrorCode LogicSimPlatform::copyParameterizedAttributeNames(const AXElementRef& element, CFArray& names)
{
    return m_state->axArray(element, { { field::op, wire::opName(wire::Op::axCopyParameterizedAttributeNames) } }, names);
}

AXErrorCode LogicSimPlatform::copyParameterizedAttributeValue(const AXElementRef& element, std::string_view attribute,
    const CFValue& parameter, CFValue& value)
{
    return m_state->axValue(element,
        { { field::op, wire::opName(wire::Op::axCopyParameterizedAttributeValue) }, { field::attr, attribute }, { field::parameter, wire::encode(parameter) } }, value);
}

AXErrorCode LogicSimPlatform::copyActionNames(const AXElementRef& element, CFArray& names)
{
    return m_state->axArray(element, { { field::op, wire::opName(wire::Op::axCopyActionNames) } }, names);
}

AXErrorCode LogicSimPlatform::copyActionDescription(const AXElementRef& element, std::string_view action, std::string& description)
{
    CFValue value;
    AXErrorCode code = m_state->axValue(element, { { field::op, wire::opName(wire::Op::axCopyActionDescription) }, { field::action, action } }, value);
    if (code)
        return code;
    auto text = value.get<std::string>();
    if (!text)
        return axerror::failure;
    description = *text;
    return axerror::success;
}

AXErrorCode LogicSimPlatform::performAction(const AXElementRef& element, std::string_view action)
{
    json reply;
    return m_state->ax(element, { { field::op, wire::opName(wire::Op::axPerformAction) }, { field::action, action } }, reply);
}

AXErrorCode LogicSimPlatform::getPid(const AXElementRef& element, pid_type& pid)
{
    // The pid travels in the handle, as on the platform; no round trip.
    if (element.isSystemWide)
        return axerror::illegalArgument;
    pid = element.pid;
    return axerror::success;
}

AXErrorCode LogicSimPlatform::copyElementAtPosition(const AXElementRef& application, float x, float y, AXElementRef& element)
{
    CFValue value;
    AXErrorCode code = m_state->axValue(application, { { field::op, wire::opName(wire::Op::axCopyElementAtPosition) }, { field::x, x }, { field::y, y } }, value);
    if (code)
        return code;
    auto found = value.get<AXElementRef>();
    if (!found)
        return axerror::failure;
    element = *found;
    return axerror::success;
}

AXErrorCode LogicSimPlatform::setMessagingTimeout(const AXElementRef& element, float seconds)
{
    if (seconds < 0 || std::isnan(seconds))
        return axerror::illegalArgument;
    if (element.isSystemWide) {
        m_state->globalTimeout = seconds > 0 ? seconds : kDefaultMessagingTimeoutSeconds;
        return axerror::success;
    }
    std::lock_guard lock(m_state->mutex);
    if (seconds == 0)
        m_state->timeouts.erase(keyOf(element));
    else
        m_state->timeouts[keyOf(element)] = seconds;
    return axerror::success;
}

bool LogicSimPlatform::isProcessTrustedWithOptions(bool prompt)
{
    auto reply = m_state->query({ { field::op, wire::opName(wire::Op::axIsProcessTrusted) }, { field::prompt, prompt } }, m_state->options.desktopTimeout);
    return reply && reply->value(field::trusted, false);
}

AXErrorCode LogicSimPlatform::observerCreate(pid_type pid, AXObserverCallback callback, AXObserverRef& observer)
{
    // An observer needs a live application behind the pid.
    CFValue role;
    AXErrorCode code = copyAttributeValue(createApplication(pid), "AXRole", role);
    if (code)
        return code;
    std::lock_guard lock(m_state->mutex);
    std::uint64_t token = m_state->nextToken++;
    m_state->axObservers[token] = State::AXObserverEntry { pid, std::move(callback), nullptr, {} };
    observer = AXObserverRef { token };
    return axerror::success;
}

AXErrorCode LogicSimPlatform::observerAddNotification(AXObserverRef observer, const AXElementRef& element, std::string_view notification)
{
    std::lock_guard lock(m_state->mutex);
    auto it = m_state->axObservers.find(observer.token);
    if (it == m_state->axObservers.end())
        return axerror::invalidUIElementObserver;
    if (!it->second.registrations.emplace(keyOf(element), std::string(notification)).second)
        return axerror::notificationAlreadyRegistered;
    return axerror::success;
}

AXErrorCode LogicSimPlatform::observerRemoveNotification(AXObserverRef observer, const AXElementRef& element, std::string_view notification)
{
    std::lock_guard lock(m_state->mutex);
    auto it = m_state->axObservers.find(observer.token);
    if (it == m_state->axObservers.end())
        return axerror::invalidUIElementObserver;
    if (!it->second.registrations.erase({ keyOf(element), std::string(notification) }))
        return axerror::notificationNotRegistered;
    return axerror::success;
}

void LogicSimPlatform::observerSchedule(AXObserverRef observer, DispatchQueue* queue)
{
    {
        std::lock_guard lock(m_state->mutex);
        if (auto it = m_state->axObservers.find(observer.token); it != m_state->axObservers.end())
            it->second.queue = queue;
    }
    m_state->updateEventsAwaited();
}

void LogicSimPlatform::observerRelease(AXObserverRef observer)
{
    {
        std::lock_guard lock(m_state->mutex);
        m_state->axObservers.erase(observer.token);
    }
    m_state->updateEventsAwaited();
}

void LogicSimPlatform::postKeyboardEvent(const KeyboardEvent& event)
{
    m_state->connection.post({ { field::op, wire::opName(wire::Op::inputKeyboard) }, { field::virtualKey, event.virtualKey }, { field::keyDown, event.keyDown },
        { field::text, utf8FromUtf16(event.unicodeString) }, { field::flags, event.flags } });
}

void LogicSimPlatform::postMouseEvent(const MouseEvent& event)
{
    const char* type = event.type == MouseEventType::leftMouseDown ? "leftMouseDown" : event.type == MouseEventType::leftMouseUp ? "leftMouseUp" : "mouseMoved";
    m_state->connection.post({ { field::op, wire::opName(wire::Op::inputMouse) }, { field::type, type }, { field::x, event.location.x }, { field::y, event.location.y }, { field::flags, event.flags } });
}

CGPoint LogicSimPlatform::cursorPosition()
{
    auto reply = m_state->query({ { field::op, wire::opName(wire::Op::inputCursor) } }, m_state->options.desktopTimeout);
    if (!reply)
        return {};
    return CGPoint { reply->value(field::x, 0.0), reply->value(field::y, 0.0) };
}

void LogicSimPlatform::warpCursor(CGPoint location)
{
    m_state->connection.post({ { field::op, wire::opName(wire::Op::inputWarp) }, { field::x, location.x }, { field::y, location.y } });
}

ScriptResult LogicSimPlatform::runAppleScript(const std::string& source)
{
    auto result = m_state->connection.call({ { field::op, wire::opName(wire::Op::scriptRun) }, { field::source, source } }, m_state->options.scriptTimeout);
    auto runError = [](std::int64_t number, const char* message) {
        return ScriptResult { true, CFDictionary { { field::NSAppleScriptErrorNumber, CFValue(number) }, { field::NSAppleScriptErrorMessage, CFValue(message) } } };
    };
    if (result.status == Status::gone)
        return runError(osstatus::procNotFound, "System Events got an error: Application isn’t running.");
    if (result.status == Status::timedOut)
        return runError(osstatus::errAETimeout, "System Events got an error: AppleEvent timed out.");
    ScriptResult script;
    script.compiled = result.reply.value(field::compiled, false);
    if (auto it = result.reply.find(field::errorInfo); it != result.reply.end() && !it->is_null()) {
        auto info = wire::decode(*it);
        script.errorInfo = info && info->get<CFDictionary>() ? *info->get<CFDictionary>() : CFDictionary {};
    }
    return script;
}

std::int32_t LogicSimPlatform::makeFileReference(const std::string& path, FileReference& out)
{
    // logicsim stands for the file system here: it makes and later resolves the
    // reference, which names the file by volume and file id.
    auto result = m_state->connection.call({ { field::op, wire::opName(wire::Op::fileMakeReference) }, { field::path, path } }, m_state->options.desktopTimeout);
    if (result.status != Status::ok)
        return osstatus::ioErr;
    auto status = result.reply.value(field::status, osstatus::ioErr);
    if (status != osstatus::noErr)
        return status;
    std::string bytes = wire::hexDecode(result.reply.value(field::bytes, "")).value_or("");
    if (bytes.size() != out.bytes.size())
        return osstatus::ioErr;
    std::copy(bytes.begin(), bytes.end(), out.bytes.begin());
    return osstatus::noErr;
}

std::int32_t LogicSimPlatform::createDesc(FourCharCode type, const void* data, std::size_t size, AEDescRef& result)
{
    if (!data && size > 0)
        return osstatus::errAECorruptData;
    std::lock_guard lock(m_state->mutex);
    result.token = m_state->nextToken++;
    m_state->descriptors[result.token] = State::Descriptor { type, size ? std::string(static_cast<const char*>(data), size) : std::string(), std::nullopt };
    return osstatus::noErr;
}

std::int32_t LogicSimPlatform::createAppleEvent(FourCharCode eventClass, FourCharCode eventID, const AEDescRef& target, std::int16_t returnID,
    std::int32_t transactionID, AEDescRef& result)
{
    std::lock_guard lock(m_state->mutex);
    auto it = m_state->descriptors.find(target.token);
    if (it == m_state->descriptors.end() || it->second.event)
        return osstatus::errAENotAEDesc;
    State::Descriptor::Event event { eventClass, eventID, it->second.type, it->second.bytes, returnID, transactionID, {} };
    result.token = m_state->nextToken++;
    m_state->descriptors[result.token] = State::Descriptor { fourCharCode("aevt"), {}, std::move(event) };
    return osstatus::noErr;
}

std::int32_t LogicSimPlatform::putParamPtr(const AEDescRef& event, FourCharCode keyword, FourCharCode type, const void* data, std::size_t size)
{
    if (!data && size > 0)
        return osstatus::errAECorruptData;
    std::lock_guard lock(m_state->mutex);
    auto it = m_state->descriptors.find(event.token);
    if (it == m_state->descriptors.end() || !it->second.event)
        return osstatus::errAENotAEDesc;
    auto& parameters = it->second.event->parameters;
    std::string bytes = size ? std::string(static_cast<const char*>(data), size) : std::string();
    // A keyword put again replaces the value, in its place.
    for (auto& p : parameters)
        if (p.keyword == keyword) {
            p = { keyword, type, std::move(bytes) };
            return osstatus::noErr;
        }
    parameters.push_back({ keyword, type, std::move(bytes) });
    return osstatus::noErr;
}

std::int32_t LogicSimPlatform::sendMessage(const AEDescRef& event, AEDescRef& reply, std::int32_t sendMode, std::int64_t timeoutTicks)
{
    reply = {};
    json message;
    {
        std::lock_guard lock(m_state->mutex);
        auto it = m_state->descriptors.find(event.token);
        if (it == m_state->descriptors.end() || !it->second.event)
            return osstatus::errAENotAEDesc;
        const auto& e = *it->second.event;
        json parameters = json::array();
        for (const auto& p : e.parameters)
            parameters.push_back({ { field::keyword, fourCC(p.keyword) }, { field::type, fourCC(p.type) }, { field::size, p.bytes.size() }, { field::bytes, wire::hexEncode(p.bytes) } });
        message = { { field::op, wire::opName(wire::Op::scriptSendAppleEvent) }, { field::eventClass, fourCC(e.eventClass) }, { field::eventID, fourCC(e.eventID) },
            { field::returnID, e.returnID }, { field::transactionID, e.transactionID },
            { field::target, { { field::type, fourCC(e.targetType) }, { field::size, e.targetBytes.size() }, { field::bytes, wire::hexEncode(e.targetBytes) } } },
            { field::parameters, parameters }, { field::sendMode, sendMode }, { field::timeout, timeoutTicks } };
    }
    // Without a reply the send waits only for delivery; otherwise for the
    // handler, up to the time-out (the system's default is about a minute).
    std::chrono::nanoseconds timeout = m_state->options.desktopTimeout;
    if ((sendMode & 3) == appleevent::kAEWaitReply) {
        constexpr std::int64_t kTicksPerDay = 60LL * 60 * 60 * 24;
        if (timeoutTicks == appleevent::kNoTimeOut)
            timeout = m_state->options.promptTimeout;
        else if (timeoutTicks <= 0)
            timeout = std::chrono::seconds(60);
        else // at most a day, which also keeps the arithmetic in range
            timeout = std::chrono::nanoseconds(std::min(timeoutTicks, kTicksPerDay) * 1'000'000'000 / 60);
    }
    auto result = m_state->connection.call(std::move(message), timeout);
    if (result.status == Status::gone)
        return osstatus::procNotFound;
    if (result.status == Status::timedOut)
        return osstatus::errAETimeout;
    return result.reply.value(field::status, osstatus::errAEEventNotHandled);
}

std::int32_t LogicSimPlatform::disposeDesc(AEDescRef& desc)
{
    if (desc.isNull())
        return osstatus::noErr;
    std::lock_guard lock(m_state->mutex);
    if (!m_state->descriptors.erase(desc.token))
        return osstatus::errAENotAEDesc;
    desc = {};
    return osstatus::noErr;
}

std::int32_t LogicSimPlatform::determinePermissionToAutomateTarget(const std::string& bundleIdentifier, FourCharCode eventClass,
    FourCharCode eventID, bool askUserIfNeeded)
{
    auto result = m_state->connection.call({ { field::op, wire::opName(wire::Op::scriptAutomationPermission) }, { field::bundleIdentifier, bundleIdentifier },
                                               { field::eventClass, fourCC(eventClass) }, { field::eventID, fourCC(eventID) }, { field::ask, askUserIfNeeded } },
        askUserIfNeeded ? m_state->options.promptTimeout : m_state->options.desktopTimeout);
    if (result.status == Status::gone)
        return osstatus::procNotFound;
    if (result.status == Status::timedOut)
        return osstatus::errAETimeout;
    return result.reply.value(field::status, osstatus::procNotFound);
}

std::vector<RunningApplication> LogicSimPlatform::runningApplications()
{
    auto reply = m_state->query({ { field::op, wire::opName(wire::Op::workspaceRunningApplications) } }, m_state->options.desktopTimeout);
    std::vector<RunningApplication> applications;
    if (!reply)
        return applications;
    for (const auto& entry : reply->value("applications", json::array())) {
        RunningApplication app;
        if (entry.contains(field::bundleIdentifier) && entry[field::bundleIdentifier].is_string())
            app.bundleIdentifier = entry[field::bundleIdentifier].get<std::string>();
        if (entry.contains(field::localizedName) && entry[field::localizedName].is_string())
            app.localizedName = entry[field::localizedName].get<std::string>();
        app.pid = entry.value(field::pid, pid_type(-1));
        app.isTerminated = entry.value(field::terminated, false);
        auto policy = entry.value(field::activationPolicy, "regular");
        app.activationPolicy = policy == "prohibited" ? ActivationPolicy::prohibited : policy == "accessory" ? ActivationPolicy::accessory : ActivationPolicy::regular;
        applications.push_back(std::move(app));
    }
    return applications;
}

bool LogicSimPlatform::openURL(const URL& url)
{
    auto reply = m_state->query({ { field::op, wire::opName(wire::Op::workspaceOpenURL) }, { field::url, url.absoluteString() } }, m_state->options.desktopTimeout);
    return reply && reply->value(field::ok, false);
}

std::optional<URL> LogicSimPlatform::urlForApplication(const std::string& bundleIdentifier)
{
    auto reply = m_state->query({ { field::op, wire::opName(wire::Op::workspaceURLForApplication) }, { field::bundleIdentifier, bundleIdentifier } }, m_state->options.desktopTimeout);
    if (!reply)
        return std::nullopt;
    auto value = wire::decode(reply->value(field::url, json()));
    if (!value || !value->get<URL>())
        return std::nullopt;
    return *value->get<URL>();
}

bool LogicSimPlatform::launchApplication(const URL& applicationURL)
{
    auto reply = m_state->query({ { field::op, wire::opName(wire::Op::workspaceLaunchApplication) }, { field::url, applicationURL.absoluteString() } }, m_state->options.desktopTimeout);
    return reply && reply->value(field::ok, false);
}

bool LogicSimPlatform::openApplication(const URL& applicationURL, const OpenConfiguration& configuration)
{
    auto reply = m_state->query({ { field::op, wire::opName(wire::Op::workspaceOpenApplication) }, { field::url, applicationURL.absoluteString() },
                                    { field::activates, configuration.activates }, { field::addsToRecentItems, configuration.addsToRecentItems },
                                    { field::createsNewApplicationInstance, configuration.createsNewApplicationInstance } },
        m_state->options.desktopTimeout);
    return reply && reply->value(field::ok, false);
}

bool LogicSimPlatform::setActivationPolicy(ActivationPolicy policy)
{
    const char* name = policy == ActivationPolicy::accessory ? "accessory" : policy == ActivationPolicy::prohibited ? "prohibited" : "regular";
    auto reply = m_state->query({ { field::op, wire::opName(wire::Op::appSetActivationPolicy) }, { field::policy, name } }, m_state->options.desktopTimeout);
    return reply && reply->value(field::ok, false);
}

void LogicSimPlatform::activateIgnoringOtherApps()
{
    m_state->query({ { field::op, wire::opName(wire::Op::appActivate) }, { field::ignoringOtherApps, true } }, m_state->options.desktopTimeout);
}

NotificationToken LogicSimPlatform::addObserver(NotificationCenterKind center, const std::string& name, DispatchQueue& queue,
    std::function<void()> handler)
{
    std::lock_guard lock(m_state->mutex);
    NotificationToken token = m_state->nextToken++;
    m_state->workspaceObservers[token] = State::WorkspaceObserver { center, name, &queue, std::move(handler) };
    return token;
}

void LogicSimPlatform::removeObserver(NotificationToken token)
{
    std::lock_guard lock(m_state->mutex);
    m_state->workspaceObservers.erase(token);
}

std::optional<CFDictionary> LogicSimPlatform::sessionDictionary()
{
    auto reply = m_state->query({ { field::op, wire::opName(wire::Op::desktopSession) } }, m_state->options.desktopTimeout);
    if (!reply)
        return std::nullopt;
    const json& session = (*reply)[field::session];
    if (!session.is_object())
        return std::nullopt;
    CFDictionary dictionary;
    for (const auto& [key, value] : session.items())
        if (auto decoded = wire::decode(value))
            dictionary.emplace_back(key, std::move(*decoded));
    return dictionary;
}

std::vector<Screen> LogicSimPlatform::screens()
{
    auto reply = m_state->query({ { field::op, wire::opName(wire::Op::desktopScreens) } }, m_state->options.desktopTimeout);
    std::vector<Screen> list;
    if (!reply)
        return list;
    for (const auto& entry : reply->value("screens", json::array())) {
        auto frame = rectFrom(entry.value(field::frame, json()));
        auto visible = rectFrom(entry.value(field::visibleFrame, json()));
        if (frame)
            list.push_back(Screen { *frame, visible.value_or(*frame), entry.value(field::main, false) });
    }
    return list;
}

std::vector<PasteboardItem> LogicSimPlatform::pasteboardItems()
{
    auto reply = m_state->query({ { field::op, wire::opName(wire::Op::desktopPasteboard) } }, m_state->options.desktopTimeout);
    std::vector<PasteboardItem> items;
    if (!reply)
        return items;
    for (const auto& entry : reply->value(field::items, json::array())) {
        PasteboardItem item;
        for (const auto& representation : entry.value(field::representations, json::array()))
            if (representation.is_array() && representation.size() == 2)
                item.representations.emplace_back(representation[0].get<std::string>(), wire::hexDecode(representation[1].get<std::string>()).value_or(""));
        items.push_back(std::move(item));
    }
    return items;
}

void LogicSimPlatform::setPasteboardItems(const std::vector<PasteboardItem>& items)
{
    json list = json::array();
    for (const auto& item : items) {
        json representations = json::array();
        for (const auto& [type, data] : item.representations)
            representations.push_back(json::array({ type, wire::hexEncode(data) }));
        list.push_back({ { field::representations, representations } });
    }
    m_state->query({ { field::op, wire::opName(wire::Op::desktopSetPasteboard) }, { field::items, list } }, m_state->options.desktopTimeout);
}

} // namespace mq::platform
