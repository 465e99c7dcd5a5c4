// libFuzzer target: the crash report search over a folder that holds, beside a
// report made of the input, every kind of entry a hostile user could leave there:
// links to /proc/self/mem and /proc/self/pagemap, a FIFO with no writer, a
// directory, a dangling link. It must never throw or hang, and what it returns is
// a report of at most the bound under a UTF-8 name.
#include "maintenance/CrashReportFetch.h"
#include "base/UTF8.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace {

constexpr std::size_t kBound = 4096;

const std::string& folder()
{
    static const std::string path = [] {
        char pattern[] = "/tmp/mq-crash-fuzz-XXXXXX";
        std::string made = ::mkdtemp(pattern) ? pattern : "/tmp";
        ::symlink("/proc/self/mem", (made + "/Marquee-mem.ips").c_str());
        ::symlink("/proc/self/pagemap", (made + "/AUHostingServiceXPC-pagemap.ips").c_str());
        ::mkfifo((made + "/AUHostingServiceXPC-fifo.ips").c_str(), 0600);
        ::mkdir((made + "/Marquee-folder.ips").c_str(), 0700);
        ::symlink((made + "/nothing-here").c_str(), (made + "/Marquee-dangling.ips").c_str());
        return made;
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The first byte picks the report's kind; the rest is its contents.
    std::string name = size > 0 && (data[0] & 1) ? "Marquee-fuzz.ips" : "AUHostingServiceXPC-fuzz.ips";
    std::string path = folder() + "/" + name;
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        if (size > 1)
            file.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
    }
    auto report = mq::maintenance::fetchLatestCrashReport(folder(), kBound);
    ::unlink(path.c_str());
    if (report && (report->bytes.size() > kBound || !mq::isWellFormedUTF8(report->fileName)))
        std::abort();
    return 0;
}
