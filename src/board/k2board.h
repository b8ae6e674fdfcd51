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

// A position as the search tree stores it: two bits per square, the side, the
// count and both lists' records in order, directly behind the header
// (player 0's list, then player 1's). The two bits are the low two of the cell
// byte (empty, and the active flag or the colour); the listed and second-entry
// bits follow from the lists and are set again when the position is unpacked
// with K2Board::copyFrom, and the candidate bit is never set outside the
// generator. About a quarter of a packed K2Board, for the same position.
class PackedPosition {
public:
    std::uint8_t quads[SQUARE_NB / 4];  // square 4i + k in bits 2k..2k+1 of byte i
    std::uint8_t sideToMove;
    std::uint8_t unused;
    std::uint16_t moveCount;
    std::uint16_t listLength[PLAYER_NB];

    static constexpr std::size_t bytesFor(std::size_t records) {
        return sizeof(PackedPosition) + records * sizeof(LineRecord);
    }
    std::size_t bytes() const { return bytesFor(std::size_t{listLength[0]} + listLength[1]); }

    // The records of a player's list, in list order.
    const LineRecord* records(int player) const {
        return reinterpret_cast<const LineRecord*>(this + 1) + (player == 0 ? 0 : listLength[0]);
    }
    // The low two bits of the square's cell byte.
    int cellBits(int square) const { return (quads[square >> 2] >> ((square & 3) * 2)) & 3; }
    // K2Board::estimate of the position, read straight from the records.
    void estimate(int& first, int& second) const;
};

static_assert(sizeof(PackedPosition) == 108);
static_assert(alignof(LineRecord) <= alignof(PackedPosition));

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
    // A block of its own holding at least items plus the slack of a copy.
    void reserveForCopy(std::uint32_t items);

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

    // The position in its stored form, built in positionBytes() of memory the
    // caller provides; the candidate bit must be clear on every square.
    std::size_t positionBytes() const { return PackedPosition::bytesFor(liveItems); }
    PackedPosition* packPosition(void* memory) const;
    // Turns this board into the position packed, exactly as the board it was
    // packed from: cells with their flags, both lists in order, side and count.
    void copyFrom(const PackedPosition& packed);

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
