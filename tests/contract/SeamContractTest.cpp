// The platform seam's contract, written once against the seam's interfaces: what
// each call answers for a missing attribute or action, an ended process, an
// application that does not answer, an empty pasteboard, an absent Apple Event
// target and a script that does not compile. The same binary runs against the
// logicsim backend here and against the macOS backend on a Mac
// (`ctest -L macos-contract`).
#include "tests/contract/ContractTarget.h"
#include "tests/support/Eventually.h"

#include <gtest/gtest.h>

#include <chrono>

namespace mq::test {
namespace {

using namespace platform;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class SeamContract : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_target = makeContractTarget();
        ASSERT_TRUE(m_target);
    }
    void TearDown() override
    {
        if (m_stalled)
            m_target->resumeApplication();
    }

    Platform platform() { return m_target->platform(); }
    AXElementRef application() { return platform().accessibility.createApplication(m_target->applicationPid()); }
    AXElementRef firstWindow()
    {
        CFValue windows;
        EXPECT_EQ(platform().accessibility.copyAttributeValue(application(), "AXWindows", windows), axerror::success);
        auto* list = windows.get<CFArray>();
        if (!list || list->empty() || !list->front().get<AXElementRef>()) {
            ADD_FAILURE() << "the test application shows no window";
            return {};
        }
        return *list->front().get<AXElementRef>();
    }

    std::unique_ptr<ContractTarget> m_target;
    bool m_stalled { false };
};

TEST_F(SeamContract, MissingAttributesAndActionsAnswerTheirOwnCodes)
{
    Accessibility& ax = platform().accessibility;
    auto window = firstWindow();
    CFValue value;
    const struct {
        const char* attribute;
        AXErrorCode expected;
    } reads[] = {
        { "AXNoSuchAttributeOfOurs", axerror::attributeUnsupported },
        { "AXRole", axerror::success },
    };
    for (const auto& read : reads)
        EXPECT_EQ(ax.copyAttributeValue(window, read.attribute, value), read.expected) << read.attribute;
    EXPECT_EQ(ax.performAction(window, "AXNoSuchActionOfOurs"), axerror::actionUnsupported);
    bool settable = true;
    EXPECT_EQ(ax.isAttributeSettable(window, "AXRole", settable), axerror::success);
    EXPECT_FALSE(settable);

    // One value per name, in order; the missing one as an error value, not a failure of the call.
    CFArray values;
    ASSERT_EQ(ax.copyMultipleAttributeValues(window, { "AXRole", "AXNoSuchAttributeOfOurs" }, 0, values), axerror::success);
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0], CFValue("AXWindow"));
    auto* missing = values[1].get<AXValue>();
    ASSERT_TRUE(missing && std::holds_alternative<AXValueError>(*missing));
    EXPECT_EQ(std::get<AXValueError>(*missing).code, axerror::attributeUnsupported);
}

TEST_F(SeamContract, ElementsOfAnEndedProcessAreInvalid)
{
    Accessibility& ax = platform().accessibility;
    auto window = firstWindow();
    pid_type pid = m_target->applicationPid();
    m_target->quitApplication();

    CFValue value;
    EXPECT_EQ(ax.copyAttributeValue(window, "AXRole", value), axerror::invalidUIElement);
    EXPECT_EQ(ax.copyAttributeValue(ax.createApplication(pid), "AXRole", value), axerror::invalidUIElement);
    for (const RunningApplication& running : platform().workspace.runningApplications()) {
        if (running.pid == pid) {
            EXPECT_TRUE(running.isTerminated) << "pid " << pid << " is still listed as running";
        }
    }
}

TEST_F(SeamContract, AnApplicationThatDoesNotAnswerTimesOutAtTheMessagingTimeout)
{
    Accessibility& ax = platform().accessibility;
    auto app = application();
    ASSERT_EQ(ax.setMessagingTimeout(app, 0.5f), axerror::success);
    m_target->stallApplication();
    m_stalled = true;

    CFValue value;
    auto start = Clock::now();
    EXPECT_EQ(ax.copyAttributeValue(app, "AXRole", value), axerror::cannotComplete);
    auto elapsed = Clock::now() - start;
    EXPECT_GE(elapsed, 450ms);
    EXPECT_LT(elapsed, 3s);

    m_target->resumeApplication();
    m_stalled = false;
    EXPECT_TRUE(eventually([&] { return ax.copyAttributeValue(app, "AXRole", value) == axerror::success; }, 3s, 20ms));
    EXPECT_EQ(value, CFValue("AXApplication"));
}

TEST_F(SeamContract, AnEmptyPasteboardReadsEmptyAndEveryItemAndTypeComesBack)
{
    Desktop& desktop = platform().desktop;
    auto before = desktop.pasteboardItems();

    desktop.setPasteboardItems({});
    EXPECT_TRUE(desktop.pasteboardItems().empty());

    std::vector<PasteboardItem> items {
        { { { "public.utf8-plain-text", "first" }, { "com.quillmoor.marquee.contract", std::string("\0\1\2", 3) } } },
        { { { "public.utf8-plain-text", "second" } } },
    };
    desktop.setPasteboardItems(items);
    auto read = desktop.pasteboardItems();
    ASSERT_EQ(read.size(), items.size());
    for (std::size_t i = 0; i < items.size(); ++i)
        EXPECT_EQ(read[i].representations, items[i].representations) << "item " << i;

    desktop.setPasteboardItems(before);
}

TEST_F(SeamContract, AppleEventCallsAnswerTheirStatusForAbsentTargetsAndFiles)
{
    Scripting& scripting = platform().scripting;
    constexpr auto wildCard = fourCharCode("****");
    EXPECT_EQ(scripting.determinePermissionToAutomateTarget("com.quillmoor.marquee.contract.absent", wildCard, wildCard, false),
        osstatus::procNotFound);

    FileReference reference;
    EXPECT_EQ(scripting.makeFileReference("/nonexistent-marquee-contract/file.wav", reference), osstatus::fnfErr);

    AEDescRef null;
    EXPECT_EQ(scripting.disposeDesc(null), osstatus::noErr);
    EXPECT_TRUE(null.isNull());

    const std::string bundle = "com.quillmoor.marquee.contract.absent";
    AEDescRef target, event, reply;
    ASSERT_EQ(scripting.createDesc(fourCharCode("bund"), bundle.data(), bundle.size(), target), osstatus::noErr);
    ASSERT_EQ(scripting.createAppleEvent(fourCharCode("aevt"), fourCharCode("rapp"), target, appleevent::kAutoGenerateReturnID,
                  appleevent::kAnyTransactionID, event),
        osstatus::noErr);
    EXPECT_EQ(scripting.sendMessage(event, reply, appleevent::kAENoReply, appleevent::kAEDefaultTimeout), osstatus::procNotFound);
    EXPECT_TRUE(reply.isNull());
    EXPECT_EQ(scripting.disposeDesc(event), osstatus::noErr);
    EXPECT_EQ(scripting.disposeDesc(target), osstatus::noErr);
}

TEST_F(SeamContract, AScriptThatDoesNotCompileSaysSo)
{
    ScriptResult result = platform().scripting.runAppleScript("tell application \"System Events\" to keystroke (");
    EXPECT_FALSE(result.compiled);
    ASSERT_TRUE(result.errorInfo);
    EXPECT_TRUE(lookup(*result.errorInfo, "NSAppleScriptErrorNumber"));
}

} // namespace
} // namespace mq::test
