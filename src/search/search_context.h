// SearchContext: what the search keeps between its calls and from one move to
// the next, owned by whoever runs the search (the brain, a test, the bench):
// the arena that holds the tree, the node counter, the generator's list, the
// memory gauge, the teardown calibration and the scratch boards of an expansion.
#pragma once

#include <cstdint>

#include "board/candidates.h"
#include "board/k2board.h"
#include "search/arena.h"
#include "search/memory_use.h"

namespace kelmo {

// How long discarding a tree takes, learnt from the teardowns measured so far.
class TeardownCalibration {
public:
    // The time still to be spent after the search loop on a tree that holds
    // treeBytes: discarding it and handing its memory back, both inside the
    // brain's turn. The loop stops that much earlier, so the reply arrives within
    // the allowance however large the tree has grown.
    std::int32_t reserveMs(std::int64_t treeBytes) const;
    // Calibrates reserveMs from a measured teardown of treeBytes.
    void note(std::int64_t treeBytes, std::int32_t ms);

private:
    // Milliseconds per million bytes that discarding a tree has been seen to
    // take. It rises at once to a slower teardown and halves its distance to a
    // quicker one. An arena's reset costs microseconds whatever the tree, so the
    // start is a generous bound on it that measured teardowns soon lower.
    double msPerMegabyte = 0.01;
};

struct SearchContext {
    // The tree: every node, child array and board of the search. Its blocks
    // stay from one move to the next; reset() discards a whole tree.
    NodeArena arena;
    MemoryGauge memory;
    // Node constructions since the context was made; only differences of its
    // values are used, so it may wrap. The brain makes one context when it is
    // built and keeps it across moves and games.
    std::uint32_t nodeCounter = 0;
    // Nodes actually built in the arena so far, roots included.
    std::uint64_t builtNodes = 0;
    // Refilled by each expansion; read by the driver when the root's expansion
    // decided the game at once.
    CandidateList candidates{};
    TeardownCalibration teardown;
    // Scratch positions of an expansion: the node's own (work) and each child's
    // in turn (probe). They keep their item blocks from one expansion to the next.
    K2Board work;
    K2Board probe;
    // Whether the subtree of a node solved below the root is freed at once
    // (selection never enters a solved node, and the final choice reads only
    // the root's children); off only to compare against the whole tree.
    bool releaseSolved = true;
    // Nodes and bytes given back that way so far.
    std::uint64_t releasedNodes = 0;
    std::int64_t releasedBytes = 0;

    SearchContext() = default;
    SearchContext(const SearchContext&) = delete;
    SearchContext& operator=(const SearchContext&) = delete;
};

} // namespace kelmo
