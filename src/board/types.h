// Board room vocabulary: square numbering, directions, players and the cell byte.
#pragma once

#include <cstdint>

namespace kelmo {

// A square is y * 20 + x for column x and row y, each 0..19.
constexpr int BOARD_SIZE = 20;
constexpr int SQUARE_NB = BOARD_SIZE * BOARD_SIZE;
constexpr int CENTRE = 210;

constexpr int squareOf(int x, int y) { return y * BOARD_SIZE + x; }
constexpr int columnOf(int square) { return square % BOARD_SIZE; }
constexpr int rowOf(int square) { return square / BOARD_SIZE; }

// Player 1 is the brain, player 0 its opponent.
constexpr int PLAYER_NB = 2;

// The four line directions, always visited in this order: horizontal, vertical,
// diagonal (x+1, y+1), anti-diagonal (x-1, y+1).
constexpr int DIRECTION_NB = 4;
constexpr int DIRECTION_STEP[DIRECTION_NB] = {1, 20, 21, 19};
constexpr int DIRECTION_MASK[DIRECTION_NB] = {8, 4, 2, 1};

// Cell byte.
//   bit   1: empty square
//   bit   2: on an empty square the active flag; on a stone the colour (set = player 1)
//   bit   4: player 1's threat list holds an entry for the square
//   bit   8: player 0's threat list holds an entry for the square
//   bit  16: the square is in the candidate list (only while the generator runs)
//   bit  32: player 1's list holds a second entry for the square
//   bit  64: player 0's list holds a second entry for the square
// Stone codes: 2 for player 1, 0 for player 0; an empty flag-free square is 1.
constexpr std::uint8_t CELL_EMPTY = 1;
constexpr std::uint8_t CELL_ACTIVE = 2;
constexpr std::uint8_t CELL_COLOUR = 2;
constexpr std::uint8_t CELL_CANDIDATE = 16;
constexpr std::uint8_t CELL_LISTED[PLAYER_NB] = {8, 4};
constexpr std::uint8_t CELL_SECOND[PLAYER_NB] = {64, 32};

constexpr std::uint8_t STONE_OF[PLAYER_NB] = {0, 2};

} // namespace kelmo
