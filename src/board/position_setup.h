// Setting a whole position up at once, from a list of stones. The BOARD command
// and every test fixture that starts from a position build their board here, so
// a test examines exactly the state the brain searches from.
#pragma once

#include <span>

#include "board/k2board.h"

namespace kelmo {

// One stone of a position: its square (0..399) and its player (1 = the brain,
// 0 = the opponent).
struct Stone {
    int square;
    int player;
};

// A new board holding the stones, with sideToMove to move and every empty square
// evaluated for that side, as BOARD leaves it. A square named twice keeps the
// later stone; moveCount is the number of stones standing, so the opening rules
// see the true count whatever the list repeats.
K2Board* setUpPosition(std::span<const Stone> stones, int sideToMove);

} // namespace kelmo
