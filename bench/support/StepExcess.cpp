#include "bench/support/StepExcess.h"

#include "bench/support/SocketFloor.h"
#include "client/OperationRecordLog.h"
#include "protocol/OperationRecordFormat.h"

#include <fmt/format.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <optional>
#include <string_view>

namespace mq::bench {

namespace {

/// Adds each step's own time beyond its planned time to `excess`, by name.
void addExcess(const nlohmann::json& steps, std::map<std::string, double>& excess)
{
    for (const nlohmann::json& step : steps) {
        double own = step.value("durationMs", 0.0);
        if (step.contains("steps")) {
            for (const nlohmann::json& child : step["steps"])
                own -= child.value("durationMs", 0.0);
            addExcess(step["steps"], excess);
        }
        excess[step.value("name", std::string("?"))] += own - step.value("plannedMs", 0.0);
    }
}

} // namespace

std::vector<StepExcess> largestStepExcess(const std::vector<nlohmann::json>& records, std::size_t count)
{
    std::map<std::string, std::vector<double>> byName;
    for (const nlohmann::json& record : records) {
        std::map<std::string, double> excess;
        addExcess(record.value("steps", nlohmann::json::array()), excess);
        for (const auto& [name, ms] : excess)
            byName[name].push_back(ms);
    }
    std::vector<StepExcess> steps;
    for (auto& [name, values] : byName) {
        values.resize(records.size(), 0.0); // a record without the step adds nothing
        steps.push_back({ name, medianOf(values) });
    }
    std::sort(steps.begin(), steps.end(), [](const StepExcess& a, const StepExcess& b) { return a.medianMs > b.medianMs; });
    if (steps.size() > count)
        steps.resize(count);
    return steps;
}

std::vector<nlohmann::json> newestRecords(const std::string& logFile, const std::string& operation, std::size_t count)
{
    return client::findOperationRecords(logFile, count, [&](const nlohmann::json& record) { return record.value("operation", "") == operation; })
        .records;
}

std::string stepExcessLine(const std::vector<nlohmann::json>& records)
{
    if (records.empty())
        return {};
    std::string line = "    most above the floor:";
    const char* separator = " ";
    for (const StepExcess& step : largestStepExcess(records)) {
        line += fmt::format("{}{} {:+.1f} ms", separator, step.step, step.medianMs);
        separator = ", ";
    }
    return line;
}

double meanRecordBytes(const std::string& logFile, const std::string& operation)
{
    std::ifstream file(logFile);
    double total = 0;
    std::size_t count = 0;
    const std::string name = "\"operation\":\"" + operation + "\"";
    for (std::string line; std::getline(file, line);) {
        std::optional<std::string_view> json = operationrecord::recordJSON(line);
        if (!json || json->find(name) == std::string_view::npos)
            continue;
        total += static_cast<double>(operationrecord::kMessagePrefix.size() + json->size());
        ++count;
    }
    return count ? total / static_cast<double>(count) : 0;
}

} // namespace mq::bench
