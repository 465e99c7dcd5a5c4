// Accessibility as the platform answers it: attributes (stored and computed),
// actions, hit-testing and trust, over the world's element tree.
#pragma once

#include "platform/linux/LogicSimOps.h"
#include "sim/Element.h"

#include <nlohmann/json.hpp>

#include <utility>
#include <vector>

namespace mq::sim {

struct World;
class ElementTree;

/// Answers one accessibility request (`op` of area accessibility) from `client`.
nlohmann::json answerAccessibility(World& world, platform::wire::Op op, const nlohmann::json& request, pid_type client);

/// Reads an attribute as AXUIElementCopyAttributeValue does.
std::pair<AXErrorCode, std::optional<CFValue>> readAttribute(World& world, const Element& element, const std::string& name);

/// Performs `action`; through accessibility (`viaAccessibility`) an AXPress the
/// element refuses fails, while a key or click still presses it.
AXErrorCode perform(World& world, Element& element, const std::string& action, bool viaAccessibility);

/// The deepest element under (x, y) in `roots` (front first, last child on top); 0 if none.
Token hitTest(const ElementTree& tree, const std::vector<Token>& roots, double x, double y);

} // namespace mq::sim
