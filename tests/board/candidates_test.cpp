// The move generator: opening rules, forced answers, defences and best squares.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "board/candidates.h"
#include "board/threat_tables.h"
#include "plain_segment.h"
#include "support/board_diagram.h"

namespace kelmo {
namespace {

std::vector<int> listed(const CandidateList& list) { return std::vector<int>(list.squares, list.squares + list.count); }

void expectNoCandidateBits(const K2Board& board) {
    for (int sq = 0; sq < SQUARE_NB; ++sq)
        ASSERT_FALSE(board.cells[sq] & CELL_CANDIDATE) << sq;
}

TEST(Candidates, OpeningRules) {
    CandidateList list{};
    const struct {
        std::vector<int> player0, player1;
        std::vector<int> expected;
    } cases[] = {
        {{}, {}, {210}},
        {{210}, {}, {229}},
        {{0}, {}, {21}},
        {{399}, {}, {378}},
        {{210}, {190}, {191}},
        {{210}, {229}, {209}},
        {{211}, {230}, {231}},  // east comes before south in the look-round
    };
    for (const auto& c : cases) {
        auto board = test::setUpBoard(c.player0, c.player1, 1);
        EXPECT_EQ(generateCandidates(*board, list), VERDICT_OPEN);
        EXPECT_EQ(listed(list), c.expected) << test::diagramOf(*board);
    }
}

TEST(Candidates, TwoStoneRuleNamingAnOccupiedSquareFallsBackToTheGeneralRules) {
    CandidateList list{};
    // West of the centre and its answer (north-west) both hold stones.
    auto board = test::setUpBoard({209}, {189}, 1);
    ASSERT_EQ(board->moveCount, 2);
    EXPECT_EQ(generateCandidates(*board, list), VERDICT_OPEN);
    ASSERT_GT(list.count, 0);
    for (int sq : listed(list))
        EXPECT_TRUE(board->isEmpty(sq)) << sq;
    expectNoCandidateBits(*board);
}

TEST(Candidates, FiveSquaresDecideAtOnce) {
    CandidateList list{};
    // Player 1 (to move) has four in a row: it completes five even though
    // player 0 also threatens five.
    auto both = test::setUpBoard({105, 106, 107, 108}, {305, 306, 307, 308}, 1);
    EXPECT_EQ(generateCandidates(*both, list), VERDICT_WIN);
    ASSERT_EQ(list.count, 1);
    EXPECT_TRUE(list.squares[0] == 304 || list.squares[0] == 309);

    // Player 0 threatens five at one square only (104 is blocked): block it.
    auto one = test::setUpBoard({105, 106, 107, 108}, {104, 0, 19, 399}, 1);
    EXPECT_EQ(generateCandidates(*one, list), VERDICT_OPEN);
    EXPECT_EQ(listed(list), std::vector<int>{109});

    // Two five-squares of player 0: lost.
    auto two = test::setUpBoard({105, 106, 107, 108}, {0, 19, 399, 380}, 1);
    EXPECT_EQ(generateCandidates(*two, list), VERDICT_LOSS);
    ASSERT_EQ(list.count, 1);
    EXPECT_TRUE(list.squares[0] == 104 || list.squares[0] == 109);
    expectNoCandidateBits(*two);
}

TEST(Candidates, OpenFourToMakeWins) {
    CandidateList list{};
    // Player 1 to move with an open three; player 0 has nothing as fast.
    auto board = test::setUpBoard({0, 19, 380}, {210, 211, 212}, 1);
    EXPECT_EQ(generateCandidates(*board, list), VERDICT_WIN);
    ASSERT_EQ(list.count, 1);
    EXPECT_TRUE(list.squares[0] == 209 || list.squares[0] == 213);
}

TEST(Candidates, DefencesAgainstAnOpenThreeAndTheSecondThree) {
    CandidateList list{};
    auto board = test::setUpBoard({210, 211, 212}, {0, 19}, 1);
    EXPECT_EQ(generateCandidates(*board, list), VERDICT_OPEN);
    EXPECT_EQ(listed(list), (std::vector<int>{209, 213})) << test::threatListText(*board, 0);
    expectNoCandidateBits(*board);

    // A second open three in another line (column 12, rows 4..6) is not covered.
    // The two threes rank alike, and the set-up lists squares in board order, so
    // the column three's end at (12, 3) heads the list: the one square offered
    // answers that three and leaves the row three standing.
    auto two = test::setUpBoard({210, 211, 212, 92, 112, 132}, {0, 19, 399, 380, 360}, 1);
    EXPECT_EQ(generateCandidates(*two, list), VERDICT_LOSS) << test::threatListText(*two, 0);
    EXPECT_EQ(listed(list), std::vector<int>{squareOf(12, 3)}) << test::threatListText(*two, 0);
    EXPECT_EQ(two->threatHead(0)->square(), squareOf(12, 3)) << test::threatListText(*two, 0);
    expectNoCandidateBits(*two);
}

TEST(Candidates, AnswersToThreesThenBestSquares) {
    CandidateList list{};
    // Player 0 at 210 and 211, player 1 at 399, player 1 to move.
    auto board = test::setUpBoard({210, 211}, {399}, 1);
    EXPECT_EQ(generateCandidates(*board, list), VERDICT_OPEN);
    std::vector<int> got = listed(list);
    ASSERT_EQ(got.size(), 10u) << test::threatListText(*board, 0);
    EXPECT_EQ(got[0], 209);
    EXPECT_EQ(got[1], 212);
    EXPECT_EQ(got[2], 208);
    EXPECT_EQ(got[3], 213);
    for (int sq : got)
        EXPECT_TRUE(board->isEmpty(sq));
    expectNoCandidateBits(*board);
}

TEST(Candidates, DoubleThreeWinsOnlyWhenTheOpponentHasNoFour) {
    CandidateList list{};
    // Player 1 (to move) makes two open threes at 210: row 209..211 missing the
    // centre, and column 190..230 missing the centre.
    auto quiet = test::setUpBoard({0, 19, 380, 399}, {209, 211, 190, 230}, 1);
    EXPECT_EQ(generateCandidates(*quiet, list), VERDICT_WIN) << test::threatListText(*quiet, 1);
    EXPECT_EQ(listed(list), std::vector<int>{210});

    // The same with player 0 holding a four-square (a closed three plus one).
    auto answered = test::setUpBoard({60, 61, 62, 19, 380}, {209, 211, 190, 230, 59}, 1);
    ASSERT_NE(answered->threatHead(0), nullptr);
    ASSERT_EQ(movesToFive(answered->threatHead(0)->code), 1) << test::threatListText(*answered, 0);
    EXPECT_EQ(generateCandidates(*answered, list), VERDICT_OPEN);
    expectNoCandidateBits(*answered);
}

TEST(Candidates, BestSquaresKeepOnlyThoseNearTheTop) {
    CandidateList list{};
    auto expectListedWithBits = [&list](const K2Board& board) {
        for (int sq : listed(list)) {
            EXPECT_TRUE(board.isEmpty(sq)) << sq;
            EXPECT_TRUE(board.cells[sq] & CELL_CANDIDATE) << sq;
        }
    };
    {
        // An empty board: a square four cells or more from every edge has full
        // windows, the best there is, so all of them tie. The visit starts at row
        // 10, whose first such squares are columns 4 on; the earlier visited
        // stays above on a tie, and a square already listed is passed over.
        auto board = test::setUpBoard({}, {}, 1);
        list.count = 0;
        ASSERT_TRUE(addCandidate(*board, list, 205));
        addBestSquares(*board, list, 8);
        EXPECT_EQ(listed(list), (std::vector<int>{205, 204, 206, 207, 208, 209, 210, 211, 212}));
        expectListedWithBits(*board);
        auto fresh = test::setUpBoard({}, {}, 1);
        list.count = 0;
        addBestSquares(*fresh, list, 3);
        EXPECT_EQ(listed(list), (std::vector<int>{204, 205, 206}));
    }
    {
        // The same pair of stones for each side, mirrored across the board's
        // middle row. The mover's potential counts five times the opponent's, so
        // the squares that make the mover's pair a three come first: (7, 5)
        // before its mirror image (10, 5), in visiting order.
        auto board = test::setUpBoard({squareOf(8, 14), squareOf(9, 14)}, {squareOf(8, 5), squareOf(9, 5)}, 1);
        list.count = 0;
        addBestSquares(*board, list, 8);
        std::vector<int> got = listed(list);
        ASSERT_EQ(got.size(), 8u) << test::diagramOf(*board);
        EXPECT_EQ(got[0], squareOf(7, 5));
        EXPECT_EQ(got[1], squareOf(10, 5));
        expectListedWithBits(*board);
    }
    {
        // A five-square is worth over a hundred times any other square here, and
        // only squares scoring a hundredth of the best are kept: it stays alone.
        auto board = test::setUpBoard({399, 398, 379, 378}, {0, 1, 2, 3}, 1);
        list.count = 0;
        addBestSquares(*board, list, 8);
        EXPECT_EQ(listed(list), std::vector<int>{4}) << test::diagramOf(*board);
        expectListedWithBits(*board);
    }
}

TEST(Candidates, BestSquaresRankByThePlainScoreOnRandomPositions) {
    // The pass scores a square with no stone in its windows from a table and
    // skips newcomers that cannot move up: the ranking must still be the one
    // the line values give, near the edges and corners too.
    auto plainScore = [](const K2Board& board, int sq) {
        long long own = 0, theirs = 0;
        for (int d = 0; d < DIRECTION_NB; ++d) {
            own += lineValue(test::plainSegmentCode(board, columnOf(sq), rowOf(sq), d, board.sideToMove));
            theirs += lineValue(test::plainSegmentCode(board, columnOf(sq), rowOf(sq), d, 1 - board.sideToMove));
        }
        return 5 * own + theirs;
    };
    CandidateList list{};
    auto expectRanked = [&](K2Board& board, const std::string& what) {
        list.count = 0;
        addBestSquares(board, list, 8);
        const std::vector<int> got = listed(list);
        const std::string where = what + "\n" + test::diagramOf(board);
        ASSERT_FALSE(got.empty()) << where;
        ASSERT_LE(got.size(), 8u) << where;
        ASSERT_EQ(std::set<int>(got.begin(), got.end()).size(), got.size()) << where;
        for (size_t i = 1; i < got.size(); ++i)
            ASSERT_GE(plainScore(board, got[i - 1]), plainScore(board, got[i])) << where;
        const long long last = plainScore(board, got.back());
        for (int sq = 0; sq < SQUARE_NB; ++sq) {
            if (!board.isEmpty(sq) || (board.cells[sq] & CELL_CANDIDATE))
                continue;
            ASSERT_LE(plainScore(board, sq), last) << "square " << sq << " left out, " << where;
        }
        for (int sq : got)
            board.cells[sq] &= static_cast<std::uint8_t>(~CELL_CANDIDATE);
    };

    // Few stones anywhere: squares far from every stone compete with the ones
    // beside the stones, near the edges and corners too.
    std::mt19937 scatter(7);
    for (int position = 0; position < 300; ++position) {
        K2Board board;
        board.clear();
        const int stones = 1 + position % 6;
        while (board.moveCount < stones) {
            const int sq = static_cast<int>(scatter() % SQUARE_NB);
            if (board.isEmpty(sq))
                board.play(sq);
        }
        expectRanked(board, "scattered position " + std::to_string(position));
        if (HasFatalFailure())
            return;
    }

    std::mt19937 random(99);
    for (int game = 0; game < 16; ++game) {
        K2Board board;
        board.clear();
        const int cx = static_cast<int>(random() % BOARD_SIZE), cy = static_cast<int>(random() % BOARD_SIZE);
        for (int move = 0; move < 30; ++move) {
            const int x = cx + static_cast<int>(random() % 9) - 4, y = cy + static_cast<int>(random() % 9) - 4;
            if (x < 0 || x >= BOARD_SIZE || y < 0 || y >= BOARD_SIZE || !board.isEmpty(squareOf(x, y)))
                continue;
            board.play(squareOf(x, y));
            if (move % 3 == 0)
                expectRanked(board, "game " + std::to_string(game) + " move " + std::to_string(move));
            if (HasFatalFailure())
                return;
        }
    }
}

TEST(Candidates, FullBoardGivesAnEmptyOpenList) {
    std::vector<Stone> stones;
    for (int sq = 0; sq < SQUARE_NB; ++sq)
        stones.push_back({sq, (columnOf(sq) / 2 + rowOf(sq)) % 2});
    std::unique_ptr<K2Board> board(setUpPosition(stones, 1));
    ASSERT_EQ(board->moveCount, SQUARE_NB);
    CandidateList list{};
    EXPECT_EQ(generateCandidates(*board, list), VERDICT_OPEN);
    EXPECT_EQ(list.count, 0);
}

} // namespace
} // namespace kelmo

namespace kelmo {
namespace {

TEST(Candidates, FourThreeCountersAnOpenThree) {
    CandidateList list{};
    // Player 0 (opponent) has an open three on row 15. Player 1, to move, has a
    // closed three on row 10 and two stones on column 9 meeting at (9, 10): a
    // four-three whose defences are all new, so it wins. The last stone at (9, 9)
    // re-lists (9, 10) before the partner four-square (10, 10), so the
    // four-three is met first.
    auto board = test::setUpBoard({310, 311, 312, squareOf(5, 10), 0},
                                       {squareOf(6, 10), squareOf(7, 10), squareOf(8, 10), squareOf(9, 8),
                                        squareOf(9, 9)},
                                       1);
    ASSERT_TRUE(board->cells[squareOf(9, 10)] & CELL_SECOND[1]) << test::threatListText(*board, 1);
    ASSERT_EQ(movesToWin(board->threatHead(0)->code), 0);
    EXPECT_EQ(generateCandidates(*board, list), VERDICT_WIN);
    EXPECT_EQ(listed(list), std::vector<int>{squareOf(9, 10)});
    expectNoCandidateBits(*board);

    // Re-evaluating (9, 10) puts it behind its partner (10, 10), which is then
    // already listed when the three's defences are tried: no win is claimed,
    // the trial squares are taken back, and both four-squares stay candidates.
    board->evaluateSquare(squareOf(9, 10));
    EXPECT_EQ(generateCandidates(*board, list), VERDICT_OPEN);
    std::vector<int> got = listed(list);
    EXPECT_NE(std::find(got.begin(), got.end(), squareOf(9, 10)), got.end());
    EXPECT_NE(std::find(got.begin(), got.end(), squareOf(10, 10)), got.end());
    EXPECT_EQ(std::find(got.begin(), got.end(), squareOf(9, 7)), got.end()) << "a trial square was kept";
    expectNoCandidateBits(*board);
}

} // namespace
} // namespace kelmo
