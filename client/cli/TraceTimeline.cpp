#include "client/cli/TraceTimeline.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <string_view>
#include <vector>

namespace mq::cli {

namespace {

struct Row {
    const nlohmann::json* step;
    int depth;
};

void flatten(const nlohmann::json& steps, int depth, std::vector<Row>& rows)
{
    if (!steps.is_array())
        return;
    for (const nlohmann::json& step : steps) {
        rows.push_back({ &step, depth });
        if (step.contains("steps"))
            flatten(step["steps"], depth + 1, rows);
    }
}

std::size_t columns(std::string_view text)
{
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

/// `text` cut to `width` columns (with "…"), then padded to them.
std::string fitted(const std::string& text, std::size_t width)
{
    if (columns(text) <= width)
        return text + std::string(width - columns(text), ' ');
    std::string cut;
    std::size_t used = 0;
    for (std::size_t i = 0; i < text.size() && used < width - 1; ++i) {
        cut += text[i];
        if (i + 1 >= text.size() || (static_cast<unsigned char>(text[i + 1]) & 0xC0) != 0x80)
            ++used;
    }
    return cut + "…";
}

struct Look {
    std::string_view glyph;
    std::string_view colour;
};

Look lookOf(std::string_view kind, bool failed)
{
    if (failed)
        return { "✗", "\033[1;31m" };
    if (kind == "wait" || kind == "lock")
        return { "▓", "\033[33m" };
    if (kind == "sleep")
        return { "░", "\033[34m" };
    if (kind == "group")
        return { "─", "\033[2m" };
    return { "█", "\033[32m" };
}

std::string bar(double startMs, double durationMs, double totalMs, int width, const Look& look, bool colour)
{
    double scale = totalMs > 0 ? width / totalMs : 0;
    int from = std::clamp(static_cast<int>(std::floor(startMs * scale)), 0, width - 1);
    int to = std::clamp(static_cast<int>(std::ceil((startMs + durationMs) * scale)), from, width);
    std::string cells(static_cast<std::size_t>(from), ' ');
    if (colour)
        cells += look.colour;
    if (to == from) {
        cells += "▏";
        to = from + 1;
    } else {
        for (int i = from; i < to; ++i)
            cells += look.glyph;
    }
    if (colour)
        cells += "\033[0m";
    return cells + std::string(static_cast<std::size_t>(width - to), ' ');
}

std::string text(const nlohmann::json& object, const char* key)
{
    auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

double numberAt(const nlohmann::json& object, const char* key)
{
    auto it = object.find(key);
    return it != object.end() && it->is_number() ? it->get<double>() : 0.0;
}

} // namespace

std::string drawTimeline(const nlohmann::json& record, const TimelineStyle& style)
{
    const double totalMs = numberAt(record, "durationMs");
    std::string out = fmt::format("{} #{}  {}  {:.1f} ms  ", text(record, "operation"), record.value("sequence", 0), text(record, "wallClock"), totalMs);
    if (record.value("ok", false)) {
        out += "ok\n";
    } else {
        const nlohmann::json& error = record.contains("error") ? record["error"] : nlohmann::json::object();
        std::string failure = error.empty() ? std::string("FAILED") : fmt::format("FAILED {}: {}", error.value("code", 0), text(error, "message"));
        out += style.colour ? "\033[1;31m" + failure + "\033[0m\n" : failure + "\n";
    }

    std::vector<Row> rows;
    if (auto steps = record.find("steps"); steps != record.end())
        flatten(*steps, 0, rows); // the rows point into the record
    std::size_t nameWidth = 16;
    for (const Row& row : rows)
        nameWidth = std::max(nameWidth, static_cast<std::size_t>(row.depth) * 2 + columns(text(*row.step, "name")));
    nameWidth = std::min<std::size_t>(nameWidth, 44);
    // Name, start, bar, duration and a mark.
    int barWidth = std::max(20, style.width - static_cast<int>(nameWidth) - 28);

    for (const Row& row : rows) {
        const nlohmann::json& step = *row.step;
        bool failed = step.value("failed", false);
        std::string kind = text(step, "kind");
        double start = numberAt(step, "startMs");
        double duration = numberAt(step, "durationMs");
        std::string name = std::string(static_cast<std::size_t>(row.depth) * 2, ' ') + text(step, "name");
        out += fmt::format("{} {:>8.1f} |{}| {:>8.1f} ms", fitted(name, nameWidth), start,
            bar(start, duration, totalMs, barWidth, lookOf(kind, failed), style.colour), duration);
        std::string outcome = text(step, "outcome");
        if (failed)
            out += style.colour ? "  \033[1;31m✗ failed step (" + outcome + ")\033[0m" : "  ✗ failed step (" + outcome + ")";
        else if (!outcome.empty())
            out += "  (" + outcome + ")";
        out += '\n';
        if (failed || style.details) {
            std::string indent(static_cast<std::size_t>(row.depth) * 2 + 4, ' ');
            for (auto [label, key] : { std::pair { "waited for", "waitedFor" }, std::pair { "sent", "sent" }, std::pair { "found", "found" },
                     std::pair { "error", "error" } })
                if (std::string value = text(step, key); !value.empty())
                    out += indent + label + ": " + value + "\n";
            if (double planned = numberAt(step, "plannedMs"); planned > 0 && style.details)
                out += indent + fmt::format("planned: {:.1f} ms", planned) + "\n";
        }
    }
    return out;
}

} // namespace mq::cli
