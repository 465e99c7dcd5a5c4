#include "sim/FocusThief.h"

#include "sim/Windows.h"
#include "sim/World.h"

namespace mq::sim {

namespace {

void stealAfter(World& world, std::uint64_t run)
{
    if (!world.scheduler) // no timers: nothing can come later
        return;
    world.later(world.workspace.focusThief.every, [run](World& w) {
        FocusThief& thief = w.workspace.focusThief;
        if (thief.run != run || thief.app.empty())
            return;
        Application* app = w.workspace.named(thief.app);
        if (app && app->alive())
            activateApplication(w, app->key, "focusThief");
        stealAfter(w, run);
    });
}

} // namespace

void startFocusThief(World& world, const std::string& key, std::chrono::milliseconds every)
{
    FocusThief& thief = world.workspace.focusThief;
    thief.app = key;
    thief.every = every;
    ++thief.run;
    world.record({ { "type", "focusThief" }, { "app", key }, { "everyMs", every.count() } });
    stealAfter(world, thief.run);
}

void stopFocusThief(World& world)
{
    FocusThief& thief = world.workspace.focusThief;
    ++thief.run;
    thief.app.clear();
    world.record({ { "type", "focusThief" }, { "stopped", true } });
}

} // namespace mq::sim
