#include "maintenance/CrashReportFetch.h"

#include "platform/Log.h"

#include "marquee/Expected.h"

#include <dirent.h>
#include <fcntl.h>
#include <fmt/format.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cerrno>
#include <cstring>
#include <limits>

namespace mq::maintenance {

namespace {

constexpr std::string_view kProductPrefix = "Marquee";
constexpr std::string_view kAudioUnitHostPrefix = "AUHostingServiceXPC";
constexpr std::string_view kProductIdentifier = "com.quillmoor.marquee";

const log::Logger& serviceLog()
{
    static const log::Logger logger("helper.service");
    return logger;
}

// Reads a report, following links, as long as it is a regular file of at most
// `maxBytes`: a link to a device, a FIFO or a /proc file that reads forever or
// fails (/proc/self/mem) is refused or stops at the bound, and a read error is an
// answer, not an exception. On failure, why the file was not read.
Expected<std::string, std::string> readReportFile(const std::string& path, std::size_t maxBytes)
{
    // Non-blocking, so that a FIFO without a writer cannot hold the request.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return unexpected(std::string("cannot be opened (") + std::strerror(errno) + ")");
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer { fd };
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        return unexpected(std::string("cannot be examined (") + std::strerror(errno) + ")");
    if (!S_ISREG(status.st_mode))
        return unexpected(std::string("is not a regular file"));
    if (static_cast<std::uint64_t>(status.st_size) > maxBytes)
        return unexpected(fmt::format("is {} bytes, more than {}", status.st_size, maxBytes));
    // The listed size is not trusted (a /proc file lists 0 and reads on): at most
    // one byte past the bound is read, to tell a file that grew too large.
    std::string bytes;
    char chunk[64 * 1024];
    for (;;) {
        std::size_t want = std::min(sizeof(chunk), maxBytes + 1 - bytes.size());
        ssize_t got = ::read(fd, chunk, want);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return unexpected(std::string("cannot be read (") + std::strerror(errno) + ")");
        }
        if (got == 0)
            break;
        bytes.append(chunk, static_cast<std::size_t>(got));
        if (bytes.size() > maxBytes)
            return unexpected(fmt::format("is more than {} bytes", maxBytes));
    }
    return bytes;
}

bool hasReportExtension(std::string_view fileName)
{
    auto dot = fileName.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return false;
    std::string extension(fileName.substr(dot + 1));
    std::transform(extension.begin(), extension.end(), extension.begin(),
        [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == "ips";
}

struct Candidate {
    std::string fileName;
    // Content modification time; a file without one counts as the distant past.
    timespec modified { std::numeric_limits<time_t>::min(), 0 };
    off_t size { 0 };
};

bool earlier(const timespec& a, const timespec& b)
{
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

} // namespace

std::optional<std::string> currentUserHomeDirectory()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home);
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry {};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found || !found->pw_dir)
        return std::nullopt;
    return std::string(found->pw_dir);
}

std::string diagnosticReportsFolder(std::string_view homeDirectory)
{
    return std::string(homeDirectory) + "/Library/Logs/DiagnosticReports";
}

bool isCrashReportCandidate(const std::string& folder, std::string_view fileName, std::size_t maxReportBytes)
{
    if (!hasReportExtension(fileName))
        return false;
    if (fileName.starts_with(kProductPrefix))
        return true;
    if (!fileName.starts_with(kAudioUnitHostPrefix))
        return false;
    auto contents = readReportFile(folder + "/" + std::string(fileName), maxReportBytes);
    if (!contents) {
        serviceLog().notice("fetchLatestCrashReport: skipping {}: it {}", fileName, contents.error());
        return false;
    }
    return isWellFormedUTF8(*contents) && contents->find(kProductIdentifier) != std::string::npos;
}

std::optional<CrashReport> fetchLatestCrashReport(const std::string& folder, std::size_t maxReportBytes)
{
    std::vector<Candidate> candidates;
    {
        DIR* directory = opendir(folder.c_str());
        if (!directory) {
            serviceLog().info("fetchLatestCrashReport: DiagnosticReports unreadable or absent");
            return std::nullopt;
        }
        while (dirent* entry = readdir(directory)) {
            std::string_view name = entry->d_name;
            // Hidden files (and "." and "..") are skipped. A name that is not UTF-8
            // could not travel in the reply's file name.
            if (name.starts_with('.') || !isWellFormedUTF8(name))
                continue;
            std::string path = folder + "/" + std::string(name);
            struct stat status {};
            if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
                continue;
            if (isCrashReportCandidate(folder, name, maxReportBytes))
                candidates.push_back(Candidate { std::string(name), status.st_mtim, status.st_size });
        }
        closedir(directory);
    }
    if (candidates.empty()) {
        serviceLog().info("fetchLatestCrashReport: no matching .ips found");
        return std::nullopt;
    }

    // The newest; among equally new ones, the first listed.
    const Candidate* newest = &candidates.front();
    for (const Candidate& candidate : candidates) {
        if (earlier(newest->modified, candidate.modified))
            newest = &candidate;
    }

    auto tooLarge = [&](std::uint64_t size) {
        if (size <= maxReportBytes)
            return false;
        serviceLog().error("fetchLatestCrashReport: {} is {} bytes, more than the {} bytes a reply can carry; not sent",
            newest->fileName, size, maxReportBytes);
        return true;
    };
    // The listed size spares reading a report that could not be sent anyway; the
    // bytes read are checked again, as the file may have grown since.
    if (tooLarge(static_cast<std::uint64_t>(newest->size)))
        return std::nullopt;
    auto bytes = readReportFile(folder + "/" + newest->fileName, maxReportBytes);
    if (!bytes) {
        serviceLog().notice("fetchLatestCrashReport: skipping {}: it {}", newest->fileName, bytes.error());
        serviceLog().info("fetchLatestCrashReport: no matching .ips found");
        return std::nullopt;
    }
    serviceLog().info("fetchLatestCrashReport: {} ({} bytes)", newest->fileName, bytes->size());
    return CrashReport { std::vector<std::uint8_t>(bytes->begin(), bytes->end()), newest->fileName };
}

} // namespace mq::maintenance
