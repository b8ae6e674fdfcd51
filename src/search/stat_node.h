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
    std::uint8_t flags;
    std::int32_t growthCnt;
    std::uint32_t counterStamp;
    K2Board* board;             // owned while the node is not expanded
    StatNode* parent;
    StatNode** children;        // owned array of childrenCnt links (see allocateChildren)
    std::uint16_t childrenCnt;  // wide enough for every square of the board
    std::uint8_t parentsCnt;
    StatNode* pathParent;
    std::uint16_t childrenCap;
    std::int32_t proofNum;
    std::int32_t disproofNum;
    std::int32_t move;          // square index; -1 for a root

    // Root, or the last child of an expansion (which then sets move itself).
    StatNode(std::uint32_t& counter, K2Board* board, StatNode* parent);
    // Every child of an expansion but the last.
    StatNode(std::uint32_t& counter, K2Board* board, StatNode* parent, int move);
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

    // Expansion's storage: one block holding the array of n links followed by the
    // n child nodes themselves, so that an expansion costs one allocation and a
    // tree is released with one free per expanded node. The children are built
    // into the returned slots with placement new; they are destroyed by their
    // parent and never deleted on their own.
    StatNode* allocateChildren(int n);
};

} // namespace kelmo
