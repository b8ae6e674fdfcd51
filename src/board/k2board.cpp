// K2Board life cycle: construction, clearing, deep copies and playing a stone.
#include "board/k2board.h"

#include <array>
#include <cstring>
#include <new>

#include "board/threat_tables.h"

namespace kelmo {

namespace {

// Room for the threats a child's first move adds, so that most copies never grow.
constexpr std::uint32_t CLONE_SLACK = 4;
constexpr std::uint32_t FIRST_POOL = 16;

ThreatListItem* allocateItems(std::uint32_t count) {
    return static_cast<ThreatListItem*>(::operator new(count * sizeof(ThreatListItem)));
}

// The four cell bytes a byte of quads stands for, before the list bits.
constexpr std::array<std::array<std::uint8_t, 4>, 256> QUAD_CELLS = [] {
    std::array<std::array<std::uint8_t, 4>, 256> table{};
    for (unsigned b = 0; b < 256; ++b)
        for (unsigned k = 0; k < 4; ++k)
            table[b][k] = static_cast<std::uint8_t>((b >> (2 * k)) & 3);
    return table;
}();

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

void K2Board::reserveForCopy(std::uint32_t items) {
    if (ownsPool && poolCapacity >= items + CLONE_SLACK)
        return;
    if (ownsPool)
        ::operator delete(itemPool);
    itemPool = nullptr;
    poolCapacity = 0;
    ownsPool = true;
    const std::uint32_t capacity = 2u * (items + CLONE_SLACK);
    itemPool = allocateItems(capacity);
    poolCapacity = static_cast<std::uint16_t>(capacity);
}

void K2Board::copyFrom(const K2Board& other) {
    if (&other == this)
        return;
    reserveForCopy(other.liveItems);
    copyContents(other);
}

PackedPosition* K2Board::packPosition(void* memory) const {
    auto* packed = new (memory) PackedPosition;
    for (int i = 0; i < SQUARE_NB / 4; ++i) {
        const std::uint8_t* c = cells + 4 * i;
        packed->quads[i] = static_cast<std::uint8_t>((c[0] & 3) | (c[1] & 3) << 2 | (c[2] & 3) << 4 | (c[3] & 3) << 6);
    }
    packed->sideToMove = sideToMove;
    packed->unused = 0;
    packed->moveCount = moveCount;
    auto* record = reinterpret_cast<LineRecord*>(packed + 1);
    for (int p = 0; p < PLAYER_NB; ++p) {
        std::uint16_t length = 0;
        for (std::uint16_t i = threatList[p]; i != NO_ITEM; i = itemPool[i].next, ++length)
            *record++ = itemPool[i].record();
        packed->listLength[p] = length;
    }
    return packed;
}

void K2Board::copyFrom(const PackedPosition& packed) {
    const std::uint32_t items = std::uint32_t{packed.listLength[0]} + packed.listLength[1];
    reserveForCopy(items);
    for (int i = 0; i < SQUARE_NB / 4; ++i)
        std::memcpy(cells + 4 * i, QUAD_CELLS[packed.quads[i]].data(), 4);
    sideToMove = packed.sideToMove;
    moveCount = packed.moveCount;
    // The lists mark their squares as the bookkeeping does: the first entry of a
    // square sets its listed bit, the second its second-entry bit.
    const LineRecord* record = packed.records(0);
    std::uint16_t slot = 0;
    for (int p = 0; p < PLAYER_NB; ++p) {
        std::uint16_t* tail = &threatList[p];
        for (unsigned k = 0; k < packed.listLength[p]; ++k, ++record, ++slot) {
            std::uint8_t& cell = cells[record->square()];
            cell |= (cell & CELL_LISTED[p]) ? CELL_SECOND[p] : CELL_LISTED[p];
            itemPool[slot] = {record->code, record->squareDirs, NO_ITEM};
            *tail = slot;
            tail = &itemPool[slot].next;
        }
        *tail = NO_ITEM;
    }
    freeItems = NO_ITEM;
    poolUsed = liveItems = static_cast<std::uint16_t>(items);
}

void PackedPosition::estimate(int& first, int& second) const {
    auto winningHead = [this](int player) {
        const LineRecord* record = records(player);
        int n = 1;
        for (unsigned k = 0; k < listLength[player] && movesToWin(record[k].code) == 0; ++k)
            ++n;
        return n;
    };
    first = winningHead(1 - sideToMove);
    second = winningHead(sideToMove);
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
