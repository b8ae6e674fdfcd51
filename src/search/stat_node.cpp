// StatNode: construction with its exact node counter advances, the node role, the
// effort statistic, and destruction of a whole subtree. Destruction never stops
// the brain: each of its two guarded steps logs a failure and carries on.
#include "search/stat_node.h"

#include <cstddef>
#include <new>

#include "errorlog/error_log.h"

namespace kelmo {

NodeDestroyHook nodeDestroyHook = nullptr;

StatNode::StatNode(std::uint32_t& counter, K2Board* board, StatNode* parent)
    : flags(board->sideToMove == 1 ? NODE_OR : 0),
      growthCnt(0),
      counterStamp(counter),
      board(board),
      parent(parent),
      children(nullptr),
      childrenCnt(0),
      parentsCnt(parent ? 1 : 0),
      pathParent(parent),
      childrenCap(0),
      proofNum(1),
      disproofNum(1),
      move(-1) {
    ++counter;
}

// The counter moves twice for these children (once after the stamp, once at the
// end), so an expansion of n children advances it by 2(n-1)+1: the effort
// statistic weighs every copied board double against the one played in place.
StatNode::StatNode(std::uint32_t& counter, K2Board* board, StatNode* parent, int move)
    : StatNode(counter, board, parent) {
    parentsCnt = 1;
    this->move = move;
    ++counter;
}

StatNode::~StatNode() {
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
    if (!isExpanded())
        delete board;
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

StatNode* StatNode::allocateChildren(int n) {
    std::size_t links = static_cast<std::size_t>(n) * sizeof(StatNode*);
    // Round the link array up so the nodes after it are aligned for StatNode.
    std::size_t offset = (links + alignof(StatNode) - 1) / alignof(StatNode) * alignof(StatNode);
    void* block = ::operator new(offset + static_cast<std::size_t>(n) * sizeof(StatNode));
    children = static_cast<StatNode**>(block);
    for (int i = 0; i < n; ++i)
        children[i] = nullptr;
    childrenCnt = static_cast<std::uint16_t>(n);
    childrenCap = static_cast<std::uint16_t>(n);
    return reinterpret_cast<StatNode*>(static_cast<char*>(block) + offset);
}

} // namespace kelmo
