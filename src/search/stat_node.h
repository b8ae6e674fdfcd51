// StatNode: a node of the proof-number search tree. Its constructors advance
// the search context's node counter, which measures search effort.
#pragma once

#include <cstdint>

#include "board/k2board.h"

namespace kelmo {

constexpr std::uint8_t NODE_OR = 2;        // the brain is to move
constexpr std::uint8_t NODE_EXPANDED = 8;  // the node has been given children

// Proof and disproof numbers: 0 = solved, -1 = infinite, positive = estimate.
constexpr std::int32_t PN_INFINITE = -1;
// Sums of numbers stop here, so that they never wrap into 0 or -1 and stay below
// the 2147483647 that selection starts its comparison with.
constexpr std::int32_t PN_SATURATED = 2147483646;

class StatNode;

// Test seam for the guarded steps of destruction: when set, it is called at the
// end of step 1 (children destroyed) and of step 2 (children array freed) with
// the step number; a failure it raises is caught, logged and passed over like
// any other failure of that step. Production code never sets it.
using NodeDestroyHook = void (*)(const StatNode& node, int step);
extern NodeDestroyHook nodeDestroyHook;

constexpr const char* DESTROY_FAULT_CHILDREN = "chyba typu 1 pri v destruktoru StatNode";
constexpr const char* DESTROY_FAULT_ARRAY = "chyba typu 2 pri v destruktoru StatNode";

class StatNode {
public:
    // The node's position, owned: on the root from the start, on any other node
    // from its expansion on. A leaf has none; its position is its parent's board
    // with its move played, rebuilt when the leaf is expanded.
    K2Board* board;
    StatNode* parent;
    StatNode** children;        // owned array of childrenCnt links (see attachChildren)
    std::int32_t proofNum;
    std::int32_t disproofNum;
    std::int32_t growthCnt;
    std::uint32_t counterStamp;
    std::int16_t move;          // square index; -1 for a root
    std::uint16_t childrenCnt;  // wide enough for every square of the board
    std::uint8_t flags;

    // A root on its own board, which it takes over; advances the counter by one.
    StatNode(std::uint32_t& counter, K2Board* board);
    ~StatNode();
    StatNode(const StatNode&) = delete;
    StatNode& operator=(const StatNode&) = delete;

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
    // counter's value plus 2i. One block holds the links and the children, so an
    // expansion costs one allocation.
    void attachChildren(std::uint32_t& counter, const std::int16_t* moves, int n);

    // Frees everything below the node and its own board, and makes it a leaf
    // again with its numbers and effort kept: for a solved node below the root,
    // which selection never enters again. Returns the number of nodes freed.
    std::uint64_t releaseSubtree();

private:
    StatNode(StatNode* parent, int move, bool orNode, std::uint32_t stamp);
    // Destroys the children and frees their array, each step guarded and logged.
    void destroyChildren();
};

} // namespace kelmo
