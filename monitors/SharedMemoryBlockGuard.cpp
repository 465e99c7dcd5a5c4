#include "monitors/SharedMemoryBlockGuard.h"

#include <array>
#include <atomic>
#include <csignal>
#include <cstdint>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>

namespace mq::shm {

namespace {

struct Slot {
    /// The guarded page's address; 0 for a free slot.
    std::atomic<std::uintptr_t> page { 0 };
    std::atomic<bool> faulted { false };
};

// Everything the handler touches is lock-free and set up before it is installed.
std::array<Slot, BlockGuard::kCapacity> g_slots;
std::uintptr_t g_pageSize = 0;
struct sigaction g_previous {};
std::once_flag g_installed;

static_assert(std::atomic<std::uintptr_t>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
    "the SIGBUS handler may only touch lock-free atomics");

void onBusError(int signal, siginfo_t* info, void* context)
{
    // A fault raised by a store or load (not sent by kill) at an address in a
    // guarded page: put a private page there and let the instruction run again.
    if (info && info->si_code > 0) {
        auto page = reinterpret_cast<std::uintptr_t>(info->si_addr) & ~(g_pageSize - 1);
        for (Slot& slot : g_slots) {
            if (page == 0 || slot.page.load(std::memory_order_acquire) != page)
                continue;
            void* replaced = ::mmap(reinterpret_cast<void*>(page), g_pageSize, PROT_READ | PROT_WRITE,
                MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
            if (replaced == MAP_FAILED)
                break;
            slot.faulted.store(true, std::memory_order_release);
            return;
        }
    }
    // Not ours: hand the signal to whoever had it before.
    if (g_previous.sa_flags & SA_SIGINFO) {
        if (g_previous.sa_sigaction) {
            g_previous.sa_sigaction(signal, info, context);
            return;
        }
    } else if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN) {
        g_previous.sa_handler(signal);
        return;
    }
    // The default disposition: restore it; a fault re-runs the instruction and
    // ends the process, a sent signal is raised again.
    ::signal(signal, SIG_DFL);
    if (!info || info->si_code <= 0)
        ::raise(signal);
}

void install()
{
    g_pageSize = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    struct sigaction action {};
    action.sa_sigaction = onBusError;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, &g_previous);
}

} // namespace

int BlockGuard::watch(void* page)
{
    std::call_once(g_installed, install);
    auto address = reinterpret_cast<std::uintptr_t>(page);
    for (std::size_t i = 0; i < g_slots.size(); ++i) {
        std::uintptr_t expected = 0;
        if (g_slots[i].page.compare_exchange_strong(expected, address, std::memory_order_acq_rel)) {
            // The page is not touched before watch() returns, so nothing faults in between.
            g_slots[i].faulted.store(false, std::memory_order_release);
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool BlockGuard::faulted(int slot)
{
    return slot >= 0 && g_slots[static_cast<std::size_t>(slot)].faulted.load(std::memory_order_acquire);
}

void BlockGuard::release(int slot)
{
    if (slot < 0)
        return;
    g_slots[static_cast<std::size_t>(slot)].page.store(0, std::memory_order_release);
    g_slots[static_cast<std::size_t>(slot)].faulted.store(false, std::memory_order_release);
}

} // namespace mq::shm
