// Hand-built search trees for the search tests: nodes in a context's arena
// whose numbers a test sets directly. Positions come from support/board_diagram.h.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "board/k2board.h"
#include "search/search_context.h"
#include "search/stat_node.h"

namespace kelmo::test {

struct Numbers {
    std::int32_t proof;
    std::int32_t disproof;
};

// A root on a cleared board with the given side to move, in the context's arena.
StatNode* makeRoot(SearchContext& context, int sideToMove);

// Turns an unexpanded node into an expanded one whose children (moves 0, 1,
// 2, ..., no boards) carry the given numbers, as an expansion would leave it.
// Returns the first child.
StatNode* giveChildren(SearchContext& context, StatNode* node, const std::vector<Numbers>& children);

// An expanded root of the given role with children carrying the numbers.
StatNode* makeExpanded(SearchContext& context, bool orNode, const std::vector<Numbers>& children);

// A root on the stored form of the position, in the context's arena.
StatNode* rootOn(SearchContext& context, const K2Board& position);

// A node's stored position unpacked onto a board of its own.
std::unique_ptr<K2Board> unpacked(const PackedPosition& stored);

// The node counter advance that building this tree cost: 1 for the root and
// 2n - 1 for every expansion into n children.
std::uint32_t counterAdvanceOf(const StatNode& root);

} // namespace kelmo::test
