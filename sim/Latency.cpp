#include "sim/Latency.h"

#include "sim/Commands.h"
#include "sim/World.h"

#include <cmath>
#include <stdexcept>

namespace mq::sim {

namespace {

Latency::Range rangeFrom(const nlohmann::json& settings, const char* name, Latency::Range fallback)
{
    auto it = settings.find(name);
    if (it == settings.end())
        return fallback;
    Latency::Range range {};
    if (it->is_number_integer()) {
        range = { it->get<int>(), it->get<int>() };
    } else if (it->is_array() && it->size() == 2 && (*it)[0].is_number_integer() && (*it)[1].is_number_integer()) {
        range = { (*it)[0].get<int>(), (*it)[1].get<int>() };
    } else {
        throw std::runtime_error(std::string("latency.") + name + " must be milliseconds or [min, max]");
    }
    if (range.minMs < 0 || range.maxMs < range.minMs)
        throw std::runtime_error(std::string("latency.") + name + " must be a range of milliseconds from low to high");
    return range;
}

} // namespace

Latency Latency::fromScenario(const nlohmann::json& settings)
{
    Latency latency;
    if (settings.is_null())
        return latency;
    if (!settings.is_object())
        throw std::runtime_error("latency must be an object");
    latency.m_seed = settings.value("seed", std::uint64_t(1));
    latency.m_random.seed(latency.m_seed);
    latency.m_windowOpen = rangeFrom(settings, "windowOpenMs", latency.m_windowOpen);
    latency.m_commit = rangeFrom(settings, "commitMs", latency.m_commit);
    latency.m_nameEditor = rangeFrom(settings, "nameEditorMs", latency.m_nameEditor);
    latency.m_import = rangeFrom(settings, "importMs", latency.m_import);
    double callMs = settings.value("accessibilityCallMs", 0.0);
    if (!(callMs >= 0) || callMs > 10'000)
        throw std::runtime_error("latency.accessibilityCallMs must be from 0 to 10000");
    latency.m_accessibilityCall = std::chrono::microseconds(std::llround(callMs * 1000));
    return latency;
}

std::chrono::milliseconds Latency::draw(const Range& range)
{
    if (range.maxMs == range.minMs)
        return std::chrono::milliseconds(range.minMs);
    std::uniform_int_distribution<int> pick(range.minMs, range.maxMs);
    return std::chrono::milliseconds(pick(m_random));
}

nlohmann::json Latency::describe() const
{
    return nlohmann::json { { "seed", m_seed }, { "windowOpenMs", { m_windowOpen.minMs, m_windowOpen.maxMs } },
        { "commitMs", { m_commit.minMs, m_commit.maxMs } }, { "nameEditorMs", { m_nameEditor.minMs, m_nameEditor.maxMs } },
        { "importMs", { m_import.minMs, m_import.maxMs } },
        { "accessibilityCallMs", static_cast<double>(m_accessibilityCall.count()) / 1000 } };
}

void addLatencyCommands(CommandMap& commands)
{
    // Replaces the latency settings (the scenario's "latency" object); the
    // generator starts again from the seed.
    commands.add("set-latency", [](World& world, const nlohmann::json& args) {
        world.latency = Latency::fromScenario(args);
        return okReply();
    });
}

} // namespace mq::sim
