// The memory reading. On Windows it is the process's committed private memory
// (PagefileUsage), which includes every arena block, less the blocks the arena
// keeps idle for the next tree. Elsewhere it is the arena's own count of the
// tree on top of a baseline of everything else, measured once from /proc:
// resident memory stays at the previous tree's peak while the arena keeps its
// blocks, and reading /proc every iteration would cost more than the search
// step it guards.
#include "search/memory_use.h"

#if defined(_WIN32)
#include <windows.h>
#include <psapi.h>
#else
#include <cstdio>
#include <cstring>
#include <unistd.h>
#endif

namespace kelmo {

#if defined(_WIN32)

std::int64_t MemoryGauge::read(const NodeArena& arena) {
    PROCESS_MEMORY_COUNTERS counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters)))
        return arena.bytesInUse();
    const std::int64_t idle = arena.bytesHeld() - arena.bytesInUse();
    const std::int64_t reading = static_cast<std::int64_t>(counters.PagefileUsage) - idle;
    return reading > arena.bytesInUse() ? reading : arena.bytesInUse();
}

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

std::int64_t MemoryGauge::read(const NodeArena& arena) {
    if (baseline < 0) {
        // The arena's blocks, resident or not, are not part of the rest. It errs
        // high: pages resident but free at this moment count too.
        const std::int64_t rest = privateResidentBytes() - arena.bytesHeld();
        baseline = rest > 0 ? rest : 0;
    }
    return baseline + arena.bytesInUse();
}

#endif

} // namespace kelmo
