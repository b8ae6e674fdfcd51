// ProBrain: the limits and their resets, the turn budget and the table size
// worked out from them, the game kept as stones through BOARD, TURN and BEGIN,
// and self-play in which no reply ever lands on a stone.
#include "brain/pro_brain.h"
#include "search/memory_use.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <set>
#include <vector>

#include "errorlog/error_log.h"
#include "referee.h"
#include "support/temp_dir.h"

namespace kelmo {
namespace {

// Searches in these tests stop on nodes, and the tables stay small.
constexpr std::uint64_t NODE_CAP = 3000;
constexpr std::size_t TABLE_CAP = 1 << 20;

class ProBrainTest : public ::testing::Test {
protected:
    test::TempDir dir;
    test::ScopedChdir chdir{dir.path()};

    bool errorLogExists() const { return std::filesystem::exists(dir.file(ERROR_LOG_NAME)); }
};

void quick(ProBrain& brain) {
    brain.nodeCap = NODE_CAP;
    brain.tableBytesCap = TABLE_CAP;
}

void expectLimits(const ProBrain& brain, std::int32_t timeLeft, std::int32_t timeoutTurn, std::int32_t maxMemory) {
    EXPECT_EQ(brain.timeLeft(), timeLeft);
    EXPECT_EQ(brain.timeoutTurn(), timeoutTurn);
    EXPECT_EQ(brain.maxMemory(), maxMemory);
}

// The stones as the brain lists them agree with squareIsEmpty, square by
// square, and name no square twice.
void expectGameConsistent(const ProBrain& brain) {
    std::set<int> seen;
    for (const Stone& stone : brain.stones()) {
        ASSERT_GE(stone.square, 0);
        ASSERT_LT(stone.square, SQUARE_NB);
        EXPECT_TRUE(stone.player == 0 || stone.player == 1);
        EXPECT_TRUE(seen.insert(stone.square).second) << "square " << stone.square << " listed twice";
    }
    for (int square = 0; square < SQUARE_NB; ++square)
        EXPECT_EQ(brain.squareIsEmpty(square), seen.count(square) == 0) << square;
}

int ownerOf(const ProBrain& brain, int square) {
    for (const Stone& stone : brain.stones())
        if (stone.square == square)
            return stone.player;
    return -1;
}

// Every square but the two corners, in a pattern without three in a row.
std::vector<Stone> almostFullStones() {
    std::vector<Stone> stones;
    for (int y = 0; y < BOARD_SIZE; ++y)
        for (int x = 0; x < BOARD_SIZE; ++x)
            if (!((x == 0 && y == 0) || (x == 19 && y == 19)))
                stones.push_back({squareOf(x, y), 1 - ((x + 2 * y) / 2) % 2});
    return stones;
}

// ---- limits ----

TEST_F(ProBrainTest, LimitsStartAtTheDefaultsAndEachCommandKeepsOrResetsThem) {
    ProBrain brain;
    quick(brain);
    expectLimits(brain, DEFAULT_TIME_LEFT, DEFAULT_TIMEOUT_TURN, DEFAULT_MAX_MEMORY);
    for (std::int32_t v : {0, 1, 200, 2147483647}) {
        brain.setTimeLeft(v);
        brain.setTimeoutTurn(v);
        brain.setMaxMemory(v);
        expectLimits(brain, v, v, v);
    }
    for (std::int32_t v : {-1, -1000, -2147483647 - 1}) {
        brain.setTimeLeft(v);
        EXPECT_EQ(brain.timeLeft(), 0) << v;
    }
    // BEGIN, TURN and BOARD keep the limits as INFO set them; START resets them.
    brain.setTimeLeft(4321);
    brain.setTimeoutTurn(77);
    brain.setMaxMemory(0);
    ASSERT_EQ(brain.begin(), CENTRE);
    ASSERT_GE(brain.turn(9, 9), 0);
    const std::vector<Stone> body = {{squareOf(3, 3), 0}};
    ASSERT_GE(brain.setupBoard(body), 0);
    expectLimits(brain, 4321, 77, 0);
    brain.startGame();
    expectLimits(brain, DEFAULT_TIME_LEFT, DEFAULT_TIMEOUT_TURN, DEFAULT_MAX_MEMORY);
    EXPECT_TRUE(brain.stones().empty());
    EXPECT_FALSE(errorLogExists());
}

// ---- time budget ----

TEST(ProTurnBudget, FollowsTheTurnCapAndTheGameShare) {
    struct Case {
        const char* what;
        std::int32_t timeLeft, timeoutTurn;
        int stones;
        std::int64_t soft, hard;
    };
    const Case cases[] = {
        // 95 % of 3000 less the margin is 2820; the game share 179970 / 30 is larger.
        {"defaults, empty board", 180000, 3000, 0, 2397, 2820},
        // 29970 / 30 = 999 is above the turn cap of 920: a short game's clock
        // still lets the early turns run to the cap.
        {"30 s game, 1 s turns, opening", 30000, 1000, 0, 782, 920},
        // 9970 / 30 = 332 is below the turn cap.
        {"10 s game, 1 s turns, opening", 10000, 1000, 0, 282, 332},
        // 30 stones: 15 moves expected; 39970 / 15 = 2664 is below the cap of 4720.
        {"2 min game, 5 s turns, 40 s left", 40000, 5000, 30, 2264, 2664},
        // Past sixty stones the brain still keeps twelve moves in hand.
        {"long game", 5000, 1000, 150, 351, 414},
        {"full board", 5000, 1000, 400, 351, 414},
        {"no game time left", 0, 1000, 10, 1, 1},
        {"game time below the margin", 20, 1000, 10, 1, 1},
        {"no turn time", 180000, 0, 0, 1, 1},
        {"turn time below the margin", 180000, 31, 0, 1, 1},
        {"largest settings", 2147483647, 2147483647, 0, 60845368, 71582787},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TurnBudget budget = proTurnBudget(c.timeLeft, c.timeoutTurn, c.stones);
        EXPECT_EQ(budget.softMs, c.soft);
        EXPECT_EQ(budget.hardMs, c.hard);
    }
}

TEST(ProTurnBudget, NeverPassesTheTurnLimitNorAShareOfTheGameTime) {
    const std::int32_t times[] = {0, 1, 29, 31, 100, 999, 1000, 5000, 30000, 180000, 1000000, 2147483647};
    for (std::int32_t timeLeft : times)
        for (std::int32_t timeoutTurn : times)
            for (int stones : {0, 1, 30, 77, 99, 100, 250, 400}) {
                TurnBudget b = proTurnBudget(timeLeft, timeoutTurn, stones);
                SCOPED_TRACE(std::to_string(timeLeft) + " " + std::to_string(timeoutTurn) + " " +
                             std::to_string(stones));
                EXPECT_GE(b.softMs, 1);
                EXPECT_LE(b.softMs, b.hardMs);
                // Past the 1 ms floor, within 95 % of the turn with the margin kept,
                // and at most a twelfth of the game time.
                if (b.hardMs > 1) {
                    EXPECT_LE(b.hardMs, std::int64_t{timeoutTurn} * 95 / 100 - REPLY_MARGIN_MS);
                    EXPECT_LE(b.hardMs * MIN_MOVES_LEFT, std::int64_t{timeLeft});
                }
                // More game time never shortens the turn.
                if (timeLeft < 2147483647) {
                    EXPECT_LE(b.hardMs, proTurnBudget(timeLeft + 1, timeoutTurn, stones).hardMs);
                }
            }
}

TEST(ProTurnBudget, TimeAlreadySpentComesOffBothLimits) {
    const struct {
        std::int64_t soft, hard, spent, wantSoft, wantHard;
    } cases[] = {
        {500, 900, 0, 500, 900},   {500, 900, 100, 400, 800}, {500, 900, 600, 1, 300},
        {500, 900, 2000, 1, 1},    {500, 900, -5, 500, 900},
    };
    for (const auto& c : cases) {
        TurnBudget b = afterSpending({c.soft, c.hard}, c.spent);
        EXPECT_EQ(b.softMs, c.wantSoft) << c.spent;
        EXPECT_EQ(b.hardMs, c.wantHard) << c.spent;
    }
}

// ---- memory ----

TEST(ProTableBytes, TheBudgetAtMostAndNoMoreThanATurnFills) {
    constexpr std::size_t MIB = 1 << 20;
    constexpr std::int32_t LONG_TURN = 1000000;  // the turn's reach out of the way
    constexpr std::int64_t NO_BUDGET_LIMIT = std::int64_t{1} << 40;
    const struct {
        std::int64_t budget;
        std::int32_t timeoutTurn;
        std::size_t bytes;
    } cases[] = {
        {300000000, LONG_TURN, 286 * MIB},       // whole MiB, rounded down
        {100 * MIB, LONG_TURN, 100 * MIB},
        {MIB + 1, LONG_TURN, MIB},
        {MIB - 1, LONG_TURN, MIN_TABLE_BYTES},   // too small for any table: the least one
        {0, LONG_TURN, MIN_TABLE_BYTES},
        {-5, LONG_TURN, MIN_TABLE_BYTES},
        // 32 KiB a millisecond of turn.
        {NO_BUDGET_LIMIT, 300, 9 * MIB},         // 9830400
        {NO_BUDGET_LIMIT, 1000, 31 * MIB},       // 32768000
        {NO_BUDGET_LIMIT, 3000, 93 * MIB},       // 98304000
        {50 * MIB, 3000, 50 * MIB},              // the budget is the smaller
        {NO_BUDGET_LIMIT, 0, MIN_TABLE_BYTES},
        {NO_BUDGET_LIMIT, -1, MIN_TABLE_BYTES},
        {200 * MIB, 2147483647, 200 * MIB},      // no overflow at the largest turn
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.budget) + " " + std::to_string(c.timeoutTurn));
        EXPECT_EQ(proTableBytes(c.budget, c.timeoutTurn), c.bytes);
    }
}

TEST_F(ProBrainTest, TablesAreMadeBeforeTheFirstSearchWithinTheLimitAndRemadeOnlyForANewLimit) {
    constexpr std::size_t MIB = 1 << 20;
    ProBrain brain;
    brain.nodeCap = NODE_CAP;
    brain.setTimeLeft(1000000);
    EXPECT_EQ(brain.tableBytes(), 0u) << "tables before any search";
    brain.setMaxMemory(100000000);
    ASSERT_EQ(brain.begin(), CENTRE);
    const std::size_t first = brain.tableBytes();
    EXPECT_GE(first, MIN_TABLE_BYTES);
    EXPECT_LE(first, proTableBytes(searchBudget(100000000, static_cast<std::int64_t>(first)), DEFAULT_TIMEOUT_TURN) + MIB)
        << "the rest of the process measured and left room for";
    EXPECT_LT(first, 98000000u);
    ASSERT_GE(brain.turn(9, 9), 0);
    EXPECT_EQ(brain.tableBytes(), first) << "same limits, same tables";
    // START brings back the default limits; the next search works with them.
    brain.startGame();
    brain.nodeCap = NODE_CAP;
    ASSERT_GE(brain.turn(9, 9), 0);
    EXPECT_LT(brain.tableBytes(), std::size_t{DEFAULT_MAX_MEMORY} * 98 / 100);
    // With no limit from the manager the budget is far above what a 3 s turn
    // fills, so the turn decides; then a shorter turn asks for smaller tables.
    brain.setMaxMemory(0);
    ASSERT_GE(brain.turn(12, 12), 0);
    EXPECT_EQ(brain.tableBytes(), 93 * MIB);
    brain.setTimeoutTurn(500);
    ASSERT_GE(brain.turn(13, 13), 0);
    EXPECT_EQ(brain.tableBytes(), 15 * MIB);
    // A limit below what the process already holds leaves no budget: the least
    // tables, and still a move.
    brain.setMaxMemory(1);
    const int reply = brain.turn(14, 14);
    EXPECT_GE(reply, 0);
    EXPECT_EQ(brain.tableBytes(), MIN_TABLE_BYTES);
    // The test cap bounds the tables whatever the limits say.
    brain.tableBytesCap = TABLE_CAP;
    brain.setMaxMemory(0);
    ASSERT_GE(brain.turn(7, 7), 0);
    EXPECT_EQ(brain.tableBytes(), TABLE_CAP);
}

// ---- the game ----

TEST_F(ProBrainTest, BoardSetsUpTheStonesAndRepliesOnAnEmptySquare) {
    ProBrain brain;
    quick(brain);
    brain.setTimeLeft(777);
    ASSERT_GE(brain.turn(0, 0), 0);
    const std::vector<Stone> body = {{squareOf(12, 10), 1}, {squareOf(9, 9), 0}, {squareOf(10, 10), 0},
                                     {squareOf(11, 11), 0}};
    const int reply = brain.setupBoard(body);
    ASSERT_GE(reply, 0);
    ASSERT_LT(reply, SQUARE_NB);
    // The earlier game is gone; the body's stones and the reply are all there is.
    EXPECT_EQ(brain.stones().size(), body.size() + 1);
    for (const Stone& stone : body)
        EXPECT_EQ(ownerOf(brain, stone.square), stone.player);
    EXPECT_EQ(ownerOf(brain, reply), 1);
    EXPECT_TRUE(brain.squareIsEmpty(squareOf(0, 0)));
    expectGameConsistent(brain);
    // The opponent's open three (the brain has nothing to answer it with) is
    // stopped only next to one of its ends: a brain that passed the stones'
    // owners the wrong way round would not see it.
    EXPECT_TRUE(reply == squareOf(8, 8) || reply == squareOf(12, 12)) << reply;
    EXPECT_FALSE(errorLogExists());
}

TEST_F(ProBrainTest, TurnAndBeginPlayBothSidesStones) {
    ProBrain brain;
    quick(brain);
    ASSERT_EQ(brain.begin(), CENTRE);
    const int reply = brain.turn(11, 10);
    ASSERT_GE(reply, 0);
    EXPECT_EQ(ownerOf(brain, CENTRE), 1);
    EXPECT_EQ(ownerOf(brain, squareOf(11, 10)), 0);
    EXPECT_EQ(ownerOf(brain, reply), 1);
    EXPECT_EQ(brain.stones().size(), 3u);
    expectGameConsistent(brain);
    // BEGIN starts a new game whatever stood before.
    ASSERT_EQ(brain.begin(), CENTRE);
    EXPECT_EQ(brain.stones().size(), 1u);
    expectGameConsistent(brain);
}

TEST_F(ProBrainTest, AFullBoardGetsNoMoveAndNothingIsPlayed) {
    ProBrain brain;
    quick(brain);
    std::vector<Stone> stones = almostFullStones();
    const int reply = brain.setupBoard(stones);
    ASSERT_TRUE(reply == squareOf(0, 0) || reply == squareOf(19, 19)) << reply;
    const int last = reply == squareOf(0, 0) ? squareOf(19, 19) : squareOf(0, 0);
    EXPECT_EQ(brain.turn(columnOf(last), rowOf(last)), -1);
    EXPECT_EQ(brain.stones().size(), static_cast<std::size_t>(SQUARE_NB));
    expectGameConsistent(brain);
    // A BOARD body that fills the board is answered the same way.
    stones.push_back({squareOf(0, 0), 0});
    stones.push_back({squareOf(19, 19), 1});
    EXPECT_EQ(brain.setupBoard(stones), -1);
    EXPECT_EQ(brain.stones().size(), static_cast<std::size_t>(SQUARE_NB));
    EXPECT_FALSE(errorLogExists());
}

// ---- progress ----

class Recorder final : public ProProgress {
public:
    std::vector<ProIteration> iterations;
    void iterationDone(const ProIteration& iteration) override { iterations.push_back(iteration); }
};

TEST_F(ProBrainTest, EachFinishedIterationReachesTheProgressSink) {
    ProBrain brain;
    quick(brain);
    brain.nodeCap = 20000;
    Recorder recorder;
    brain.setProgress(&recorder);
    ASSERT_EQ(brain.begin(), CENTRE);
    recorder.iterations.clear();
    ASSERT_GE(brain.turn(11, 11), 0);
    ASSERT_FALSE(recorder.iterations.empty());
    for (std::size_t i = 1; i < recorder.iterations.size(); ++i)
        EXPECT_GT(recorder.iterations[i].depth, recorder.iterations[i - 1].depth);
    for (const ProIteration& it : recorder.iterations) {
        EXPECT_LE(it.nodes, brain.nodeCap);
        for (int i = 0; i < it.pvLength; ++i) {
            EXPECT_GE(it.pv[i], 0);
            EXPECT_LT(it.pv[i], SQUARE_NB);
        }
    }
    // Unhooked, the brain reports nowhere.
    brain.setProgress(nullptr);
    recorder.iterations.clear();
    ASSERT_GE(brain.turn(8, 8), 0);
    EXPECT_TRUE(recorder.iterations.empty());
}

TEST_F(ProBrainTest, AProvenWinIsReportedWithItsLine) {
    ProBrain brain;
    quick(brain);
    Recorder recorder;
    brain.setProgress(&recorder);
    const struct {
        const char* what;
        std::vector<Stone> stones;
    } cases[] = {
        // Four in a row, one end open: a five to make.
        {"five", {{squareOf(5, 5), 1}, {squareOf(6, 5), 1}, {squareOf(7, 5), 1}, {squareOf(8, 5), 1},
                  {squareOf(4, 5), 0}, {squareOf(15, 15), 0}, {squareOf(16, 16), 0}, {squareOf(14, 16), 0}}},
        // An open three with nothing of the opponent's near: an open four, then five.
        {"open three", {{squareOf(5, 5), 1}, {squareOf(6, 5), 1}, {squareOf(7, 5), 1},
                        {squareOf(15, 15), 0}, {squareOf(16, 16), 0}, {squareOf(14, 17), 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        recorder.iterations.clear();
        const int reply = brain.setupBoard(c.stones);
        ASSERT_GE(reply, 0);
        ASSERT_FALSE(recorder.iterations.empty());
        const ProIteration& last = recorder.iterations.back();
        EXPECT_GT(last.mateIn, 0);
        ASSERT_GT(last.pvLength, 0);
        EXPECT_EQ(last.pv[0], reply);
    }
}

// ---- self-play ----

// Two pro brains play a whole game, each told the other's moves; a referee
// board checks every reply and ends the game at five or a full board. The
// first two stones (the centre for the first player, openingSquare for the
// second) come in BOARD bodies, so that each game starts differently.
void playGame(ProBrain& first, ProBrain& second, int openingSquare) {
    std::array<int, SQUARE_NB> cells{};
    ProBrain* players[2] = {&first, &second};
    cells[CENTRE] = 1;
    cells[static_cast<std::size_t>(openingSquare)] = 2;
    int move = first.setupBoard(std::vector<Stone>{{CENTRE, 1}, {openingSquare, 0}});
    int side = 0;
    for (int stones = 3;; ++stones) {
        ASSERT_GE(move, 0);
        ASSERT_LT(move, SQUARE_NB);
        ASSERT_EQ(cells[static_cast<std::size_t>(move)], 0) << "reply on a stone at " << stones << " stones";
        cells[static_cast<std::size_t>(move)] = side + 1;
        expectGameConsistent(*players[side]);
        if (referee::completesFive(cells, move) || stones == SQUARE_NB)
            break;
        side = 1 - side;
        if (stones == 3)
            move = second.setupBoard(std::vector<Stone>{{CENTRE, 0}, {openingSquare, 1}, {move, 0}});
        else
            move = players[side]->turn(columnOf(move), rowOf(move));
    }
}

TEST_F(ProBrainTest, SelfPlayNeverAnswersOnAStone) {
    const struct {
        const char* what;
        std::uint64_t nodeCap;
        std::int32_t timeoutTurn;
        int opening;
    } games[] = {
        {"tiny node cap", 200, 0, squareOf(11, 11)},
        {"small node cap", 3000, 0, squareOf(9, 10)},
        {"short turns", 0, 40, squareOf(12, 10)},
        {"turns shorter than the margin", 0, 5, squareOf(10, 12)},
    };
    for (const auto& g : games) {
        SCOPED_TRACE(g.what);
        ProBrain first, second;
        for (ProBrain* brain : {&first, &second}) {
            brain->nodeCap = g.nodeCap;
            brain->tableBytesCap = TABLE_CAP;
            brain->setTimeoutTurn(g.timeoutTurn);
            brain->setTimeLeft(100000000);
        }
        playGame(first, second, g.opening);
    }
    EXPECT_FALSE(errorLogExists());
}

} // namespace
} // namespace kelmo
