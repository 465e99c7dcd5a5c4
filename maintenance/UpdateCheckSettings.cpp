#include "maintenance/UpdateCheckSettings.h"

#include "platform/Log.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <fstream>

namespace mq::maintenance {

namespace {

std::optional<std::string> environmentValue(const char* name)
{
    const char* value = std::getenv(name);
    if (!value || !*value)
        return std::nullopt;
    return std::string(value);
}

struct FileSettings {
    std::optional<std::string> endpoint;
    std::optional<std::string> caFile;
};

FileSettings readConfigurationFile(const std::string& path)
{
    std::ifstream file(path);
    if (!file)
        return {};
    log::Logger log("helper.service");
    auto document = nlohmann::json::parse(file, nullptr, /*allow_exceptions=*/false);
    if (!document.is_object()) {
        log.error("checkForUpdate: ignoring {}: not a JSON object", path);
        return {};
    }
    FileSettings settings;
    for (auto [key, field] : { std::pair { "updateEndpoint", &settings.endpoint }, std::pair { "caFile", &settings.caFile } }) {
        auto it = document.find(key);
        if (it == document.end())
            continue;
        if (!it->is_string()) {
            log.error("checkForUpdate: ignoring {}: \"{}\" is not a string", path, key);
            return {};
        }
        *field = it->get<std::string>();
    }
    return settings;
}

} // namespace

std::optional<std::string> configurationFilePath()
{
    if (auto configHome = environmentValue("XDG_CONFIG_HOME"))
        return *configHome + "/marquee/helper.json";
    if (auto home = environmentValue("HOME"))
        return *home + "/.config/marquee/helper.json";
    return std::nullopt;
}

UpdateCheckSettings loadUpdateCheckSettings()
{
    FileSettings file;
    if (auto path = configurationFilePath())
        file = readConfigurationFile(*path);
    UpdateCheckSettings settings;
    settings.endpoint = environmentValue("MARQUEE_UPDATE_ENDPOINT");
    if (!settings.endpoint)
        settings.endpoint = file.endpoint;
    settings.caFile = environmentValue("MARQUEE_CA_FILE");
    if (!settings.caFile)
        settings.caFile = file.caFile;
    return settings;
}

} // namespace mq::maintenance
