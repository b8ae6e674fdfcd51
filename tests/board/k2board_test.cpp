// Board life cycle: clear, play, clone, seeded random play-outs that check the
// bookkeeping's invariants after every stone, and the stored form of a position.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

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

// A random empty square, mostly within four lines of centre, so that play-outs
// crowd together and build threats.
int randomEmptyNear(const K2Board& board, int centre, std::mt19937& rng) {
    int sq;
    do {
        int dx = static_cast<int>(rng() % 9) - 4, dy = static_cast<int>(rng() % 9) - 4;
        int x = std::clamp(columnOf(centre) + dx, 0, 19), y = std::clamp(rowOf(centre) + dy, 0, 19);
        sq = squareOf(x, y);
        if (!board.isEmpty(sq))
            sq = static_cast<int>(rng() % SQUARE_NB);
    } while (!board.isEmpty(sq));
    return sq;
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
            if (board.play(randomEmptyNear(board, centre, rng)))
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

// The stored form drops the list bits of the cells and the item links; unpacking
// must bring back exactly the board it was packed from, onto a board that held
// another position before (larger or smaller) as well as onto a fresh one, and
// the copy must play on exactly as the original does.
TEST(PackedPosition, UnpacksToTheBoardItWasPackedFrom) {
    std::mt19937 rng(20261211);
    K2Board reused;  // keeps whatever the previous round left in it
    reused.clear();
    std::vector<std::uint64_t> memory;
    int secondEntries = 0, listedSquares = 0, rounds = 0;
    for (int game = 0; game < 30; ++game) {
        K2Board board;
        board.clear();
        const int centre = 150 + static_cast<int>(rng() % 100);
        for (int move = 0; move < 110; ++move) {
            board.play(randomEmptyNear(board, centre, rng));
            SCOPED_TRACE(testing::Message() << "game " << game << " move " << move);
            memory.assign(board.positionBytes() / sizeof(std::uint64_t) + 1, 0xA5A5A5A5A5A5A5A5ull);
            const PackedPosition* packed = board.packPosition(memory.data());
            ASSERT_EQ(packed->bytes(), board.positionBytes());

            K2Board fresh;
            for (K2Board* copy : {&reused, &fresh}) {
                copy->copyFrom(*packed);
                ASSERT_EQ(std::memcmp(copy->cells, board.cells, SQUARE_NB), 0) << test::diagramOf(board);
                EXPECT_EQ(copy->sideToMove, board.sideToMove);
                EXPECT_EQ(copy->moveCount, board.moveCount);
                for (int p = 0; p < PLAYER_NB; ++p)
                    EXPECT_EQ(test::threatListText(*copy, p), test::threatListText(board, p)) << p;
                EXPECT_EQ(copy->checkConsistency(), nullptr);
            }
            for (int sq = 0; sq < SQUARE_NB; ++sq) {
                EXPECT_EQ(packed->cellBits(sq), board.cells[sq] & 3) << sq;
                secondEntries += (board.cells[sq] & (CELL_SECOND[0] | CELL_SECOND[1])) != 0;
                listedSquares += (board.cells[sq] & (CELL_LISTED[0] | CELL_LISTED[1])) != 0;
            }
            int first, second, packedFirst, packedSecond;
            board.estimate(first, second);
            packed->estimate(packedFirst, packedSecond);
            EXPECT_EQ(packedFirst, first);
            EXPECT_EQ(packedSecond, second);

            // The unpacked copy's item block takes the threats of further stones.
            {
                std::unique_ptr<K2Board> next(board.clone());
                const int square = randomEmptyNear(board, centre, rng);
                const bool nextDecided = next->play(square);
                EXPECT_EQ(fresh.play(square), nextDecided);
                EXPECT_EQ(std::memcmp(fresh.cells, next->cells, SQUARE_NB), 0);
                for (int p = 0; p < PLAYER_NB; ++p)
                    EXPECT_EQ(test::threatListText(fresh, p), test::threatListText(*next, p)) << p;
                EXPECT_EQ(fresh.checkConsistency(), nullptr);
            }
            ++rounds;
        }
    }
    // The positions must reach squares listed twice, or the rebuilt bits go untested.
    EXPECT_GT(rounds, 1000);
    EXPECT_GT(listedSquares, 1000);
    EXPECT_GT(secondEntries, 50);
}

} // namespace
} // namespace kelmo
