// The process-memory readings (psapi's counters on Windows, /proc/<pid>/status
// elsewhere) and the budget arithmetic over them.
#include "search/memory_use.h"

#if defined(_WIN32)
#include <windows.h>
#include <psapi.h>
#else
#include <cstdio>
#include <cstring>
#endif

#if defined(__SANITIZE_ADDRESS__)
#define KELMO_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KELMO_ADDRESS_SANITIZER 1
#endif
#endif
#ifndef KELMO_ADDRESS_SANITIZER
#define KELMO_ADDRESS_SANITIZER 0
#endif

namespace kelmo {

#if defined(_WIN32)

ProcessMemory readProcessMemory() {
    ProcessMemory memory;
    PROCESS_MEMORY_COUNTERS counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters)))
        return memory;
    memory.known = true;
    memory.resident = static_cast<std::int64_t>(counters.WorkingSetSize);
    memory.peakResident = static_cast<std::int64_t>(counters.PeakWorkingSetSize);
    memory.committed = static_cast<std::int64_t>(counters.PagefileUsage);
    memory.peakCommitted = static_cast<std::int64_t>(counters.PeakPagefileUsage);
    return memory;
}

#else

namespace {

ProcessMemory readStatus(const char* path) {
    ProcessMemory memory;
    std::FILE* f = std::fopen(path, "r");
    if (!f)
        return memory;
    struct Field {
        const char* name;
        std::int64_t ProcessMemory::*figure;
    };
    const Field fields[] = {{"VmRSS:", &ProcessMemory::resident},
                            {"VmHWM:", &ProcessMemory::peakResident},
                            {"VmSize:", &ProcessMemory::committed},
                            {"VmPeak:", &ProcessMemory::peakCommitted}};
    int found = 0;
    char line[256];
    while (std::fgets(line, sizeof line, f)) {
        for (const Field& field : fields) {
            const std::size_t length = std::strlen(field.name);
            long long kb = 0;
            if (std::strncmp(line, field.name, length) == 0 && std::sscanf(line + length, "%lld", &kb) == 1 &&
                kb >= 0) {
                memory.*field.figure = static_cast<std::int64_t>(kb) * 1024;
                ++found;
            }
        }
    }
    std::fclose(f);
    // A kernel thread or a process gone since has no such lines.
    if (found < 4)
        return ProcessMemory{};
    memory.known = true;
    return memory;
}

} // namespace

ProcessMemory readProcessMemory() { return readStatus("/proc/self/status"); }

ProcessMemory readProcessMemoryOf(int pid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/status", pid);
    return readStatus(path);
}

#endif

std::int64_t memoryLimitOf(std::int64_t maxMemory) {
    if (maxMemory == 0)
        return NO_LIMIT_MEMORY_CAP;
    return maxMemory < 0 ? 0 : maxMemory;
}

std::int64_t searchBudget(std::int64_t maxMemory, const ProcessMemory& now, std::int64_t searchHeld) {
    const std::int64_t limit = memoryLimitOf(maxMemory);
    // In two parts: limit * 980 would overflow near the top of the range.
    const std::int64_t target =
        limit / 1000 * LIMIT_SHARE_PER_MILLE + limit % 1000 * LIMIT_SHARE_PER_MILLE / 1000;
    std::int64_t rest = UNKNOWN_REST_BYTES;
    if (now.known) {
        const std::int64_t whole = now.resident > now.committed ? now.resident : now.committed;
        const std::int64_t held = searchHeld > 0 ? searchHeld : 0;
        rest = whole > held ? whole - held : 0;
    }
    // Both sides are non-negative, so the differences cannot overflow.
    const std::int64_t afterRest = target - rest;
    return afterRest > GROWTH_SLACK_BYTES ? afterRest - GROWTH_SLACK_BYTES : 0;
}

std::int64_t searchBudget(std::int64_t maxMemory, std::int64_t searchHeld) {
#if KELMO_ADDRESS_SANITIZER
    // The sanitizer's figures are its own: terabytes of shadow address space
    // and a quarantine of freed memory that says nothing of the engine's.
    return searchBudget(maxMemory, ProcessMemory{}, searchHeld);
#else
    return searchBudget(maxMemory, readProcessMemory(), searchHeld);
#endif
}

} // namespace kelmo
