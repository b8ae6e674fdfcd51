// ProSearch: forced replies, proven wins with lines that replay, the root's refusal of moves that hand the
// opponent a forced five, and a search that is repeatable under node and depth caps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "alphabeta/pro_search.h"
#include "board/shape_board.h"
#include "referee.h"
#include "support/board_diagram.h"
#include "threat/threat_search.h"

namespace kelmo {
namespace {

constexpr std::size_t TABLE_BYTES = std::size_t{8} << 20;

std::vector<Stone> diagramStones(const char* diagram, int originX, int originY) {
    std::vector<Stone> stones;
    std::string error;
    EXPECT_TRUE(test::parseDiagram(diagram, originX, originY, stones, error)) << error;
    return stones;
}

std::string squareText(int square) {
    return square < 0 ? "none" : std::to_string(columnOf(square)) + "," + std::to_string(rowOf(square));
}

ProLimits depthLimit(int depth) {
    ProLimits limits;
    limits.maxDepth = depth;
    return limits;
}

// True when the line replays on a plain grid: moves on empty squares, alternating from the side to move,
// the last completing five and no earlier one.
bool replays(const std::vector<Stone>& stones, int sideToMove, const ThreatLine& line) {
    std::vector<int> cells(SQUARE_NB, -1);
    for (const Stone& s : stones)
        cells[s.square] = s.player;
    int player = sideToMove;
    for (int i = 0; i < line.length; ++i) {
        const int s = line.moves[i];
        if (s < 0 || s >= SQUARE_NB || cells[s] != -1)
            return false;
        cells[s] = player;
        if (referee::completesFive(cells, s) != (i == line.length - 1))
            return false;
        player ^= 1;
    }
    return line.length % 2 == 1;
}

// Whether the opponent of the side to move, after `move`, can force a five (VCF, or VCT when asked).
bool opponentWinsAfter(const std::vector<Stone>& stones, int sideToMove, int move, bool withThrees) {
    ShapeBoard board;
    board.setUp(stones, sideToMove);
    board.play(move);
    ThreatSearch threats(std::size_t{4} << 20);
    return withThrees ? threats.vct(board, 2000000, nullptr) : threats.vcf(board, 2000000, nullptr);
}

struct ReplyCase {
    const char* name;
    const char* diagram;  // first cell on (4, 6)
    int sideToMove;
    std::vector<int> answers;  // squares any of which is right
};

// Positions where only a few moves are right, whatever the evaluation thinks of the others.
const ReplyCase REPLY_CASES[] = {
    {"own five beats blocking the opponent's",
     R"(
        . . . . . . . . .
        . x x x x . . . .
        . . . . . . . . .
        . o o o o . . . .
        . . . . . . . . .
     )",
     1, {squareOf(4, 7), squareOf(9, 7)}},
    {"the opponent's four is blocked",
     R"(
        . . . . . . . . .
        x o o o o . . . .
        . . . . . . . . .
        . x x . x . . . .
        . . . . . . . . .
     )",
     1, {squareOf(9, 7)}},
    {"a split four is blocked in its gap",
     R"(
        . . . . . . . . .
        . o o . o o . . .
        . . x . . x . . .
        . x . . . . . . .
     )",
     1, {squareOf(7, 7)}},
    {"an open three is stopped at one of its ends",
     R"(
        . . . . . . . . . .
        . . . . . . . . . .
        . . . o o o . . . .
        . . . . . . . . . .
        . . x . . . x . . .
        . . . . . . . . . .
     )",
     1, {squareOf(6, 8), squareOf(10, 8)}},
    {"a four-three square of the opponent's is taken or its four blocked",
     R"(
        . . . . . . . . .
        x o o o . . . . .
        . . x x . . . . .
        . . . . o . . . .
        . . . . o . . x .
        . . . . . . . . .
     )",
     1, {squareOf(8, 7), squareOf(9, 7), squareOf(8, 8), squareOf(8, 11)}},
};

TEST(ProSearchReplies, PlaysTheOnlyRightMoves) {
    for (const ReplyCase& c : REPLY_CASES) {
        SCOPED_TRACE(c.name);
        const std::vector<Stone> stones = diagramStones(c.diagram, 4, 6);
        ProSearch search(TABLE_BYTES);
        const ProResult r = search.search(stones, c.sideToMove, depthLimit(6), nullptr);
        EXPECT_NE(std::find(c.answers.begin(), c.answers.end(), r.square), c.answers.end())
            << "played " << squareText(r.square);
        if (!r.provenWin) {
            EXPECT_FALSE(opponentWinsAfter(stones, c.sideToMove, r.square, true)) << "played " << squareText(r.square);
        }
    }
}

TEST(ProSearchReplies, AFiveIsPlayedAsAProvenWinOfOnePly) {
    const std::vector<Stone> stones = diagramStones(R"(
        o o o . .
        . x x x x
    )", 5, 5);
    ProSearch search(TABLE_BYTES);
    const ProResult r = search.search(stones, 1, depthLimit(4), nullptr);
    EXPECT_TRUE(r.square == squareOf(5, 6) || r.square == squareOf(10, 6)) << squareText(r.square);
    EXPECT_TRUE(r.provenWin);
    EXPECT_EQ(r.winLine.length, 1);
    EXPECT_EQ(r.last.mateIn, 1);
    EXPECT_TRUE(replays(stones, 1, r.winLine));
}

TEST(ProSearchReplies, AnEmptyBoardGetsTheCentre) {
    ProSearch search(TABLE_BYTES);
    EXPECT_EQ(search.search({}, 0, depthLimit(3), nullptr).square, CENTRE);
    EXPECT_EQ(search.search({}, 1, depthLimit(3), nullptr).square, CENTRE);
}

// The opponent (o) wins by fours if x passes: o plays 5,10 (a four; x must take 6,10), then 5,7 makes two
// fours at once. Nothing on the board shows it as one shape: each of those squares makes a single four.
// x has a promising shape of its own on the right, which a search blind to the threat would play.
const char* const HIDDEN_VCF = R"(
    . . . . . . . . . . . . . . .
    . . . . . x . . . . . . . . .
    . . . . . . . . . . . . . . .
    . . . . . . o o o x . . . . .
    . . . . . o . . . . . . . . .
    . . . . . o . . . . . x . x .
    . o o o . . . . . . . . x . .
    . . . . . x . . . . . . . . .
    . . . . . . . . . . . . . . .
)";

TEST(ProSearchSafety, NeverPlaysAMoveAfterWhichTheOpponentWinsByFours) {
    const std::vector<Stone> stones = diagramStones(HIDDEN_VCF, 0, 4);
    // The fixture does what it says: o's threat is real and a move away from it loses.
    {
        ShapeBoard board;
        board.setUp(stones, 1);
        board.playNull();
        ThreatSearch threats(std::size_t{1} << 20);
        ASSERT_TRUE(threats.vcf(board, 100000, nullptr));
        ASSERT_TRUE(opponentWinsAfter(stones, 1, squareOf(13, 8), false));
    }
    for (int depth : {1, 2, 5}) {
        ProSearch search(TABLE_BYTES);
        const ProResult r = search.search(stones, 1, depthLimit(depth), nullptr);
        EXPECT_FALSE(opponentWinsAfter(stones, 1, r.square, false))
            << "depth " << depth << " played " << squareText(r.square);
    }
}

// Positions from self-play games, just before the move that lost: the opponent would win by threes and fours
// if the side to move passed, and only two of the fifty-odd squares in play hold against it (counted with the
// threat search at a far larger budget than the brain's).
const char* const THREATENED_POSITIONS[] = {
    "13,9 9,12 9,10 10,11 13,11 10,12 10,10 11,10 8,13 8,11",
    "13,9 11,7 10,10 9,12 7,13 8,10 10,12 11,11 7,11 10,11 9,11 8,12 8,13 8,11 10,13 9,13 7,12 8,9 8,8",
    "7,7 8,7 13,10 9,6 11,10 8,8 12,10 10,10",
    "13,8 8,11 12,12 10,11 11,9 11,8 10,9 9,9 9,11 8,10",
};

std::vector<Stone> gameStones(const char* moves, int& sideToMove) {
    std::vector<Stone> stones;
    int x, y, used;
    int count = 0;
    for (const char* p = moves; std::sscanf(p, " %d,%d%n", &x, &y, &used) == 2; p += used)
        stones.push_back({squareOf(x, y), count++ % 2});
    sideToMove = count % 2;
    return stones;
}

TEST(ProSearchSafety, AThreatOfThreesAndFoursIsAnsweredWithAMoveThatHolds) {
    for (const char* moves : THREATENED_POSITIONS) {
        SCOPED_TRACE(moves);
        int side = 0;
        const std::vector<Stone> stones = gameStones(moves, side);
        {
            ShapeBoard board;
            board.setUp(stones, side);
            board.playNull();
            ThreatSearch threats(std::size_t{4} << 20);
            ASSERT_TRUE(threats.vct(board, 2000000, nullptr)) << "the fixture's threat is gone";
        }
        for (int depth : {1, 4}) {
            ProSearch search(TABLE_BYTES);
            const ProResult r = search.search(stones, side, depthLimit(depth), nullptr);
            EXPECT_FALSE(opponentWinsAfter(stones, side, r.square, true))
                << "depth " << depth << " played " << squareText(r.square);
        }
    }
}

// A position from a match, before the move that lost: every square the search lists by shape, and every
// answer to the threat behind a pass, loses to threes and fours; one square in play holds (8,5, a block
// well ahead of the threat). The brain has to look past its list to find it.
const char* const ONE_QUIET_DEFENCE = "9,7 11,12 12,11 8,7 7,12 9,6 7,8 7,4 8,8 7,6 9,8 10,8 7,9 10,6 6,6 11,6 8,6 "
                                      "12,6 13,6";

TEST(ProSearchSafety, WhenEveryListedMoveLosesTheOtherSquaresAreTried) {
    int side = 0;
    const std::vector<Stone> stones = gameStones(ONE_QUIET_DEFENCE, side);
    ASSERT_FALSE(opponentWinsAfter(stones, side, squareOf(8, 5), true)) << "the fixture's defence is gone";
    for (int depth : {1, 4}) {
        ProSearch search(TABLE_BYTES);
        const ProResult r = search.search(stones, side, depthLimit(depth), nullptr);
        EXPECT_FALSE(opponentWinsAfter(stones, side, r.square, true))
            << "depth " << depth << " played " << squareText(r.square);
    }
}

// Positions from real games where the side to move forces a five (labelled by an independent search).
const char* const WIN_POSITIONS[] = {
    "10,13 7,9 8,9 8,8 6,10 6,8 7,10 8,10 9,11 9,8 7,8 8,11 9,10 10,11 9,13 9,14 9,12 9,9 7,13 6,13",
    "8,13 8,8 10,9 9,7 8,11 9,10 8,12 8,10 10,10 9,11 10,8 10,11 8,14 8,15 10,6 10,7 11,12 9,8 9,9",
    "13,9 9,12 9,10 10,11 13,11 8,13 11,10 10,10 13,12 13,10 10,9 12,11 11,9 14,9 11,12 15,8 16,7 11,11",
    "12,13 11,8 11,7 7,7 10,7 9,7 10,8 10,6 9,9 12,6 7,11 8,10 10,9 11,5 10,10 10,11 12,4 7,9 8,8 7,8 7,6 6,8 "
    "9,11 5,7 4,6",
};

TEST(ProSearchWins, GamePositionsAreWonWithALineThatReplays) {
    for (const char* moves : WIN_POSITIONS) {
        SCOPED_TRACE(moves);
        int side = 0;
        const std::vector<Stone> stones = gameStones(moves, side);
        ProSearch search(TABLE_BYTES);
        ProLimits limits;
        limits.maxDepth = 8;
        limits.nodeCap = 2000000;
        const ProResult r = search.search(stones, side, limits, nullptr);
        ASSERT_TRUE(r.provenWin || r.last.mateIn > 0) << "played " << squareText(r.square);
        if (r.provenWin) {
            EXPECT_EQ(r.winLine.moves[0], r.square);
            EXPECT_TRUE(replays(stones, side, r.winLine));
            EXPECT_EQ(r.last.mateIn, r.winLine.length);
        } else {
            // A mate the search found shows its moves down to the five.
            ThreatLine pv;
            pv.length = r.last.pvLength;
            std::copy(r.last.pv, r.last.pv + r.last.pvLength, pv.moves);
            EXPECT_EQ(pv.length, r.last.mateIn);
            EXPECT_TRUE(replays(stones, side, pv));
        }
        EXPECT_FALSE(opponentWinsAfter(stones, side, r.square, false));
    }
}

class Recorder : public ProProgress {
public:
    void iterationDone(const ProIteration& iteration) override { seen.push_back(iteration); }
    std::vector<ProIteration> seen;
};

// A quiet middle game: no proof either way, so the deepening runs its course.
const char* const QUIET = "9,7 11,12 12,11 8,7 7,12 7,8 9,6 9,8 8,8 7,9";

TEST(ProSearchIterations, OneReportPerFinishedDepthWithAPrincipalVariationFromTheMove) {
    int side = 0;
    const std::vector<Stone> stones = gameStones(QUIET, side);
    ProSearch search(TABLE_BYTES);
    Recorder recorder;
    const ProResult r = search.search(stones, side, depthLimit(5), &recorder);
    ASSERT_EQ(recorder.seen.size(), 5u);
    std::uint64_t nodes = 0;
    for (std::size_t i = 0; i < recorder.seen.size(); ++i) {
        const ProIteration& it = recorder.seen[i];
        EXPECT_EQ(it.depth, static_cast<int>(i) + 1);
        EXPECT_GE(it.nodes, nodes);
        nodes = it.nodes;
        ASSERT_GE(it.pvLength, 1);
        // The line is playable: distinct empty squares.
        std::set<int> squares(it.pv, it.pv + it.pvLength);
        EXPECT_EQ(squares.size(), static_cast<std::size_t>(it.pvLength));
        for (int s : squares)
            EXPECT_TRUE(std::none_of(stones.begin(), stones.end(), [&](const Stone& st) { return st.square == s; }));
    }
    EXPECT_EQ(r.last.depth, 5);
    EXPECT_EQ(r.square, recorder.seen.back().pv[0]);
    EXPECT_EQ(r.last.mateIn, 0);
}

TEST(ProSearchRepeatable, TheSameCapsGiveTheSameSearch) {
    int side = 0;
    const std::vector<Stone> stones = gameStones(QUIET, side);
    for (ProLimits limits : {depthLimit(6), ProLimits{0, 0, 30000, 0}}) {
        ProSearch a(TABLE_BYTES), b(TABLE_BYTES);
        const ProResult ra = a.search(stones, side, limits, nullptr);
        const ProResult rb = b.search(stones, side, limits, nullptr);
        EXPECT_EQ(ra.square, rb.square);
        EXPECT_EQ(ra.last.score, rb.last.score);
        EXPECT_EQ(ra.last.nodes, rb.last.nodes);
        // clear() forgets everything: the same search again from scratch.
        a.clear();
        const ProResult again = a.search(stones, side, limits, nullptr);
        EXPECT_EQ(again.square, ra.square);
        EXPECT_EQ(again.last.nodes, ra.last.nodes);
    }
}

TEST(ProSearchRepeatable, ANodeCapStopsTheSearchNearIt) {
    int side = 0;
    const std::vector<Stone> stones = gameStones(QUIET, side);
    ProSearch search(TABLE_BYTES);
    const ProResult r = search.search(stones, side, ProLimits{0, 0, 20000, 0}, nullptr);
    EXPECT_GE(r.square, 0);
    // The cap is looked at every thousand nodes or so, and a threat search finishes its budget first.
    EXPECT_LT(r.last.nodes, 20000u + 50000u);
}

TEST(ProSearchTable, ASecondSearchOfTheSamePositionAgreesAndReusesTheTable) {
    int side = 0;
    const std::vector<Stone> stones = gameStones(QUIET, side);
    ProSearch search(TABLE_BYTES);
    const ProResult first = search.search(stones, side, depthLimit(6), nullptr);
    const ProResult second = search.search(stones, side, depthLimit(6), nullptr);
    EXPECT_EQ(second.square, first.square);
    EXPECT_EQ(second.last.score, first.last.score);
    EXPECT_LT(second.last.nodes, first.last.nodes);
}

TEST(ProSearchTable, TablesStayWithinTheBytesGiven) {
    for (std::size_t bytes : {std::size_t{1} << 20, std::size_t{3000000}, std::size_t{100000000}}) {
        ProSearch search(bytes);
        EXPECT_LE(search.tableBytes(), bytes);
        EXPECT_GE(search.tableBytes(), bytes / 4);
        search.resize(bytes / 2);
        EXPECT_LE(search.tableBytes(), bytes / 2);
    }
}

} // namespace
} // namespace kelmo
