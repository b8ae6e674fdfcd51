// ShapeBoard: line classes against the engine's threat tables, shapes of small
// positions, keys, squares in play, and the incremental bookkeeping against a
// plain recomputation along seeded random games with undo.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "board/shape_board.h"
#include "board/threat_tables.h"
#include "plain_segment.h"
#include "support/board_diagram.h"

namespace kelmo {
namespace {

ShapeBoard boardFrom(std::string_view diagram, int sideToMove, int originX, int originY) {
    std::vector<Stone> stones;
    std::string error;
    EXPECT_TRUE(test::parseDiagram(diagram, originX, originY, stones, error)) << error;
    ShapeBoard board;
    board.setUp(stones, sideToMove);
    return board;
}

// Every code's class says what the engine's tables say in their own terms:
// moves to five and moves to a winning line (five or two five squares).
TEST(ShapeBoardClasses, AgreeWithThreatTablesOnEveryCode) {
    for (int code = 2; code < LINE_CODE_NB; ++code) {
        const int toFive = movesToFive(code), toWin = movesToWin(code);
        LineClass expected;
        if (toFive == 6)
            expected = LINE_DEAD;
        else if (toFive == 0)
            expected = LINE_FIVE;
        else if (toFive == 1)
            expected = toWin == 0 ? LINE_OPEN_FOUR : LINE_FOUR;
        else if (toFive == 2)
            expected = toWin == 1 ? LINE_THREE : LINE_CLOSED_THREE;
        else if (toFive == 3)
            expected = toWin == 2 ? LINE_OPEN_TWO : LINE_TWO;
        else
            expected = LINE_ONE;
        LineClass actual = classOfCode(code);
        if (actual == LINE_DOUBLE_FOUR)
            actual = LINE_OPEN_FOUR;  // the tables do not tell the two apart
        EXPECT_EQ(actual, expected) << "code " << code;
    }
}

TEST(ShapeBoardClasses, OfSegments) {
    const struct {
        const char* segment;
        LineClass expected;
    } cases[] = {
        {"XXXXX", LINE_FIVE},         {"XXXXXX", LINE_FIVE},        {".XXXX.", LINE_OPEN_FOUR},
        {"X.XXX.X", LINE_DOUBLE_FOUR}, {"XX.XX.XX", LINE_DOUBLE_FOUR}, {".XXXX", LINE_FOUR},
        {"XX.XX", LINE_FOUR},          {"..XXX..", LINE_THREE},       {".X.XX.", LINE_THREE},
        {".XXX.", LINE_CLOSED_THREE},  {"XXX..", LINE_CLOSED_THREE},  {"X.X.X", LINE_CLOSED_THREE},
        {"..XX..", LINE_OPEN_TWO},     {"XX...", LINE_TWO},           {"....X....", LINE_ONE},
        {"XXXX", LINE_DEAD},
    };
    for (const auto& c : cases)
        EXPECT_EQ(classOfCode(test::plainCode(c.segment)), c.expected) << c.segment;
}

// Shapes of one square for one player in small positions on an otherwise empty
// board. 'x' is player 1, 'o' player 0.
TEST(ShapeBoardShapes, OfSmallPositions) {
    const struct {
        const char* name;
        const char* diagram;
        int originX, originY;
        int x, y, player;
        Shape expected;
    } cases[] = {
        {"five", "x x x x .", 5, 10, 9, 10, 1, SHAPE_FIVE},
        {"overline counts as five", "x x . x x x", 5, 10, 7, 10, 1, SHAPE_FIVE},
        {"open four", ". x x x . .", 5, 10, 9, 10, 1, SHAPE_OPEN_FOUR},
        {"four blocked at one end", "o x x x . .", 5, 10, 9, 10, 1, SHAPE_FOUR},
        {"two fours in one line", "x . x . x . x", 5, 10, 8, 10, 1, SHAPE_FOUR_FOUR},
        {"fours in two lines", R"(
            . . . . o
            . . . . x
            . . . . x
            o x x x .
            . . . . x
            . . . . .)", 5, 7, 9, 10, 1, SHAPE_FOUR_FOUR},
        {"four and open three", R"(
            . . . . .
            . . . . .
            . . . . .
            o x x x .
            . . . . x
            . . . . x
            . . . . .
            . . . . .)", 5, 7, 9, 10, 1, SHAPE_FOUR_THREE},
        {"double open three", R"(
            . . . . . .
            . . . . . .
            . . . . . .
            . . x x . .
            . . . . x .
            . . . . x .
            . . . . . .
            . . . . . .)", 5, 7, 9, 10, 1, SHAPE_THREE_THREE},
        {"broken three", ". x x . . .", 5, 10, 9, 10, 1, SHAPE_THREE},
        {"three blocked at one end is not open", "o x x . . .", 5, 10, 8, 10, 1, SHAPE_CLOSED_THREE},
        {"three walled in five cells is not open", ". x x . . o", 0, 10, 3, 10, 1, SHAPE_CLOSED_THREE},
        {"three against the edge is not open", "x x . . .", 0, 10, 2, 10, 1, SHAPE_CLOSED_THREE},
        {"one cell before the edge keeps a three open", ". x x . . .", 0, 10, 3, 10, 1, SHAPE_THREE},
        {"four against the far edge", ". x x x .", 15, 10, 19, 10, 1, SHAPE_FOUR},
        {"diagonal open four", R"(
            x . . .
            . x . .
            . . x .
            . . . .
            . . . . .)", 6, 6, 9, 9, 1, SHAPE_OPEN_FOUR},
        {"anti-diagonal open four", R"(
            . . . x
            . . x .
            . x . .
            . . . .
            . . . . .)", 7, 6, 7, 9, 1, SHAPE_OPEN_FOUR},
        {"player 0's open four", ". o o o . .", 5, 10, 9, 10, 0, SHAPE_OPEN_FOUR},
        {"the other player's stones give nothing", ". o o o . .", 5, 10, 9, 10, 1, SHAPE_NONE},
        {"walled in: no five fits", "o x x . o", 5, 10, 8, 10, 1, SHAPE_NONE},
        {"open two", ". . x . . .", 5, 10, 8, 10, 1, SHAPE_OPEN_TWO},
        {"two open twos", R"(
            . . . . . .
            . . . . . .
            . . . . . .
            . . . x . .
            . . . . . .
            . . . . x .
            . . . . . .)", 5, 7, 9, 10, 1, SHAPE_TWO_TWO},
    };
    for (const auto& c : cases) {
        const ShapeBoard board = boardFrom(c.diagram, 0, c.originX, c.originY);
        EXPECT_EQ(board.shape(squareOf(c.x, c.y), c.player), c.expected) << c.name;
        EXPECT_EQ(board.checkConsistency(), nullptr) << c.name;
    }
}

TEST(ShapeBoardShapes, ListsHoldTheSquaresOfEachShape) {
    // An open three of x: four squares make a four of it, two of them an open four.
    const ShapeBoard board = boardFrom(". . x x x . .", 0, 5, 10);
    EXPECT_EQ(board.count(1, SHAPE_OPEN_FOUR), 2);
    EXPECT_EQ(board.count(1, SHAPE_FOUR), 2);
    EXPECT_EQ(board.countAtLeast(1, SHAPE_FOUR), 4);
    EXPECT_EQ(board.countAtLeast(0, SHAPE_FOUR), 0);
    std::vector<int> open(board.squares(1, SHAPE_OPEN_FOUR).begin(), board.squares(1, SHAPE_OPEN_FOUR).end());
    std::sort(open.begin(), open.end());
    EXPECT_EQ(open, (std::vector<int>{squareOf(6, 10), squareOf(10, 10)}));
}

TEST(ShapeBoardKeys, FollowStonesAndSideNotOrder) {
    ShapeBoard a, b;
    for (int s : {210, 211, 230, 190})
        a.play(s);
    for (int s : {230, 190, 210, 211})
        b.play(s);
    EXPECT_EQ(a.key(), b.key());
    const std::uint64_t before = a.key();
    a.playNull();
    EXPECT_NE(a.key(), before);
    EXPECT_EQ(a.sideToMove(), 1);
    a.undo();
    EXPECT_EQ(a.key(), before);
    while (a.historyLength())
        a.undo();
    EXPECT_EQ(a.key(), 0u);
    EXPECT_EQ(a.stoneCount(), 0);

    // The same stones set up with player 1 to move key like the played board after a null move.
    const Stone stones[] = {{210, 0}, {230, 0}, {211, 1}, {190, 1}};
    ShapeBoard c;
    c.setUp(stones, 1);
    b.playNull();
    EXPECT_EQ(c.key(), b.key());
}

TEST(ShapeBoardSetUp, ASquareNamedTwiceKeepsTheLaterStone) {
    const Stone stones[] = {{210, 0}, {211, 1}, {210, 1}};
    ShapeBoard board;
    board.setUp(stones, 0);
    EXPECT_EQ(board.owner(210), 1);
    EXPECT_EQ(board.stoneCount(), 2);
    EXPECT_EQ(board.checkConsistency(), nullptr);
}

TEST(ShapeBoardInPlay, SquaresWithinTwoAlongTheLines) {
    ShapeBoard board;
    EXPECT_EQ(board.inPlayCount(), 0);
    board.play(CENTRE);
    EXPECT_EQ(board.inPlayCount(), 16);
    EXPECT_TRUE(board.isInPlay(CENTRE + 2 * 21));
    EXPECT_FALSE(board.isInPlay(CENTRE + 1 + 2 * 20));  // a knight's move away
    board.undo();
    board.play(0);  // a corner: three directions, two cells each
    EXPECT_EQ(board.inPlayCount(), 6);
    EXPECT_EQ(board.checkConsistency(), nullptr);
}

// Seeded random games: after every play, undo and null move everything kept
// incrementally equals the plain recomputation. Moves favour the squares in
// play so that lines fill up, with some anywhere so that the edges see stones.
TEST(ShapeBoardIncremental, MatchesPlainRecomputationAlongRandomGames) {
    for (unsigned seed = 1; seed <= 12; ++seed) {
        std::mt19937 rng(seed);
        ShapeBoard board;
        std::vector<std::uint64_t> keys;
        int steps = 0;
        while (steps < 220 && board.stoneCount() < 300) {
            ++steps;
            const unsigned roll = rng() % 10;
            if (roll == 0 && board.historyLength() > 0) {
                board.undo();
                keys.pop_back();
                ASSERT_EQ(board.key(), keys.empty() ? 0u : keys.back()) << "seed " << seed;
            } else if (roll == 1 && board.historyLength() + 1 < ShapeBoard::MAX_HISTORY) {
                board.playNull();
                keys.push_back(board.key());
            } else {
                int square;
                if (board.inPlayCount() > 0 && roll < 8)
                    square = board.inPlay()[rng() % board.inPlayCount()];
                else
                    do
                        square = static_cast<int>(rng() % SQUARE_NB);
                    while (!board.isEmpty(square));
                board.play(square);
                keys.push_back(board.key());
            }
            const char* fault = board.checkConsistency();
            ASSERT_EQ(fault, nullptr) << fault << " (seed " << seed << ", step " << steps << ")";
        }
        while (board.historyLength() > 0) {
            board.undo();
            ASSERT_EQ(board.checkConsistency(), nullptr) << "seed " << seed;
        }
        EXPECT_EQ(board.key(), 0u);
    }
}

} // namespace
} // namespace kelmo
