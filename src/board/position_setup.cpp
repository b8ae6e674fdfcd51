// Setting a whole position up at once: stones written into the cells, then the
// threat lists built from scratch for the side to move.
#include "board/position_setup.h"

namespace kelmo {

K2Board* setUpPosition(std::span<const Stone> stones, int sideToMove) {
    K2Board* board = new K2Board();
    board->clear();
    for (const Stone& stone : stones)
        board->cells[stone.square] = STONE_OF[stone.player];
    int standing = 0;
    for (int square = 0; square < SQUARE_NB; ++square)
        standing += !board->isEmpty(square);
    board->moveCount = static_cast<std::uint16_t>(standing);
    // The first pass only wakes the squares up (cells written directly are all
    // inactive); the second evaluates them for the side to move, so threats
    // already standing in the position are listed before anything searches it.
    // With one pass a four or five on the board would stay unseen until a later
    // stone touched it.
    board->rescan();
    board->sideToMove = static_cast<std::uint8_t>(sideToMove);
    board->rescan();
    return board;
}

} // namespace kelmo
