// The operations on logicsim's socket as an enum, with their wire names, both
// expanded from LogicSimOps.def.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace mq::platform::wire {

/// One operation a line on logicsim's socket can ask for.
enum class Op {
#define LOGICSIM_OP(name, wire, area) name,
#include "platform/linux/LogicSimOps.def"
};

/// Which part of logicsim answers an operation.
enum class OpArea { connection, accessibility, input, scripting, files, logic, workspace, application, desktop };

inline constexpr std::size_t kOpCount = 0
#define LOGICSIM_OP(name, wire, area) +1
#include "platform/linux/LogicSimOps.def"
    ;

struct OpInfo {
    Op op;
    const char* name;
    OpArea area;
};

inline constexpr std::array<OpInfo, kOpCount> kOps { {
#define LOGICSIM_OP(name, wire, area) { Op::name, wire, OpArea::area },
#include "platform/linux/LogicSimOps.def"
} };

/// The `op` field that names `op` on the wire.
constexpr const char* opName(Op op) { return kOps[static_cast<std::size_t>(op)].name; }

/// The part of logicsim that answers `op`.
constexpr OpArea areaOf(Op op) { return kOps[static_cast<std::size_t>(op)].area; }

/// The operation a wire name stands for; nothing for a name no one declared.
constexpr std::optional<Op> opNamed(std::string_view name)
{
    for (const auto& info : kOps)
        if (std::string_view(info.name) == name)
            return info.op;
    return std::nullopt;
}

} // namespace mq::platform::wire
