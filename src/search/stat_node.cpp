// StatNode: roots and expansions built in the arena with their exact node
// counter advances, the node role, the effort statistic, and giving a solved
// subtree back to the arena.
#include "search/stat_node.h"

#include <new>

namespace kelmo {

StatNode::StatNode(PackedPosition* board, StatNode* parent, int move, bool orNode, std::uint32_t stamp)
    : board(board),
      parent(parent),
      children(nullptr),
      proofNum(1),
      disproofNum(1),
      growthCnt(0),
      counterStamp(stamp),
      move(static_cast<std::int16_t>(move)),
      childrenCnt(0),
      flags(orNode ? NODE_OR : 0),
      leafSlot(LeafBoards::NO_SLOT) {}

LeafBoards::LeafBoards()
    : storage(new std::uint64_t[SLOTS * SLOT_BYTES / sizeof(std::uint64_t)]()),
      owners(new const StatNode*[SLOTS]()) {}

std::uint16_t LeafBoards::keep(const StatNode* node, const K2Board& position) {
    if (position.packedBytes() > SLOT_BYTES)
        return NO_SLOT;
    const unsigned slot = next;
    next = next + 1 == SLOTS ? 0 : next + 1;
    owners[slot] = node;
    position.packInto(bufferStart() + std::size_t{slot} * SLOT_BYTES);
    return static_cast<std::uint16_t>(slot);
}

StatNode* newRoot(SearchContext& context, const K2Board& position) {
    void* boardMemory = context.arena.allocate(position.positionBytes());
    if (!boardMemory)
        return nullptr;
    void* nodeMemory = context.arena.allocate(sizeof(StatNode));
    if (!nodeMemory) {
        context.arena.release(boardMemory, position.positionBytes());
        return nullptr;
    }
    PackedPosition* board = position.packPosition(boardMemory);
    auto* root = new (nodeMemory) StatNode(board, nullptr, -1, board->sideToMove == 1, context.nodeCounter);
    ++context.nodeCounter;
    ++context.builtNodes;
    return root;
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

bool StatNode::attachChildren(SearchContext& context, const std::int16_t* moves, int n) {
    if (n <= 0)
        return true;
    void* memory = context.arena.allocate(static_cast<std::size_t>(n) * sizeof(StatNode));
    if (!memory)
        return false;
    children = static_cast<StatNode*>(memory);
    const bool childRole = !isOrNode();
    std::uint32_t& counter = context.nodeCounter;
    for (int i = 0; i < n; ++i)
        new (children + i) StatNode(nullptr, this, moves[i], childRole, counter + 2u * static_cast<std::uint32_t>(i));
    childrenCnt = static_cast<std::uint16_t>(n);
    counter += 2u * static_cast<std::uint32_t>(n) - 1u;
    context.builtNodes += static_cast<std::uint64_t>(n);
    flags |= NODE_EXPANDED;
    return true;
}

std::uint64_t StatNode::releaseSubtree(NodeArena& arena) {
    std::uint64_t released = 0;
    for (unsigned i = 0; i < childrenCnt; ++i)
        released += 1 + children[i].releaseSubtree(arena);
    if (childrenCnt > 0)
        arena.release(children, childrenCnt * sizeof(StatNode));
    if (board)
        arena.release(board, board->bytes());
    children = nullptr;
    childrenCnt = 0;
    board = nullptr;
    flags &= static_cast<std::uint8_t>(~NODE_EXPANDED);
    return released;
}

} // namespace kelmo
