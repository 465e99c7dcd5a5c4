#include "protocol/ServiceEndpoint.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace mq::ipc {

Expected<std::string, std::string> serviceSocketPath()
{
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return std::string(runtime) + "/" + std::string(kServiceName);

    std::string directory = "/tmp/marquee-" + std::to_string(geteuid());
    if (mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST)
        return unexpected("cannot create " + directory + ": " + std::strerror(errno));
    struct stat st {};
    if (lstat(directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid()
        || (st.st_mode & 0077) != 0)
        return unexpected(directory + " is not a private directory of this user");
    return directory + "/" + std::string(kServiceName);
}

} // namespace mq::ipc
