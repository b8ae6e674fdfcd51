// Test fixtures as board diagrams: 'x' = player 1 (the brain), 'o' = player 0,
// '.' = empty, one row per line (rows may be shorter than 20; missing cells are empty).
// Or a list of stones played in order through play().
#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "board/k2board.h"

namespace kelmo::test {

// Plays the squares in order on a cleared board (player 0 first).
std::unique_ptr<K2Board> playSequence(std::initializer_list<int> squares);

// Plays player 0's stones and player 1's stones alternately through play(),
// filling the shorter side with far-away stones never needed; then sets side to
// move. Builds real bookkeeping, unlike a diagram written into the cells.
std::unique_ptr<K2Board> boardWithStones(const std::vector<int>& player0, const std::vector<int>& player1,
                                         int sideToMove);

// Renders the board as rows of 'x', 'o' and '.'.
std::string diagramOf(const K2Board& board);

// The threat list of one player as "square:code:dirs" items.
std::string threatListText(const K2Board& board, int player);

} // namespace kelmo::test
