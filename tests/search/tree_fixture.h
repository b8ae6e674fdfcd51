// Hand-built search trees for the search tests: nodes on empty boards whose
// numbers a test sets directly. Positions come from support/board_diagram.h.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "board/k2board.h"
#include "search/stat_node.h"

namespace kelmo::test {

struct Numbers {
    std::int32_t proof;
    std::int32_t disproof;
};

// A root on a cleared board with the given side to move.
std::unique_ptr<StatNode> makeRoot(int sideToMove);

// Turns an unexpanded node into an expanded one whose children (on cleared
// boards, moves 0, 1, 2, ...) carry the given numbers, as an expansion would
// leave it: no board of its own, children in order. Returns the first child.
StatNode* giveChildren(StatNode* node, const std::vector<Numbers>& children);

// An expanded root of the given role with children carrying the numbers.
std::unique_ptr<StatNode> makeExpanded(bool orNode, const std::vector<Numbers>& children);

// The nodeCounter advance that building this tree cost: 1 for the root and
// 2n - 1 for every expansion into n children.
std::uint32_t counterAdvanceOf(const StatNode& root);

} // namespace kelmo::test
