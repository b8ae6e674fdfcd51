// Hand-built search trees for the search tests.
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

std::unique_ptr<StatNode> makeRoot(int sideToMove) {
    return std::make_unique<StatNode>(clearedBoard(sideToMove), nullptr);
}

StatNode* giveChildren(StatNode* node, const std::vector<Numbers>& children) {
    const int n = static_cast<int>(children.size());
    const int childSide = node->isOrNode() ? 0 : 1;
    StatNode* slots = node->allocateChildren(n);
    for (int i = 0; i < n; ++i) {
        StatNode* child = new (slots + i) StatNode(clearedBoard(childSide), node, i);
        child->proofNum = children[i].proof;
        child->disproofNum = children[i].disproof;
        node->children[i] = child;
    }
    delete node->board;
    node->board = nullptr;
    node->flags |= NODE_EXPANDED;
    return node->children[0];
}

std::unique_ptr<StatNode> makeExpanded(bool orNode, const std::vector<Numbers>& children) {
    auto root = makeRoot(orNode ? 1 : 0);
    giveChildren(root.get(), children);
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
            stack.push_back(node->children[i]);
    }
    return total;
}

} // namespace kelmo::test
