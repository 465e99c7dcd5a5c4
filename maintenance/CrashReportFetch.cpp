#include "maintenance/CrashReportFetch.h"

#include "platform/Log.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
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

std::optional<std::string> readWholeFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad())
        return std::nullopt;
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

bool isCrashReportCandidate(const std::string& folder, std::string_view fileName)
{
    if (!hasReportExtension(fileName))
        return false;
    if (fileName.starts_with(kProductPrefix))
        return true;
    if (!fileName.starts_with(kAudioUnitHostPrefix))
        return false;
    auto contents = readWholeFile(folder + "/" + std::string(fileName));
    return contents && isWellFormedUTF8(*contents) && contents->find(kProductIdentifier) != std::string::npos;
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
            if (isCrashReportCandidate(folder, name))
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
    auto bytes = readWholeFile(folder + "/" + newest->fileName);
    if (!bytes) {
        serviceLog().info("fetchLatestCrashReport: no matching .ips found");
        return std::nullopt;
    }
    if (tooLarge(bytes->size()))
        return std::nullopt;
    serviceLog().info("fetchLatestCrashReport: {} ({} bytes)", newest->fileName, bytes->size());
    return CrashReport { std::vector<std::uint8_t>(bytes->begin(), bytes->end()), newest->fileName };
}

} // namespace mq::maintenance
