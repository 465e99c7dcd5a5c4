#include "sim/FileReferences.h"

#include "platform/Scripting.h"
#include "platform/linux/LogicSimFields.h"
#include "platform/linux/LogicSimWire.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace mq::sim {

namespace wire = platform::wire;

using nlohmann::json;
namespace osstatus = platform::osstatus;

namespace {

constexpr char kMagic[4] = { 'M', 'Q', 'f', 'r' };
constexpr std::uint32_t kVersion = 1;

void putLittleEndian(std::string& out, std::size_t at, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint64_t getLittleEndian(const std::string& in, std::size_t at, int bytes)
{
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= std::uint64_t(static_cast<unsigned char>(in[at + static_cast<std::size_t>(i)])) << (8 * i);
    return value;
}

} // namespace

json makeFileReference(FileCatalogue& catalogue, const json& request)
{
    std::string path = request.value(wire::field::path, "");
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0) {
        int error = path.empty() ? ENOENT : errno;
        std::int32_t status = error == ENOENT || error == ENOTDIR ? osstatus::fnfErr
            : error == EACCES || error == EPERM                  ? osstatus::afpAccessDenied
                                                                 : osstatus::ioErr;
        return json { { wire::field::status, status } };
    }
    std::string bytes(kFileReferenceSize, '\0');
    std::memcpy(bytes.data(), kMagic, sizeof kMagic);
    putLittleEndian(bytes, 4, kVersion, 4);
    putLittleEndian(bytes, 8, static_cast<std::uint64_t>(info.st_dev), 8);
    putLittleEndian(bytes, 16, static_cast<std::uint64_t>(info.st_ino), 8);
    catalogue.paths[{ static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino) }] = path;
    return json { { wire::field::status, osstatus::noErr }, { wire::field::bytes, platform::wire::hexEncode(bytes) } };
}

Expected<std::string, UnresolvedFile> resolveFileReference(const FileCatalogue& catalogue, const std::string& bytes)
{
    if (bytes.size() != kFileReferenceSize || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0 || getLittleEndian(bytes, 4, 4) != kVersion)
        return unexpected(UnresolvedFile { "", "not a file reference" });
    std::pair<std::uint64_t, std::uint64_t> id { getLittleEndian(bytes, 8, 8), getLittleEndian(bytes, 16, 8) };
    auto it = catalogue.paths.find(id);
    if (it == catalogue.paths.end())
        return unexpected(UnresolvedFile { "", "no such file" });
    // The path may now hold another file: the reference still means the old one.
    struct stat info {};
    if (::stat(it->second.c_str(), &info) != 0)
        return unexpected(UnresolvedFile { it->second, "the file is gone" });
    if (static_cast<std::uint64_t>(info.st_dev) != id.first || static_cast<std::uint64_t>(info.st_ino) != id.second)
        return unexpected(UnresolvedFile { it->second, "the file was replaced" });
    return it->second;
}

} // namespace mq::sim
