// The crash report fetch: the newest crash report (".ips") in the user's diagnostic
// reports folder that concerns the product, whole, with its file name. Reports are
// only read, never changed or deleted.
#pragma once

#include "base/UTF8.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mq::maintenance {

struct CrashReport {
    std::vector<std::uint8_t> bytes;
    /// The report's last path component.
    std::string fileName;
};

/// The current user's home directory: $HOME, else the password database's entry.
[[nodiscard]] std::optional<std::string> currentUserHomeDirectory();

/// "<home>/Library/Logs/DiagnosticReports".
std::string diagnosticReportsFolder(std::string_view homeDirectory);

/// Whether the file `fileName` of `folder` is a report of the product: an ".ips"
/// extension in any case, and a name beginning with "Marquee", or with
/// "AUHostingServiceXPC" for a file whose contents are UTF-8 text that mentions
/// "com.quillmoor.marquee" (only such files are opened). A host report that is not
/// a regular file of at most `maxReportBytes` (links followed), or that cannot be
/// read, is no candidate and is logged; no more than that bound is read.
bool isCrashReportCandidate(const std::string& folder, std::string_view fileName, std::size_t maxReportBytes);

/// Finds and reads the newest report of the product in `folder`, logging under
/// "helper.service" what was found. Nothing when the folder cannot be listed, no
/// candidate exists, the chosen report cannot be read (it is opened, checked to be
/// a regular file and read with every error handled; a line says why it was
/// skipped), or it is larger than `maxReportBytes` (it could not travel in one
/// reply; an error line names its size).
[[nodiscard]] std::optional<CrashReport> fetchLatestCrashReport(const std::string& folder, std::size_t maxReportBytes);

} // namespace mq::maintenance
