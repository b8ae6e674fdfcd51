// Threat bookkeeping: what is listed, in which order, and when squares go
// active or inactive.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "board/k2board.h"
#include "board/threat_tables.h"
#include "support/board_diagram.h"

namespace kelmo {
namespace {

std::vector<const ThreatListItem*> entriesOf(const K2Board& board, int player, int square) {
    std::vector<const ThreatListItem*> found;
    for (const ThreatListItem* it = board.threatHead(player); it; it = board.nextThreat(it))
        if (it->square() == square)
            found.push_back(it);
    return found;
}

TEST(ThreatList, OpenFourSquaresHeadTheList) {
    K2Board board;
    board.clear();
    // Player 0 at 210, 211 and 212; player 1 far away.
    for (int sq : {210, 0, 211, 19})
        board.play(sq);
    board.play(212);
    ASSERT_NE(board.threatHead(0), nullptr) << test::threatListText(board, 0);
    const ThreatListItem* first = board.threatHead(0);
    const ThreatListItem* second = board.nextThreat(first);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(first->square(), 209);
    EXPECT_EQ(first->code, 0b1000011110);  // ....XXXX.
    EXPECT_EQ(movesToWin(first->code), 0);
    EXPECT_EQ(movesToFive(first->code), 1);
    EXPECT_EQ(second->square(), 213);
    EXPECT_EQ(movesToWin(second->code), 0);
    // The fours at 208 and 214 follow.
    std::vector<int> rest;
    for (const ThreatListItem* it = board.nextThreat(second); it; it = board.nextThreat(it))
        rest.push_back(it->square());
    ASSERT_GE(rest.size(), 2u);
    EXPECT_TRUE(std::find(rest.begin(), rest.end(), 208) != rest.end());
    EXPECT_TRUE(std::find(rest.begin(), rest.end(), 214) != rest.end());
    EXPECT_EQ(board.checkConsistency(), nullptr);
}

TEST(ThreatList, FourThreeGetsTwoEntriesAndTheSecondEntryBit) {
    // Player 0: a closed three on row 10 (x 6..8, blocked at x 5 by player 1)
    // and an open two on column 9 (rows 8, 9, 12 apart), meeting at (9, 10).
    // At (9, 10): row gives ..XXXX -> a four; column gives an open three.
    auto board = test::setUpBoard({squareOf(6, 10), squareOf(7, 10), squareOf(8, 10),
                                        squareOf(9, 8), squareOf(9, 9)},
                                       {squareOf(5, 10), 0, 399, 19, 380}, 0);
    // Touch the square again so it is evaluated with everything in place.
    const int s = squareOf(9, 10);
    board->evaluateSquare(s);
    auto found = entriesOf(*board, 0, s);
    ASSERT_EQ(found.size(), 2u) << test::threatListText(*board, 0);
    EXPECT_EQ(movesToFive(found[0]->code), 1);
    EXPECT_EQ(movesToWin(found[0]->code), 1);
    EXPECT_EQ(found[0]->directions(), 8);
    EXPECT_EQ(found[1]->code, CODE_DOUBLE_THREE);
    EXPECT_EQ(found[1]->directions(), 8 | 4);
    EXPECT_TRUE(board->cells[s] & CELL_SECOND[0]);
    EXPECT_EQ(board->checkConsistency(), nullptr);

    board->play(s);
    EXPECT_TRUE(entriesOf(*board, 0, s).empty());
    EXPECT_FALSE(board->cells[s] & (CELL_SECOND[0] | CELL_LISTED[0]));
    EXPECT_EQ(board->checkConsistency(), nullptr);
}

TEST(ThreatList, SquaresGoInactiveOnlyWhenBothSidesAreFarFromAWin) {
    K2Board board;
    board.clear();
    board.cells[210] = STONE_OF[0];
    board.moveCount = 1;
    const struct {
        int square;
        bool active;
        const char* why;
    } cases[] = {
        {211, true, "next to the stone: an open two, two moves from an open four"},
        {215, false, "the stone lies outside every window: both sides three moves away"},
        {30, false, "an empty corner region"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(board.evaluateSquare(c.square));
        EXPECT_TRUE(board.cells[c.square] & CELL_ACTIVE) << "first touch only activates: " << c.why;
        EXPECT_FALSE(board.evaluateSquare(c.square));
        EXPECT_EQ(bool(board.cells[c.square] & CELL_ACTIVE), c.active) << c.why;
    }
    EXPECT_EQ(board.threatHead(0), nullptr);
    EXPECT_EQ(board.threatHead(1), nullptr);
}

TEST(ThreatList, EstimateCountsWinningEntriesAtTheHead) {
    K2Board empty;
    empty.clear();
    int first = 0, second = 0;
    empty.estimate(first, second);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);

    // Player 0 has an open three (two open-four squares head its list) and is
    // not to move after player 1's reply.
    auto board = test::setUpBoard({210, 211, 212}, {0, 19}, 1);
    board->estimate(first, second);
    EXPECT_EQ(first, 3);
    EXPECT_EQ(second, 1);
}

TEST(ThreatList, RescanAfterASetupOnlyActivates) {
    K2Board board;
    board.clear();
    board.cells[210] = STONE_OF[0];
    board.cells[211] = STONE_OF[0];
    board.cells[212] = STONE_OF[0];
    board.moveCount = 3;
    EXPECT_FALSE(board.rescan());
    EXPECT_EQ(board.threatHead(0), nullptr);
    EXPECT_EQ(board.threatHead(1), nullptr);
    for (int sq = 0; sq < SQUARE_NB; ++sq) {
        if (board.isEmpty(sq)) {
            ASSERT_TRUE(board.cells[sq] & CELL_ACTIVE) << sq;
        }
    }
    // A second rescan evaluates: the open three's squares appear.
    board.sideToMove = 1;
    board.rescan();
    ASSERT_NE(board.threatHead(0), nullptr);
    EXPECT_EQ(movesToWin(board.threatHead(0)->code), 0);
}

} // namespace
} // namespace kelmo
