// The process's private memory in bytes, as the search's memory limit needs it:
// never lower than what the process really holds, falling again as soon as a
// tree is destroyed, and cheap enough to read once per search iteration.
//
// On glibc the reading is a running count of the bytes the program holds through
// operator new (every node, board and threat-list item is allocated that way),
// on top of a baseline of everything else the process holds privately, measured
// once. Neither of the obvious alternatives works: resident memory stays at the
// previous tree's peak after the tree is freed, which would leave the next search
// without budget, and the allocator's own statistics (mallinfo2) walk every free
// chunk, which after a large tree has been freed costs about 0.1 s per reading.
#include "search/memory_use.h"

// Under AddressSanitizer the allocator is replaced and keeps freed blocks in
// quarantine; the reading then comes from /proc.
#if defined(__SANITIZE_ADDRESS__)
#define KELMO_ALLOCATOR_REPLACED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KELMO_ALLOCATOR_REPLACED 1
#endif
#endif

#if defined(_WIN32)
#include <windows.h>
#include <psapi.h>
#else
#include <cstdio>
#include <cstring>
#include <unistd.h>
#if defined(__GLIBC__) && !defined(KELMO_ALLOCATOR_REPLACED)
#define KELMO_COUNTED_HEAP 1
#include <atomic>
#include <cstdlib>
#include <malloc.h>
#include <new>
#endif
#endif

#if defined(KELMO_COUNTED_HEAP)

namespace {

// Bytes held through operator new, each block counted with its chunk header, so
// that the count follows what the allocator takes from the system.
std::atomic<std::int64_t> heapBytes{0};
constexpr std::int64_t CHUNK_HEADER = sizeof(std::size_t);

void* countedAlloc(std::size_t size) {
    for (;;) {
        if (void* p = std::malloc(size ? size : 1)) {
            heapBytes.fetch_add(static_cast<std::int64_t>(malloc_usable_size(p)) + CHUNK_HEADER,
                                std::memory_order_relaxed);
            return p;
        }
        std::new_handler handler = std::get_new_handler();
        if (!handler)
            throw std::bad_alloc();
        handler();
    }
}

void countedFree(void* p) noexcept {
    if (!p)
        return;
    heapBytes.fetch_sub(static_cast<std::int64_t>(malloc_usable_size(p)) + CHUNK_HEADER,
                        std::memory_order_relaxed);
    std::free(p);
}

} // namespace

// The replaceable global allocation functions; the nothrow and sized forms of
// the standard library forward to these.
void* operator new(std::size_t size) { return countedAlloc(size); }
void* operator new[](std::size_t size) { return countedAlloc(size); }
void operator delete(void* p) noexcept { countedFree(p); }
void operator delete[](void* p) noexcept { countedFree(p); }
void operator delete(void* p, std::size_t) noexcept { countedFree(p); }
void operator delete[](void* p, std::size_t) noexcept { countedFree(p); }

#endif

namespace kelmo {

#if defined(_WIN32)

std::int64_t processMemoryUse() {
    PROCESS_MEMORY_COUNTERS counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters)))
        return 0;
    return static_cast<std::int64_t>(counters.PagefileUsage);
}

void releaseFreedMemory() {}

#else

namespace {

// Private resident bytes from /proc: RssAnon where the kernel reports it,
// otherwise resident minus shared pages. 0 when /proc cannot be read.
std::int64_t privateResidentBytes() {
    if (std::FILE* f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        long long kb = -1;
        while (std::fgets(line, sizeof line, f)) {
            if (std::strncmp(line, "RssAnon:", 8) == 0) {
                std::sscanf(line + 8, "%lld", &kb);
                break;
            }
        }
        std::fclose(f);
        if (kb >= 0)
            return static_cast<std::int64_t>(kb) * 1024;
    }
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        long long size = 0, resident = 0, shared = 0;
        int got = std::fscanf(f, "%lld %lld %lld", &size, &resident, &shared);
        std::fclose(f);
        if (got == 3 && resident > shared)
            return static_cast<std::int64_t>(resident - shared) * sysconf(_SC_PAGESIZE);
    }
    return 0;
}

} // namespace

#if defined(KELMO_COUNTED_HEAP)

std::int64_t processMemoryUse() {
    // Private memory outside the counted blocks (stack, static data, C library
    // buffers, the allocator's slack), fixed at the first reading. It errs high:
    // pages resident but free at that moment are part of it.
    static const std::int64_t baseline = [] {
        std::int64_t rest = privateResidentBytes() - heapBytes.load(std::memory_order_relaxed);
        return rest > 0 ? rest : 0;
    }();
    return baseline + heapBytes.load(std::memory_order_relaxed);
}

void releaseFreedMemory() {
    // Nothing to do for the reading, which fell when the blocks were freed. The
    // pages stay with the allocator for the next tree: handing them back
    // (malloc_trim) costs about 0.1 s per 80 MB, time the brain's turn cannot spare.
}

#else

std::int64_t processMemoryUse() {
    return privateResidentBytes();
}

void releaseFreedMemory() {}

#endif

#endif

} // namespace kelmo
