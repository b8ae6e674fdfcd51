// Search driver: the time budget, the search loop under time and memory limits,
// and the final choice of a root move.
#pragma once

#include <cstdint>

#include "search/search_context.h"
#include "search/stat_node.h"

namespace kelmo {

// Milliseconds the search loop may use for one move.
std::int32_t computeBudget(std::int32_t time_left, std::int32_t timeout_turn);

struct SearchStats {
    std::uint64_t iterations = 0;
    std::uint32_t nodes = 0;  // node counter advance during the search
    std::uint64_t builtNodes = 0;  // nodes actually built (the counter weighs most twice)
    std::int64_t peakMemory = 0;  // the most bytes the tree held in the arena at a check of the loop
    bool outOfMemory = false;  // the arena could not grow: the search stopped there
};

// The child the driver plays once the loop has ended: the first proven child,
// else the smallest proofNum / (growthCnt + 1), else (every move lost) the child
// with the most growth. Earlier children win ties. Null for a node without children.
StatNode* chooseRootChild(const StatNode* root);

// Expands the root, searches until it is solved, a limit is reached, the arena
// cannot grow or only one root move is not lost, and returns the chosen square
// (-1 if the root has no move at all). memoryLimit is in bytes of the tree (the
// arena's bytesInUse, root included), not of the process: the brain derives it
// from max_memory with searchBudget() and caps the arena's blocks to match.
// maxIterations 0 means no iteration cap (tests and the bench set one). The root
// and its tree live in the context's arena.
int runSearch(SearchContext& context, StatNode* root, std::int32_t timeLimitMs, std::int64_t memoryLimit,
              std::uint64_t maxIterations = 0, SearchStats* stats = nullptr);

} // namespace kelmo
