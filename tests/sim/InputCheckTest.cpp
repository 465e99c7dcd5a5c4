// The check every end-to-end test ends with: logicsim is asked where the input
// went, and a key command or a key or click outside Logic's windows fails the
// test unless the test said it expects it.
#include "tests/harness/LogicSimProcess.h"

#include "platform/InputEvents.h"
#include "platform/linux/LogicSimPlatform.h"
#include "tests/support/TempRuntimeDir.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <functional>

namespace mq::test {
namespace {

using namespace platform;
using nlohmann::json;

TEST(InputCheck, FailsForKeyCommandsAndInputOutsideLogicUnlessExpected)
{
    struct Row {
        const char* what;
        std::function<void(LogicSimProcess&, LogicSimPlatform&)> act;
        const char* failure; // nullptr: the check passes
        bool expectKeyCommands, expectOutside;
    };
    auto key = [](LogicSimPlatform& backend, std::uint16_t code, std::u16string text) {
        backend.postKeyboardEvent({ code, true, text, 0 });
        backend.postKeyboardEvent({ code, false, text, 0 });
    };
    auto click = [](LogicSimPlatform& backend, CGPoint at) {
        backend.postMouseEvent({ MouseEventType::leftMouseDown, at, 0 });
        backend.postMouseEvent({ MouseEventType::leftMouseUp, at, 0 });
    };
    const Row rows[] = {
        { "typing into Logic's dialog", [&](LogicSimProcess& sim, LogicSimPlatform& b) {
             sim.ctl("open-dialog", { { "dialog", "goToPosition" } });
             key(b, keycode::ansiA, u"1");
         }, nullptr, false, false },
        { "a key to Finder", [&](LogicSimProcess& sim, LogicSimPlatform& b) {
             sim.ctl("frontmost", { { "app", "finder" } });
             key(b, keycode::ansiA, u"1");
         }, "a key reached \"finder\"", false, false },
        { "a key command", [&](LogicSimProcess&, LogicSimPlatform& b) { key(b, 49, u" "); }, "Logic ran a key command", false, false },
        { "a click on the menu bar", [&](LogicSimProcess&, LogicSimPlatform& b) { click(b, { 500, 10 }); }, "a click reached \"logic\" (\"menu bar\")",
            false, false },
        { "a key command the test expects", [&](LogicSimProcess&, LogicSimPlatform& b) { key(b, 49, u" "); }, nullptr, true, false },
        { "a click on the desktop the test expects", [&](LogicSimProcess&, LogicSimPlatform& b) { click(b, { 1880, 1050 }); }, nullptr, false, true },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempRuntimeDir dir;
        LogicSimProcess sim(dir);
        {
            LogicSimPlatform backend(LogicSimOptions { sim.socketPath() });
            row.act(sim, backend);
            backend.cursorPosition(); // the posted input is handled
        }
        if (row.expectKeyCommands)
            sim.expectKeyCommands();
        if (row.expectOutside)
            sim.expectInputOutsideLogic();
        if (row.failure)
            EXPECT_NONFATAL_FAILURE(sim.expectInputStayedInLogic(), row.failure);
        else
            sim.expectInputStayedInLogic();
        // Done here: the check when the process ends passes.
        sim.expectKeyCommands();
        sim.expectInputOutsideLogic();
    }
}

} // namespace
} // namespace mq::test
