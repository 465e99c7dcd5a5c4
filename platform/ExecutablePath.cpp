#include "platform/ExecutablePath.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <vector>
#if defined(__APPLE__)
#include <mach-o/dyld.h>
#else
#include <unistd.h>
#endif

namespace mq::platform {

namespace {

std::string executablePath()
{
#if defined(__APPLE__)
    std::uint32_t size = 0;
    _NSGetExecutablePath(nullptr, &size);
    std::vector<char> raw(size + 1, '\0');
    if (_NSGetExecutablePath(raw.data(), &size) != 0)
        return {};
    char resolved[PATH_MAX];
    return ::realpath(raw.data(), resolved) ? std::string(resolved) : std::string();
#else
    std::vector<char> buffer(PATH_MAX);
    for (;;) {
        ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return {};
        if (static_cast<std::size_t>(length) < buffer.size())
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        buffer.resize(buffer.size() * 2);
    }
#endif
}

} // namespace

std::string executableDirectory()
{
    std::string path = executablePath();
    auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return {};
    return path.substr(0, slash == 0 ? 1 : slash);
}

} // namespace mq::platform
