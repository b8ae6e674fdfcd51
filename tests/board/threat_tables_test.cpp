// Line codes, the four tables and their invariants over every code.
#include <gtest/gtest.h>

#include <bit>
#include <iterator>
#include <map>
#include <string>
#include <tuple>

#include "board/k2board.h"
#include "board/reach.h"
#include "board/threat_tables.h"

namespace kelmo {
namespace {

// Code of a segment written as X (the player's stones) and . (empty).
int codeOf(const std::string& segment) {
    int code = 1;
    for (char c : segment)
        code = code * 2 + (c == 'X');
    return code;
}

std::string defenceString(int code) {
    std::string s;
    for (int i = 0; i < codeLength(code); ++i) {
        if (!isDefence(code, i))
            continue;
        if (!s.empty())
            s += ',';
        s += std::to_string(i);
    }
    return s;
}

TEST(LineCode, SegmentsEncodeAsLeadingOneThenCells) {
    const struct {
        const char* segment;
        int code;
    } cases[] = {{"X", 3},         {"..XXX", 39},     {".XXXX.", 94},    {"..XXX..", 156},
                 {"X.XXX.X", 221}, {"....X....", 528}, {"...XXXX..", 572}};
    for (const auto& c : cases)
        EXPECT_EQ(codeOf(c.segment), c.code) << c.segment;
}

TEST(ThreatTables, ValuesOfListedCodes) {
    const struct {
        const char* segment;
        int toFive, toWin, value;
        const char* defences;
    } cases[] = {
        {"XXXXX", 0, 0, 36756910, ""},
        {"XXXXXX", 0, 0, 36756910, ""},  // an overline counts as five
        {".XXXX.", 1, 0, 5250988, "0,5"},
        {"X.XXX.X", 1, 0, 5250988, "1,5"},
        {"...XXXX..", 1, 0, 5250988, "2,7"},
        {".XXXX", 1, 1, 291722, "0"},
        {"XX.XX", 1, 1, 291722, "2"},
        {"..XXX.", 2, 1, 218792, "0,1,5"},
        {"..XXX..", 2, 1, 250048, "1,5"},
        {"..XXX", 2, 2, 11908, "0,1"},
        {"....X....", 4, 3, 568, "3,5"},
        {"X....", 4, 4, 22, "1,2,3,4"},
        {"..X.", 6, 6, 1, ""},
        {"XXXX", 6, 6, 1, ""},
    };
    for (const auto& c : cases) {
        int code = codeOf(c.segment);
        EXPECT_EQ(movesToFive(code), c.toFive) << c.segment;
        EXPECT_EQ(movesToWin(code), c.toWin) << c.segment;
        EXPECT_EQ(lineValue(code), c.value) << c.segment;
        EXPECT_EQ(defenceString(code), c.defences) << c.segment;
    }
}

// The order the threat lists keep: fewer moves to five first, then fewer moves
// to a winning line, then the higher value.
bool ranksBefore(int a, int b) {
    if (movesToFive(a) != movesToFive(b))
        return movesToFive(a) < movesToFive(b);
    if (movesToWin(a) != movesToWin(b))
        return movesToWin(a) < movesToWin(b);
    return lineValue(a) > lineValue(b);
}

TEST(ThreatTables, CombinationCodesCountAsTheTwoThreatsTheyJoin) {
    const int openThree = codeOf("..XXX.."), four = codeOf(".XXXX");
    // Two open threes, or two fours, from one stone cannot both be answered:
    // the square is as good as an open four, a winning line.
    EXPECT_EQ(movesToWin(CODE_DOUBLE_THREE), 0);
    EXPECT_EQ(movesToWin(CODE_DOUBLE_FOUR), 0);
    // Still as far from five as the lines they join, and worth both of them.
    EXPECT_EQ(movesToFive(CODE_DOUBLE_THREE), movesToFive(openThree));
    EXPECT_EQ(movesToFive(CODE_DOUBLE_FOUR), movesToFive(four));
    EXPECT_EQ(lineValue(CODE_DOUBLE_THREE), 2 * lineValue(openThree));
    EXPECT_EQ(lineValue(CODE_DOUBLE_FOUR), 2 * lineValue(four));
    // No single cell answers threats in two lines.
    EXPECT_EQ(threatTables.defenceMask[CODE_DOUBLE_THREE] | threatTables.defenceMask[CODE_DOUBLE_FOUR], 0);
    // In a list the double four comes right after the fives and open fours, and
    // the double three right after the fours, before every open three.
    for (int code = 2; code < LINE_CODE_NB; ++code) {
        SCOPED_TRACE("code " + std::to_string(code));
        const int f = movesToFive(code), w = movesToWin(code);
        const bool fiveOrOpenFour = f == 0 || (f == 1 && w == 0);
        EXPECT_EQ(ranksBefore(code, CODE_DOUBLE_FOUR), fiveOrOpenFour);
        EXPECT_EQ(ranksBefore(CODE_DOUBLE_FOUR, code), !fiveOrOpenFour);
        EXPECT_EQ(ranksBefore(code, CODE_DOUBLE_THREE), f <= 1);
        EXPECT_EQ(ranksBefore(CODE_DOUBLE_THREE, code), f > 1);
    }
}

TEST(ThreatTables, InvariantsHoldForEveryRealCode) {
    for (int code = 2; code < LINE_CODE_NB; ++code) {
        const int n = codeLength(code);
        const int f = movesToFive(code), w = movesToWin(code);
        const unsigned mask = threatTables.defenceMask[code];
        SCOPED_TRACE("code " + std::to_string(code));
        EXPECT_LE(w, f);
        EXPECT_GE(w, f - 1);
        if (n < 5) {
            EXPECT_EQ(f, 6);
            EXPECT_EQ(w, 6);
        }
        // Defence squares lie on empty cells of the segment only.
        for (int i = 0; i < 16; ++i)
            if (mask >> i & 1) {
                ASSERT_LT(i, n);
                EXPECT_EQ((code >> (n - 1 - i)) & 1, 0);
            }
    }
}

TEST(ThreatTables, ValueFollowsTheClassAndFallsWithEveryDefenceSquare) {
    const int five = lineValue(codeOf("XXXXX"));
    // One value per class (moves to win, moves to five) and number of defence squares.
    std::map<std::tuple<int, int, int>, int> valueOf;
    for (int code = 2; code < LINE_CODE_NB; ++code) {
        SCOPED_TRACE("code " + std::to_string(code));
        const int f = movesToFive(code), w = movesToWin(code);
        const int d = std::popcount(static_cast<unsigned>(threatTables.defenceMask[code]));
        const int value = lineValue(code);
        // Every code belongs to a class that has a value for its count of defences.
        EXPECT_GE(value, 1);
        // A five outweighs everything else; a segment too short for five is worth
        // the least, whatever stones it holds.
        if (f == 0) {
            EXPECT_EQ(value, five);
        } else {
            EXPECT_LT(value, five);
        }
        if (codeLength(code) < 5) {
            EXPECT_EQ(value, 1);
        }
        auto [slot, added] = valueOf.try_emplace({w, f, d}, value);
        EXPECT_EQ(slot->second, value) << "class " << w << "," << f << " with " << d << " defences";
    }
    // Within a class, the threat that is harder to answer is worth more.
    for (auto it = valueOf.begin(); it != valueOf.end(); ++it) {
        auto next = std::next(it);
        if (next == valueOf.end())
            break;
        const auto [w, f, d] = it->first;
        const auto [nextW, nextF, nextD] = next->first;
        if (w == nextW && f == nextF) {
            EXPECT_GT(it->second, next->second)
                << "class " << w << "," << f << ": " << d << " vs " << nextD << " defences";
        }
    }
    // Classes the listed codes leave out, on their typical segments, worked by
    // hand. On each, every empty cell defends: a stone of the other player there
    // leaves no part that wins as fast as the whole did.
    const struct {
        const char* segment;
        int toWin, toFive, defences, value;
    } classes[] = {
        {"...XX.", 2, 3, 4, 9262},
        {"...XX", 3, 3, 3, 497},
        {"......", 4, 5, 6, 18},
        {".....", 5, 5, 5, 2},
    };
    for (const auto& c : classes) {
        const int code = codeOf(c.segment);
        EXPECT_EQ(movesToWin(code), c.toWin) << c.segment;
        EXPECT_EQ(movesToFive(code), c.toFive) << c.segment;
        EXPECT_EQ(std::popcount(static_cast<unsigned>(threatTables.defenceMask[code])), c.defences) << c.segment;
        EXPECT_EQ(lineValue(code), c.value) << c.segment;
    }
}

TEST(ComputeLines, EdgeAndOpenWindow) {
    K2Board board;
    board.clear();
    computeLines(board, 0);
    EXPECT_EQ(lineRecords[0][0].code, 48);  // X.... on the left edge
    EXPECT_EQ(lineRecords[1][0].code, 48);
    EXPECT_EQ(lineRecords[0][0].squareDirs, packSquareDirs(0, 8));
    EXPECT_EQ(lineRecords[1][3].squareDirs, packSquareDirs(0, 1));
    computeLines(board, CENTRE);
    for (int p = 0; p < PLAYER_NB; ++p)
        for (int d = 0; d < DIRECTION_NB; ++d)
            EXPECT_EQ(lineRecords[p][d].code, 528);
}

TEST(ComputeLines, StonesCloseOneSideForTheOtherPlayer) {
    K2Board board;
    board.clear();
    // Row 10: o at x 8, x (player 1) at x 12; s = x 10.
    board.cells[squareOf(8, 10)] = STONE_OF[0];
    board.cells[squareOf(12, 10)] = STONE_OF[1];
    board.cells[squareOf(11, 10)] = STONE_OF[1];
    computeLines(board, squareOf(10, 10));
    // Player 1: the segment runs from x 9 (o at 8 closes it) to x 14: .XXX..
    EXPECT_EQ(lineRecords[1][0].code, codeOf(".XXX.."));
    // Player 0: from x 6 to x 10, closed by player 1's stone at 11: ..X.X
    EXPECT_EQ(lineRecords[0][0].code, codeOf("..X.X"));
    // Boxed in: one empty cell each side, then the other player's stones.
    K2Board boxed;
    boxed.clear();
    boxed.cells[squareOf(8, 5)] = STONE_OF[1];
    boxed.cells[squareOf(12, 5)] = STONE_OF[1];
    computeLines(boxed, squareOf(10, 5));
    EXPECT_EQ(lineRecords[0][0].code, 10);
    EXPECT_EQ(movesToWin(10), 6);
    EXPECT_EQ(lineValue(10), 1);
}

TEST(ComputeLines, AntiDiagonalRunsFromTheLowerLeft) {
    K2Board board;
    board.clear();
    // Stone of player 0 one step down-left of s (smaller column): it is the cell before s.
    const int s = squareOf(10, 10);
    board.cells[s + 19] = STONE_OF[0];
    computeLines(board, s);
    EXPECT_EQ(lineRecords[0][3].code, codeOf("...XX...."));
    int first;
    EXPECT_EQ(segmentCode(board, s, 3, 0, 1, first), codeOf("...XX...."));
    EXPECT_EQ(first, s + 4 * 19);
    EXPECT_EQ(segmentCode(board, s, 3, 0, 0, first), codeOf("...X....."));
}

TEST(Reach, CornerAndCentreEntries) {
    EXPECT_EQ(reach[SENSE_LEFT][0], 0);
    EXPECT_EQ(reach[SENSE_UP][0], 0);
    EXPECT_EQ(reach[SENSE_UP_LEFT][0], 0);
    EXPECT_EQ(reach[SENSE_UP_RIGHT][0], 0);
    EXPECT_EQ(reach[SENSE_DOWN_LEFT][0], 0);
    EXPECT_EQ(reach[SENSE_RIGHT][0], 4);
    EXPECT_EQ(reach[SENSE_DOWN][0], 80);
    EXPECT_EQ(reach[SENSE_DOWN_RIGHT][0], 84);
    EXPECT_EQ(reach[SENSE_UP_LEFT][squareOf(2, 0)], squareOf(2, 0));
    EXPECT_EQ(reach[SENSE_LEFT][CENTRE], squareOf(6, 10));
    EXPECT_EQ(reach[SENSE_DOWN_LEFT][squareOf(2, 10)], squareOf(0, 12));
}

} // namespace
} // namespace kelmo
