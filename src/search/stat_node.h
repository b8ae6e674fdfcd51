// StatNode: a node of the proof-number search tree. Nodes, their child arrays
// and their boards live in the search context's arena; building them advances
// the context's node counter, which measures search effort.
#pragma once

#include <cstdint>

#include "board/k2board.h"
#include "search/search_context.h"

namespace kelmo {

constexpr std::uint8_t NODE_OR = 2;        // the brain is to move
constexpr std::uint8_t NODE_EXPANDED = 8;  // the node has been given children

// Proof and disproof numbers: 0 = solved, -1 = infinite, positive = estimate.
constexpr std::int32_t PN_INFINITE = -1;
// Sums of numbers stop here, so that they never wrap into 0 or -1 and stay below
// the 2147483647 that selection starts its comparison with.
constexpr std::int32_t PN_SATURATED = 2147483646;

class StatNode {
public:
    // The node's position in its stored form in the arena: on the root from
    // the start, on any other node from its expansion on. A leaf has none; its
    // position is its parent's with its move played, rebuilt when the leaf is
    // expanded.
    PackedPosition* board;
    StatNode* parent;
    StatNode* children;         // childrenCnt nodes side by side in the arena
    std::int32_t proofNum;
    std::int32_t disproofNum;
    std::int32_t growthCnt;
    std::uint32_t counterStamp;
    std::int16_t move;          // square index; -1 for a root
    std::uint16_t childrenCnt;  // wide enough for every square of the board
    std::uint8_t flags;
    std::uint16_t leafSlot;     // where LeafBoards may still hold the position of a leaf

    StatNode(const StatNode&) = delete;
    StatNode& operator=(const StatNode&) = delete;

    StatNode* child(unsigned i) const { return children + i; }

    bool isOrNode() const { return flags & NODE_OR; }
    bool isExpanded() const { return flags & NODE_EXPANDED; }
    bool isProven() const { return proofNum == 0; }
    bool isDisproven() const { return disproofNum == 0; }
    bool isSolved() const { return proofNum == 0 || disproofNum == 0; }

    void setOrNode(bool orNode);
    void stamp(std::uint32_t counter) { counterStamp = counter; }
    // Adds the counter's advance since the last stamp; saturates instead of
    // overflowing the signed count.
    void credit(std::uint32_t counter);

    // Gives the node one child per move, in order, each of the other role, open
    // (1, 1) and without a board; the node is marked expanded. The counter
    // advances by 2n - 1: the effort statistic weighs every child but the last
    // double, as it did when each of them was a copied board and the last one
    // was played on the parent's board in place. Child i is stamped with the
    // counter's value plus 2i. False, with nothing changed, when the arena has
    // no room for the children.
    bool attachChildren(SearchContext& context, const std::int16_t* moves, int n);

    // Gives back to the arena everything below the node and its own board, and
    // makes it a leaf again with its numbers and effort kept: for a solved node
    // below the root, which selection never enters again. Returns the number
    // of nodes given back.
    std::uint64_t releaseSubtree(NodeArena& arena);

private:
    friend StatNode* newRoot(SearchContext& context, const K2Board& position);
    StatNode(PackedPosition* board, StatNode* parent, int move, bool orNode, std::uint32_t stamp);
};

// A root in the context's arena on the stored form of the position, its role
// from the side to move; advances the counter by one. Null when the arena has
// no room for it.
StatNode* newRoot(SearchContext& context, const K2Board& position);

} // namespace kelmo
