#include "monitors/SharedMemoryBlock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace mq::shm {

namespace {

/// Closes the descriptor on every path out of open().
class FileDescriptor {
public:
    explicit FileDescriptor(int fd)
        : m_fd(fd)
    {
    }
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

template<typename Block>
std::variant<Block, MapFailure> wrap(std::variant<MappedBlock, MapFailure> opened, Block (*make)(MappedBlock))
{
    if (auto* failure = std::get_if<MapFailure>(&opened))
        return *failure;
    return make(std::move(std::get<MappedBlock>(opened)));
}

} // namespace

std::variant<MappedBlock, MapFailure> MappedBlock::open(const std::string& path)
{
    // O_NONBLOCK keeps an open of a FIFO from waiting for a peer; it changes
    // nothing for the regular files that are accepted.
    FileDescriptor fd(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600));
    if (fd.get() < 0)
        return MapFailure { MapFailure::Stage::open, errno };

    struct stat status {};
    if (::fstat(fd.get(), &status) != 0)
        return MapFailure { MapFailure::Stage::open, errno };
    if (!S_ISREG(status.st_mode))
        return MapFailure { MapFailure::Stage::open, EINVAL };

    if (status.st_size != static_cast<off_t>(kBlockSize) && ::ftruncate(fd.get(), static_cast<off_t>(kBlockSize)) != 0)
        return MapFailure { MapFailure::Stage::map, errno };

    void* address = ::mmap(nullptr, kBlockSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd.get(), 0);
    if (address == MAP_FAILED)
        return MapFailure { MapFailure::Stage::map, errno };
    return MappedBlock(address);
}

MappedBlock::MappedBlock(MappedBlock&& other) noexcept
    : m_address(std::exchange(other.m_address, nullptr))
{
}

MappedBlock& MappedBlock::operator=(MappedBlock&& other) noexcept
{
    if (this != &other) {
        if (m_address)
            ::munmap(m_address, kBlockSize);
        m_address = std::exchange(other.m_address, nullptr);
    }
    return *this;
}

MappedBlock::~MappedBlock()
{
    if (m_address)
        ::munmap(m_address, kBlockSize);
}

std::variant<ScrubBlock, MapFailure> ScrubBlock::open(const std::string& path)
{
    return wrap<ScrubBlock>(MappedBlock::open(path), [](MappedBlock block) { return ScrubBlock(std::move(block)); });
}

std::variant<WatchBlock, MapFailure> WatchBlock::open(const std::string& path)
{
    return wrap<WatchBlock>(MappedBlock::open(path), [](MappedBlock block) { return WatchBlock(std::move(block)); });
}

} // namespace mq::shm
