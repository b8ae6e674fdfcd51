// Threat search: wins from real games proven with lines that replay on a plain
// board, no claim in quiet positions, every reply to a proven VCT's first move
// still lost, the blocks of a four before the attacker's own threats, and the
// opponent's threat behind a null move with its defences.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "board/shape_board.h"
#include "referee.h"
#include "support/board_diagram.h"
#include "threat/threat_search.h"

namespace kelmo {
namespace {

// Positions from real games, as their stones in the order played ("x,y", the
// first player's first); the side to move follows from the count. Each row's
// length of the forced line, as an independent search labelled it, is given.
struct WinRow {
    const char* moves;
    int mate;
};

// Won by fours alone.
const WinRow VCF_WINS[] = {
    {"9,13 7,8 13,7 11,9 12,8 11,8 11,7 12,7 13,9 10,6 13,6 13,8 14,9 14,10 15,9 16,9 14,8 12,6 15,7 16,6 11,11 12,10 15,8 15,6 15,10 15,11 16,7 17,6 14,7 17,7 14,6 14,5 13,10 12,11 16,8 17,9 15,5 16,4 17,8 18,8 16,10 17,11 16,11 10,8 18,13 17,12 13,5 12,4 9,7 10,5 13,4", 9},
    {"9,13 7,8 13,7 11,9 12,8 11,8 11,7 12,7 13,9 10,6 13,6 13,8 14,9 14,10 15,9 16,9 14,8 12,6 15,7 16,6 11,11 12,10 15,8 15,6 15,10 15,11 16,7 17,6 14,7 17,7 14,6 14,5 13,10 12,11 16,8 17,9 15,5 16,4 17,8 18,8 16,10 17,11 16,11 10,8 18,13 17,12 13,5 12,4 9,7 10,5 13,4 13,3 12,5 11,4 10,7 11,5 14,2", 5},
    {"9,13 7,8 13,7 11,9 12,8 11,8 11,7 12,7 13,9 10,6 13,6 13,8 14,9 12,9 14,7 14,8 15,8 16,9 15,10 15,11 16,7 17,6", 9},
    {"9,13 7,8 13,7 11,9 12,8 11,8 11,7 12,7 13,9 10,6 13,6 13,8 14,9 12,9 14,7 14,8 15,8 16,9 15,10 15,11 16,7 17,6 15,7 17,7", 7},
};

// Won with open threes among the threats (no win by fours alone).
const WinRow VCT_WINS[] = {
    {"12,13 11,8 11,7 7,7 10,7 9,7 10,8 10,6 9,9 12,6 7,11 8,10 10,9 11,5 10,10 10,11 12,4 7,9 8,8 7,8 7,6 6,8 9,11", 9},
    {"12,13 11,8 11,7 7,7 10,7 9,7 10,8 10,6 9,9 12,6 7,11 8,10 10,9 11,5 10,10 10,11 12,4 7,9 8,8 7,8 7,6 6,8 9,11 5,7 4,6", 9},
    {"12,13 11,8 11,7 7,7 10,7 9,7 10,8 10,6 9,9 12,6 7,11 8,10 10,9 11,5 10,10 10,11 12,4 7,9 8,8 7,8 7,6 6,8 9,11 5,7 4,6 8,7 6,7", 7},
    {"7,10 13,9 12,10 13,8 13,10 14,10 12,8 14,9 12,9 12,7 15,10 13,6 14,11 11,6 10,5 11,8 15,12 16,13 14,5", 9},
    {"10,13 7,9 8,9 8,8 6,10 6,8 7,10 8,10 9,11 9,8 7,8 8,11 9,10 10,11 9,13 9,14 9,12 9,9 7,13 6,13", 7},
    {"10,13 7,9 8,9 8,8 6,10 6,8 7,10 8,10 9,11 9,8 7,8 8,11 9,10 10,11 9,13 9,14 9,12 9,9 7,13 6,13 8,13 11,13", 7},
    {"10,13 7,9 8,9 8,8 11,12 9,7 6,10 9,8 9,14 12,11 9,10 7,8 10,8 6,8 5,8 9,5 10,11", 9},
    {"10,13 7,9 8,9 8,8 11,12 9,7 6,10 9,8 9,14 12,11 9,10 7,8 10,8 6,8 5,8 9,5 10,11 12,13 8,15", 7},
    {"10,13 7,9 8,9 8,8 11,12 9,7 6,10 9,8 9,14 12,11 9,10 7,8 10,8 6,8 5,8 9,5 10,11 12,13 8,15 7,16 9,9 9,6 9,4", 5},
    {"9,7 11,12 12,11 8,7 7,12 7,8 9,6 9,8 8,8 7,9 7,6 8,9 8,6 6,6 10,8 7,5 10,6 11,6 10,7 10,9 9,9 6,7 5,6 6,8 11,9 12,10 11,5 12,4 6,9", 7},
};

// Positions where the independent search found no forced win for either side.
const char* const QUIET[] = {
    "9,13 7,8 13,7 11,9 12,8 11,8 11,7 12,7 13,9",
    "9,13 7,8 13,7 11,9 12,8 11,8 11,7 12,7 13,9 10,6 13,6 13,8 14,9 14,10 15,9 16,9 14,8 12,6 15,7 16,6 11,11 12,10 15,8 15,6 15,10 15,11 16,7 17,6 14,7",
    "9,13 7,8 13,7 11,9 12,8 11,8 11,7 12,7 13,9 10,6 13,6 13,8 14,9 14,10 15,9 16,9 14,8 12,6 15,7 16,6 11,11 12,10 15,8 15,6 15,10 15,11 16,7 17,6 14,7 17,7 14,6 14,5 13,10 12,11 16,8 17,9 15,5",
    "11,13 13,9 11,9 12,9 11,7 11,10 13,8",
    "11,13 13,9 11,9 12,9 11,7 11,8 10,7 12,7 10,8 12,10 12,6 9,9 10,6 10,5 11,6 13,6 10,9 10,10 12,8 8,6 12,5",
    "12,13 11,8 11,7 7,7 10,7 12,7 10,9 10,8",
    "12,13 11,8 11,7 7,7 10,7 9,7 10,8 10,6",
    "7,10 13,9 12,10 13,8 14,10 15,10 14,9 13,7 13,6 14,8",
    "9,7 11,12 12,11 8,7 7,12 8,9",
    "9,7 11,12 12,11 8,7 7,12 7,8 9,6 9,8 8,8 7,9",
    "8,13 8,8 10,9 7,9 9,12 6,10",
    "10,13 9,13 7,10 10,9 12,8 9,10 7,12",
    "10,13 9,11 10,7 11,11 8,11 10,10",
    "10,13 9,11 10,7 11,11 9,7 10,11",
    "12,13 8,12 7,12 9,11 10,15 9,14 11,14 13,12",
    "12,11 11,11 10,7 13,10 7,10 12,10 11,10 13,9",
    "12,11 11,11 10,7 13,10 7,10 12,10 11,10 13,9 14,8 13,12 13,11 12,12 14,12 10,12 9,13 10,10",
    "12,11 11,11 10,7 13,10 7,10 13,8",
    "12,11 11,11 10,7 13,10 7,10 13,8 9,8 8,9 11,10 10,9 13,7 10,12 12,7 11,7 12,10 12,12 10,10 12,8",
    "11,13 10,13 11,8 11,14 12,8 12,15 9,12 14,17 13,16 13,14 13,8",
    "7,13 12,12 13,12 12,13 12,14 13,13 11,11",
    "13,9 11,7 10,10 9,12 7,13 9,11 9,10 8,10 10,12",
    "13,9 11,7 10,10 9,12 7,13 9,11 9,10 8,10 10,12 10,11 11,11 12,10 8,13 9,9 10,8 8,11 10,13",
    "13,9 11,7 10,10 9,12 7,13 9,11 9,10 8,10 10,12 10,11 11,11 12,10 8,13 9,9 10,8 8,11 10,13 9,13 6,11 8,9 8,8 7,9 6,9 6,8 5,7",
    "13,9 11,7 10,10 9,12 7,13 9,11 9,10 8,10 10,12 10,11 11,11 12,10 8,13 9,9 10,8 8,11 10,13 9,13 6,11 8,9 8,8 7,9 6,9 6,8 5,7 11,8 11,9 7,11 9,14 7,12 6,12 6,10 5,9",
    "13,9 11,7 10,10 9,12 7,13 9,11 9,10 8,10 10,12 11,11 10,11 10,13 8,9 11,12 10,9",
    "13,9 11,7 10,10 9,12 7,13 9,11 9,10 8,10 10,12 11,11 10,11 10,13 8,9 11,12 10,9 10,8 9,9 11,9 11,10 13,10 12,11 9,8 7,8",
    "13,9 11,7 10,10 9,12 7,13 9,11 9,10 8,10 10,12 11,11 10,11 10,13 8,9 11,12 10,9 10,8 9,9 11,9 11,10 13,10 12,11 9,8 7,8 6,7 7,9 6,9 7,10 7,11 7,7 7,6 11,8",
    "7,7 8,7 13,10 7,8 9,6 9,8 8,8 9,9",
    "7,7 8,7 13,10 7,8 9,6 9,8 8,8 9,9 10,9 9,10 9,11 8,9 10,11 10,7 7,10 11,6",
};

std::vector<int> parseMoves(const std::string& text) {
    std::vector<int> moves;
    std::istringstream in(text);
    int x, y;
    char comma;
    while (in >> x >> comma >> y)
        moves.push_back(squareOf(x, y));
    return moves;
}

void setUp(ShapeBoard& board, const std::vector<int>& moves) {
    std::vector<Stone> stones;
    for (std::size_t i = 0; i < moves.size(); ++i)
        stones.push_back({moves[i], static_cast<int>(i % 2)});
    board.setUp(stones, static_cast<int>(moves.size() % 2));
}

// Replays the line on a plain grid after the stones: every move on an empty
// square, colours alternating from the side to move, five on the last stone and
// on no earlier one. Empty when it replays, else what went wrong.
std::string replayFault(std::vector<int> cells, int sideToMove, const ThreatLine& line) {
    if (line.length < 1 || line.length % 2 == 0)
        return "a line of " + std::to_string(line.length) + " moves";
    int player = sideToMove;
    for (int i = 0; i < line.length; ++i) {
        const int s = line.moves[i];
        if (s < 0 || s >= SQUARE_NB || cells[s] != -1)
            return "move " + std::to_string(i) + " on an occupied or missing square";
        cells[s] = player;
        if (referee::completesFive(cells, s) != (i == line.length - 1))
            return "five at the wrong move " + std::to_string(i);
        player ^= 1;
    }
    return "";
}

// A plain grid of owners (-1 empty) from stones played in order, or from a board.
std::vector<int> cellsOf(const std::vector<int>& moves) {
    std::vector<int> cells(SQUARE_NB, -1);
    for (std::size_t i = 0; i < moves.size(); ++i)
        cells[moves[i]] = static_cast<int>(i % 2);
    return cells;
}

std::vector<int> cellsOf(const ShapeBoard& board) {
    std::vector<int> cells(SQUARE_NB, -1);
    for (int s = 0; s < SQUARE_NB; ++s)
        cells[s] = board.owner(s);
    return cells;
}

// The lines replay on a plain board, and the board comes back as handed in.
TEST(ThreatSearchWins, FoursAloneWinTheVcfRows) {
    ThreatSearch search(1 << 20);
    for (const WinRow& row : VCF_WINS) {
        const std::vector<int> moves = parseMoves(row.moves);
        ShapeBoard board;
        setUp(board, moves);
        const std::uint64_t key = board.key();
        ThreatLine line;
        ASSERT_TRUE(search.vcf(board, 200000, &line)) << row.moves;
        EXPECT_EQ(replayFault(cellsOf(moves), board.sideToMove(), line), "") << row.moves;
        EXPECT_LE(line.length, row.mate + 20) << row.moves;
        EXPECT_EQ(board.key(), key);
        EXPECT_EQ(board.historyLength(), static_cast<int>(moves.size()));
        EXPECT_EQ(board.checkConsistency(), nullptr);
    }
}

TEST(ThreatSearchWins, ThreesAndFoursWinTheVctRows) {
    ThreatSearch search(1 << 20);
    for (const WinRow& row : VCT_WINS) {
        const std::vector<int> moves = parseMoves(row.moves);
        ShapeBoard board;
        setUp(board, moves);
        const std::uint64_t key = board.key();
        ThreatLine line;
        EXPECT_FALSE(search.vcf(board, 200000, &line)) << row.moves;
        ASSERT_TRUE(search.vct(board, 200000, &line)) << row.moves;
        EXPECT_EQ(replayFault(cellsOf(moves), board.sideToMove(), line), "") << row.moves;
        EXPECT_EQ(board.key(), key);
        EXPECT_EQ(board.checkConsistency(), nullptr);
    }
}

// The defences of a three are gathered, not guessed: after a proven VCT's first
// move, whatever the defender plays anywhere on the board, the attacker still
// has a five or a proven VCT.
TEST(ThreatSearchWins, EveryReplyToAProvenVctsFirstMoveStillLoses) {
    ThreatSearch search(1 << 20);
    for (const WinRow& row : VCT_WINS) {
        if (row.mate > 7)
            continue;
        const std::vector<int> moves = parseMoves(row.moves);
        ShapeBoard board;
        setUp(board, moves);
        ThreatLine line;
        ASSERT_TRUE(search.vct(board, 200000, &line)) << row.moves;
        const int attacker = board.sideToMove();
        board.play(line.moves[0]);
        for (int reply = 0; reply < SQUARE_NB; ++reply) {
            if (!board.isEmpty(reply))
                continue;
            board.play(reply);
            ASSERT_EQ(board.sideToMove(), attacker);
            const bool stillWon = board.count(attacker, SHAPE_FIVE) > 0 || search.vct(board, 200000, nullptr);
            EXPECT_TRUE(stillWon) << row.moves << " then " << columnOf(line.moves[0]) << "," << rowOf(line.moves[0])
                                  << " refuted by " << columnOf(reply) << "," << rowOf(reply);
            board.undo();
        }
    }
}

TEST(ThreatSearchQuiet, NoClaimInQuietPositions) {
    ThreatSearch search(1 << 20);
    ThreatSearch tiny(1);  // one entry: every store replaces the last
    for (const char* row : QUIET) {
        const std::vector<int> moves = parseMoves(row);
        ShapeBoard board;
        setUp(board, moves);
        const std::uint64_t key = board.key();
        ThreatLine line;
        EXPECT_FALSE(search.vcf(board, 50000, &line)) << row;
        EXPECT_FALSE(search.vct(board, 50000, &line)) << row;
        EXPECT_FALSE(tiny.vct(board, 20000, &line)) << row;
        EXPECT_EQ(board.key(), key);
    }
}

TEST(ThreatSearchBudget, AnExhaustedBudgetClaimsNothing) {
    ThreatSearch search(1 << 20);
    const std::vector<int> moves = parseMoves(VCT_WINS[0].moves);
    ShapeBoard board;
    setUp(board, moves);
    EXPECT_FALSE(search.vct(board, 3, nullptr));
    EXPECT_LE(search.nodes(), 4u);
    search.clear();
    EXPECT_TRUE(search.vct(board, 200000, nullptr));
    EXPECT_LE(search.tableBytes(), std::size_t{1} << 20);
}

ShapeBoard diagramBoard(std::string_view diagram, int sideToMove, int originX, int originY) {
    std::vector<Stone> stones;
    std::string error;
    EXPECT_TRUE(test::parseDiagram(diagram, originX, originY, stones, error)) << error;
    ShapeBoard board;
    board.setUp(stones, sideToMove);
    return board;
}

// An open three wins by fours (the open four), unless the opponent has a four:
// its block comes first, and the three is then stopped.
TEST(ThreatSearchFours, TheOpponentsFourIsBlockedFirst) {
    const char* withFour = R"(
        . . . . . . . . . . x
        . . . . . . . . . . o
        . . . . . . . . . . o
        . . . . . . . . . . o
        . . . . . . . . . . o
        . . . . . . . . . . .
        . . x x x . . . . . .
        . . . . . . . . . . .)";
    const char* withoutFour = R"(
        . . . . . . . . . . x
        . . . . . . . . . . o
        . . . . . . . . . . o
        . . . . . . . . . . o
        . . . . . . . . . . x
        . . . . . . . . . . .
        . . x x x . . . . . .
        . . . . . . . . . . .)";
    ThreatSearch search(1 << 16);
    ThreatLine line;
    ShapeBoard free = diagramBoard(withoutFour, 1, 5, 4);
    ASSERT_TRUE(search.vcf(free, 10000, &line));
    EXPECT_EQ(line.length, 3);
    EXPECT_EQ(replayFault(cellsOf(free), 1, line), "");
    ShapeBoard blocked = diagramBoard(withFour, 1, 5, 4);
    EXPECT_FALSE(search.vcf(blocked, 10000, &line));
    EXPECT_FALSE(search.vct(blocked, 10000, &line));
}

// If x passed, o's open three would become an open four: the defences hold the
// three's blocks, the line replays for o, and a block stops the threat where a
// far move does not.
TEST(ThreatSearchOpponent, ThreatBehindANullMoveAndItsDefences) {
    ShapeBoard board = diagramBoard(R"(
        . . . . . . .
        . . o o o . .
        . . . x . . .
        . . . x . . .)", 1, 5, 8);
    ThreatSearch search(1 << 16);
    const std::uint64_t key = board.key();
    int defences[64];
    const int n = search.opponentThreat(board, false, 10000, defences, 64);
    EXPECT_EQ(board.key(), key);
    ASSERT_GT(n, 0);
    const std::vector<int> list(defences, defences + n);
    for (int block : {squareOf(6, 9), squareOf(10, 9)})
        EXPECT_NE(std::find(list.begin(), list.end(), block), list.end()) << block;
    EXPECT_EQ(replayFault(cellsOf(board), 0, search.lastThreatLine()), "");

    int stopping = 0;
    for (int d : list) {
        board.play(d);
        if (!search.vcf(board, 10000, nullptr))
            ++stopping;
        board.undo();
    }
    EXPECT_GT(stopping, 0);
    board.play(squareOf(0, 0));
    EXPECT_TRUE(search.vcf(board, 10000, nullptr));
    board.undo();

    // A four on the board: its five square is the first defence.
    ShapeBoard four = diagramBoard(R"(
        . . . . . . .
        x o o o o . .
        . . . x . . .
        . . . x . . .)", 1, 5, 8);
    ASSERT_GT(search.opponentThreat(four, false, 10000, defences, 64), 0);
    EXPECT_EQ(defences[0], squareOf(10, 9));
    EXPECT_EQ(search.lastThreatLine().length, 1);

    ShapeBoard calm = diagramBoard(R"(
        . o . .
        . . x .)", 1, 5, 8);
    EXPECT_EQ(search.opponentThreat(calm, true, 10000, defences, 64), 0);
}

// Every square where the defender's stone takes away all of the attacker's
// open-four and double-four squares is among the blocks, in positions from
// seeded random games.
TEST(ThreatSearchBlocks, EveryRealBlockIsListed) {
    int checked = 0;
    for (unsigned seed = 1; seed <= 15; ++seed) {
        std::mt19937 rng(seed);
        ShapeBoard board;
        board.play(CENTRE);
        for (int ply = 0; ply < 60; ++ply) {
            const int mover = board.sideToMove();
            if (board.count(0, SHAPE_FIVE) + board.count(1, SHAPE_FIVE) > 0)
                break;
            for (int attacker = 0; attacker < PLAYER_NB; ++attacker) {
                if (board.count(attacker, SHAPE_OPEN_FOUR) + board.count(attacker, SHAPE_FOUR_FOUR) == 0)
                    continue;
                std::int16_t blocks[SQUARE_NB];
                const int n = winningSquareBlocks(board, attacker, blocks);
                const std::vector<int> listed(blocks, blocks + n);
                const bool pass = board.sideToMove() == attacker;
                if (pass)
                    board.playNull();
                for (int t = 0; t < SQUARE_NB; ++t) {
                    if (!board.isEmpty(t))
                        continue;
                    board.play(t);
                    if (board.count(attacker, SHAPE_OPEN_FOUR) + board.count(attacker, SHAPE_FOUR_FOUR) == 0) {
                        ++checked;
                        EXPECT_NE(std::find(listed.begin(), listed.end(), t), listed.end())
                            << "seed " << seed << " square " << t;
                    }
                    board.undo();
                }
                if (pass)
                    board.undo();
            }
            ASSERT_EQ(board.sideToMove(), mover);
            board.play(board.inPlay()[rng() % board.inPlayCount()]);
        }
    }
    EXPECT_GT(checked, 20);
}

} // namespace
} // namespace kelmo
