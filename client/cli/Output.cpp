#include "client/cli/Output.h"

#include <CLI/CLI.hpp>
#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <iostream>
#include <unistd.h>

namespace mq::cli {

namespace {

bool isUTF8Text(const Data& data)
{
    std::size_t i = 0;
    while (i < data.size()) {
        unsigned char c = data[i];
        std::size_t extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : 4;
        if (extra == 4 || i + extra >= data.size())
            return false;
        for (std::size_t k = 1; k <= extra; ++k)
            if ((data[i + k] & 0xC0) != 0x80)
                return false;
        if (c < 0x20 && c != '\n' && c != '\r' && c != '\t')
            return false;
        i += extra + 1;
    }
    return true;
}

std::string base64(const Data& data)
{
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < data.size(); i += 3) {
        std::uint32_t chunk = std::uint32_t(data[i]) << 16;
        if (i + 1 < data.size())
            chunk |= std::uint32_t(data[i + 1]) << 8;
        if (i + 2 < data.size())
            chunk |= data[i + 2];
        out.push_back(kAlphabet[(chunk >> 18) & 63]);
        out.push_back(kAlphabet[(chunk >> 12) & 63]);
        out.push_back(i + 1 < data.size() ? kAlphabet[(chunk >> 6) & 63] : '=');
        out.push_back(i + 2 < data.size() ? kAlphabet[chunk & 63] : '=');
    }
    return out;
}

} // namespace

nlohmann::json toJSON(const WireValue& value)
{
    struct Visitor {
        nlohmann::json operator()(std::monostate) const { return nullptr; }
        nlohmann::json operator()(bool v) const { return v; }
        nlohmann::json operator()(std::int64_t v) const { return v; }
        nlohmann::json operator()(std::uint64_t v) const { return v; }
        nlohmann::json operator()(double v) const
        {
            // JSON has no NaN or infinities; they travel as strings.
            if (std::isnan(v))
                return "NaN";
            if (std::isinf(v))
                return v > 0 ? "Infinity" : "-Infinity";
            return v;
        }
        nlohmann::json operator()(const std::string& v) const { return v; }
        nlohmann::json operator()(const Data& v) const { return { { "base64", base64(v) }, { "length", v.size() } }; }
        nlohmann::json operator()(const URL& v) const { return v.absoluteString(); }
        nlohmann::json operator()(const ServiceError& v) const
        {
            return { { "domain", v.domain }, { "code", v.code }, { "description", v.localizedDescription } };
        }
    };
    return std::visit(Visitor {}, value);
}

std::string describe(const WireValue& value)
{
    struct Visitor {
        std::string operator()(std::monostate) const { return "nil"; }
        std::string operator()(bool v) const { return v ? "true" : "false"; }
        std::string operator()(std::int64_t v) const { return std::to_string(v); }
        std::string operator()(std::uint64_t v) const { return std::to_string(v); }
        std::string operator()(double v) const { return fmt::format("{}", v); }
        std::string operator()(const std::string& v) const { return v; }
        std::string operator()(const Data& v) const
        {
            if (isUTF8Text(v))
                return std::string(v.begin(), v.end());
            return fmt::format("<{} bytes>", v.size());
        }
        std::string operator()(const URL& v) const { return v.absoluteString(); }
        std::string operator()(const ServiceError& v) const
        {
            return fmt::format("{} {}: {}", v.domain, v.code, v.localizedDescription);
        }
    };
    return std::visit(Visitor {}, value);
}

CommonOptions commonOptionsFor(std::string name)
{
    auto common = std::make_shared<CommonOptionValues>();
    common->command = std::move(name);
    return common;
}

void addJSONFlag(CLI::App* command, const CommonOptions& common)
{
    command->add_flag("--json", common->json, "print JSON lines {\"ok\", \"command\", \"reply\" | \"error\"}");
}

void add(CLI::App* command, const CommonOptions& common)
{
    addJSONFlag(command, common);
    command->add_option("--timeout-ms", common->timeoutMilliseconds, "how long to wait for the reply, in milliseconds")
        ->check(CLI::PositiveNumber);
}

void exitWith(int status)
{
    throw CLI::RuntimeError(status);
}

namespace {

[[noreturn]] void exitWithError(const CommonOptionValues& common, int status, std::string_view kind, const std::string& message,
    nlohmann::json reply)
{
    if (common.json) {
        nlohmann::json error { { "kind", kind }, { "message", message } };
        if (!reply.is_null())
            error["reply"] = std::move(reply);
        std::cout << nlohmann::json { { "ok", false }, { "command", common.command }, { "error", std::move(error) } }.dump() << std::endl;
    } else {
        std::cerr << "marquee " << common.command << ": " << message << "\n";
    }
    exitWith(status);
}

} // namespace

std::unique_ptr<client::HelperConnection> connectOrExit(const CommonOptionValues& common)
{
    auto connection = client::HelperConnection::connect();
    if (!connection)
        exitForClientError(common, connection.error());
    return std::move(connection.value());
}

void exitForClientError(const CommonOptionValues& common, const client::ClientError& error)
{
    if (error.kind == client::ClientError::Kind::unreachable)
        exitWithError(common, kExitUnreachable, "not-running",
            error.message
                + "; start it with `systemctl --user start marquee-helper.socket` (started on demand from then on), "
                  "or run `marquee-helper &`",
            nullptr);
    exitWithError(common, kExitNoReply, "no-reply", error.message, nullptr);
}

void exitForUsage(const CommonOptionValues& common, const std::string& message)
{
    exitWithError(common, kExitUsage, "usage", message, nullptr);
}

void exitForFailure(const CommonOptionValues& common, const std::string& message, nlohmann::json reply)
{
    exitWithError(common, kExitFailureReply, "failed", message, std::move(reply));
}

void printJSONReply(const CommonOptionValues& common, nlohmann::json reply)
{
    if (common.json)
        std::cout << nlohmann::json { { "ok", true }, { "command", common.command }, { "reply", std::move(reply) } }.dump() << std::endl;
}

int printReply(const CommonOptionValues& common, const std::vector<std::string>& names, const std::vector<WireValue>& values)
{
    bool failed = false;
    std::string why;
    nlohmann::json reply = nlohmann::json::object();
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::string name = i < names.size() ? names[i] : std::to_string(i);
        if (const auto* error = std::get_if<ServiceError>(&values[i])) {
            failed = true;
            why = error->localizedDescription;
        }
        if (name == "ok" && std::holds_alternative<bool>(values[i]) && !std::get<bool>(values[i]))
            failed = true;
        reply[name] = toJSON(values[i]);
    }
    if (common.json) {
        if (failed)
            exitWithError(common, kExitFailureReply, "failed", why.empty() ? "the helper answered ok: false" : why, std::move(reply));
        printJSONReply(common, std::move(reply));
        return 0;
    }
    if (values.empty())
        std::cout << "done\n";
    for (std::size_t i = 0; i < values.size(); ++i)
        std::cout << (i < names.size() ? names[i] : std::to_string(i)) << ": " << describe(values[i]) << "\n";
    return failed ? kExitFailureReply : 0;
}

bool progressWanted(const CommonOptionValues& common)
{
    return !common.json && ::isatty(STDERR_FILENO) != 0;
}

} // namespace mq::cli
