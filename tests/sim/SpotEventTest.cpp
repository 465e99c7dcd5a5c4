// The spot-to-timeline Apple Event as logicsim receives it through the Linux
// backend's Apple Event calls: file references, the system's and Logic's checks
// of the event, and the region Logic places from a real audio file.
#include "tests/sim/LogicSimFixture.h"
#include "tests/support/Eventually.h"
#include "tests/support/TestAudioFile.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <ostream>

namespace mq::test {
namespace {

using namespace platform;

FourCharCode code(const std::string& text)
{
    FourCharCode value = 0;
    for (char c : text)
        value = (value << 8) | static_cast<unsigned char>(c);
    return value;
}

std::string int32Bytes(std::int32_t value)
{
    std::string bytes(4, '\0');
    std::memcpy(bytes.data(), &value, 4);
    return bytes;
}

struct Parameter {
    std::string keyword;
    std::string type;
    std::string bytes;
};

struct Event {
    std::string target { "com.apple.logic10" };
    std::string eventClass { "aUeV" };
    std::string eventID { "Spt2" };
    std::vector<Parameter> parameters;
};

class SpotEvent : public LogicSimTest {
protected:
    FileReference reference(const std::string& path)
    {
        FileReference ref;
        EXPECT_EQ(m_backend->makeFileReference(path, ref), osstatus::noErr) << path;
        return ref;
    }

    /// The parameters as the helper sends them, 'sPrg' only with a name.
    Event spotEvent(const std::string& path, std::optional<std::string> name)
    {
        FileReference ref = reference(path);
        Event event;
        event.parameters = { { "sPmo", "long", int32Bytes(1) }, { "sPfi", "fsrf", std::string(ref.bytes.begin(), ref.bytes.end()) },
            { "sPve", "long", int32Bytes(1) }, { "sPtn", "long", int32Bytes(0) }, { "sPss", "long", int32Bytes(0) },
            { "sPst", "long", int32Bytes(0) }, { "sPsp", "long", int32Bytes(0) } };
        if (name)
            event.parameters.push_back({ "sPrg", "utf8", *name });
        return event;
    }

    std::int32_t send(const Event& event)
    {
        AEDescRef target, appleEvent, reply;
        EXPECT_EQ(m_backend->createDesc(code("bund"), event.target.data(), event.target.size(), target), osstatus::noErr);
        EXPECT_EQ(m_backend->createAppleEvent(code(event.eventClass), code(event.eventID), target, appleevent::kAutoGenerateReturnID,
                      appleevent::kAnyTransactionID, appleEvent),
            osstatus::noErr);
        for (const Parameter& p : event.parameters)
            EXPECT_EQ(m_backend->putParamPtr(appleEvent, code(p.keyword), code(p.type), p.bytes.data(), p.bytes.size()), osstatus::noErr);
        std::int32_t status = m_backend->sendMessage(appleEvent, reply, appleevent::kAENoReply, appleevent::kAEDefaultTimeout);
        EXPECT_TRUE(reply.isNull());
        for (AEDescRef* desc : { &reply, &appleEvent, &target })
            EXPECT_EQ(m_backend->disposeDesc(*desc), osstatus::noErr);
        return status;
    }

    std::string file(const std::string& name) { return m_dir.file(name); }
    json logic() { return ctl("state", { { "only", { "logic" } } })["logic"]; }
    json appleEvents() { return ctl("state", { { "only", { "appleEvents" } } })["appleEvents"]; }
    bool eventLogged(const std::string& type)
    {
        json world = ctl("state", { { "only", { "events" } } });
        for (const json& e : world["events"])
            if (e.value("type", "") == type)
                return true;
        return false;
    }
    /// Waits (bounded) until Logic has taken the spotted file in, one way or the other.
    bool waitForImport()
    {
        return eventually([&] { return eventLogged("audioPlaced") || eventLogged("spotFailed"); }, 3s, 10ms);
    }
    json alertText()
    {
        json world = ctl("state", { { "only", { "applications" } } });
        for (const json& app : world["applications"])
            for (const json& window : app["windows"])
                if (window.value("key", "") == "spot-alert")
                    return window;
        return nullptr;
    }
};

TEST_F(SpotEvent, FileReferencesNameExistingFilesOnly)
{
    std::string wav = file("take.wav");
    writeTestAudioFile(wav, AudioFormat::wav, 4800, 48000);
    FileReference ref;
    EXPECT_EQ(m_backend->makeFileReference(wav, ref), osstatus::noErr);
    EXPECT_NE(ref.bytes, FileReference {}.bytes);
    // The reference does not carry the path's text.
    std::string bytes(ref.bytes.begin(), ref.bytes.end());
    EXPECT_EQ(bytes.find("take"), std::string::npos);
    FileReference again;
    EXPECT_EQ(m_backend->makeFileReference(file("./take.wav"), again), osstatus::noErr);
    EXPECT_EQ(again.bytes, ref.bytes) << "one file, one reference";
    EXPECT_EQ(m_backend->makeFileReference(file("absent.wav"), again), osstatus::fnfErr);
    EXPECT_EQ(m_backend->makeFileReference("", again), osstatus::fnfErr);
    EXPECT_EQ(m_backend->makeFileReference(wav + "/inside", again), osstatus::fnfErr);
}

TEST_F(SpotEvent, DescriptorsAreTheBackendsUntilDisposedOf)
{
    const std::string bundle = "com.apple.logic10";
    AEDescRef target, event, gone;
    ASSERT_EQ(m_backend->createDesc(code("bund"), bundle.data(), bundle.size(), target), osstatus::noErr);
    // A value descriptor is not an event: no parameters, no sending, no event made of one that is gone.
    std::int32_t one = 1;
    EXPECT_EQ(m_backend->putParamPtr(target, code("sPmo"), code("long"), &one, 4), osstatus::errAENotAEDesc);
    AEDescRef reply;
    EXPECT_EQ(m_backend->sendMessage(target, reply, appleevent::kAENoReply, appleevent::kAEDefaultTimeout), osstatus::errAENotAEDesc);
    EXPECT_EQ(m_backend->createAppleEvent(code("aUeV"), code("Spt2"), gone, -1, 0, event), osstatus::errAENotAEDesc);
    ASSERT_EQ(m_backend->createAppleEvent(code("aUeV"), code("Spt2"), target, -1, 0, event), osstatus::noErr);
    // The event holds a copy of the target: it may go first.
    AEDescRef disposed = target;
    EXPECT_EQ(m_backend->disposeDesc(target), osstatus::noErr);
    EXPECT_TRUE(target.isNull());
    EXPECT_EQ(m_backend->disposeDesc(disposed), osstatus::errAENotAEDesc) << "disposed of twice";
    EXPECT_EQ(m_backend->disposeDesc(target), osstatus::noErr) << "the null descriptor";
    EXPECT_EQ(m_backend->putParamPtr(event, code("sPmo"), code("long"), &one, 4), osstatus::noErr);
    EXPECT_EQ(m_backend->sendMessage(event, reply, appleevent::kAENoReply, appleevent::kAEDefaultTimeout), osstatus::noErr)
        << "sent without a reply, the event is answered once delivered";
    EXPECT_EQ(m_backend->disposeDesc(event), osstatus::noErr);
    EXPECT_EQ(m_backend->sendMessage(event, reply, appleevent::kAENoReply, appleevent::kAEDefaultTimeout), osstatus::errAENotAEDesc);
    ASSERT_EQ(appleEvents().size(), 1u);
    EXPECT_EQ(appleEvents()[0]["handlerStatus"], osstatus::errAEDescNotFound) << "Logic refuses an event without its file";
}

// Audio of a known length in each format Logic reads, placed at the playhead.
struct PlacedFile {
    const char* name;
    AudioFormat format;
    std::int64_t frames;
    int sampleRate;
    std::optional<std::string> regionName;
    const char* expectedName;
};

void PrintTo(const PlacedFile& file, std::ostream* out) { *out << file.name; }

class SpotEventPlaces : public SpotEvent, public ::testing::WithParamInterface<PlacedFile> { };

TEST_P(SpotEventPlaces, ARegionAsLongAsTheAudioAtThePlayheadOnTheSelectedTrack)
{
    const PlacedFile& p = GetParam();
    ctl("set-logic", { { "tracks", { { { "name", "Dialogue" } }, { { "name", "Music" } } } }, { "selectedTrack", 1 } });
    ctl("set-transport", { { "playheadSeconds", 3612.48 } });
    std::string path = file(p.name);
    writeTestAudioFile(path, p.format, p.frames, p.sampleRate);

    EXPECT_EQ(send(spotEvent(path, p.regionName)), osstatus::noErr);
    ASSERT_TRUE(waitForImport());
    json regions = logic()["regions"];
    ASSERT_EQ(regions.size(), 1u) << regions.dump();
    EXPECT_EQ(regions[0]["track"], 1);
    EXPECT_EQ(regions[0]["name"], p.expectedName);
    EXPECT_DOUBLE_EQ(regions[0]["start"].get<double>(), 3612.48);
    EXPECT_DOUBLE_EQ(regions[0]["length"].get<double>(), static_cast<double>(p.frames) / p.sampleRate);
    EXPECT_EQ(regions[0]["sampleRate"], p.sampleRate);
    EXPECT_EQ(regions[0]["file"], path);
    EXPECT_EQ(regions[0]["color"], nullptr);
    EXPECT_EQ(logic()["tracks"].size(), 2u);
    EXPECT_EQ(alertText(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Formats, SpotEventPlaces,
    ::testing::Values(PlacedFile { "line.wav", AudioFormat::wav, 96000, 48000, std::string("Line 12"), "Line 12" },
        PlacedFile { "room tone.aiff", AudioFormat::aiff, 66150, 44100, std::nullopt, "room tone" },
        PlacedFile { "fx.flac", AudioFormat::flac, 12345, 96000, std::string("Tür “zu”"), "Tür “zu”" }),
    [](const auto& info) { return std::string(info.param.format == AudioFormat::wav ? "wav" : info.param.format == AudioFormat::aiff ? "aiff" : "flac"); });

TEST_F(SpotEvent, EventIsRecordedWithItsParametersInOrder)
{
    std::string path = file("a.wav");
    writeTestAudioFile(path, AudioFormat::wav, 480, 48000);
    ASSERT_EQ(send(spotEvent(path, std::nullopt)), osstatus::noErr);
    json events = appleEvents();
    ASSERT_EQ(events.size(), 1u);
    json e = events[0];
    EXPECT_EQ(e["eventClass"], "aUeV");
    EXPECT_EQ(e["eventID"], "Spt2");
    EXPECT_EQ(e["returnID"], -1);
    EXPECT_EQ(e["transactionID"], 0);
    EXPECT_EQ(e["target"], (json { { "type", "bund" }, { "size", 17 }, { "value", "com.apple.logic10" } }));
    EXPECT_EQ(e["sendMode"], appleevent::kAENoReply);
    EXPECT_EQ(e["timeout"], -1);
    EXPECT_EQ(e["status"], 0);
    std::vector<std::string> order;
    for (const json& p : e["parameters"])
        order.push_back(p["keyword"].get<std::string>() + " " + p["type"].get<std::string>() + " " + std::to_string(p["size"].get<int>()));
    EXPECT_EQ(order, (std::vector<std::string> { "sPmo long 4", "sPfi fsrf 80", "sPve long 4", "sPtn long 4", "sPss long 4", "sPst long 4", "sPsp long 4" }));
    EXPECT_EQ(e["parameters"][0]["value"], 1);
    // No track selected: Logic makes an audio track for the file.
    ASSERT_TRUE(waitForImport());
    EXPECT_EQ(logic()["tracks"], json::parse(R"([{"name":"Audio 1","color":null,"selected":true}])"));
    EXPECT_EQ(logic()["regions"][0]["name"], "a");
}

// Malformed or misaddressed events: nothing placed. The system's own refusals
// (no such process, no permission) come back to the sender; Logic's handler's
// refusal of an event sent without a reply does not: the send answers noErr once
// delivered and logicsim records the handler's status.
struct Refusal {
    const char* name;
    std::function<void(Event&)> change;
    std::int32_t status;
};

void PrintTo(const Refusal& refusal, std::ostream* out) { *out << refusal.name; }

class SpotEventRefused : public SpotEvent, public ::testing::WithParamInterface<Refusal> { };

TEST_P(SpotEventRefused, WithItsStatusAndNoChange)
{
    std::string path = file("a.wav");
    writeTestAudioFile(path, AudioFormat::wav, 480, 48000);
    Event event = spotEvent(path, std::string("Line"));
    GetParam().change(event);
    if (std::string(GetParam().name) == "automationDenied")
        ctl("set-automation", { { "bundleIdentifier", "com.apple.logic10" }, { "state", "denied" } });
    if (std::string(GetParam().name) == "logicNotRunning")
        ctl("quit", { { "app", "logic" } });
    json before = logic();
    const std::int32_t status = GetParam().status;
    const bool systemRefuses = status == osstatus::procNotFound || status == osstatus::errAEEventNotPermitted;
    EXPECT_EQ(send(event), systemRefuses ? status : osstatus::noErr);
    json events = appleEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["status"], systemRefuses ? status : osstatus::noErr);
    if (!systemRefuses) {
        EXPECT_EQ(events[0]["handlerStatus"], status);
    }
    EXPECT_FALSE(eventLogged("spotReceived"));
    EXPECT_EQ(logic(), before);
}

Parameter& parameter(Event& event, const std::string& keyword)
{
    for (Parameter& p : event.parameters)
        if (p.keyword == keyword)
            return p;
    throw std::runtime_error("no parameter " + keyword);
}

void drop(Event& event, const std::string& keyword)
{
    std::erase_if(event.parameters, [&](const Parameter& p) { return p.keyword == keyword; });
}

INSTANTIATE_TEST_SUITE_P(Cases, SpotEventRefused,
    ::testing::Values(Refusal { "unknownEvent", [](Event& e) { e.eventID = "Spt3"; }, osstatus::errAEEventNotHandled },
        Refusal { "unknownClass", [](Event& e) { e.eventClass = "aevt"; }, osstatus::errAEEventNotHandled },
        Refusal { "notLogic", [](Event& e) { e.target = "com.apple.systemevents"; }, osstatus::errAEEventNotHandled },
        Refusal { "fileMissing", [](Event& e) { drop(e, "sPfi"); }, osstatus::errAEDescNotFound },
        Refusal { "modeMissing", [](Event& e) { drop(e, "sPmo"); }, osstatus::errAEDescNotFound },
        Refusal { "fileAsText", [](Event& e) { parameter(e, "sPfi").type = "utf8"; }, osstatus::errAEWrongDataType },
        Refusal { "integerAsShort", [](Event& e) { parameter(e, "sPve") = { "sPve", "shor", std::string(2, '\1') }; }, osstatus::errAEWrongDataType },
        Refusal { "integerCut", [](Event& e) { parameter(e, "sPsp").bytes.resize(2); }, osstatus::errAECorruptData },
        Refusal { "referenceCut", [](Event& e) { parameter(e, "sPfi").bytes.resize(79); }, osstatus::errAECorruptData },
        Refusal { "nameNotText", [](Event& e) { parameter(e, "sPrg").type = "TEXT"; }, osstatus::errAEWrongDataType },
        Refusal { "nameNotUTF8", [](Event& e) { parameter(e, "sPrg").bytes = "\xff\xfe"; }, osstatus::errAECorruptData },
        Refusal { "absentTarget", [](Event& e) { e.target = "com.example.absent"; }, osstatus::procNotFound },
        Refusal { "logicNotRunning", [](Event&) {}, osstatus::procNotFound },
        Refusal { "automationDenied", [](Event&) {}, osstatus::errAEEventNotPermitted }),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SpotEvent, AFileThatIsNotAudioShowsLogicsAlertAndPlacesNothing)
{
    std::string path = file("notes.wav");
    std::ofstream(path) << "not audio at all";
    EXPECT_EQ(send(spotEvent(path, std::string("Notes"))), osstatus::noErr) << "the event expects no reply";
    ASSERT_TRUE(waitForImport());
    json alert = alertText();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert["attributes"]["AXModal"], true) << alert.dump();
    EXPECT_NE(alert.dump().find("The file “notes.wav” is not a supported audio file format."), std::string::npos) << alert.dump();
    EXPECT_TRUE(logic()["regions"].empty());
}

TEST_F(SpotEvent, AFileReplacedSinceItsReferenceWasMadeIsNotPlaced)
{
    std::string path = file("take.wav");
    writeTestAudioFile(path, AudioFormat::wav, 4800, 48000);
    Event event = spotEvent(path, std::string("Take"));
    // Another file now stands at the same path (made while the first still
    // existed, so it cannot reuse its inode): the reference still means the old one.
    writeTestAudioFile(file("other.wav"), AudioFormat::wav, 9600, 48000);
    std::filesystem::rename(file("other.wav"), path);
    EXPECT_EQ(send(event), osstatus::noErr);
    ASSERT_TRUE(waitForImport());
    EXPECT_TRUE(logic()["regions"].empty());
    json alert = alertText();
    ASSERT_NE(alert, nullptr);
    EXPECT_NE(alert.dump().find("The file “take.wav” could not be found."), std::string::npos) << alert.dump();
}

} // namespace
} // namespace mq::test
