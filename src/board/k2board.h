// K2Board: one game position with its cell bytes, both players' sorted threat
// lists, the side to move and the stone count. Boards only move forward; the
// search keeps earlier positions by cloning.
#pragma once

#include <cstddef>
#include <cstdint>

#include "board/types.h"

namespace kelmo {

// A line code and the packed square-and-directions field.
//   squareDirs bits 4..12: square index; bits 0..3: direction mask (8/4/2/1)
struct LineRecord {
    std::uint16_t code;
    std::uint16_t squareDirs;

    int square() const { return squareDirs >> 4; }
    int directions() const { return squareDirs & 15; }
};

static_assert(sizeof(LineRecord) == 4);

constexpr std::uint16_t packSquareDirs(int square, int directions) {
    return static_cast<std::uint16_t>(square * 16 + directions);
}

// A threat list entry: a line record plus the link to the next entry, the
// index of that entry in its board's item pool (NO_ITEM ends the list). Index
// links make a board's lists position-independent: a copy is packed in one pass.
constexpr std::uint16_t NO_ITEM = 0xFFFF;

struct ThreatListItem {
    std::uint16_t code;
    std::uint16_t squareDirs;
    std::uint16_t next;

    int square() const { return squareDirs >> 4; }
    int directions() const { return squareDirs & 15; }
    LineRecord record() const { return {code, squareDirs}; }
};

static_assert(sizeof(ThreatListItem) == 6);
static_assert(alignof(ThreatListItem) <= 8);

class K2Board {
public:
    std::uint8_t cells[SQUARE_NB];
    std::uint16_t threatList[PLAYER_NB];    // head item per player, NO_ITEM when empty
    std::uint8_t sideToMove;                // player whose stone the next play places

private:
    // False for a packed board, whose items sit right behind it in memory the
    // board does not own (see packInto).
    bool ownsPool;

public:
    std::uint16_t moveCount;

private:
    // Both lists' items live in one block owned by the board, so a copy costs one
    // allocation and a board's teardown one free, however many threats it lists.
    // Removed items go to a free list; a full block is replaced by one twice its
    // size (the index links stay valid). At most two entries per empty square and
    // player keep every index below NO_ITEM, and every count in 16 bits.
    ThreatListItem* itemPool;
    std::uint16_t freeItems;
    std::uint16_t poolCapacity;
    std::uint16_t poolUsed;
    std::uint16_t liveItems;

    std::uint16_t newItem();
    void releaseItem(std::uint16_t index);
    void growPool();
    // Cells, side, count and both lists of other, the items packed in list order
    // into this board's block, which must hold other.liveItems of them.
    void copyContents(const K2Board& other);

public:

    // Cells are undefined until clear() or a copy fills them.
    K2Board();
    ~K2Board();
    K2Board(const K2Board&) = delete;
    K2Board& operator=(const K2Board&) = delete;

    // All squares empty without flags, no stones, player 0 to move.
    // Only for a board whose lists are empty.
    void clear();

    // A deep copy on the heap: cells, side, count and both lists in order.
    K2Board* clone() const;

    // Turns this board into a deep copy of other, keeping its own item block when
    // that is large enough: a board reused for many positions stops allocating.
    void copyFrom(const K2Board& other);

    // A packed copy: the board with its items right behind it, packedBytes() in
    // all, built in memory the caller provides and keeps. It allocates nothing,
    // so it is neither destroyed nor deleted; its memory is simply reused. It is
    // for reading and generating candidates, not for playing on: a play that
    // needs room for more items would have none.
    std::size_t packedBytes() const { return sizeof(K2Board) + std::size_t{liveItems} * sizeof(ThreatListItem); }
    K2Board* packInto(void* memory) const;

    // Places a stone of sideToMove on the (empty) square, passes the turn and
    // updates the threat lists. True when the player now to move can complete
    // five with one stone.
    bool play(int square);

    // clone() with play(square) applied to the copy; decided receives play's report.
    K2Board* cloneAndPlay(int square, bool& decided) const;

    // Threat bookkeeping (threat_list.cpp).
    void insertThreat(int player, LineRecord record);
    void removeEntries(int player, int square);
    bool evaluateSquare(int square);
    bool updateAround(int square);
    bool rescan();
    // first: 1 + winning-class entries heading the list of the player not to
    // move; second: the same over the side to move's list.
    void estimate(int& first, int& second) const;

    // Walking a list: the head item of a player, then each item's successor.
    const ThreatListItem* threatHead(int player) const {
        return threatList[player] == NO_ITEM ? nullptr : &itemPool[threatList[player]];
    }
    const ThreatListItem* nextThreat(const ThreatListItem* item) const {
        return item->next == NO_ITEM ? nullptr : &itemPool[item->next];
    }

    bool isEmpty(int square) const { return cells[square] & CELL_EMPTY; }
    // Owner of a stone: 1 or 0. Only meaningful on a stone.
    int stoneOwner(int square) const { return (cells[square] & CELL_COLOUR) ? 1 : 0; }

    // Recomputes what the incremental bookkeeping maintains and returns null when
    // everything agrees, otherwise a short description of the first broken invariant.
    const char* checkConsistency() const;
};

} // namespace kelmo
