// Line codes, the tables and their invariants over every code.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <tuple>

#include "board/k2board.h"
#include "board/reach.h"
#include "board/threat_tables.h"
#include "plain_segment.h"
#include "support/board_diagram.h"

namespace kelmo {
namespace {

using test::plainCode;
using test::plainSegmentCode;

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
        EXPECT_EQ(plainCode(c.segment), c.code) << c.segment;
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
        int code = plainCode(c.segment);
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
    const int openThree = plainCode("..XXX.."), four = plainCode(".XXXX");
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

TEST(ThreatTables, ListOrderNumberRanksAsTheThreeKeys) {
    // Every pair of codes, the combination codes included.
    for (int a = 0; a < LINE_CODE_NB; ++a)
        for (int b = 0; b < LINE_CODE_NB; ++b)
            if ((listOrder(a) < listOrder(b)) != ranksBefore(a, b))
                FAIL() << "codes " << a << " and " << b;
}

TEST(ThreatTables, DistanceBitsGiveTheLeastOverFourLines) {
    std::mt19937 random(4);
    for (int round = 0; round < 5000; ++round) {
        int codes[DIRECTION_NB];
        unsigned bits = 0;
        int leastFive = 7, leastWin = 7;
        for (int& code : codes) {
            code = 2 + static_cast<int>(random() % (LINE_CODE_NB - 2));
            bits |= distanceBits(code);
            leastFive = std::min(leastFive, movesToFive(code));
            leastWin = std::min(leastWin, movesToWin(code));
        }
        ASSERT_EQ(std::countr_zero(bits & 0xFFu), leastFive) << codes[0] << " " << codes[1] << " " << codes[2];
        ASSERT_EQ(std::countr_zero(bits >> 8), leastWin) << codes[0] << " " << codes[1] << " " << codes[2];
    }
}

TEST(ThreatTables, ValueFollowsTheClassAndFallsWithEveryDefenceSquare) {
    const int five = lineValue(plainCode("XXXXX"));
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
        const int code = plainCode(c.segment);
        EXPECT_EQ(movesToWin(code), c.toWin) << c.segment;
        EXPECT_EQ(movesToFive(code), c.toFive) << c.segment;
        EXPECT_EQ(std::popcount(static_cast<unsigned>(threatTables.defenceMask[code])), c.defences) << c.segment;
        EXPECT_EQ(lineValue(code), c.value) << c.segment;
    }
}

TEST(ComputeLines, EdgeAndOpenWindow) {
    K2Board board;
    board.clear();
    const SquareLines corner = computeLines(board, 0);
    EXPECT_EQ(corner.code[0][0], 48);  // X.... on the left edge
    EXPECT_EQ(corner.code[1][0], 48);
    EXPECT_EQ(corner.record(0, 0).squareDirs, packSquareDirs(0, 8));
    EXPECT_EQ(corner.record(1, 3).squareDirs, packSquareDirs(0, 1));
    EXPECT_EQ(corner.record(1, 3).code, corner.code[1][3]);
    const SquareLines centre = computeLines(board, CENTRE);
    for (int p = 0; p < PLAYER_NB; ++p)
        for (int d = 0; d < DIRECTION_NB; ++d)
            EXPECT_EQ(centre.code[p][d], 528);
}

TEST(ComputeLines, StonesCloseOneSideForTheOtherPlayer) {
    K2Board board;
    board.clear();
    // Row 10: o at x 8, x (player 1) at x 12; s = x 10.
    board.cells[squareOf(8, 10)] = STONE_OF[0];
    board.cells[squareOf(12, 10)] = STONE_OF[1];
    board.cells[squareOf(11, 10)] = STONE_OF[1];
    const SquareLines lines = computeLines(board, squareOf(10, 10));
    // Player 1: the segment runs from x 9 (o at 8 closes it) to x 14: .XXX..
    EXPECT_EQ(lines.code[1][0], plainCode(".XXX.."));
    // Player 0: from x 6 to x 10, closed by player 1's stone at 11: ..X.X
    EXPECT_EQ(lines.code[0][0], plainCode("..X.X"));
    // Boxed in: one empty cell each side, then the other player's stones.
    K2Board boxed;
    boxed.clear();
    boxed.cells[squareOf(8, 5)] = STONE_OF[1];
    boxed.cells[squareOf(12, 5)] = STONE_OF[1];
    EXPECT_EQ(computeLines(boxed, squareOf(10, 5)).code[0][0], 10);
    EXPECT_EQ(movesToWin(10), 6);
    EXPECT_EQ(lineValue(10), 1);
}

TEST(ComputeLines, AntiDiagonalRunsFromTheLowerLeft) {
    K2Board board;
    board.clear();
    // Stone of player 0 one step down-left of s (smaller column): it is the cell before s.
    const int s = squareOf(10, 10);
    board.cells[s + 19] = STONE_OF[0];
    EXPECT_EQ(computeLines(board, s).code[0][3], plainCode("...XX...."));
    int first;
    EXPECT_EQ(segmentCode(board, s, 3, 0, 1, first), plainCode("...XX...."));
    EXPECT_EQ(first, s + 4 * 19);
    EXPECT_EQ(segmentCode(board, s, 3, 0, 0, first), plainCode("...X....."));
}

// Compares every code of every empty square with the plain walk; returns the
// number of squares compared.
int expectPlainCodes(const K2Board& board, const std::string& what) {
    int compared = 0;
    for (int sq = 0; sq < SQUARE_NB; ++sq) {
        if (!board.isEmpty(sq))
            continue;
        const SquareLines lines = computeLines(board, sq);
        EXPECT_EQ(lines.square, sq);
        for (int p = 0; p < PLAYER_NB; ++p)
            for (int d = 0; d < DIRECTION_NB; ++d) {
                const int want = plainSegmentCode(board, columnOf(sq), rowOf(sq), d, p);
                if (lines.code[p][d] != want) {
                    ADD_FAILURE() << what << ": square " << sq << " player " << p << " direction " << d
                                  << " code " << lines.code[p][d] << ", walked " << want << "\n"
                                  << test::diagramOf(board);
                    return compared;
                }
            }
        ++compared;
    }
    return compared;
}

TEST(ComputeLines, MatchesAPlainWalkOnRandomBoards) {
    // Raw mt19937 output only: its sequence is fixed by the standard, so the
    // boards are the same with every library.
    std::mt19937 random(20261210);
    int compared = 0;
    for (int round = 0; round < 400; ++round) {
        K2Board board;
        board.clear();
        // From a few stones to a nearly full board; every flag bit the
        // bookkeeping can leave on a cell, which the codes must ignore.
        const unsigned density = 2 + round % 97;
        for (int sq = 0; sq < SQUARE_NB; ++sq) {
            const unsigned r = random();
            std::uint8_t flags = static_cast<std::uint8_t>((r >> 8) & 0x7C);
            if (r % 100 < density)
                board.cells[sq] = static_cast<std::uint8_t>(STONE_OF[(r >> 16) & 1] | (flags & CELL_CANDIDATE));
            else
                board.cells[sq] = static_cast<std::uint8_t>(CELL_EMPTY | ((r >> 20) & CELL_ACTIVE) | flags);
        }
        compared += expectPlainCodes(board, "random board " + std::to_string(round));
        if (HasFailure())
            return;
    }
    EXPECT_GT(compared, 20000);
}

TEST(ComputeLines, MatchesAPlainWalkThroughRandomGames) {
    std::mt19937 random(1210);
    for (int game = 0; game < 12; ++game) {
        K2Board board;
        board.clear();
        // Stones gather near a random spot, edges and corners included.
        const int cx = static_cast<int>(random() % BOARD_SIZE), cy = static_cast<int>(random() % BOARD_SIZE);
        for (int move = 0; move < 80; ++move) {
            int sq = -1;
            for (int attempt = 0; attempt < 200 && sq < 0; ++attempt) {
                const int x = cx + static_cast<int>(random() % 11) - 5;
                const int y = cy + static_cast<int>(random() % 11) - 5;
                if (x >= 0 && x < BOARD_SIZE && y >= 0 && y < BOARD_SIZE && board.isEmpty(squareOf(x, y)))
                    sq = squareOf(x, y);
            }
            if (sq < 0)
                break;
            board.play(sq);
            expectPlainCodes(board, "game " + std::to_string(game) + " move " + std::to_string(move));
            if (HasFailure())
                return;
        }
    }
}

TEST(ComputeLines, OpenWindowValueIsTheEmptyBoardsLineValues) {
    K2Board board;
    board.clear();
    for (int sq = 0; sq < SQUARE_NB; ++sq) {
        int sum = 0;
        for (int d = 0; d < DIRECTION_NB; ++d) {
            const int code = plainSegmentCode(board, columnOf(sq), rowOf(sq), d, 0);
            ASSERT_EQ(code, plainSegmentCode(board, columnOf(sq), rowOf(sq), d, 1));
            sum += lineValue(code);
        }
        EXPECT_EQ(openWindowValue[sq], sum) << "square " << sq;
    }
    // The centre's four open windows: ....X.... is an open one, three moves
    // from an open four, with two defence squares.
    EXPECT_EQ(openWindowValue[CENTRE], 4 * 568);
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
