// Where the update check asks, and whom it trusts: the version-check endpoint and an
// optional file of certificate authorities, read from the environment and the
// helper's configuration file.
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace mq::maintenance {

struct UpdateCheckSettings {
    /// The version-check endpoint's address (an HTTPS base URL); absent when unset.
    std::optional<std::string> endpoint;
    /// A PEM file of trusted certificate authorities; absent means the system's.
    std::optional<std::string> caFile;
    /// The time-out of each of the two requests.
    std::chrono::milliseconds requestTimeout { 10'000 };
};

/// The configuration file: "$XDG_CONFIG_HOME/marquee/helper.json", with
/// XDG_CONFIG_HOME defaulting to "$HOME/.config". Absent when neither is set.
[[nodiscard]] std::optional<std::string> configurationFilePath();

/// Reads the settings. `MARQUEE_UPDATE_ENDPOINT` and `MARQUEE_CA_FILE`, when set and
/// not empty, win over the configuration file's keys "updateEndpoint" and "caFile".
/// A missing file is no error; a file that is not a JSON object, or whose keys are
/// not strings, is ignored as a whole and logged.
UpdateCheckSettings loadUpdateCheckSettings();

} // namespace mq::maintenance
