#include "sim/SpotAppleEvent.h"

#include "sim/AudioFile.h"
#include "sim/ElementDefinitions.h"
#include "sim/FileReferences.h"
#include "sim/PermissionPrompts.h"
#include "sim/PlacedRegions.h"
#include "sim/Windows.h"
#include "sim/World.h"

#include "platform/Scripting.h"
#include "platform/UTF8.h"
#include "platform/linux/LogicSimWire.h"

#include <cstring>
#include <filesystem>
#include <optional>
#include <vector>

namespace mq::sim {

using nlohmann::json;
namespace osstatus = platform::osstatus;

namespace {

constexpr std::int32_t kUnknownAddressType = -1716; // errAEUnknownAddressType
constexpr std::int32_t kSendModeMask = 3; // kAENoReply, kAEQueueReply or kAEWaitReply

struct Parameter {
    std::string keyword;
    std::string type;
    std::string bytes;
};

/// A parameter the handler requires: its keyword, type and size in bytes.
struct RequiredParameter {
    const char* keyword;
    const char* type;
    std::size_t size;
};

constexpr RequiredParameter kRequiredParameters[] = {
    { "sPmo", "long", 4 },
    { "sPfi", "fsrf", kFileReferenceSize },
    { "sPve", "long", 4 },
    { "sPtn", "long", 4 },
    { "sPss", "long", 4 },
    { "sPst", "long", 4 },
    { "sPsp", "long", 4 },
};

std::int32_t int32Of(const std::string& bytes)
{
    std::int32_t value = 0;
    std::memcpy(&value, bytes.data(), sizeof value); // the sender's byte order: the same machine
    return value;
}

/// The event's parameters as the wire carries them, in order; nothing when one
/// is not well formed (its bytes do not match its size).
std::optional<std::vector<Parameter>> parametersOf(const json& request, json& recorded)
{
    std::vector<Parameter> parameters;
    for (const json& p : request.value("parameters", json::array())) {
        auto bytes = platform::wire::hexDecode(p.value("bytes", ""));
        json entry { { "keyword", p.value("keyword", "") }, { "type", p.value("type", "") }, { "size", p.value("size", std::size_t(0)) } };
        if (!bytes || bytes->size() != p.value("size", std::size_t(0)))
            return std::nullopt;
        Parameter parameter { entry["keyword"], entry["type"], std::move(*bytes) };
        if (parameter.type == "long" && parameter.bytes.size() == 4)
            entry["value"] = int32Of(parameter.bytes);
        else if (parameter.type == "utf8")
            entry["value"] = parameter.bytes;
        recorded.push_back(std::move(entry));
        parameters.push_back(std::move(parameter));
    }
    return parameters;
}

const Parameter* find(const std::vector<Parameter>& parameters, std::string_view keyword)
{
    for (const Parameter& p : parameters)
        if (p.keyword == keyword)
            return &p;
    return nullptr;
}

/// Logic's checks of a spot event's parameters: noErr, or the status it refuses with.
std::int32_t checkSpotParameters(const std::vector<Parameter>& parameters)
{
    for (const RequiredParameter& required : kRequiredParameters) {
        const Parameter* p = find(parameters, required.keyword);
        if (!p)
            return osstatus::errAEDescNotFound;
        if (p->type != required.type)
            return osstatus::errAEWrongDataType;
        if (p->bytes.size() != required.size)
            return osstatus::errAECorruptData;
    }
    if (const Parameter* name = find(parameters, "sPrg")) {
        if (name->type != "utf8")
            return osstatus::errAEWrongDataType;
        if (!isWellFormedUTF8(name->bytes))
            return osstatus::errAECorruptData;
    }
    return osstatus::noErr;
}

void showAlert(World& world, const std::string& message)
{
    if (Application* logic = world.workspace.logic(); logic && logic->alive())
        addWindow(world, *logic, alertDefinition("spot-alert", message), true);
}

/// Logic imports the spotted file: a region at `at` on the selected track, or the alert.
void importSpottedFile(World& world, const std::string& reference, const std::optional<std::string>& regionName, double at)
{
    auto resolved = resolveFileReference(world.files, reference);
    if (auto* missing = std::get_if<UnresolvedFile>(&resolved)) {
        std::string name = missing->lastKnownPath.empty() ? std::string("file") : std::filesystem::path(missing->lastKnownPath).filename().string();
        world.record({ { "type", "spotFailed" }, { "path", missing->lastKnownPath }, { "reason", missing->reason } });
        showAlert(world, "The file “" + name + "” could not be found.");
        return;
    }
    const std::string& path = std::get<std::string>(resolved);
    std::filesystem::path file(path);
    auto audio = readAudioFile(path);
    if (auto* why = std::get_if<std::string>(&audio)) {
        world.record({ { "type", "spotFailed" }, { "path", path }, { "reason", *why } });
        showAlert(world, "The file “" + file.filename().string() + "” is not a supported audio file format.");
        return;
    }
    const AudioFileInfo& info = std::get<AudioFileInfo>(audio);
    LogicDocument& d = world.document;
    std::size_t track = d.selectedTrack && *d.selectedTrack < d.tracks.size() ? *d.selectedTrack : addAudioTrackAtEnd(d);
    // Logic names a region after its file without the extension.
    std::string name = regionName ? *regionName : file.stem().string();
    d.regions.push_back(Region { track, name, at, info.seconds(), std::nullopt, path, info.sampleRate });
    showPlacedRegion(world, d.regions.size() - 1);
    world.record({ { "type", "audioPlaced" }, { "track", track }, { "name", name }, { "start", at }, { "length", info.seconds() },
        { "sampleRate", info.sampleRate }, { "file", path } });
}

/// The spotted file's length in seconds, for the import's time; 0 when it cannot be read.
double lengthOf(World& world, const std::string& reference)
{
    auto resolved = resolveFileReference(world.files, reference);
    const auto* path = std::get_if<std::string>(&resolved);
    if (!path)
        return 0;
    auto audio = readAudioFile(*path);
    const auto* info = std::get_if<AudioFileInfo>(&audio);
    return info ? info->seconds() : 0;
}

} // namespace

json receiveAppleEvent(World& world, const json& request)
{
    const json& target = request.value("target", json::object());
    auto targetBytes = platform::wire::hexDecode(target.value("bytes", "")).value_or("");
    json recorded { { "eventClass", request.value("eventClass", "") }, { "eventID", request.value("eventID", "") },
        { "returnID", request.value("returnID", 0) }, { "transactionID", request.value("transactionID", 0) },
        { "target", { { "type", target.value("type", "") }, { "size", target.value("size", std::size_t(0)) }, { "value", targetBytes } } },
        { "parameters", json::array() }, { "sendMode", request.value("sendMode", 0) }, { "timeout", request.value("timeout", 0) } };
    auto answer = [&](std::int32_t status) {
        recorded["status"] = status;
        EventLog::append(world.log.appleEvents, recorded);
        return json { { "status", status } };
    };

    // The system: the address, the target process and the permission to automate it.
    if (target.value("type", "") != "bund")
        return answer(kUnknownAddressType);
    Application* app = nullptr;
    for (auto& candidate : world.workspace.applications)
        if (candidate.running && !candidate.terminated && candidate.bundleIdentifier == targetBytes)
            app = &candidate;
    if (!app)
        return answer(osstatus::procNotFound);
    // An undecided target: the system asks the user, and the send waits for the answer.
    if (automationPromptWaits(world, targetBytes))
        return holdUntilPromptAnswered(world, targetBytes, [request](World& w) { return receiveAppleEvent(w, request); });
    if (std::int32_t permission = automationStatusForSending(world, targetBytes); permission != osstatus::noErr)
        return answer(permission);
    auto parameters = parametersOf(request, recorded["parameters"]);

    // Logic's handler. Sent without a reply, the event is answered once the
    // system has delivered it: the handler's refusal never reaches the sender,
    // and only shows as nothing placed.
    std::int32_t refused = osstatus::noErr;
    if (!parameters)
        refused = osstatus::errAECorruptData;
    else if (app != world.workspace.logic() || recorded["eventClass"] != "aUeV" || recorded["eventID"] != "Spt2")
        refused = osstatus::errAEEventNotHandled;
    else
        refused = checkSpotParameters(*parameters);
    if (refused != osstatus::noErr) {
        if ((request.value("sendMode", 0) & kSendModeMask) != platform::appleevent::kAENoReply)
            return answer(refused);
        recorded["handlerStatus"] = refused;
        world.record({ { "type", "spotRefused" }, { "status", refused } });
        return answer(osstatus::noErr);
    }

    std::string reference = find(*parameters, "sPfi")->bytes;
    std::optional<std::string> regionName;
    if (const Parameter* name = find(*parameters, "sPrg"))
        regionName = name->bytes;
    double at = world.transport.settings.playheadSeconds;
    // The handler runs when Logic's main thread is free. Opening the file keeps
    // it busy; reading the audio goes on in the background (Logic answers clicks
    // and actions meanwhile), and the region shows at the import's end.
    auto wait = world.logicBusyFor();
    auto delay = world.latency.audioImport(lengthOf(world, reference));
    auto busy = delay * world.latency.importBusyPercent() / 100;
    world.keepLogicBusy(wait + busy, "import");
    world.record({ { "type", "spotReceived" }, { "start", at }, { "importMs", delay.count() }, { "busyMs", busy.count() } });
    world.later(wait + delay, [reference, regionName, at](World& w) {
        Application* logic = w.workspace.logic();
        if (logic && logic->alive())
            importSpottedFile(w, reference, regionName, at);
    });
    return answer(osstatus::noErr);
}

} // namespace mq::sim
