// K2Board life cycle: construction, clearing, deep copies and playing a stone.
#include "board/k2board.h"

#include <cstring>

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
    : threatList{nullptr, nullptr},
      sideToMove(0),
      moveCount(0),
      itemPool(nullptr),
      freeItems(nullptr),
      poolCapacity(0),
      poolUsed(0),
      liveItems(0) {}

K2Board::~K2Board() { ::operator delete(itemPool); }

ThreatListItem* K2Board::newItem() {
    ++liveItems;
    if (freeItems) {
        ThreatListItem* item = freeItems;
        freeItems = item->next;
        return item;
    }
    if (poolUsed == poolCapacity)
        growPool();
    return &itemPool[poolUsed++];
}

void K2Board::releaseItem(ThreatListItem* item) {
    --liveItems;
    item->next = freeItems;
    freeItems = item;
}

void K2Board::growPool() {
    const std::uint32_t capacity = poolCapacity ? 2 * poolCapacity : FIRST_POOL;
    ThreatListItem* fresh = allocateItems(capacity);
    auto moved = [&](ThreatListItem* p) { return p ? fresh + (p - itemPool) : nullptr; };
    for (std::uint32_t i = 0; i < poolUsed; ++i)
        fresh[i] = {itemPool[i].code, itemPool[i].squareDirs, moved(itemPool[i].next)};
    threatList[0] = moved(threatList[0]);
    threatList[1] = moved(threatList[1]);
    freeItems = moved(freeItems);
    ::operator delete(itemPool);
    itemPool = fresh;
    poolCapacity = capacity;
}

void K2Board::clear() {
    std::memset(cells, CELL_EMPTY, sizeof cells);
    moveCount = 0;
    sideToMove = 0;
}

K2Board* K2Board::clone() const {
    K2Board* copy = new K2Board;
    std::memcpy(copy->cells, cells, sizeof cells);
    copy->sideToMove = sideToMove;
    copy->moveCount = moveCount;
    // The copy's items are packed in list order, the free items left behind.
    copy->poolCapacity = liveItems + CLONE_SLACK;
    copy->itemPool = allocateItems(copy->poolCapacity);
    ThreatListItem* slot = copy->itemPool;
    for (int p = 0; p < PLAYER_NB; ++p) {
        ThreatListItem** tail = &copy->threatList[p];
        for (const ThreatListItem* item = threatList[p]; item; item = item->next) {
            *slot = {item->code, item->squareDirs, nullptr};
            *tail = slot;
            tail = &slot->next;
            ++slot;
        }
    }
    copy->poolUsed = copy->liveItems = liveItems;
    return copy;
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
