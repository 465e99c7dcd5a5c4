#include "sim/World.h"

#include "platform/linux/LogicSimFields.h"
#include "platform/linux/LogicSimWire.h"

#include <algorithm>

namespace mq::sim {

namespace wire = platform::wire;

void World::later(std::chrono::milliseconds delay, std::function<void(World&)> effect)
{
    if (!scheduler || delay.count() <= 0) {
        effect(*this);
        return;
    }
    scheduler(delay, [this, effect = std::move(effect), made = generation] {
        if (generation == made)
            effect(*this);
    });
}

void World::keepLogicBusy(std::chrono::milliseconds duration, const char* why)
{
    logicBusyUntil = std::max(logicBusyUntil, std::chrono::steady_clock::now() + duration);
    record({ { "type", "logicBusy" }, { "why", why }, { "ms", duration.count() } });
}

std::chrono::milliseconds World::logicBusyFor() const
{
    auto left = logicBusyUntil - std::chrono::steady_clock::now();
    return left.count() > 0 ? std::chrono::ceil<std::chrono::milliseconds>(left) : std::chrono::milliseconds(0);
}

void World::notifyAccessibility(Token token, const char* notification)
{
    platform::AXElementRef ref = tree.ref(token);
    broadcasts.push_back(nlohmann::json { { wire::field::event, "ax" }, { wire::field::pid, ref.pid }, { wire::field::element, platform::wire::encodeElement(ref) },
        { "notification", notification } });
}

void World::notify(const std::string& center, const std::string& name)
{
    record({ { "type", "notification" }, { "center", center }, { "name", name } });
    broadcasts.push_back(nlohmann::json { { wire::field::event, "notification" }, { wire::field::center, center }, { wire::field::name, name } });
}

} // namespace mq::sim
