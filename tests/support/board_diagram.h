// Test boards: positions set up exactly as the BOARD command sets them up, from
// square lists or from small ASCII diagrams; boards built by playing stones in
// order; and text renderings of a board for failure messages.
//
// A diagram is rows of cells, one row per line: 'x' (or 'X') is a stone of
// player 1 (the brain), 'o' (or 'O') a stone of player 0, '.' an empty square.
// Its first cell stands on the origin square; rows may be shorter than the board
// and need not be equally long. Blanks within a line are skipped, so rows can be
// indented and cells spaced out, and lines without cells are skipped, so a raw
// string can start on the line after its opening quote:
//
//     boardFromDiagram(R"(
//         . x x x .
//         . o o o x
//     )", 1, 8, 10);      // player 1 to move; the first '.' is square (8, 10)
#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "board/k2board.h"
#include "board/position_setup.h"

namespace kelmo::test {

// The position with the given stones of each player, set up by setUpPosition.
std::unique_ptr<K2Board> setUpBoard(const std::vector<int>& player0, const std::vector<int>& player1,
                                    int sideToMove);

// The stones of a diagram whose first cell stands on (originX, originY). False,
// with the reason in error, for a character that is no cell and no blank, or a
// cell off the board.
bool parseDiagram(std::string_view diagram, int originX, int originY, std::vector<Stone>& stones,
                  std::string& error);

// The diagram's position set up by setUpPosition; a malformed diagram fails the
// calling test and gives an empty board.
std::unique_ptr<K2Board> boardFromDiagram(std::string_view diagram, int sideToMove, int originX = 0,
                                          int originY = 0);

// Plays the squares in order on a cleared board (player 0 first).
std::unique_ptr<K2Board> playSequence(std::initializer_list<int> squares);

// Renders the board as 20 rows of 'x', 'o' and '.'.
std::string diagramOf(const K2Board& board);

// The threat list of one player as "square:code:dirs" items.
std::string threatListText(const K2Board& board, int player);

} // namespace kelmo::test
