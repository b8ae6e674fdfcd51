// The process's memory as tournament managers measure it, and the rule that
// turns a manager's memory limit into the bytes a search may hold. Both brains
// size their search memory from searchBudget(): the exact brain caps its tree's
// arena with it before every move, the pro brain sizes its tables with it once.
//
// The rule. A manager judges the whole process: the peak working set (resident
// memory) and the peak committed (on Linux: virtual) memory, read after each
// move. So the search may hold
//
//     budget = limit * 98 / 100 - rest - GROWTH_SLACK_BYTES      (never below 0)
//
// where limit is max_memory (0 meaning NO_LIMIT_MEMORY_CAP), and rest is what
// the process holds besides the search's own memory, measured when the budget
// is taken: the larger of its resident and its committed/virtual size, less
// the bytes the search already holds (code, libraries, runtime, stdio and
// stacks, the fixed tables, the leaf ring, the book cursor and the error log
// are all in it). The margin is two parts: 2 % of the limit, so that the peaks
// aim at 0.98 of it, and GROWTH_SLACK_BYTES for what the rest may still grow by
// while the search runs (scratch boards' item pools, the stack, the C library's
// heap top). The search's memory must be whole pages taken from the system
// outright (the arena maps its blocks), so that it adds to the process's
// figures exactly what it counts. Where no reading can be had, rest is taken
// as UNKNOWN_REST_BYTES.
//
// Sizing tables once (the pro brain): take searchBudget(max_memory, bytes of
// the tables already allocated) when the limit is known, before the first
// search, and allocate every table within it in one go; a table of a few MiB
// or more comes straight from the system (the C library maps it), so it adds
// its size to the virtual/committed figure at once and to the resident one as
// it is touched, and the rule holds for both.
#pragma once

#include <cstdint>

namespace kelmo {

// What max_memory 0 (no limit from the manager) stands for.
constexpr std::int64_t NO_LIMIT_MEMORY_CAP = 350000000;
// The peaks aim at this share of the limit, in thousandths.
constexpr std::int64_t LIMIT_SHARE_PER_MILLE = 980;
// What the rest of the process may grow by during a search.
constexpr std::int64_t GROWTH_SLACK_BYTES = std::int64_t{1} << 20;
// The rest assumed where the platform gives no reading.
constexpr std::int64_t UNKNOWN_REST_BYTES = std::int64_t{32} << 20;

// The process's counters, in bytes.
//   Linux:   resident = VmRSS, peakResident = VmHWM, committed = VmSize, peakCommitted = VmPeak
//   Windows: resident = WorkingSetSize, peakResident = PeakWorkingSetSize,
//            committed = PagefileUsage, peakCommitted = PeakPagefileUsage
// Under wine the Windows counters come from the wine process's /proc figures
// (committed is its anonymous resident memory, and the peak equals it).
struct ProcessMemory {
    bool known = false;  // false: the platform gave no reading, and every figure is 0
    std::int64_t resident = 0;
    std::int64_t peakResident = 0;
    std::int64_t committed = 0;
    std::int64_t peakCommitted = 0;
};

// This process's counters now.
ProcessMemory readProcessMemory();

#if !defined(_WIN32)
// Another process's counters from /proc/<pid>/status (benchmarks read a
// child's); unknown when that cannot be read.
ProcessMemory readProcessMemoryOf(int pid);
#endif

// max_memory as a limit in bytes: 0 means NO_LIMIT_MEMORY_CAP; a negative
// value leaves nothing.
std::int64_t memoryLimitOf(std::int64_t maxMemory);

// The rule above for a given reading: searchHeld is what the search holds now
// and is counted in that reading (the arena's blocks, the tables). 0 when the
// rest alone reaches the limit; never negative, and it cannot overflow.
std::int64_t searchBudget(std::int64_t maxMemory, const ProcessMemory& now, std::int64_t searchHeld);

// The same with this process's reading taken now. A build with the address
// sanitizer takes no reading (its shadow memory and quarantine swamp the
// figures) and so assumes UNKNOWN_REST_BYTES.
std::int64_t searchBudget(std::int64_t maxMemory, std::int64_t searchHeld = 0);

} // namespace kelmo
