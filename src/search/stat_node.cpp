// StatNode: construction with its exact node counter advances, the node role, the
// effort statistic, and destruction of a whole subtree. Destruction never stops
// the brain: each of its two guarded steps logs a failure and carries on.
#include "search/stat_node.h"

#include <cstddef>
#include <new>

#include "errorlog/error_log.h"

namespace kelmo {

NodeDestroyHook nodeDestroyHook = nullptr;

StatNode::StatNode(std::uint32_t& counter, K2Board* board)
    : board(board),
      parent(nullptr),
      children(nullptr),
      proofNum(1),
      disproofNum(1),
      growthCnt(0),
      counterStamp(counter),
      move(-1),
      childrenCnt(0),
      flags(board->sideToMove == 1 ? NODE_OR : 0) {
    ++counter;
}

StatNode::StatNode(StatNode* parent, int move, bool orNode, std::uint32_t stamp)
    : board(nullptr),
      parent(parent),
      children(nullptr),
      proofNum(1),
      disproofNum(1),
      growthCnt(0),
      counterStamp(stamp),
      move(static_cast<std::int16_t>(move)),
      childrenCnt(0),
      flags(orNode ? NODE_OR : 0) {}

StatNode::~StatNode() {
    destroyChildren();
    delete board;
}

void StatNode::destroyChildren() {
    try {
        for (unsigned i = 0; i < childrenCnt; ++i) {
            // A slot is empty only if the expansion that owned it never finished.
            if (children[i])
                children[i]->~StatNode();
        }
        if (nodeDestroyHook)
            nodeDestroyHook(*this, 1);
    } catch (...) {
        appendErrorLog(DESTROY_FAULT_CHILDREN);
    }
    try {
        if (childrenCnt > 0) {
            ::operator delete(static_cast<void*>(children));
            children = nullptr;
        }
        if (nodeDestroyHook)
            nodeDestroyHook(*this, 2);
    } catch (...) {
        appendErrorLog(DESTROY_FAULT_ARRAY);
    }
}

namespace {

std::uint64_t subtreeSize(const StatNode& node) {
    std::uint64_t n = node.childrenCnt;
    for (unsigned i = 0; i < node.childrenCnt; ++i)
        n += subtreeSize(*node.children[i]);
    return n;
}

} // namespace

std::uint64_t StatNode::releaseSubtree() {
    const std::uint64_t freed = subtreeSize(*this);
    destroyChildren();
    children = nullptr;
    childrenCnt = 0;
    delete board;
    board = nullptr;
    flags &= static_cast<std::uint8_t>(~NODE_EXPANDED);
    return freed;
}

void StatNode::setOrNode(bool orNode) {
    if (orNode)
        flags |= NODE_OR;
    else
        flags &= static_cast<std::uint8_t>(~NODE_OR);
    if (board)
        board->sideToMove = orNode ? 1 : 0;
}

void StatNode::credit(std::uint32_t counter) {
    // Unsigned difference: only the advance since the stamp matters, also
    // across a wrap of the counter.
    std::uint32_t advance = counter - counterStamp;
    std::uint64_t sum = static_cast<std::uint64_t>(static_cast<std::uint32_t>(growthCnt)) + advance;
    growthCnt = sum > 2147483647u ? 2147483647 : static_cast<std::int32_t>(sum);
}

void StatNode::attachChildren(std::uint32_t& counter, const std::int16_t* moves, int n) {
    if (n <= 0)
        return;
    std::size_t links = static_cast<std::size_t>(n) * sizeof(StatNode*);
    // Round the link array up so the nodes after it are aligned for StatNode.
    std::size_t offset = (links + alignof(StatNode) - 1) / alignof(StatNode) * alignof(StatNode);
    void* block = ::operator new(offset + static_cast<std::size_t>(n) * sizeof(StatNode));
    children = static_cast<StatNode**>(block);
    auto* slots = reinterpret_cast<StatNode*>(static_cast<char*>(block) + offset);
    const bool childRole = !isOrNode();
    for (int i = 0; i < n; ++i)
        children[i] = new (slots + i) StatNode(this, moves[i], childRole, counter + 2u * static_cast<std::uint32_t>(i));
    childrenCnt = static_cast<std::uint16_t>(n);
    counter += 2u * static_cast<std::uint32_t>(n) - 1u;
    flags |= NODE_EXPANDED;
}

} // namespace kelmo
