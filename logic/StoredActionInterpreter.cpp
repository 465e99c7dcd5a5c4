#include "logic/StoredActionInterpreter.h"

#include "platform/ExecutablePath.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

// The build fixes either an absolute path or one relative to the helper's directory.
#ifndef MQ_STORED_ACTION_INTERPRETER
#define MQ_STORED_ACTION_INTERPRETER "/usr/bin/osascript"
#endif

namespace mq::logic {

std::string storedActionInterpreter()
{
    if (const char* configured = std::getenv(kStoredActionInterpreterVariable); configured && *configured)
        return configured;
    std::string_view built = MQ_STORED_ACTION_INTERPRETER;
    if (built.starts_with('/'))
        return std::string(built);
    std::string directory = platform::executableDirectory();
    if (directory.empty())
        return std::string(built);
    return (std::filesystem::path(directory) / built).lexically_normal().string();
}

std::string interpreterUnusable(const std::string& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return std::strerror(errno);
    if (!S_ISREG(status.st_mode))
        return "not a regular file";
    if (::access(path.c_str(), X_OK) != 0)
        return std::strerror(errno);
    return {};
}

} // namespace mq::logic
