// Control commands on elements: attributes, behaviour, focus, presses.
#include "sim/Accessibility.h"
#include "sim/Commands.h"
#include "sim/World.h"

#include "platform/Accessibility.h"
#include "platform/linux/LogicSimWire.h"

#include <stdexcept>

namespace mq::sim {

using nlohmann::json;

namespace {

// A value as `set-attribute` takes it: {"ref": key} names an element, null is
// "no value", [x, y] is a point or size for AXPosition and AXSize.
std::optional<CFValue> attributeValue(World& world, const std::string& attribute, const json& value)
{
    if (value.is_object() && value.contains("ref")) {
        Element* target = world.tree.byKey(value["ref"].get<std::string>());
        if (!target)
            throw std::runtime_error("no element '" + value["ref"].get<std::string>() + "'");
        return CFValue(world.tree.ref(target->token));
    }
    if (value.is_null())
        return std::nullopt;
    if (value.is_array() && value.size() == 2 && (attribute == "AXPosition" || attribute == "AXSize")) {
        double a = value[0].get<double>(), b = value[1].get<double>();
        return attribute == "AXPosition" ? CFValue(platform::AXValue(platform::CGPoint { a, b })) : CFValue(platform::AXValue(platform::CGSize { a, b }));
    }
    auto decoded = platform::wire::decode(value);
    if (!decoded)
        throw std::runtime_error("not a valid value: " + value.dump());
    return decoded;
}

json setAttribute(World& world, const json& args)
{
    Element& e = elementArgument(world, args, "element");
    auto attribute = stringArgument(args, "attribute");
    if (args.value("remove", false))
        e.erase(attribute);
    else
        e.set(attribute, attributeValue(world, attribute, args.at("value")));
    return okReply();
}

json setElement(World& world, const json& args)
{
    Element& e = elementArgument(world, args, "element");
    if (args.contains("refuseAXPress")) {
        const json& refuse = args["refuseAXPress"];
        if (refuse.is_boolean())
            e.refuseAXPress = refuse.get<bool>() ? std::optional<AXErrorCode>(platform::axerror::failure) : std::nullopt;
        else
            e.refuseAXPress = refuse.get<AXErrorCode>();
    }
    if (args.contains("press"))
        e.press = args["press"].get<std::string>();
    if (args.contains("actions"))
        e.actions = args["actions"].get<std::vector<std::string>>();
    if (args.contains("settable"))
        e.settable = args["settable"].get<std::vector<std::string>>();
    return okReply();
}

} // namespace

void addTreeCommands(CommandMap& commands)
{
    commands.add("set-attribute", setAttribute);
    commands.add("set-element", setElement);
    commands.add("focus", [](World& world, const json& args) {
        Element& field = elementArgument(world, args, "element");
        Token w = world.tree.windowOf(field);
        if (!w || !field.focusable)
            throw std::runtime_error("element is not a focusable field in a window");
        world.tree.at(w).focusedField = field.token;
        return okReply();
    });
    commands.add("press", [](World& world, const json& args) {
        return json { { "err", perform(world, elementArgument(world, args, "element"), "AXPress", false) } };
    });
    commands.add("close-dialog", [](World& world, const json& args) {
        closeDialog(world, elementArgument(world, args, "window"), args.value("confirmed", false));
        return okReply();
    });
}

} // namespace mq::sim
