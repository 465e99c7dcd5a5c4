// One interface element of a simulated application: its role, its attributes in
// their listed order, its children and what it does when pressed or focused.
#pragma once

#include "platform/CoreTypes.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mq::sim {

using platform::AXErrorCode;
using platform::CFValue;
using platform::pid_type;
using Token = std::uint64_t;

/// One interface element. Applications are elements too (role AXApplication).
struct Element {
    Token token { 0 };
    pid_type pid { 0 };
    std::string key; // the scenario's name for it, for control commands; may be empty
    std::string role;
    /// Stored attributes in their listed order; nullopt means "supported, no value".
    std::vector<std::pair<std::string, std::optional<CFValue>>> attributes;
    std::vector<Token> children;
    Token parent { 0 };
    std::vector<std::string> actions;
    std::vector<std::string> settable;

    /// What pressing it does: "confirm" or "cancel" closes its dialog; empty does nothing.
    std::string press;
    /// When set, AXPress through accessibility fails with this code (keys still work).
    std::optional<AXErrorCode> refuseAXPress;
    bool focusable { false };
    /// Cmd-A selected the field's whole text: the next typing replaces it.
    bool selectAll { false };

    // Windows only.
    Token focusedField { 0 };
    /// The name of a dialog behaviour (see DialogBehavior); empty for the generic one.
    std::string behavior;
    /// A floating window hides while its application is not frontmost, unless
    /// this is false (a panel of another program that floats over everything).
    bool hidesOnDeactivate { true };

    /// The stored attribute `name`: nullptr when absent, an empty optional when it has no value.
    const std::optional<CFValue>* find(std::string_view name) const;
    void set(const std::string& name, std::optional<CFValue> value);
    bool erase(std::string_view name);

    /// The attribute's string value; nothing when absent, valueless or not a string.
    std::optional<std::string> string(std::string_view name) const;
    /// Whether the attribute holds the boolean true.
    bool flag(std::string_view name) const;
    bool isModalWindow() const { return role == "AXWindow" && flag("AXModal"); }
    /// A dialog shown as a sheet on a window: it handles its own buttons and
    /// keys, so its fields belong to it rather than to the window. A sheet that
    /// is only part of a dialog window's content has no behaviour of its own.
    bool isDialogSheet() const { return role == "AXSheet" && (!behavior.empty() || find("AXDefaultButton")); }
    /// The key when it has one, else the token: how the state report names it.
    nlohmann::json name() const;
};

} // namespace mq::sim
