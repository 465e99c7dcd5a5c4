// Survives a client that cuts its shared-memory file short while the helper has
// it mapped.
//
// A store into a shared mapping whose file no longer reaches that page raises
// SIGBUS, which would end the process. The guard keeps a fixed table of the
// helper's guarded pages and a SIGBUS handler: a fault inside one of them maps a
// private zero page over it (so the faulting store completes harmlessly) and
// marks the slot faulted; the owner sees that on its next look and drops the
// target. A fault anywhere else goes on to the disposition that was there before,
// so real bugs still end the process as they would without the guard.
#pragma once

#include <cstddef>

namespace mq::shm {

class BlockGuard {
public:
    /// The number of pages that can be guarded at once.
    static constexpr std::size_t kCapacity = 1024;

    /// Starts guarding the page at `page` (page-aligned, as mmap returns it),
    /// installing the SIGBUS handler the first time. Returns the slot, or -1 when
    /// every slot is taken.
    static int watch(void* page);
    /// Whether a store or load faulted inside the slot's page since it was watched.
    static bool faulted(int slot);
    /// Ends guarding the slot; called before the page is unmapped.
    static void release(int slot);
};

} // namespace mq::shm
