#include "marquee/SharedMemoryBlock.h"

#include "monitors/SharedMemoryBlockGuard.h"

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
Expected<Block, MapFailure> wrap(Expected<MappedBlock, MapFailure> opened, Block (*make)(MappedBlock))
{
    return make(MQ_TRY(std::move(opened)));
}

/// The sizes of a file that this protocol made or that a client prepared for it:
/// new and empty, the block itself, or one memory page (a client that sizes its
/// file as the system's shared memory does).
bool isBlockFileSize(off_t size)
{
    return size == 0 || size == static_cast<off_t>(kBlockSize) || size == static_cast<off_t>(::sysconf(_SC_PAGESIZE));
}

} // namespace

Expected<MappedBlock, MapFailure> MappedBlock::open(const std::string& path, FaultPolicy policy)
{
    if (path.find('\0') != std::string::npos)
        return unexpected(MapFailure { MapFailure::Stage::open, EINVAL, "the path holds a NUL byte" });
    if (!path.starts_with('/'))
        return unexpected(MapFailure { MapFailure::Stage::open, EINVAL, "the path is not absolute" });

    // O_NONBLOCK keeps an open of a FIFO from waiting for a peer; it changes
    // nothing for the regular files that are accepted.
    FileDescriptor fd(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600));
    if (fd.get() < 0)
        return unexpected(MapFailure { MapFailure::Stage::open, errno });

    struct stat status {};
    if (::fstat(fd.get(), &status) != 0)
        return unexpected(MapFailure { MapFailure::Stage::open, errno });
    if (!S_ISREG(status.st_mode))
        return unexpected(MapFailure { MapFailure::Stage::open, EINVAL });
    // Cutting such a file to 64 bytes would destroy a user's data.
    if (!isBlockFileSize(status.st_size))
        return unexpected(MapFailure { MapFailure::Stage::open, EEXIST, "an existing file of another size was not made for shared memory" });

    if (status.st_size != static_cast<off_t>(kBlockSize) && ::ftruncate(fd.get(), static_cast<off_t>(kBlockSize)) != 0)
        return unexpected(MapFailure { MapFailure::Stage::map, errno });

    void* address = ::mmap(nullptr, kBlockSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd.get(), 0);
    if (address == MAP_FAILED)
        return unexpected(MapFailure { MapFailure::Stage::map, errno });

    int slot = -1;
    if (policy == FaultPolicy::guarded) {
        slot = BlockGuard::watch(address);
        if (slot < 0) {
            ::munmap(address, kBlockSize);
            return unexpected(MapFailure { MapFailure::Stage::map, ENOMEM, "too many guarded mappings" });
        }
    }
    return MappedBlock(address, slot);
}

MappedBlock::MappedBlock(MappedBlock&& other) noexcept
    : m_address(std::exchange(other.m_address, nullptr))
    , m_guardSlot(std::exchange(other.m_guardSlot, -1))
{
}

MappedBlock& MappedBlock::operator=(MappedBlock&& other) noexcept
{
    if (this != &other) {
        unmap();
        m_address = std::exchange(other.m_address, nullptr);
        m_guardSlot = std::exchange(other.m_guardSlot, -1);
    }
    return *this;
}

MappedBlock::~MappedBlock()
{
    unmap();
}

void MappedBlock::unmap()
{
    // The guard lets go first: once unmapped, the address may be handed to
    // another mapping.
    BlockGuard::release(std::exchange(m_guardSlot, -1));
    if (m_address)
        ::munmap(std::exchange(m_address, nullptr), kBlockSize);
}

bool MappedBlock::faulted() const
{
    return BlockGuard::faulted(m_guardSlot);
}

Expected<ScrubBlock, MapFailure> ScrubBlock::open(const std::string& path, FaultPolicy policy)
{
    return wrap<ScrubBlock>(MappedBlock::open(path, policy), [](MappedBlock block) { return ScrubBlock(std::move(block)); });
}

Expected<WatchBlock, MapFailure> WatchBlock::open(const std::string& path, FaultPolicy policy)
{
    return wrap<WatchBlock>(MappedBlock::open(path, policy), [](MappedBlock block) { return WatchBlock(std::move(block)); });
}

} // namespace mq::shm
