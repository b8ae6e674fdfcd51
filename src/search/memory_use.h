// The process's private memory use in bytes, as the search's memory limit
// reads it once per iteration.
#pragma once

#include <cstdint>

#include "search/arena.h"

namespace kelmo {

class MemoryGauge {
public:
    // What the process holds privately, with the arena counted as the tree it
    // holds now: blocks the arena keeps for later trees are not counted, so a
    // search starts with its whole budget however large the last tree grew.
    std::int64_t read(const NodeArena& arena);

private:
    // Everything outside the arena (code, stacks, the game board, the C
    // library's heap), measured at the first reading.
    std::int64_t baseline = -1;
};

} // namespace kelmo
