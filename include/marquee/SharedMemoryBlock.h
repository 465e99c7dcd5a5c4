// A client's 64-byte shared-memory file, mapped: one factory that can fail, the
// mapping released in the destructor, and typed accessors for the fields of the
// scrub and project-watch layouts (SharedMemoryLayout.h).
//
// Every field is accessed through std::atomic_ref on the mapping, so that the
// order of the stores is the order another process sees them in: stores are
// release stores, loads are acquire loads.
#pragma once

#include "marquee/Expected.h"
#include "marquee/SharedMemoryLayout.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>

namespace mq::shm {

/// Why a file could not be used. `stage` tells which log line applies; `error` is
/// the errno value; `reason` says why a path was refused before or instead of
/// being opened (nullptr when the system call's errno says it all).
struct MapFailure {
    enum class Stage { open, map };
    Stage stage;
    int error;
    const char* reason { nullptr };
};

/// Whether a mapping survives its file being cut short (SharedMemoryBlockGuard.h).
/// The helper guards its monitors' mappings; a client reader does not install a
/// signal handler in the plug-in's process.
enum class FaultPolicy { unguarded, guarded };

/// A mapped 64-byte file. Move-only; unmapped when destroyed.
class MappedBlock {
public:
    /// Opens `path` read-write, creating it with mode 0600 when missing, makes it
    /// exactly kBlockSize bytes long and maps it shared, readable and writable; the
    /// descriptor is closed again. Only a regular file is accepted:
    /// - a symbolic link as the last path component fails to open (ELOOP);
    /// - a directory fails to open (EISDIR);
    /// - a FIFO, device or socket fails to open with EINVAL; the file is opened
    ///   non-blocking, so a FIFO without a writer never holds the caller up;
    /// - a file this process may not write fails to open (EACCES, EROFS...).
    /// A path is refused without being opened when it is relative (it would
    /// depend on the working directory) or holds a NUL byte (the system would cut
    /// it there): EINVAL with a reason. An existing file whose size is neither 0,
    /// kBlockSize nor one memory page was not made for this protocol and is
    /// refused unchanged (EEXIST with a reason). Symbolic links before the last
    /// component are followed.
    /// Failures of ftruncate and mmap are map failures. A guarded mapping is
    /// watched for faults (faulted()).
    [[nodiscard]] static Expected<MappedBlock, MapFailure> open(const std::string& path, FaultPolicy policy = FaultPolicy::unguarded);

    MappedBlock(MappedBlock&& other) noexcept;
    MappedBlock& operator=(MappedBlock&& other) noexcept;
    MappedBlock(const MappedBlock&) = delete;
    MappedBlock& operator=(const MappedBlock&) = delete;
    ~MappedBlock();

    /// The field of type T at `offset`; the offset must be aligned for T and the
    /// field must lie inside the block (checked at compile time).
    template<typename T, std::size_t offset>
    std::atomic_ref<T> field() const
    {
        static_assert(offset % alignof(T) == 0, "misaligned shared-memory field");
        static_assert(offset + sizeof(T) <= kBlockSize, "shared-memory field outside the block");
        static_assert(std::atomic_ref<T>::is_always_lock_free, "shared-memory fields must be lock-free to be shared between processes");
        return std::atomic_ref<T>(*reinterpret_cast<T*>(static_cast<unsigned char*>(m_address) + offset));
    }

    /// True once a store or load faulted because the file was cut short under the
    /// mapping (guarded blocks only). The block then reads and writes a private
    /// page that nobody else sees; its owner should drop it.
    bool faulted() const;

private:
    MappedBlock(void* address, int guardSlot)
        : m_address(address)
        , m_guardSlot(guardSlot)
    {
    }
    void unmap();
    void* m_address;
    int m_guardSlot;
};

/// The scrub block (the transport position and its sequence number).
class ScrubBlock {
public:
    [[nodiscard]] static Expected<ScrubBlock, MapFailure> open(const std::string& path, FaultPolicy policy = FaultPolicy::unguarded);

    /// See MappedBlock::faulted.
    bool faulted() const { return m_block.faulted(); }

    // The helper's side.
    std::uint32_t steadyRateRequest() const
    {
        return m_block.field<std::uint32_t, scrub::kSteadyRateRequestOffset>().load(std::memory_order_acquire);
    }
    void storeDisplayModeWord(std::int32_t word)
    {
        m_block.field<std::int32_t, scrub::kDisplayModeWordOffset>().store(word, std::memory_order_release);
    }
    void storePosition(double seconds) { m_block.field<double, scrub::kPositionOffset>().store(seconds, std::memory_order_release); }
    void storeSequence(std::uint32_t sequence)
    {
        m_block.field<std::uint32_t, scrub::kSequenceOffset>().store(sequence, std::memory_order_release);
    }
    void storeValid(std::uint32_t valid) { m_block.field<std::uint32_t, scrub::kValidOffset>().store(valid, std::memory_order_release); }

    // The client's side.
    void storeSteadyRateRequest(std::uint32_t request)
    {
        m_block.field<std::uint32_t, scrub::kSteadyRateRequestOffset>().store(request, std::memory_order_release);
    }
    std::int32_t displayModeWord() const
    {
        return m_block.field<std::int32_t, scrub::kDisplayModeWordOffset>().load(std::memory_order_acquire);
    }
    double position() const { return m_block.field<double, scrub::kPositionOffset>().load(std::memory_order_acquire); }
    std::uint32_t sequence() const { return m_block.field<std::uint32_t, scrub::kSequenceOffset>().load(std::memory_order_acquire); }
    std::uint32_t valid() const { return m_block.field<std::uint32_t, scrub::kValidOffset>().load(std::memory_order_acquire); }

private:
    explicit ScrubBlock(MappedBlock block)
        : m_block(std::move(block))
    {
    }
    MappedBlock m_block;
};

/// The project-watch block (the closed flag).
class WatchBlock {
public:
    [[nodiscard]] static Expected<WatchBlock, MapFailure> open(const std::string& path, FaultPolicy policy = FaultPolicy::unguarded);

    /// See MappedBlock::faulted.
    bool faulted() const { return m_block.faulted(); }

    /// The helper's one store: the flag set to 1.
    void storeClosedFlag() { m_block.field<std::uint32_t, watch::kClosedFlagOffset>().store(1, std::memory_order_release); }

    // The client's side.
    std::uint32_t closedFlag() const { return m_block.field<std::uint32_t, watch::kClosedFlagOffset>().load(std::memory_order_acquire); }
    void clearClosedFlag() { m_block.field<std::uint32_t, watch::kClosedFlagOffset>().store(0, std::memory_order_release); }

private:
    explicit WatchBlock(MappedBlock block)
        : m_block(std::move(block))
    {
    }
    MappedBlock m_block;
};

} // namespace mq::shm
