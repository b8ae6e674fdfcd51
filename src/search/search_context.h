// SearchContext: what the search keeps between its calls and from one move to
// the next, owned by whoever runs the search (the brain, a test, the bench):
// the arena that holds the tree, the node counter, the generator's list, the
// teardown calibration, the scratch boards of an expansion
// and a ring of recently built leaf positions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "board/candidates.h"
#include "board/k2board.h"
#include "search/arena.h"

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

class StatNode;

// The positions of the children most recently built, so that expanding one of
// them soon after (as the search often does) copies its board instead of
// replaying its move on the parent's. Positions are packed into fixed slots of
// one buffer as whole boards rather than in the tree's stored form: the ring
// packs every child built, a whole board packs and copies back more cheaply, and
// the buffer's size is fixed either way. The buffer is taken at construction
// and touched then, so that the memory the budget leaves to the rest of the
// process (searchBudget's reading) includes it; the
// slots are reused round the ring. A node names its slot and the slot names its
// node, so a slot taken over since, or a node built where a freed one stood, is
// never mistaken for a hit.
class LeafBoards {
public:
    static constexpr std::uint16_t NO_SLOT = 0xFFFF;
    static constexpr unsigned SLOTS = 4096;
    // A board with up to 100 threat items; a position listing more is not kept.
    static constexpr std::size_t SLOT_BYTES = 1024;

    LeafBoards();
    // Keeps a copy of the node's position; returns its slot, or NO_SLOT.
    std::uint16_t keep(const StatNode* node, const K2Board& position);
    // The kept position of the node, or null when its slot has been taken over.
    const K2Board* find(const StatNode* node, std::uint16_t slot) const {
        return slot < SLOTS && owners[slot] == node
                   ? reinterpret_cast<const K2Board*>(bufferStart() + std::size_t{slot} * SLOT_BYTES)
                   : nullptr;
    }

    std::uint64_t hits = 0;
    std::uint64_t misses = 0;

private:
    unsigned char* bufferStart() const { return reinterpret_cast<unsigned char*>(storage.get()); }

    std::unique_ptr<std::uint64_t[]> storage;  // 8-byte aligned, as a board needs
    std::unique_ptr<const StatNode*[]> owners;
    unsigned next = 0;
};

struct SearchContext {
    // The tree: every node, child array and board of the search. Its blocks
    // stay from one move to the next; reset() discards a whole tree.
    NodeArena arena;
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
    LeafBoards leafBoards;
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
