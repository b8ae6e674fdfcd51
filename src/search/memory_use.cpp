// The process's private memory in bytes, as the search's memory limit needs it:
// never lower than what the process really holds, falling again once a tree is
// destroyed, and cheap enough to read once per search iteration.
//
// On glibc the reading is the allocator's in-use bytes (arena chunks in use plus
// directly mapped blocks) on top of a baseline of everything else the process
// holds privately, measured once. The allocator keeps freed pages resident, so a
// reading of resident memory would stay at the previous tree's peak and leave
// the next search without budget; the in-use count does not, and
// releaseFreedMemory hands the freed pages back so the resident size falls too.
#include "search/memory_use.h"

// Under AddressSanitizer the allocator is replaced and keeps freed blocks in
// quarantine; glibc's counters then say nothing, so the reading comes from /proc.
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
#define KELMO_GLIBC_HEAP 1
#include <malloc.h>
#endif
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

#if defined(KELMO_GLIBC_HEAP)

std::int64_t heapInUse() {
    struct mallinfo2 info = mallinfo2();
    return static_cast<std::int64_t>(info.uordblks + info.hblkhd);
}

// Private memory outside the allocator's chunks (stack, static data, the
// allocator's own slack at start-up), fixed at the first reading. It errs high:
// heap pages resident but free at that moment are counted in it.
std::int64_t baseline() {
    static const std::int64_t value = [] {
        std::int64_t rest = privateResidentBytes() - heapInUse();
        return rest > 0 ? rest : 0;
    }();
    return value;
}

#endif

} // namespace

#if defined(KELMO_GLIBC_HEAP)

std::int64_t processMemoryUse() {
    return baseline() + heapInUse();
}

void releaseFreedMemory() {
    malloc_trim(0);
}

#else

std::int64_t processMemoryUse() {
    return privateResidentBytes();
}

void releaseFreedMemory() {}

#endif

#endif

} // namespace kelmo
