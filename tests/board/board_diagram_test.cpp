// The test boards' diagram parser and the set-up it feeds: where the cells land,
// what it accepts around them, what it refuses, and that a diagram board is the
// position BOARD would set up.
#include "support/board_diagram.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace kelmo {
namespace {

bool sameStones(std::vector<Stone> a, std::vector<Stone> b) {
    auto bySquare = [](const Stone& l, const Stone& r) { return l.square < r.square; };
    std::sort(a.begin(), a.end(), bySquare);
    std::sort(b.begin(), b.end(), bySquare);
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const Stone& l, const Stone& r) { return l.square == r.square && l.player == r.player; });
}

TEST(BoardDiagram, CellsLandFromTheOriginInEveryAcceptedSpelling) {
    // x at (3, 4) and (4, 5), o at (5, 4): the same three stones however written.
    const std::vector<Stone> expected = {{squareOf(3, 4), 1}, {squareOf(5, 4), 0}, {squareOf(4, 5), 1}};
    for (const char* diagram : {
             "x.o\n.x",
             "X.O\n.X.\n",
             "\n\n   x . o\n   . x\n\n",
             "x.o\r\n.x\r\n",
             "\tx.o\n\n.x",  // a line without cells is no row
         }) {
        std::vector<Stone> stones;
        std::string error;
        ASSERT_TRUE(test::parseDiagram(diagram, 3, 4, stones, error)) << diagram << ": " << error;
        EXPECT_TRUE(sameStones(stones, expected)) << diagram;
    }
}

TEST(BoardDiagram, RefusesStrayCharactersAndCellsOffTheBoard) {
    struct Case {
        const char* diagram;
        int originX, originY;
    };
    const Case cases[] = {
        {"x.#", 0, 0},
        {"x1o", 0, 0},
        {"x,o", 0, 0},
        {"...", 18, 0},        // the third cell is column 20
        {".\n.", 0, 19},       // the second row is row 20
        {"x", -1, 0},
        {"x", 0, -1},
        {"....................x", 0, 0},  // 21 cells in a row
    };
    for (const Case& c : cases) {
        std::vector<Stone> stones;
        std::string error;
        EXPECT_FALSE(test::parseDiagram(c.diagram, c.originX, c.originY, stones, error)) << c.diagram;
        EXPECT_FALSE(error.empty()) << c.diagram;
    }
    // The board's last square is still on it.
    std::vector<Stone> stones;
    std::string error;
    ASSERT_TRUE(test::parseDiagram("..\n.x", 18, 18, stones, error)) << error;
    ASSERT_EQ(stones.size(), 1u);
    EXPECT_EQ(stones[0].square, SQUARE_NB - 1);
}

TEST(BoardDiagram, AWholeBoardDiagramComesBackFromTheBoard) {
    std::string diagram;
    for (int y = 0; y < BOARD_SIZE; ++y) {
        for (int x = 0; x < BOARD_SIZE; ++x)
            diagram += (x * 7 + y * 3) % 5 == 0 ? 'x' : (x + 2 * y) % 7 == 0 ? 'o' : '.';
        diagram += '\n';
    }
    auto board = test::boardFromDiagram(diagram, 1);
    EXPECT_EQ(test::diagramOf(*board), diagram);
}

TEST(BoardDiagram, ADiagramBoardIsThePositionBoardSetsUp) {
    // An open three of the opponent and a brain stone: the set-up evaluates it,
    // so the three's open ends are listed before any stone is played.
    auto board = test::boardFromDiagram(R"(
        . o o o .
        . . x . .
    )", 1, 8, 10);
    EXPECT_EQ(board->sideToMove, 1);
    EXPECT_EQ(board->moveCount, 4);
    EXPECT_EQ(board->checkConsistency(), nullptr);
    EXPECT_TRUE(board->cells[squareOf(8, 10)] & CELL_LISTED[0]) << test::threatListText(*board, 0);
    EXPECT_TRUE(board->cells[squareOf(12, 10)] & CELL_LISTED[0]) << test::threatListText(*board, 0);

    auto same = test::setUpBoard({squareOf(9, 10), squareOf(10, 10), squareOf(11, 10)}, {squareOf(10, 11)}, 1);
    EXPECT_EQ(std::memcmp(board->cells, same->cells, SQUARE_NB), 0);
    EXPECT_EQ(test::threatListText(*board, 0), test::threatListText(*same, 0));
    EXPECT_EQ(test::threatListText(*board, 1), test::threatListText(*same, 1));
}

} // namespace
} // namespace kelmo
