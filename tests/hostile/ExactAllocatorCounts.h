// Makes the helper started by a test keep no memory mappings of its C library's
// own caches: thread stacks of ended threads are unmapped at once and one malloc
// arena serves every thread. Attacks that start and end many threads then leave
// the helper's mapping count exactly where it was, and what remains is the
// helper's own.
#pragma once

#include <cstdlib>

namespace mq::test {

/// A base class to list before test::HostileTest: it sets the environment that
/// the helper started by the fixture inherits.
struct ExactAllocatorCounts {
    ExactAllocatorCounts() { ::setenv("GLIBC_TUNABLES", "glibc.pthread.stack_cache_size=0:glibc.malloc.arena_max=1", 1); }
};

} // namespace mq::test
