// Hand-built search trees for the search tests.
#include "tree_fixture.h"

#include <gtest/gtest.h>

namespace kelmo::test {

namespace {

K2Board* clearedBoard(int sideToMove) {
    auto* board = new K2Board();
    board->clear();
    board->sideToMove = static_cast<std::uint8_t>(sideToMove);
    return board;
}

} // namespace

StatNode* makeRoot(SearchContext& context, int sideToMove) {
    std::unique_ptr<K2Board> board(clearedBoard(sideToMove));
    return rootOn(context, *board);
}

StatNode* rootOn(SearchContext& context, const K2Board& position) {
    StatNode* root = newRoot(context, position);
    EXPECT_NE(root, nullptr) << "the arena had no room for a root";
    return root;
}

StatNode* giveChildren(SearchContext& context, StatNode* node, const std::vector<Numbers>& children) {
    const int n = static_cast<int>(children.size());
    std::vector<std::int16_t> moves(children.size());
    for (int i = 0; i < n; ++i)
        moves[i] = static_cast<std::int16_t>(i);
    EXPECT_TRUE(node->attachChildren(context, moves.data(), n)) << "the arena had no room";
    for (int i = 0; i < n; ++i) {
        node->child(i)->proofNum = children[i].proof;
        node->child(i)->disproofNum = children[i].disproof;
    }
    return node->child(0);
}

StatNode* makeExpanded(SearchContext& context, bool orNode, const std::vector<Numbers>& children) {
    StatNode* root = makeRoot(context, orNode ? 1 : 0);
    giveChildren(context, root, children);
    return root;
}

std::uint32_t counterAdvanceOf(const StatNode& root) {
    std::uint32_t total = 1;
    std::vector<const StatNode*> stack{&root};
    while (!stack.empty()) {
        const StatNode* node = stack.back();
        stack.pop_back();
        if (node->childrenCnt > 0)
            total += 2u * node->childrenCnt - 1u;
        for (unsigned i = 0; i < node->childrenCnt; ++i)
            stack.push_back(node->child(i));
    }
    return total;
}

std::unique_ptr<K2Board> unpacked(const PackedPosition& stored) {
    auto board = std::make_unique<K2Board>();
    board->copyFrom(stored);
    return board;
}

} // namespace kelmo::test
