#include "sim/WindowStack.h"

#include "sim/Accessibility.h"
#include "sim/Windows.h"
#include "sim/World.h"

#include <algorithm>
#include <optional>

namespace mq::sim {

using nlohmann::json;
using platform::CGPoint;
using platform::CGRect;

namespace {

constexpr const char* kFinder = "com.apple.finder";

CGRect rectOf(const json& r)
{
    return CGRect { { r.at(0).get<double>(), r.at(1).get<double>() }, { r.at(2).get<double>(), r.at(3).get<double>() } };
}

bool contains(const CGRect& r, CGPoint p)
{
    return p.x >= r.origin.x && p.y >= r.origin.y && p.x < r.origin.x + r.size.width && p.y < r.origin.y + r.size.height;
}

// Screens come in AppKit coordinates (origin at the bottom left of the primary
// screen, y upwards); the desktop's points in top-left ones.
struct ScreenStrips {
    CGRect frame;
    std::optional<CGRect> menuBar;
    std::optional<CGRect> dock;
};

std::vector<ScreenStrips> screens(const World& world)
{
    std::vector<ScreenStrips> out;
    const json& list = world.desktop.screens;
    if (!list.is_array() || list.empty())
        return out;
    double primaryHeight = rectOf(list[0].at("frame")).size.height;
    bool anyMain = std::any_of(list.begin(), list.end(), [](const json& s) { return s.value("main", false); });
    for (std::size_t i = 0; i < list.size(); ++i) {
        CGRect f = rectOf(list[i].at("frame"));
        CGRect v = rectOf(list[i].value("visibleFrame", list[i].at("frame")));
        ScreenStrips s { { { f.origin.x, primaryHeight - (f.origin.y + f.size.height) }, f.size }, std::nullopt, std::nullopt };
        bool main = anyMain ? list[i].value("main", false) : i == 0;
        if (main) {
            // What the visible frame leaves out: the menu bar at the top, the
            // Dock along the bottom, the left or the right edge.
            double top = (f.origin.y + f.size.height) - (v.origin.y + v.size.height);
            double bottom = v.origin.y - f.origin.y, left = v.origin.x - f.origin.x;
            double right = (f.origin.x + f.size.width) - (v.origin.x + v.size.width);
            const CGRect& t = s.frame;
            if (top > 0)
                s.menuBar = CGRect { t.origin, { t.size.width, top } };
            if (bottom > 0 && bottom >= std::max(left, right))
                s.dock = CGRect { { t.origin.x, t.origin.y + t.size.height - bottom }, { t.size.width, bottom } };
            else if (left > 0 && left >= right)
                s.dock = CGRect { t.origin, { left, t.size.height } };
            else if (right > 0)
                s.dock = CGRect { { t.origin.x + t.size.width - right, t.origin.y }, { right, t.size.height } };
        }
        out.push_back(s);
    }
    return out;
}

bool isFloating(const Element& window)
{
    auto subrole = window.string("AXSubrole");
    return subrole == "AXFloatingWindow" || subrole == "AXSystemFloatingWindow";
}

// Whether `element` lies inside `ancestor`.
bool inside(const World& world, Token element, Token ancestor)
{
    for (const Element* e = world.tree.find(element); e; e = world.tree.find(e->parent))
        if (e->token == ancestor)
            return true;
    return false;
}

bool blocked(World& world, const Element& window, Token element)
{
    Application* app = world.workspace.byPid(window.pid);
    if (!app)
        return false;
    for (Token t : app->windows)
        if (world.tree.at(t).isModalWindow())
            return t != window.token; // the application's front modal window takes the clicks
    Token sheet = sheetOf(world, window.token);
    return sheet && !inside(world, element, sheet);
}

} // namespace

void DesktopHit::describeInto(const World& world, json& entry) const
{
    entry["app"] = app.empty() ? json(nullptr) : json(app);
    switch (kind) {
    case Kind::nothing:
        entry["window"] = nullptr;
        break;
    case Kind::menuBar:
        entry["window"] = "menu bar";
        break;
    case Kind::dock:
        entry["window"] = "Dock";
        break;
    case Kind::desktop:
        entry["window"] = "desktop";
        break;
    case Kind::window:
        entry["window"] = world.tree.at(window).name();
        if (element)
            entry["element"] = world.tree.at(element).name();
        if (blocked)
            entry["blocked"] = true;
        break;
    }
}

std::vector<Token> windowStack(World& world)
{
    enum Level { modal, floating, normal };
    Application* front = world.workspace.frontmostApplication();
    auto levelOf = [&](const Application& app, const Element& w) -> std::optional<Level> {
        if (w.flag("AXMinimized"))
            return std::nullopt;
        bool active = &app == front;
        if (active && w.isModalWindow())
            return modal;
        if (isFloating(w)) {
            if (!active && w.hidesOnDeactivate)
                return std::nullopt; // an inactive application's panels are hidden
            return floating;
        }
        return normal;
    };
    std::vector<Application*> applications = world.workspace.inActivationOrder();
    std::vector<Token> stack;
    for (Level level : { modal, floating, normal })
        for (Application* app : applications)
            for (Token t : app->windows)
                if (levelOf(*app, world.tree.at(t)) == level)
                    stack.push_back(t);
    return stack;
}

DesktopHit hitDesktop(World& world, CGPoint point)
{
    DesktopHit hit;
    auto strips = screens(world);
    for (const auto& screen : strips) {
        if (screen.menuBar && contains(*screen.menuBar, point)) {
            hit.kind = DesktopHit::Kind::menuBar;
            hit.app = world.workspace.frontmost;
            return hit;
        }
        if (screen.dock && contains(*screen.dock, point)) {
            hit.kind = DesktopHit::Kind::dock;
            hit.app = "dock";
            return hit;
        }
    }
    for (Token window : windowStack(world)) {
        if (Token element = hitTest(world.tree, { window }, point.x, point.y)) {
            Element& w = world.tree.at(window);
            hit.kind = DesktopHit::Kind::window;
            hit.window = window;
            hit.element = element;
            hit.blocked = blocked(world, w, element);
            if (Application* app = world.workspace.byPid(w.pid))
                hit.app = app->key;
            return hit;
        }
    }
    if (std::any_of(strips.begin(), strips.end(), [&](const ScreenStrips& s) { return contains(s.frame, point); })) {
        hit.kind = DesktopHit::Kind::desktop;
        for (auto& app : world.workspace.applications)
            if (app.alive() && app.bundleIdentifier == kFinder)
                hit.app = app.key;
    }
    return hit;
}

} // namespace mq::sim
