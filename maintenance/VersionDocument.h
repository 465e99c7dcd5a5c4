// The version-check document that the update check fetches: a JSON object with
// three required strings. Decoding never throws and never builds the document: any
// bytes (numbers out of range, deep nesting, invalid UTF-8) give a payload or a
// description of what is wrong.
#pragma once

#include "marquee/Expected.h"

#include <cstdint>
#include <string>
#include <vector>

namespace mq::maintenance {

/// The version-check document: three required strings.
struct VersionCheckPayload {
    std::string version;
    std::string releaseNotes;
    std::string path;
};

/// Decodes the endpoint's body; on failure, the decoder's description of what is
/// wrong (it may quote the body's bytes, UTF-8 or not).
[[nodiscard]] Expected<VersionCheckPayload, std::string> decodeVersionCheckPayload(const std::vector<std::uint8_t>& body);

} // namespace mq::maintenance
