#include "sim/Workspace.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace mq::sim {

Application* Workspace::byPid(pid_type pid)
{
    for (auto& app : applications)
        if (app.running && app.pid == pid)
            return &app;
    return nullptr;
}

Application* Workspace::named(const std::string& keyOrBundle)
{
    for (auto& app : applications)
        if (app.key == keyOrBundle)
            return &app;
    for (auto& app : applications)
        if (app.bundleIdentifier == keyOrBundle)
            return &app;
    return nullptr;
}

Application* Workspace::frontmostApplication()
{
    Application* app = frontmost.empty() ? nullptr : named(frontmost);
    return app && app->running ? app : nullptr;
}

bool Workspace::activate(const std::string& key)
{
    std::erase(activationOrder, key);
    activationOrder.insert(activationOrder.begin(), key);
    return std::exchange(frontmost, key) != key;
}

std::vector<Application*> Workspace::inActivationOrder()
{
    std::vector<Application*> ordered;
    auto add = [&](Application& app) {
        if (app.alive() && std::find(ordered.begin(), ordered.end(), &app) == ordered.end())
            ordered.push_back(&app);
    };
    if (Application* front = frontmostApplication())
        add(*front);
    for (const auto& key : activationOrder)
        if (Application* app = named(key))
            add(*app);
    for (auto& app : applications)
        add(app);
    return ordered;
}

Application* Workspace::logic()
{
    for (const char* bundle : { "com.apple.logic10", "com.apple.mobilelogic" })
        for (auto& app : applications)
            if (app.alive() && app.bundleIdentifier == bundle)
                return &app;
    return nullptr;
}

Application Workspace::fromDefinition(const nlohmann::json& definition, std::size_t index)
{
    if (!definition.is_object())
        throw std::runtime_error("scenario: an application must be an object");
    Application app;
    app.definition = definition;
    if (auto it = definition.find("bundleIdentifier"); it != definition.end() && it->is_string())
        app.bundleIdentifier = it->get<std::string>();
    if (auto it = definition.find("localizedName"); it != definition.end() && it->is_string())
        app.localizedName = it->get<std::string>();
    app.key = definition.value("key", app.bundleIdentifier.value_or("app" + std::to_string(index)));
    app.activationPolicy = definition.value("activationPolicy", "regular");
    app.bundlePath = definition.value("bundlePath", "");
    app.running = false;
    return app;
}

nlohmann::json Workspace::runningApplications() const
{
    using nlohmann::json;
    json list = json::array();
    for (const auto& app : applications) {
        if (!app.running)
            continue;
        list.push_back(json {
            { "bundleIdentifier", app.bundleIdentifier ? json(*app.bundleIdentifier) : json(nullptr) },
            { "pid", app.pid },
            { "localizedName", app.localizedName ? json(*app.localizedName) : json(nullptr) },
            { "terminated", app.terminated },
            { "activationPolicy", app.activationPolicy },
        });
    }
    return list;
}

} // namespace mq::sim
