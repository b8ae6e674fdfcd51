// K2Board life cycle: construction, clearing, deep copies and playing a stone.
#include "board/k2board.h"

#include <cstring>
#include <new>

namespace kelmo {

namespace {

// Room for the threats a child's first move adds, so that most copies never grow.
constexpr std::uint32_t CLONE_SLACK = 4;
constexpr std::uint32_t FIRST_POOL = 16;

ThreatListItem* allocateItems(std::uint32_t count) {
    return static_cast<ThreatListItem*>(::operator new(count * sizeof(ThreatListItem)));
}

} // namespace

K2Board::K2Board()
    : threatList{NO_ITEM, NO_ITEM},
      sideToMove(0),
      ownsPool(true),
      moveCount(0),
      itemPool(nullptr),
      freeItems(NO_ITEM),
      poolCapacity(0),
      poolUsed(0),
      liveItems(0) {}

K2Board::~K2Board() {
    if (ownsPool)
        ::operator delete(itemPool);
}

std::uint16_t K2Board::newItem() {
    ++liveItems;
    if (freeItems != NO_ITEM) {
        std::uint16_t index = freeItems;
        freeItems = itemPool[index].next;
        return index;
    }
    if (poolUsed == poolCapacity)
        growPool();
    return static_cast<std::uint16_t>(poolUsed++);
}

void K2Board::releaseItem(std::uint16_t index) {
    --liveItems;
    itemPool[index].next = freeItems;
    freeItems = index;
}

void K2Board::growPool() {
    const std::uint32_t capacity = poolCapacity ? 2 * poolCapacity : FIRST_POOL;
    ThreatListItem* fresh = allocateItems(capacity);
    if (poolUsed)
        std::memcpy(fresh, itemPool, poolUsed * sizeof(ThreatListItem));
    if (ownsPool)
        ::operator delete(itemPool);
    itemPool = fresh;
    ownsPool = true;
    poolCapacity = static_cast<std::uint16_t>(capacity);
}

void K2Board::clear() {
    std::memset(cells, CELL_EMPTY, sizeof cells);
    moveCount = 0;
    sideToMove = 0;
}

void K2Board::copyContents(const K2Board& other) {
    std::memcpy(cells, other.cells, sizeof cells);
    sideToMove = other.sideToMove;
    moveCount = other.moveCount;
    // The items are packed in list order, the free items left behind.
    std::uint16_t slot = 0;
    for (int p = 0; p < PLAYER_NB; ++p) {
        std::uint16_t* tail = &threatList[p];
        for (std::uint16_t i = other.threatList[p]; i != NO_ITEM; i = other.itemPool[i].next) {
            itemPool[slot] = {other.itemPool[i].code, other.itemPool[i].squareDirs, NO_ITEM};
            *tail = slot;
            tail = &itemPool[slot].next;
            ++slot;
        }
        *tail = NO_ITEM;
    }
    freeItems = NO_ITEM;
    poolUsed = liveItems = other.liveItems;
}

K2Board* K2Board::clone() const {
    K2Board* copy = new K2Board;
    copy->poolCapacity = static_cast<std::uint16_t>(liveItems + CLONE_SLACK);
    copy->itemPool = allocateItems(copy->poolCapacity);
    copy->copyContents(*this);
    return copy;
}

K2Board* K2Board::packInto(void* memory) const {
    auto* copy = new (memory) K2Board;
    copy->ownsPool = false;
    copy->itemPool = reinterpret_cast<ThreatListItem*>(copy + 1);
    copy->poolCapacity = liveItems;
    copy->copyContents(*this);
    return copy;
}

void K2Board::copyFrom(const K2Board& other) {
    if (&other == this)
        return;
    if (!ownsPool || poolCapacity < other.liveItems + CLONE_SLACK) {
        if (ownsPool)
            ::operator delete(itemPool);
        itemPool = nullptr;
        poolCapacity = 0;
        ownsPool = true;
        const std::uint32_t capacity = 2u * (other.liveItems + CLONE_SLACK);
        itemPool = allocateItems(capacity);
        poolCapacity = static_cast<std::uint16_t>(capacity);
    }
    copyContents(other);
}

bool K2Board::play(int square) {
    std::uint8_t& cell = cells[square];
    cell &= static_cast<std::uint8_t>(~(CELL_EMPTY | CELL_COLOUR));
    if (cell & CELL_LISTED[1])
        removeEntries(1, square);
    if (cell & CELL_LISTED[0])
        removeEntries(0, square);
    if (sideToMove == 1)
        cell |= CELL_COLOUR;
    sideToMove = static_cast<std::uint8_t>(1 - sideToMove);
    ++moveCount;
    return updateAround(square);
}

K2Board* K2Board::cloneAndPlay(int square, bool& decided) const {
    K2Board* copy = clone();
    decided = copy->play(square);
    return copy;
}

} // namespace kelmo
