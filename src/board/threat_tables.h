// Threat tables: line codes for the segments through an empty square, and the
// constant tables indexed by line code.
//
// Line code of a segment of n <= 9 cells: a leading 1 bit, then one bit per cell
// (1 = the player's stone or the square itself, 0 = empty), ordered from the end
// with the smaller column (smaller row for vertical). Codes 0 and 1 are the
// combination codes: double three and double four.
#pragma once

#include <array>
#include <cstdint>

#include "board/k2board.h"

namespace kelmo {

constexpr int LINE_CODE_NB = 1024;
constexpr int CODE_DOUBLE_THREE = 0;
constexpr int CODE_DOUBLE_FOUR = 1;

struct ThreatTables {
    std::array<std::int8_t, LINE_CODE_NB> movesToFive;
    std::array<std::int8_t, LINE_CODE_NB> movesToWin;
    std::array<std::int32_t, LINE_CODE_NB> lineValue;
    std::array<std::uint16_t, LINE_CODE_NB> defenceMask;  // bit i: cell position i
    // A threat list's order as one number, smaller first:
    //   bits 29-31: movesToFive, bits 26-28: movesToWin, bits 0-25: 2^26 - 1 - lineValue
    std::array<std::uint32_t, LINE_CODE_NB> listOrder;
    // Bit movesToFive and bit 8 + movesToWin: OR-ed over a square's four codes,
    // the lowest set bits give the least of each.
    std::array<std::uint16_t, LINE_CODE_NB> distanceBits;
};

extern const ThreatTables threatTables;

inline int movesToFive(int code) { return threatTables.movesToFive[code]; }
inline int movesToWin(int code) { return threatTables.movesToWin[code]; }
inline int lineValue(int code) { return threatTables.lineValue[code]; }
inline bool isDefence(int code, int position) { return (threatTables.defenceMask[code] >> position) & 1; }
inline std::uint32_t listOrder(int code) { return threatTables.listOrder[code]; }
inline unsigned distanceBits(int code) { return threatTables.distanceBits[code]; }

// Number of cells of a real code (the bits after the leading 1).
int codeLength(int code);

// The line codes of both players through one empty square, each counting the
// square itself as the player's stone: code[player][direction].
struct SquareLines {
    int square;
    std::uint16_t code[PLAYER_NB][DIRECTION_NB];

    LineRecord record(int player, int direction) const {
        return {code[player][direction], packSquareDirs(square, DIRECTION_MASK[direction])};
    }
};

// The line codes through the empty square s, read from the cells of its four
// windows with two table lookups per direction.
SquareLines computeLines(const K2Board& board, int s);

// The sum of the four line values of a square whose windows hold no stone. On
// such a square both players' codes are the same and depend only on how close
// the square stands to the edges.
extern const std::array<std::int32_t, SQUARE_NB> openWindowValue;

// The line code of one player's segment through s in one direction, with s
// itself counted as a stone (sBit 1) or as empty (sBit 0). Also reports the
// square of the segment's first cell (the smaller-column end).
int segmentCode(const K2Board& board, int s, int direction, int player, int sBit, int& firstSquare);

} // namespace kelmo
