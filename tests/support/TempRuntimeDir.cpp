#include "tests/support/TempRuntimeDir.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <vector>

namespace mq::test {

TempRuntimeDir::TempRuntimeDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base && std::strlen(base) < 60 ? base : "/tmp") + "/mqrt-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!::mkdtemp(buffer.data()))
        throw std::runtime_error(std::string("mkdtemp failed: ") + std::strerror(errno));
    m_path = buffer.data();
    ::chmod(m_path.c_str(), 0700);
}

TempRuntimeDir::~TempRuntimeDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

} // namespace mq::test
