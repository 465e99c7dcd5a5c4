#include "logic/AppleScriptRunner.h"

#include "logic/ServiceLog.h"

#include <fmt/format.h>

#include <type_traits>

namespace mq::logic {

namespace {

std::string quoted(std::string_view text)
{
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += c;
        }
    }
    return out + "\"";
}

std::string describe(const platform::CFValue& value)
{
    return std::visit(
        [](const auto& v) -> std::string {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, platform::CFNull>)
                return "<null>";
            else if constexpr (std::is_same_v<T, bool>)
                return v ? "1" : "0";
            else if constexpr (std::is_same_v<T, std::int64_t>)
                return std::to_string(v);
            else if constexpr (std::is_same_v<T, double>)
                return fmt::format("{}", v);
            else if constexpr (std::is_same_v<T, std::string>)
                return quoted(v);
            else if constexpr (std::is_same_v<T, URL>)
                return quoted(v.absoluteString());
            else if constexpr (std::is_same_v<T, platform::AXElementRef>)
                return fmt::format("<AXUIElement pid={} id={}>", v.pid, v.token);
            else if constexpr (std::is_same_v<T, platform::AXValue>)
                return "<AXValue>";
            else if constexpr (std::is_same_v<T, platform::CFArray>) {
                std::string out = "(";
                for (std::size_t i = 0; i < v.size(); ++i)
                    out += (i ? ", " : "") + describe(v[i]);
                return out + ")";
            } else
                return describeErrorInfo(v);
        },
        value.storage);
}

} // namespace

std::string describeErrorInfo(const platform::CFDictionary& errorInfo)
{
    std::string out = "{";
    for (const auto& [key, value] : errorInfo)
        out += fmt::format("{}{} = {};", out.size() > 1 ? " " : "", key, describe(value));
    return out + "}";
}

bool runAppleScript(platform::Scripting& scripting, const std::string& source)
{
    platform::ScriptResult result = scripting.runAppleScript(source);
    if (!result.compiled) {
        serviceLog().error("AppleScript: failed to compile");
        return false;
    }
    if (result.errorInfo) {
        serviceLog().error("AppleScript error: {}", describeErrorInfo(*result.errorInfo));
        return false;
    }
    return true;
}

} // namespace mq::logic
