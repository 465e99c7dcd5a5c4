#include "client/cli/Output.h"

#include <CLI/CLI.hpp>
#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <iostream>

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

} // namespace

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

void add(CLI::App* command, const CommonOptions& common)
{
    command->add_flag("--json", common->json, "print the reply as JSON");
    command->add_option("--timeout-ms", common->timeoutMilliseconds, "how long to wait for the reply")->check(CLI::PositiveNumber);
}

std::unique_ptr<client::HelperConnection> connectOrExit(const CommonOptionValues&)
{
    auto connection = client::HelperConnection::connect();
    if (!connection)
        exitForClientError(connection.error());
    return std::move(connection.value());
}

void exitForClientError(const client::ClientError& error)
{
    std::cerr << "marquee: " << error.message << "\n";
    throw CLI::RuntimeError(error.kind == client::ClientError::Kind::unreachable ? kExitUnreachable : kExitNoReply);
}

int printReply(std::string_view selector, const std::vector<std::string>& names, const std::vector<WireValue>& values, bool json)
{
    bool failed = false;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (std::holds_alternative<ServiceError>(values[i]))
            failed = true;
        if (i < names.size() && names[i] == "ok" && std::holds_alternative<bool>(values[i]) && !std::get<bool>(values[i]))
            failed = true;
    }
    if (json) {
        nlohmann::json reply = nlohmann::json::object();
        for (std::size_t i = 0; i < values.size(); ++i)
            reply[i < names.size() ? names[i] : std::to_string(i)] = toJSON(values[i]);
        std::cout << nlohmann::json { { "selector", selector }, { "reply", reply } }.dump() << "\n";
    } else {
        if (values.empty())
            std::cout << "done\n";
        for (std::size_t i = 0; i < values.size(); ++i)
            std::cout << (i < names.size() ? names[i] : std::to_string(i)) << ": " << describe(values[i]) << "\n";
    }
    return failed ? kExitFailureReply : 0;
}

} // namespace mq::cli
