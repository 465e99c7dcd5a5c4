#include "sim/Scripts.h"

#include "sim/Input.h"
#include "sim/PermissionPrompts.h"
#include "sim/SpotAppleEvent.h"
#include "sim/World.h"

#include "platform/InputEvents.h"
#include "platform/Scripting.h"
#include "platform/linux/LogicSimFields.h"
#include "platform/linux/LogicSimWire.h"

namespace mq::sim {

namespace wire = platform::wire;
using nlohmann::json;
using platform::CFValue;
using systemevents::Step;

namespace {

constexpr const char* kSystemEvents = "com.apple.systemevents";
constexpr std::int64_t kSyntaxError = -2741;
constexpr std::int64_t kCannotGetObject = -1728;

json errorInfo(std::int64_t number, const std::string& message, const std::string& brief)
{
    platform::CFDictionary info {
        { "NSAppleScriptErrorMessage", CFValue(message) },
        { "NSAppleScriptErrorBriefMessage", CFValue(brief) },
        { "NSAppleScriptErrorNumber", CFValue(number) },
    };
    if (number != kSyntaxError)
        info.insert(info.begin(), { "NSAppleScriptErrorAppName", CFValue("System Events") });
    return wire::encode(CFValue(info));
}

json runError(std::int64_t number, const std::string& brief)
{
    return json { { wire::field::compiled, true }, { wire::field::errorInfo, errorInfo(number, "System Events got an error: " + brief, brief) } };
}

json cannotGetProcess(const std::string& name) { return runError(kCannotGetObject, "Can’t get process \"" + name + "\"."); }

/// The UTF-8 sequences of `text`, one per character.
std::vector<std::string> characters(const std::string& text)
{
    std::vector<std::string> out;
    for (std::size_t i = 0; i < text.size();) {
        auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xe ? 3 : (lead >> 3) == 0x1e ? 4 : 1;
        out.push_back(text.substr(i, length));
        i += length;
    }
    return out;
}

} // namespace

ScriptStart startScript(World& world, const json& request, platform::pid_type clientPid)
{
    std::string source = request.value(wire::field::source, "");
    json entry { { "client", clientPid }, { "source", source } };
    auto finish = [&](json reply) {
        entry["result"] = reply.contains(wire::field::errorInfo) ? json(reply.value(wire::field::compiled, false) ? "error" : "compile error") : json("started");
        EventLog::append(world.log.scripts, entry);
        return reply;
    };

    auto compiled = systemevents::compile(source);
    if (!compiled) {
        const systemevents::CompileError* error = &compiled.error();
        json info = errorInfo(kSyntaxError, error->message, error->message);
        info["dict"].push_back(json::array({ "NSAppleScriptErrorRange",
            "NSRange: {" + std::to_string(error->offset) + ", " + std::to_string(error->length) + "}" }));
        return { finish(json { { "compiled", false }, { "errorInfo", info } }), nullptr };
    }
    auto& script = compiled.value();
    entry["process"] = script.processName;

    // "System Events" must be running, and this client allowed to automate it.
    Application* systemEvents = nullptr;
    for (auto& app : world.workspace.applications)
        if (app.running && !app.terminated && app.bundleIdentifier == kSystemEvents)
            systemEvents = &app;
    if (!systemEvents)
        return { finish(runError(platform::osstatus::procNotFound, "Application isn’t running.")), nullptr };
    if (automationStatusForSending(world, kSystemEvents) != platform::osstatus::noErr)
        return { finish(runError(platform::osstatus::errAEEventNotPermitted, "Not authorized to send Apple events to System Events.")), nullptr };

    Application* target = nullptr;
    for (auto& app : world.workspace.applications)
        if (app.running && !app.terminated && app.localizedName == script.processName)
            target = &app;
    if (!target)
        return { finish(cannotGetProcess(script.processName)), nullptr };

    auto run = std::make_shared<ScriptRun>();
    run->processName = script.processName;
    run->application = target->key;
    run->steps = std::move(script.steps);
    finish(json::object());
    return { json::object(), run };
}

std::optional<double> continueScript(World& world, ScriptRun& run)
{
    while (run.next < run.steps.size() && !run.errorInfo) {
        const Step& step = run.steps[run.next++];
        if (step.kind == Step::Kind::delay)
            return step.seconds;
        Application* app = world.workspace.named(run.application);
        if (!app || !app->running || app->terminated || app->localizedName != run.processName) {
            run.errorInfo = cannotGetProcess(run.processName)["errorInfo"];
            break;
        }
        // The process only has to exist: System Events posts the keys, and
        // they go to whichever application is frontmost.
        auto press = [&](std::uint16_t virtualKey, const std::string& text, std::uint64_t flags) {
            for (bool down : { true, false })
                keyboard(world, json { { "virtualKey", virtualKey }, { "keyDown", down }, { "text", text }, { "flags", flags }, { "source", "System Events" } });
        };
        switch (step.kind) {
        case Step::Kind::keyCode:
            press(step.keyCode, "", 0);
            break;
        case Step::Kind::tab:
            press(platform::keycode::tab, "\t", 0);
            break;
        case Step::Kind::returnKey:
            press(platform::keycode::returnKey, "\r", 0);
            break;
        case Step::Kind::text: {
            std::uint64_t flags = ((step.modifiers & systemevents::modifier::command) ? platform::eventflags::command : 0)
                | ((step.modifiers & systemevents::modifier::shift) ? platform::eventflags::shift : 0);
            // A return or tab in the text is typed with its own key.
            for (const std::string& character : characters(step.text))
                press(character == "\r" || character == "\n" ? platform::keycode::returnKey : character == "\t" ? platform::keycode::tab : 0,
                    character, flags);
            break;
        }
        case Step::Kind::delay:
            break;
        }
    }
    return std::nullopt;
}

json finishScript(const ScriptRun& run)
{
    if (run.errorInfo)
        return json { { wire::field::compiled, true }, { wire::field::errorInfo, *run.errorInfo } };
    return json { { wire::field::compiled, true }, { wire::field::errorInfo, nullptr } };
}

json answerScripting(World& world, platform::wire::Op op, const json& request)
{
    if (op == platform::wire::Op::scriptSendAppleEvent)
        return receiveAppleEvent(world, request);
    return automationPermission(world, request);
}

} // namespace mq::sim
