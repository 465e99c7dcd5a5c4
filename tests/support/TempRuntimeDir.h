// A private directory for one test's runtime files (sockets, shared memory):
// created 0700 under $TMPDIR (or /tmp) with a short name so that socket paths
// stay within the 108-byte limit, and removed with everything in it at the end.
#pragma once

#include <string>

namespace mq::test {

class TempRuntimeDir {
public:
    /// Throws std::runtime_error when the directory cannot be made.
    TempRuntimeDir();
    ~TempRuntimeDir();
    TempRuntimeDir(const TempRuntimeDir&) = delete;
    TempRuntimeDir& operator=(const TempRuntimeDir&) = delete;

    const std::string& path() const { return m_path; }
    /// `path()` + "/" + `name`.
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

} // namespace mq::test
