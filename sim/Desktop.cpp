#include "sim/Desktop.h"

#include "sim/World.h"

namespace mq::sim {

using nlohmann::json;

json answerDesktop(World& world, platform::wire::Op op, const json& request)
{
    using platform::wire::Op;
    Desktop& desktop = world.desktop;
    switch (op) {
    case Op::desktopSession:
        return json { { "session", desktop.session.is_null() ? json(nullptr) : desktop.session } };
    case Op::desktopScreens:
        return json { { "screens", desktop.screens } };
    case Op::desktopPasteboard:
        return json { { "items", desktop.pasteboard } };
    case Op::desktopSetPasteboard:
        desktop.pasteboard = request.value("items", json::array());
        return json::object();
    default:
        return json { { "error", std::string("not a desktop request: ") + platform::wire::opName(op) } };
    }
}

} // namespace mq::sim
