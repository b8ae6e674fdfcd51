// The static evaluation: blind to the board's orientation, and ranking the side to move's threats above the
// same threats of the opponent.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "alphabeta/evaluation.h"
#include "board/shape_board.h"
#include "support/board_diagram.h"

namespace kelmo {
namespace {

// The eight symmetries of the square board.
int transform(int square, int symmetry) {
    int x = columnOf(square), y = rowOf(square);
    if (symmetry & 1)
        x = BOARD_SIZE - 1 - x;
    if (symmetry & 2)
        y = BOARD_SIZE - 1 - y;
    if (symmetry & 4)
        std::swap(x, y);
    return squareOf(x, y);
}

std::vector<Stone> diagramStones(const char* diagram, int originX, int originY) {
    std::vector<Stone> stones;
    std::string error;
    EXPECT_TRUE(test::parseDiagram(diagram, originX, originY, stones, error)) << error;
    return stones;
}

// Middle-game positions with threes, fours and broken shapes near an edge, where an orientation fault in the
// line classes or the counts would show.
const char* const POSITIONS[] = {
    R"(
        . . . . . . . .
        . o x x . x . .
        . . o o x . . .
        . . x o o . . .
        . o . x o . . .
        . . . . x o . .
        . . . . . . . .
    )",
    R"(
        x o . . . . .
        o x x x . o .
        . o . o x . .
        . . o . . x .
        . x . . o . .
    )",
};

TEST(Evaluation, TheSameUnderEveryRotationAndMirror) {
    for (const char* diagram : POSITIONS)
        for (int originX : {0, 6})
            for (int side = 0; side < 2; ++side) {
                const std::vector<Stone> stones = diagramStones(diagram, originX, 1);
                ShapeBoard board;
                board.setUp(stones, side);
                const int reference = evaluate(board);
                for (int symmetry = 1; symmetry < 8; ++symmetry) {
                    std::vector<Stone> turned = stones;
                    for (Stone& s : turned)
                        s.square = transform(s.square, symmetry);
                    ShapeBoard other;
                    other.setUp(turned, side);
                    EXPECT_EQ(evaluate(other), reference)
                        << "symmetry " << symmetry << ", side " << side << ", origin " << originX;
                }
            }
}

TEST(Evaluation, AThreatCountsMoreForTheSideThatMovesNext) {
    // Player 1 has an open three, player 0 an open three of the same make elsewhere: the side to move
    // can make its open four first, so each side, to move, sees the position in its favour.
    const std::vector<Stone> stones = diagramStones(R"(
        . . . . . . . . . .
        . x x x . . o o o .
        . . . . . . . . . .
    )", 4, 8);
    ShapeBoard board;
    for (int side = 0; side < 2; ++side) {
        board.setUp(stones, side);
        EXPECT_GT(evaluate(board), 0) << "side " << side;
    }
}

TEST(Evaluation, StaysWithinItsLimitFarBelowMateScores) {
    // Many open threes of one player: the sum is capped, so no evaluation is ever taken for a mate.
    std::vector<Stone> stones;
    for (int row = 1; row < BOARD_SIZE; row += 2)
        for (int x : {2, 3, 4, 12, 13, 14})
            stones.push_back({squareOf(x, row), 1});
    ShapeBoard board;
    board.setUp(stones, 1);
    EXPECT_LE(evaluate(board), EVAL_LIMIT);
    EXPECT_FALSE(isMateScore(evaluate(board)));
    board.setUp(stones, 0);
    EXPECT_GE(evaluate(board), -EVAL_LIMIT);
    EXPECT_FALSE(isMateScore(evaluate(board)));
}

} // namespace
} // namespace kelmo
