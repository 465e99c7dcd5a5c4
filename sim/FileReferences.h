// The file system's references to files, as FSPathMakeRef makes them: 80 bytes
// that name a file by its device and inode, never by its path text. logicsim
// keeps a catalogue of the files it made references for, so that Logic can
// resolve a reference that arrives in an Apple Event, and refuses one whose file
// was replaced since (another inode at that path) or is gone.
//
// Layout (little-endian): "MQfr", version 1 (4 bytes), st_dev (8 bytes),
// st_ino (8 bytes), zeros to 80 bytes.
#pragma once

#include "marquee/Expected.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <map>
#include <string>
#include <utility>

namespace mq::sim {

inline constexpr std::size_t kFileReferenceSize = 80;

struct FileCatalogue {
    /// (device, inode) -> the path the reference was made for.
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::string> paths;
};

/// file.makeReference: stats `path` and answers {status, bytes (hex)}: -43 when
/// nothing is there, -5000 when it cannot be reached, -36 for other errors.
nlohmann::json makeFileReference(FileCatalogue& catalogue, const nlohmann::json& request);

/// Why a reference does not lead to a file.
struct UnresolvedFile {
    /// The path the reference was made for; empty when the reference is unknown.
    std::string lastKnownPath;
    std::string reason;
};

/// The path of the file that `bytes` refers to, as it is now; or why there is none
/// (a malformed or unknown reference, a file gone or replaced since).
[[nodiscard]] Expected<std::string, UnresolvedFile> resolveFileReference(const FileCatalogue& catalogue, const std::string& bytes);

} // namespace mq::sim
