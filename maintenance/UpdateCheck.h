// The update check: fetch the version-check endpoint's JSON document, validate it,
// fetch the release notes page it names, and answer with the latest version, its
// download address and the notes' bytes. The helper only reports; it neither
// compares versions nor downloads anything.
#pragma once

#include "maintenance/TransferEngine.h"
#include "maintenance/UpdateCheckSettings.h"
#include "maintenance/VersionDocument.h"
#include "marquee/ServiceErrorCodes.h"
#include "marquee/URL.h"
#include "marquee/UniqueFunction.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mq::maintenance {


/// An absolute URL that a transfer can be made to (a scheme, no spaces or control
/// characters, a well-formed authority); nothing otherwise.
[[nodiscard]] std::optional<URL> parseTransferURL(const std::string& text);

struct UpdateAvailable {
    std::string version;
    URL downloadURL;
    std::vector<std::uint8_t> releaseNotesHTML;
};

/// A check's outcome: the update, or the failure message that the reply carries.
using UpdateCheckOutcome = Expected<UpdateAvailable, std::string>;

/// Starts a check and returns at once. `completion` is called exactly once, from the
/// engine's thread (or before returning, when the endpoint is not a valid HTTPS URL).
/// Every line is logged under "helper.service"; a failure is logged
/// "checkForUpdate failed: <message>" before `completion` hears it.
/// `maxNotesBytes` bounds the release notes page that is accepted.
void checkForUpdate(TransferEngine& engine, const UpdateCheckSettings& settings, std::size_t maxNotesBytes,
    UniqueFunction<void(UpdateCheckOutcome)> completion);

} // namespace mq::maintenance
