// Small element definitions that Logic's dialogs are built from, in the form
// ElementTree::build takes.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace mq::sim {

/// A static text showing `value`.
inline nlohmann::json staticTextDefinition(const std::string& key, const std::string& value)
{
    return nlohmann::json { { "role", "AXStaticText" }, { "key", key }, { "value", value } };
}

/// A button; `press` ("confirm" or "cancel") closes its dialog that way when pressed.
inline nlohmann::json buttonDefinition(const std::string& key, const std::string& title, const std::string& press = "")
{
    nlohmann::json b { { "role", "AXButton" }, { "key", key }, { "title", title } };
    if (!press.empty())
        b["press"] = press;
    return b;
}

/// Logic's alert: a modal dialog window with its message and an OK button that
/// closes it (keys `key`, `key`-text and `key`-ok).
inline nlohmann::json alertDefinition(const std::string& key, const std::string& message)
{
    return nlohmann::json { { "role", "AXWindow" }, { "key", key }, { "title", "" }, { "subrole", "AXDialog" }, { "modal", true },
        { "defaultButton", key + "-ok" },
        { "children", nlohmann::json::array({ staticTextDefinition(key + "-text", message), buttonDefinition(key + "-ok", "OK", "confirm") }) } };
}

} // namespace mq::sim
