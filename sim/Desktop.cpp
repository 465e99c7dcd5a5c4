#include "sim/Desktop.h"

#include "sim/World.h"
#include "platform/linux/LogicSimFields.h"

#include <algorithm>

namespace mq::sim {

namespace wire = platform::wire;

using nlohmann::json;

namespace {

platform::CGRect rectOf(const json& r)
{
    return platform::CGRect { { r.at(0).get<double>(), r.at(1).get<double>() }, { r.at(2).get<double>(), r.at(3).get<double>() } };
}

} // namespace

platform::CGPoint keepWindowOnScreen(const Desktop& desktop, platform::CGRect requested)
{
    constexpr double kTitleBarHeight = 22, kKeptWidth = 40;
    if (!desktop.screens.is_array() || desktop.screens.empty())
        return requested.origin;
    // Screens are in AppKit coordinates; windows in top-left ones.
    double primaryHeight = rectOf(desktop.screens[0].at("frame")).size.height;
    auto visibleTopLeft = [&](const json& screen) {
        platform::CGRect v = rectOf(screen.value("visibleFrame", screen.at("frame")));
        return platform::CGRect { { v.origin.x, primaryHeight - (v.origin.y + v.size.height) }, v.size };
    };
    // The screen that holds the title bar's middle, else the nearest one.
    double titleX = requested.origin.x + requested.size.width / 2, titleY = requested.origin.y + kTitleBarHeight / 2;
    platform::CGRect chosen {};
    double best = -1;
    for (const json& screen : desktop.screens) {
        platform::CGRect v = visibleTopLeft(screen);
        double dx = std::max({ v.origin.x - titleX, 0.0, titleX - (v.origin.x + v.size.width) });
        double dy = std::max({ v.origin.y - titleY, 0.0, titleY - (v.origin.y + v.size.height) });
        double distance = dx * dx + dy * dy;
        if (best < 0 || distance < best) {
            best = distance;
            chosen = v;
        }
    }
    platform::CGPoint kept = requested.origin;
    kept.x = std::clamp(kept.x, chosen.origin.x + kKeptWidth - requested.size.width, chosen.origin.x + chosen.size.width - kKeptWidth);
    kept.y = std::clamp(kept.y, chosen.origin.y, std::max(chosen.origin.y, chosen.origin.y + chosen.size.height - kTitleBarHeight));
    return kept;
}

json answerDesktop(World& world, platform::wire::Op op, const json& request)
{
    using platform::wire::Op;
    Desktop& desktop = world.desktop;
    switch (op) {
    case Op::desktopSession:
        return json { { wire::field::session, desktop.session.is_null() ? json(nullptr) : desktop.session } };
    case Op::desktopScreens: {
        // Without a screen that says so, the first one holds the key window.
        json screens = desktop.screens;
        bool anyMain = std::any_of(screens.begin(), screens.end(), [](const json& s) { return s.value("main", false); });
        if (!anyMain && !screens.empty())
            screens[0]["main"] = true;
        return json { { "screens", screens } };
    }
    case Op::desktopPasteboard:
        return json { { wire::field::items, desktop.pasteboard } };
    case Op::desktopSetPasteboard:
        desktop.pasteboard = request.value(wire::field::items, json::array());
        return json::object();
    default:
        return json { { wire::field::error, std::string("not a desktop request: ") + platform::wire::opName(op) } };
    }
}

} // namespace mq::sim
