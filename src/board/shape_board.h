// ShapeBoard: the pro brain's board for make/undo search. Besides the stones it
// keeps, for every empty square and both players, the class of each of the four
// lines through the square (as if the player's stone stood there), the shape
// those four classes make together, the squares per (player, shape) (counted,
// and from a closed three up listed), the squares in play and a Zobrist key,
// all updated incrementally by play and undo. Fixed-size arrays only: play and
// undo never allocate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "board/position_setup.h"
#include "board/types.h"

namespace kelmo {

// The class of one line through an empty square for one player, with the
// player's stone on the square: what the segment of up to nine cells (four on
// each side, bounded by the opponent's stones and the edge) can still become.
// Ordered weakest to strongest.
enum LineClass : std::uint8_t {
    LINE_DEAD,          // no five fits in the segment
    LINE_ONE,           // five fits, but no run of five holds another stone of the player
    LINE_TWO,           // two stones in a run of five, no open three next move
    LINE_OPEN_TWO,      // one move makes an open three
    LINE_CLOSED_THREE,  // one move makes a four, none makes an open four
    LINE_THREE,         // open three: one move makes an open four (or two fours in the line)
    LINE_FOUR,          // exactly one square completes five
    LINE_DOUBLE_FOUR,   // two squares complete five, not as .XXXX. (X.XXX.X, XX.XX.XX, ...)
    LINE_OPEN_FOUR,     // .XXXX.: two squares complete five
    LINE_FIVE,          // five or more in a row (freestyle: an overline wins)
    LINE_CLASS_NB
};

// The combined shape of a player's stone on an empty square, from its four line
// classes, ordered weakest to strongest. FOUR_FOUR counts two fours in one line
// (LINE_DOUBLE_FOUR) as well as in two lines; FOUR_THREE is a four with an open
// three in another line; THREE_THREE two open threes in two lines.
enum Shape : std::uint8_t {
    SHAPE_NONE,
    SHAPE_TWO,           // a closed two
    SHAPE_OPEN_TWO,      // one open two
    SHAPE_CLOSED_THREE,  // a closed three (a four next move)
    SHAPE_TWO_TWO,       // two open twos
    SHAPE_THREE,         // one open three
    SHAPE_THREE_THREE,
    SHAPE_FOUR,          // one four
    SHAPE_FOUR_THREE,
    SHAPE_FOUR_FOUR,
    SHAPE_OPEN_FOUR,
    SHAPE_FIVE,
    SHAPE_NB
};

// The shape of four line classes; exposed so that tests and evaluators see the
// same combination rule the board applies.
Shape combineClasses(LineClass a, LineClass b, LineClass c, LineClass d);

// The class of a line code (threat_tables.h's encoding: a leading 1, then a bit
// per cell, the square counted as a stone), from a table built at compile time.
LineClass classOfCode(int code);

// A key's slot among count slots: the high half of key x count. Any count
// works, so a table takes the whole of the bytes it is given, not the largest
// power of two below them.
inline std::size_t slotOf(std::uint64_t key, std::size_t count) {
    return static_cast<std::size_t>((static_cast<unsigned __int128>(key) * count) >> 64);
}

class ShapeBoard {
public:
    ShapeBoard() { clear(); }

    // Empty board, player 0 to move, no history.
    void clear();
    // The stones (a square named twice keeps the later stone) with sideToMove to
    // move. The stones enter the history, so undo could take them back one by one.
    void setUp(std::span<const Stone> stones, int sideToMove);
    // A stone of sideToMove on an empty square; the side flips.
    void play(int square);
    // Takes back the last play (or null move). The history holds MAX_HISTORY plies.
    void undo();
    // Passes the turn: the side flips and the key with it, the stones stay.
    // Undone by undo() like a play.
    void playNull();

    int sideToMove() const { return side_; }
    int stoneCount() const { return stones_; }
    // Plies in the history (plays and null moves since clear, set-up stones included).
    int historyLength() const { return historyLength_; }
    // Zobrist key of the stones and the side to move.
    std::uint64_t key() const { return key_; }
    bool isEmpty(int square) const { return cell_[square] == EMPTY_CELL; }
    // 0/1 on a stone, -1 on an empty square.
    int owner(int square) const { return cell_[square] == EMPTY_CELL ? -1 : cell_[square]; }
    // The last stone played, -1 when none (a null move gives -1 as well).
    int lastMove() const { return historyLength_ ? history_[historyLength_ - 1] : -1; }

    // SHAPE_NONE on a stone.
    Shape shape(int square, int player) const { return static_cast<Shape>(info_[square].shape[player]); }
    // Line class in direction d (0..3, types.h order); LINE_DEAD on a stone.
    LineClass lineClass(int square, int player, int direction) const {
        return static_cast<LineClass>(info_[square].classes[direction] >> (4 * player) & 15);
    }
    // The line code the class comes from, 0 on a stone. threat_tables.h's
    // encoding, its cells ordered from the smaller square index (for the
    // anti-diagonal that is the larger column; classes do not depend on the order).
    int lineCode(int square, int player, int direction) const;
    // A static value of the player's stone on the square: the sum of its four
    // classes' values, for move ordering and evaluation. 0 on a stone.
    int squareValue(int square, int player) const;

    // The empty squares of a shape for a player, in no particular order; the
    // order changes with play and undo, so copy the squares before playing any of
    // them. Only shapes from FIRST_LISTED_SHAPE up are listed: the weaker ones
    // change with nearly every stone and are only counted (SHAPE_NONE not even
    // that), and their lists are empty.
    static constexpr Shape FIRST_LISTED_SHAPE = SHAPE_CLOSED_THREE;
    int count(int player, Shape shape) const { return shapeCount_[player][shape]; }
    std::span<const std::int16_t> squares(int player, Shape shape) const {
        return {shapeList_[player][shape],
                static_cast<std::size_t>(shape >= FIRST_LISTED_SHAPE ? shapeCount_[player][shape] : 0)};
    }
    // Squares whose shape for the player is at least `shape`.
    int countAtLeast(int player, Shape shape) const;

    // Squares in play: the empty squares within two cells of a stone along one of
    // the four lines (the 16 squares at distance one or two in the eight senses).
    // An empty board has none. A list with an index per square; its order changes
    // with play and undo.
    int inPlayCount() const { return inPlayCount_; }
    std::span<const std::int16_t> inPlay() const {
        return {inPlayList_, static_cast<std::size_t>(inPlayCount_)};
    }
    bool isInPlay(int square) const { return inPlayIndex_[square] >= 0; }

    // Recomputes everything kept incrementally from the cells alone, by a plain
    // walk of each line: null when all agrees, else the first difference found.
    // Slow; for tests.
    const char* checkConsistency() const;

    static constexpr int MAX_HISTORY = SQUARE_NB + 128;

private:
    static constexpr std::uint8_t EMPTY_CELL = 2;
    static constexpr std::int16_t NULL_MOVE = -1;

    // Everything kept about one square, together for the update's locality.
    struct SquareInfo {
        // The eight neighbours per direction, two bits each: 0 empty, 1 player 0's
        // stone, 2 player 1's, 3 off the board. Low byte: the cells towards smaller
        // square indices, nearest in bits 0-1; high byte: towards larger, the same.
        std::uint16_t window[DIRECTION_NB];
        // Both players' classes per direction from one table look-up of the
        // window: player 0's in the low four bits, player 1's in the high.
        std::uint8_t classes[DIRECTION_NB];
        std::uint16_t classKey[PLAYER_NB];  // the four classes as one index of the shape table
        std::uint8_t shape[PLAYER_NB];
    };

    void placeStone(int square, int player);
    void removeStone(int square);
    void refresh(int square, int direction);
    void reclass(int square, int player, int direction, int before, int after);
    void refreshAll(int square);
    void setShape(int square, int player, Shape shape);
    void addInPlay(int square);
    void removeInPlay(int square);

    SquareInfo info_[SQUARE_NB];
    std::uint8_t cell_[SQUARE_NB];
    std::uint8_t near_[SQUARE_NB];  // stones at distance one or two along the lines
    std::int16_t shapeIndex_[PLAYER_NB][SQUARE_NB];
    std::int16_t shapeList_[PLAYER_NB][SHAPE_NB][SQUARE_NB];
    std::int16_t shapeCount_[PLAYER_NB][SHAPE_NB];
    std::int16_t inPlayList_[SQUARE_NB];
    std::int16_t inPlayIndex_[SQUARE_NB];
    std::int16_t inPlayCount_;
    std::int16_t history_[MAX_HISTORY];
    int historyLength_;
    int side_;
    int stones_;
    std::uint64_t key_;
};

} // namespace kelmo
