// Board life cycle: clear, play, clone, and a seeded random play-out that checks
// the bookkeeping's invariants after every stone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>

#include "board/k2board.h"
#include "board/threat_tables.h"
#include "support/board_diagram.h"

namespace kelmo {
namespace {

int listLength(const K2Board& board, int player) {
    int n = 0;
    for (const ThreatListItem* item = board.threatHead(player); item; item = board.nextThreat(item))
        ++n;
    return n;
}

TEST(K2Board, ClearThenPlayAlternatesColours) {
    K2Board board;
    board.clear();
    for (int sq = 0; sq < SQUARE_NB; ++sq)
        ASSERT_EQ(board.cells[sq], CELL_EMPTY);
    EXPECT_EQ(board.moveCount, 0);
    EXPECT_EQ(board.sideToMove, 0);
    board.play(CENTRE);
    EXPECT_EQ(board.cells[CENTRE], 0);
    EXPECT_EQ(board.sideToMove, 1);
    board.play(0);
    EXPECT_EQ(board.cells[0], 2);
    EXPECT_EQ(board.moveCount, 2);
    // Every touched square was inactive and is now active; nothing is listed yet.
    EXPECT_EQ(board.threatHead(0), nullptr);
    EXPECT_EQ(board.threatHead(1), nullptr);
    EXPECT_EQ(board.checkConsistency(), nullptr);
}

TEST(K2Board, PlayOnAListedSquareLeavesAPlainStoneAndNoEntries) {
    // Player 0's open three 210..212 lists 209 and 213 (and more) for player 0.
    auto board = test::setUpBoard({210, 211, 212}, {0, 19}, 1);
    ASSERT_TRUE(board->cells[209] & CELL_LISTED[0]);
    board->play(209);
    EXPECT_EQ(board->cells[209] & (CELL_EMPTY | CELL_COLOUR), CELL_COLOUR);
    for (const ThreatListItem* it = board->threatHead(0); it; it = board->nextThreat(it))
        EXPECT_NE(it->square(), 209);
    EXPECT_EQ(board->checkConsistency(), nullptr);
}

TEST(K2Board, CloneIsDeepAndIndependent) {
    auto board = test::setUpBoard({210, 211, 212, 150}, {0, 19, 399, 380}, 1);
    const int n0 = listLength(*board, 0), n1 = listLength(*board, 1);
    ASSERT_GT(n0, 0);
    std::unique_ptr<K2Board> copy(board->clone());
    EXPECT_EQ(std::memcmp(copy->cells, board->cells, SQUARE_NB), 0);
    EXPECT_EQ(test::threatListText(*copy, 0), test::threatListText(*board, 0));
    EXPECT_EQ(test::threatListText(*copy, 1), test::threatListText(*board, 1));
    EXPECT_NE(copy->threatHead(0), board->threatHead(0));

    const std::string before0 = test::threatListText(*board, 0);
    std::uint8_t cellsBefore[SQUARE_NB];
    std::memcpy(cellsBefore, board->cells, SQUARE_NB);
    bool decided = false;
    std::unique_ptr<K2Board> played(board->cloneAndPlay(213, decided));
    EXPECT_FALSE(decided);
    EXPECT_EQ(played->moveCount, board->moveCount + 1);
    EXPECT_EQ(std::memcmp(board->cells, cellsBefore, SQUARE_NB), 0);
    EXPECT_EQ(test::threatListText(*board, 0), before0);
    EXPECT_EQ(listLength(*board, 0), n0);
    EXPECT_EQ(listLength(*board, 1), n1);
}

TEST(K2Board, PlayReportsAFiveSquareForTheSideToMove) {
    // Player 0 builds four in a row (210..213). Player 1's stone at 208 touches
    // 209, where player 0, now to move, completes five: that play reports it.
    K2Board board;
    board.clear();
    for (int sq : {210, 0, 211, 19, 212, 380, 213})
        EXPECT_FALSE(board.play(sq)) << sq;
    // A stone far away re-evaluates nothing near the four: no report, but the
    // five-squares stay at the head of player 0's list for the generator.
    std::unique_ptr<K2Board> far(board.clone());
    EXPECT_FALSE(far->play(399));
    ASSERT_NE(far->threatHead(0), nullptr);
    EXPECT_EQ(movesToFive(far->threatHead(0)->code), 0);

    EXPECT_TRUE(board.play(208));
    // The five-square stays listed for the mover even though the update stopped there.
    bool listed = false;
    for (const ThreatListItem* it = board.threatHead(0); it; it = board.nextThreat(it))
        listed |= it->square() == 209 && movesToFive(it->code) == 0;
    EXPECT_TRUE(listed) << test::threatListText(board, 0);
    EXPECT_EQ(board.checkConsistency(), nullptr);
}

TEST(K2Board, SixInARowCountsAsFive) {
    // x x x . x x on row 3: the gap completes six.
    auto board = test::setUpBoard({399, 398, 397, 396, 395}, {60, 61, 62, 64, 65}, 1);
    bool found = false;
    for (const ThreatListItem* it = board->threatHead(1); it; it = board->nextThreat(it))
        if (it->square() == 63 && movesToFive(it->code) == 0)
            found = true;
    EXPECT_TRUE(found) << test::threatListText(*board, 1);
}

// Random games: after every stone the lists agree with the cell bits, stay
// sorted, never name a stone, and the move count matches the stones.
TEST(K2Board, RandomPlayoutsKeepBookkeepingConsistent) {
    std::mt19937 rng(20261210);
    int decidedCount = 0, entries = 0;
    for (int game = 0; game < 40; ++game) {
        K2Board board;
        board.clear();
        int centre = 150 + static_cast<int>(rng() % 100);
        for (int move = 0; move < 120; ++move) {
            int sq;
            do {
                int dx = static_cast<int>(rng() % 9) - 4, dy = static_cast<int>(rng() % 9) - 4;
                int x = std::clamp(columnOf(centre) + dx, 0, 19), y = std::clamp(rowOf(centre) + dy, 0, 19);
                sq = squareOf(x, y);
                if (!board.isEmpty(sq))
                    sq = static_cast<int>(rng() % SQUARE_NB);
            } while (!board.isEmpty(sq));
            if (board.play(sq))
                ++decidedCount;
            const char* fault = board.checkConsistency();
            ASSERT_EQ(fault, nullptr) << "game " << game << " move " << move << "\n" << test::diagramOf(board);
            entries += listLength(board, 0) + listLength(board, 1);
        }
    }
    // The play-outs must reach threats and decided positions, or they test nothing.
    EXPECT_GT(decidedCount, 0);
    EXPECT_GT(entries, 1000);
}

} // namespace
} // namespace kelmo
