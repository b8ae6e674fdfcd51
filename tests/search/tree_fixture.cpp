// Hand-built search trees and set-up positions for the search tests.
#include "tree_fixture.h"

#include <new>

namespace kelmo::test {

namespace {

K2Board* clearedBoard(int sideToMove) {
    auto* board = new K2Board();
    board->clear();
    board->sideToMove = static_cast<std::uint8_t>(sideToMove);
    return board;
}

} // namespace

std::unique_ptr<StatNode> makeRoot(SearchContext& context, int sideToMove) {
    return std::make_unique<StatNode>(context.nodeCounter, clearedBoard(sideToMove));
}

StatNode* giveChildren(SearchContext& context, StatNode* node, const std::vector<Numbers>& children) {
    const int n = static_cast<int>(children.size());
    std::vector<std::int16_t> moves(children.size());
    for (int i = 0; i < n; ++i)
        moves[i] = static_cast<std::int16_t>(i);
    node->attachChildren(context.nodeCounter, moves.data(), n);
    for (int i = 0; i < n; ++i) {
        node->children[i]->proofNum = children[i].proof;
        node->children[i]->disproofNum = children[i].disproof;
    }
    return node->children[0];
}

std::unique_ptr<StatNode> makeExpanded(SearchContext& context, bool orNode, const std::vector<Numbers>& children) {
    auto root = makeRoot(context, orNode ? 1 : 0);
    giveChildren(context, root.get(), children);
    return root;
}

std::unique_ptr<K2Board> boardSetUp(std::initializer_list<int> player0,
                                    std::initializer_list<int> player1, int sideToMove) {
    auto board = std::make_unique<K2Board>();
    board->clear();
    for (int sq : player0)
        board->cells[sq] = STONE_OF[0];
    for (int sq : player1)
        board->cells[sq] = STONE_OF[1];
    board->moveCount = static_cast<std::uint16_t>(player0.size() + player1.size());
    board->rescan();
    board->sideToMove = static_cast<std::uint8_t>(sideToMove);
    return board;
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
            stack.push_back(node->children[i]);
    }
    return total;
}

} // namespace kelmo::test
