#include "protocol/ServiceEndpoint.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace mq::ipc {

std::optional<std::string> serviceSocketPath(std::string* whyNot)
{
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return std::string(runtime) + "/" + std::string(kServiceName);

    std::string directory = "/tmp/marquee-" + std::to_string(geteuid());
    if (mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
        if (whyNot)
            *whyNot = "cannot create " + directory + ": " + std::strerror(errno);
        return std::nullopt;
    }
    struct stat st {};
    if (lstat(directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid()
        || (st.st_mode & 0077) != 0) {
        if (whyNot)
            *whyNot = directory + " is not a private directory of this user";
        return std::nullopt;
    }
    return directory + "/" + std::string(kServiceName);
}

} // namespace mq::ipc
