// Which steps of an operation make up its time above the floor, from the helper's
// operation records (docs/trace.md): a step's own time (less its children's)
// beyond the fixed time planned into it, summed by step name over each record,
// then the median of each name over the records.
#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <string>
#include <vector>

namespace mq::bench {

struct StepExcess {
    std::string step;
    /// The median over the records, in milliseconds.
    double medianMs { 0 };
};

/// The `count` steps with the largest median excess over `records`, largest first.
std::vector<StepExcess> largestStepExcess(const std::vector<nlohmann::json>& records, std::size_t count = 3);

/// The newest `count` records of `operation` in the helper log `logFile`, oldest first.
std::vector<nlohmann::json> newestRecords(const std::string& logFile, const std::string& operation, std::size_t count);

/// "  most above the floor: NAME +X ms, NAME +Y ms, NAME +Z ms" (nothing without records).
std::string stepExcessLine(const std::vector<nlohmann::json>& records);

/// The mean length in bytes of the log messages ("trace: " and the JSON) of the
/// records of `operation` in `logFile`; 0 for none.
double meanRecordBytes(const std::string& logFile, const std::string& operation);

} // namespace mq::bench
