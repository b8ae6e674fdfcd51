// K2Board life cycle: construction, clearing, deep copies and playing a stone.
#include "board/k2board.h"

#include <cstring>

namespace kelmo {

namespace {

void freeList(ThreatListItem* item) {
    while (item) {
        ThreatListItem* next = item->next;
        delete item;
        item = next;
    }
}

ThreatListItem* copyList(const ThreatListItem* item) {
    ThreatListItem* head = nullptr;
    ThreatListItem** tail = &head;
    for (; item; item = item->next) {
        *tail = new ThreatListItem{item->code, item->squareDirs, nullptr};
        tail = &(*tail)->next;
    }
    return head;
}

} // namespace

K2Board::K2Board() : threatList{nullptr, nullptr}, sideToMove(0), moveCount(0) {}

K2Board::~K2Board() {
    freeList(threatList[0]);
    freeList(threatList[1]);
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
    copy->threatList[0] = copyList(threatList[0]);
    copy->threatList[1] = copyList(threatList[1]);
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
