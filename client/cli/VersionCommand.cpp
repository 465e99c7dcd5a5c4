// `marquee --version`: this tool's and its client library's version, and the
// version of the helper installed beside it (or on PATH).
#include "marquee/Version.h"
#include "client/cli/Commands.h"

#include <CLI/CLI.hpp>

#include <array>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace mq::cli {

namespace {

/// The helper beside this executable, else the name for a PATH search.
std::string helperExecutable()
{
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        std::filesystem::path sibling = self.parent_path() / "marquee-helper";
        if (::access(sibling.c_str(), X_OK) == 0)
            return sibling.string();
    }
    return "marquee-helper";
}

/// The first line `marquee-helper --version` prints, or what went wrong.
std::string helperVersion()
{
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return "marquee-helper: version unknown (no pipe)";
    std::string executable = helperExecutable();
    pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (devNull >= 0)
            ::dup2(devNull, STDERR_FILENO);
        const char* argv[] = { executable.c_str(), "--version", nullptr };
        ::execvp(argv[0], const_cast<char* const*>(argv));
        ::_exit(127);
    }
    ::close(out[1]);
    if (child < 0) {
        ::close(out[0]);
        return "marquee-helper: version unknown (cannot start it)";
    }
    std::string text;
    std::array<char, 256> buffer {};
    ssize_t count = 0;
    while (text.size() < 4096 && (count = ::read(out[0], buffer.data(), buffer.size())) > 0)
        text.append(buffer.data(), static_cast<std::size_t>(count));
    ::close(out[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || text.empty())
        return "marquee-helper: not found";
    return text.substr(0, text.find('\n'));
}

} // namespace

void addVersionFlag(CLI::App& app)
{
    app.set_version_flag("--version", [] {
        return "marquee " + std::string(client::libraryVersion()) + " (marquee-client " + std::string(client::libraryVersion()) + ")\n"
            + helperVersion();
    });
}

} // namespace mq::cli
