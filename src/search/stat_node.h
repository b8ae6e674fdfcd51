// StatNode: a node of the proof-number search tree, and the process-wide
// counter of node constructions that measures search effort.
#pragma once

#include <cstdint>

#include "board/k2board.h"

namespace kelmo {

// Node constructions so far; only differences of its values are used.
extern std::uint32_t nodeCounter;

constexpr std::uint8_t NODE_OR = 2;        // the brain is to move
constexpr std::uint8_t NODE_EXPANDED = 8;  // the node has been given children

// Proof and disproof numbers: 0 = solved, -1 = infinite, positive = estimate.
constexpr std::int32_t PN_INFINITE = -1;

class StatNode {
public:
    std::uint8_t flags;
    std::int32_t growthCnt;
    std::uint32_t counterStamp;
    K2Board* board;             // owned while the node is not expanded
    StatNode* parent;
    StatNode** children;        // owned array of childrenCnt links
    std::uint16_t childrenCnt;  // wide enough for every square of the board
    std::uint8_t parentsCnt;
    StatNode* pathParent;
    std::uint16_t childrenCap;
    std::int32_t proofNum;
    std::int32_t disproofNum;
    std::int32_t move;          // square index; -1 for a root

    // Root, or the last child of an expansion (which then sets move itself).
    StatNode(K2Board* board, StatNode* parent);
    // Every child of an expansion but the last.
    StatNode(K2Board* board, StatNode* parent, int move);
    ~StatNode();
    StatNode(const StatNode&) = delete;
    StatNode& operator=(const StatNode&) = delete;

    bool isOrNode() const { return flags & NODE_OR; }
    bool isExpanded() const { return flags & NODE_EXPANDED; }
    bool isProven() const { return proofNum == 0; }
    bool isDisproven() const { return disproofNum == 0; }
    bool isSolved() const { return proofNum == 0 || disproofNum == 0; }

    void setOrNode(bool orNode);
    void stamp();
    void credit();
};

} // namespace kelmo
