// Reading the elements of a state report (`logicsim ctl state`): their frames,
// the words a person reads on them, and finding one by key or description.
#pragma once

#include <QRectF>
#include <QString>
#include <nlohmann/json.hpp>

#include <optional>
#include <string>

namespace mq::sim::elements {

/// The member `name` of `object` when it is an array, else an empty array.
const nlohmann::json& arrayMember(const nlohmann::json& object, const char* name);
/// The member `name` of `object` when it is an object, else an empty object.
const nlohmann::json& objectMember(const nlohmann::json& object, const char* name);
const nlohmann::json& attributes(const nlohmann::json& element);
const nlohmann::json& children(const nlohmann::json& element);
std::string role(const nlohmann::json& element);
/// The element's frame from AXPosition and AXSize, when it has both and is not empty.
std::optional<QRectF> frameOf(const nlohmann::json& element);
/// A string attribute, or "" (numbers are written out).
QString text(const nlohmann::json& element, const char* attribute);
/// What a person reads on the element: its title, value or description.
QString labelOf(const nlohmann::json& element);
const nlohmann::json* findByKey(const nlohmann::json& element, const std::string& key);
/// The first element of `role` described as `description`, depth first.
const nlohmann::json* findByDescription(const nlohmann::json& element, const std::string& role, const std::string& description);

} // namespace mq::sim::elements
