// KBrain: the handlers keep the game board and the search root in step, keep or
// reset the limits as each command requires, and never play onto a stone.
#include "brain/kbrain.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "errorlog/error_log.h"
#include "search/driver.h"
#include "search/memory_use.h"
#include "support/temp_dir.h"

namespace kelmo {
namespace {

// Every test runs in its own scratch directory, so that the error log it may
// write is its own.
class KBrainTest : public ::testing::Test {
protected:
    test::TempDir dir;
    test::ScopedChdir chdir{dir.path()};

    bool errorLogExists() const { return std::filesystem::exists(dir.file(ERROR_LOG_NAME)); }
    std::string errorLog() const { return test::readFile(dir.file(ERROR_LOG_NAME)); }
};

int stoneCount(const K2Board& board) {
    int n = 0;
    for (int sq = 0; sq < SQUARE_NB; ++sq)
        n += !board.isEmpty(sq);
    return n;
}

// The invariant between commands: an unexpanded root on its own board that
// holds exactly the game board's position.
void expectRootInStep(const KBrain& brain) {
    ASSERT_NE(brain.root, nullptr);
    ASSERT_NE(brain.root->board, nullptr);
    EXPECT_FALSE(brain.root->isExpanded());
    EXPECT_EQ(brain.root->childrenCnt, 0);
    EXPECT_EQ(brain.root->move, -1);
    EXPECT_EQ(brain.root->parent, nullptr);
    K2Board rootPosition;
    rootPosition.copyFrom(*brain.root->board);
    EXPECT_EQ(std::memcmp(rootPosition.cells, brain.board->cells, SQUARE_NB), 0);
    EXPECT_EQ(rootPosition.sideToMove, brain.board->sideToMove);
    EXPECT_EQ(rootPosition.moveCount, brain.board->moveCount);
    EXPECT_EQ(brain.root->isOrNode(), brain.board->sideToMove == 1);
}

void expectLimits(const KBrain& brain, std::int32_t timeLeft, std::int32_t timeoutTurn, std::int32_t maxMemory) {
    EXPECT_EQ(brain.time_left, timeLeft);
    EXPECT_EQ(brain.timeout_turn, timeoutTurn);
    EXPECT_EQ(brain.max_memory, maxMemory);
}

void quickLimits(KBrain& brain) {
    brain.setTimeoutTurn(0);
    brain.searchIterationCap = 1;
}

// Every square but the two corners (0,0) and (19,19) filled, in a pattern
// without three in a row in any direction, so filling the corners cannot make
// five either.
std::vector<Stone> almostFullStones() {
    std::vector<Stone> stones;
    for (int y = 0; y < BOARD_SIZE; ++y)
        for (int x = 0; x < BOARD_SIZE; ++x) {
            if ((x == 0 && y == 0) || (x == 19 && y == 19))
                continue;
            stones.push_back({squareOf(x, y), 1 - ((x + 2 * y) / 2) % 2});
        }
    return stones;
}

TEST_F(KBrainTest, ConstructionGivesAnEmptyGameWithDefaultLimits) {
    KBrain earlier;
    earlier.searchContext.nodeCounter = 12345;
    KBrain brain;
    // Each brain counts on its own: from 0, then the root's construction.
    EXPECT_EQ(brain.searchContext.nodeCounter, 1u);
    expectRootInStep(brain);
    EXPECT_EQ(brain.board->moveCount, 0);
    EXPECT_EQ(brain.board->sideToMove, 0);
    EXPECT_EQ(stoneCount(*brain.board), 0);
    EXPECT_FALSE(brain.root->isOrNode());
    expectLimits(brain, 180000, 3000, 80000000);
}

TEST_F(KBrainTest, SettersStoreValuesAndNegativeTimeLeftAsZero) {
    KBrain brain;
    const std::vector<std::int32_t> values = {0, 1, 200, 2147483647};
    for (std::int32_t v : values) {
        brain.setTimeLeft(v);
        brain.setTimeoutTurn(v);
        brain.setMaxMemory(v);
        expectLimits(brain, v, v, v);
    }
    for (std::int32_t v : {-1, -1000, -2147483647 - 1}) {
        brain.setTimeLeft(v);
        EXPECT_EQ(brain.time_left, 0) << v;
    }
}

TEST_F(KBrainTest, StartGameResetsGameAndLimitsToTheDefaults) {
    KBrain brain;
    quickLimits(brain);
    brain.setTimeLeft(5000);
    brain.setMaxMemory(1000);
    brain.turn(3, 4);
    brain.startGame();
    expectRootInStep(brain);
    EXPECT_EQ(stoneCount(*brain.board), 0);
    EXPECT_EQ(brain.board->sideToMove, 0);
    expectLimits(brain, 180000, 3000, 80000000);
}

TEST_F(KBrainTest, BeginOpensInTheCentreFromAFreshBoardAndKeepsLimits) {
    KBrain brain;
    quickLimits(brain);
    brain.setTimeLeft(4321);
    brain.setMaxMemory(0);
    // Whatever stood before, BEGIN starts a new game.
    brain.turn(0, 0);
    brain.turn(19, 19);
    EXPECT_EQ(brain.begin(), CENTRE);
    expectRootInStep(brain);
    EXPECT_EQ(stoneCount(*brain.board), 1);
    EXPECT_EQ(brain.board->moveCount, 1);
    EXPECT_EQ(brain.board->cells[CENTRE], STONE_OF[1]);
    EXPECT_EQ(brain.board->sideToMove, 0);
    EXPECT_EQ(brain.board->threatHead(0), nullptr);
    expectLimits(brain, 4321, 0, 0);
    EXPECT_FALSE(errorLogExists());
}

// With one or two stones the reply comes from the generator's fixed opening
// rules, so it is known exactly whatever the time limit.
TEST_F(KBrainTest, TurnPlaysBothStonesWithTheOpeningReplies) {
    struct Case {
        bool brainOpens;
        int x, y;
        int reply;
    };
    const std::vector<Case> cases = {
        {false, 11, 10, squareOf(10, 11)}, {false, 0, 0, squareOf(1, 1)},
        {false, 19, 19, squareOf(18, 18)}, {false, 0, 15, squareOf(1, 14)},
        {false, 5, 10, squareOf(4, 11)},   {true, 11, 10, squareOf(11, 11)},
        {true, 9, 10, squareOf(9, 9)},     {true, 10, 9, squareOf(11, 9)},
        {true, 9, 11, squareOf(9, 10)},
    };
    for (const auto& c : cases) {
        KBrain brain;
        quickLimits(brain);
        if (c.brainOpens) {
            ASSERT_EQ(brain.begin(), CENTRE);
        }
        int before = stoneCount(*brain.board);
        EXPECT_EQ(brain.turn(c.x, c.y), c.reply) << c.x << "," << c.y;
        expectRootInStep(brain);
        EXPECT_EQ(stoneCount(*brain.board), before + 2);
        EXPECT_EQ(brain.board->cells[squareOf(c.x, c.y)], STONE_OF[0]);
        EXPECT_EQ(brain.board->cells[c.reply], STONE_OF[1]);
        EXPECT_EQ(brain.board->sideToMove, 0);
    }
    EXPECT_FALSE(errorLogExists());
}

TEST_F(KBrainTest, TurnKeepsLimitsAndNeverAnswersOnAStone) {
    KBrain brain;
    quickLimits(brain);
    brain.searchIterationCap = 30;
    brain.setTimeoutTurn(100000);
    brain.setTimeLeft(100000000);
    int squares[] = {squareOf(9, 9), squareOf(12, 8), squareOf(8, 12), squareOf(13, 13), squareOf(7, 7)};
    for (int sq : squares) {
        if (!brain.squareIsEmpty(sq))
            continue;
        int reply = brain.turn(columnOf(sq), rowOf(sq));
        ASSERT_GE(reply, 0);
        ASSERT_LT(reply, SQUARE_NB);
        EXPECT_NE(reply, sq);
        EXPECT_EQ(brain.board->cells[reply], STONE_OF[1]);
        expectRootInStep(brain);
    }
    expectLimits(brain, 100000000, 100000, 80000000);
    EXPECT_FALSE(errorLogExists());
}

TEST_F(KBrainTest, SetupBoardPlacesTheStonesRepliesAndKeepsLimits) {
    KBrain brain;
    quickLimits(brain);
    brain.setTimeLeft(777);
    brain.setMaxMemory(123456789);
    brain.turn(0, 0);
    const std::vector<Stone> stones = {{squareOf(10, 10), 1}, {squareOf(9, 9), 0}, {squareOf(11, 11), 0}};
    int reply = brain.setupBoard(stones);
    ASSERT_GE(reply, 0);
    for (int sq : {squareOf(10, 10), squareOf(9, 9), squareOf(11, 11)})
        EXPECT_NE(reply, sq);
    // The k body stones and the brain's reply; the opponent moves next.
    EXPECT_EQ(brain.board->moveCount, 4);
    EXPECT_EQ(stoneCount(*brain.board), 4);
    EXPECT_TRUE(brain.board->isEmpty(squareOf(0, 0)));
    EXPECT_EQ(brain.board->cells[reply], STONE_OF[1]);
    EXPECT_EQ(brain.board->sideToMove, 0);
    expectRootInStep(brain);
    expectLimits(brain, 777, 0, 123456789);

    // The next TURN searches from the brain's own turn: nothing is logged.
    int next = brain.turn(0, 19);
    EXPECT_GE(next, 0);
    EXPECT_EQ(stoneCount(*brain.board), 6);
    EXPECT_FALSE(errorLogExists());
}

TEST_F(KBrainTest, SquareIsEmptyFollowsTheGameBoard) {
    KBrain brain;
    quickLimits(brain);
    EXPECT_TRUE(brain.squareIsEmpty(squareOf(4, 4)));
    int reply = brain.turn(4, 4);
    EXPECT_FALSE(brain.squareIsEmpty(squareOf(4, 4)));
    EXPECT_FALSE(brain.squareIsEmpty(reply));
    EXPECT_TRUE(brain.squareIsEmpty(CENTRE));
}

TEST_F(KBrainTest, SearchOnTheOpponentsTurnLogsOnceAndStillAnswers) {
    KBrain brain;
    quickLimits(brain);
    ASSERT_FALSE(brain.root->isOrNode());
    EXPECT_EQ(brain.searchMove(), CENTRE);
    EXPECT_EQ(errorLog(), "AndNode search\n");
}

TEST_F(KBrainTest, NoMemoryLimitStillLetsTheSearchRun) {
    // max_memory 0 means the manager sets no limit: the search keeps to its own
    // cap instead of stopping before its first iteration. A one-byte limit does stop it.
    struct Case {
        std::int32_t maxMemory;
        bool searches;
    };
    for (const Case& c : {Case{0, true}, Case{1, false}, Case{DEFAULT_MAX_MEMORY, true}}) {
        KBrain brain;
        brain.setTimeLeft(100000000);
        brain.setTimeoutTurn(100000);
        brain.setMaxMemory(c.maxMemory);
        brain.searchIterationCap = 20;
        // A quiet position with scattered stones: no threat decides the root,
        // which gets several candidates.
        ASSERT_EQ(brain.begin(), CENTRE);
        for (int sq : {squareOf(11, 10), squareOf(7, 12), squareOf(13, 7)})
            brain.advance(sq);
        ASSERT_TRUE(brain.root->isOrNode());
        std::uint32_t before = brain.searchContext.nodeCounter;
        brain.searchMove();
        std::uint32_t rootChildren = brain.root->childrenCnt;
        ASSERT_GE(rootChildren, 2u);
        std::uint32_t expansionOnly = 2 * (rootChildren - 1) + 1;
        if (c.searches) {
            EXPECT_GT(brain.searchContext.nodeCounter - before, expansionOnly) << c.maxMemory;
        } else {
            EXPECT_EQ(brain.searchContext.nodeCounter - before, expansionOnly) << c.maxMemory;
        }
    }
}

// When the arena can take no more blocks, the search stops where it is and the
// brain still answers, move after move, with the move that tree points to; the
// blocks it holds serve every later move.
TEST_F(KBrainTest, AnArenaThatCannotGrowStillGivesAnAnswerEveryMove) {
    KBrain brain;
    brain.setTimeLeft(100000000);
    brain.setTimeoutTurn(100000);
    brain.setMaxMemory(0);
    brain.searchBlockCap = 2;
    ASSERT_EQ(brain.begin(), CENTRE);
    // The opening rules answer the first stones without a search.
    ASSERT_GE(brain.turn(11, 10), 0);
    int searched = 0;
    for (int sq : {squareOf(12, 11), squareOf(8, 9), squareOf(9, 12), squareOf(12, 8)}) {
        SCOPED_TRACE(sq);
        if (!brain.squareIsEmpty(sq))
            continue;
        brain.advance(sq);
        const std::uint32_t before = brain.searchContext.nodeCounter;
        const int reply = brain.searchMove();
        ASSERT_GE(reply, 0);
        ASSERT_LT(reply, SQUARE_NB);
        ASSERT_TRUE(brain.squareIsEmpty(reply));
        if (brain.root->childrenCnt >= 2 && !brain.root->isSolved()) {
            // Searched, then stopped by the arena rather than by the clock.
            EXPECT_GT(brain.searchContext.nodeCounter - before, 1000u);
            EXPECT_EQ(brain.searchContext.arena.bytesHeld(), static_cast<std::int64_t>(2 * NodeArena::BLOCK_BYTES));
            EXPECT_EQ(reply, chooseRootChild(brain.root)->move);
            ++searched;
        }
        brain.advance(reply);
        expectRootInStep(brain);
    }
    EXPECT_GT(searched, 0);
    EXPECT_FALSE(errorLogExists());
}

// A limit too small for any search, even below what the process holds
// already, still gets a legal move at once: from the root's expansion, in the
// root's own block, with no block taken beyond it and no iteration run.
TEST_F(KBrainTest, ALimitTooSmallForAnySearchAnswersAtOnceInTheRootsBlock) {
    for (std::int32_t maxMemory : {1, 4096, static_cast<std::int32_t>(NodeArena::BLOCK_BYTES), 3000000}) {
        SCOPED_TRACE(maxMemory);
        KBrain brain;
        brain.setTimeLeft(100000000);
        brain.setTimeoutTurn(100000);
        brain.setMaxMemory(maxMemory);
        brain.searchIterationCap = 100000;
        ASSERT_EQ(brain.begin(), CENTRE);
        for (int sq : {squareOf(11, 10), squareOf(7, 12), squareOf(13, 7)})
            brain.advance(sq);
        const std::uint32_t before = brain.searchContext.nodeCounter;
        const int reply = brain.searchMove();
        ASSERT_GE(reply, 0);
        ASSERT_LT(reply, SQUARE_NB);
        EXPECT_TRUE(brain.squareIsEmpty(reply));
        ASSERT_GE(brain.root->childrenCnt, 2u);
        EXPECT_EQ(brain.searchContext.nodeCounter - before, 2 * (brain.root->childrenCnt - 1) + 1);
        EXPECT_EQ(reply, chooseRootChild(brain.root)->move);
        EXPECT_EQ(brain.searchContext.arena.bytesHeld(), static_cast<std::int64_t>(NodeArena::BLOCK_BYTES));
        // The next move as well.
        brain.advance(reply);
        brain.advance(squareOf(9, 9) == reply ? squareOf(8, 8) : squareOf(9, 9));
        const int next = brain.searchMove();
        ASSERT_GE(next, 0);
        EXPECT_TRUE(brain.squareIsEmpty(next));
        EXPECT_EQ(brain.searchContext.arena.bytesHeld(), static_cast<std::int64_t>(NodeArena::BLOCK_BYTES));
    }
    EXPECT_FALSE(errorLogExists());
}

// The tree never takes more blocks than the budget the limit leaves after the
// rest of the process: the search stops there, long before its iteration cap.
TEST_F(KBrainTest, TheTreeStaysWithinTheBudgetTheLimitLeaves) {
    KBrain brain;
    brain.setTimeLeft(100000000);
    brain.setTimeoutTurn(100000);
    brain.searchIterationCap = 1000000;
    ASSERT_EQ(brain.begin(), CENTRE);
    for (int sq : {squareOf(11, 10), squareOf(7, 12), squareOf(13, 7)})
        brain.advance(sq);
    // A limit that leaves about six blocks to the search.
    const std::int64_t room = 6 * static_cast<std::int64_t>(NodeArena::BLOCK_BYTES) + 500000;
    const std::int64_t withNothing = searchBudget(1000000000, brain.searchContext.arena.bytesHeld());
    const std::int64_t rest = 1000000000 / 1000 * 980 - GROWTH_SLACK_BYTES - withNothing;
    const std::int64_t maxMemory = (rest + GROWTH_SLACK_BYTES + room) * 1000 / 980 + 1;
    brain.setMaxMemory(static_cast<std::int32_t>(maxMemory));
    const std::int64_t budget = searchBudget(maxMemory, brain.searchContext.arena.bytesHeld());
    ASSERT_GT(budget, 4 * static_cast<std::int64_t>(NodeArena::BLOCK_BYTES));
    const std::uint32_t before = brain.searchContext.nodeCounter;
    const int reply = brain.searchMove();
    ASSERT_GE(reply, 0);
    EXPECT_TRUE(brain.squareIsEmpty(reply));
    EXPECT_FALSE(brain.root->isSolved());
    EXPECT_GT(brain.searchContext.nodeCounter - before, 1000u);  // it searched
    // Whole blocks within the budget (a megabyte of leeway for the reading the
    // brain took a moment later), and at least one block used.
    EXPECT_LE(brain.searchContext.arena.bytesHeld(), budget + static_cast<std::int64_t>(NodeArena::BLOCK_BYTES));
    EXPECT_GE(brain.searchContext.arena.bytesHeld(), 2 * static_cast<std::int64_t>(NodeArena::BLOCK_BYTES));
}

// Blocks the arena keeps from a larger tree do not outlast a lower limit.
TEST_F(KBrainTest, ALoweredMemoryLimitGivesIdleBlocksBack) {
    KBrain brain;
    brain.setTimeLeft(100000000);
    brain.setTimeoutTurn(100000);
    brain.searchIterationCap = 8000;
    ASSERT_EQ(brain.begin(), CENTRE);
    ASSERT_GE(brain.turn(11, 10), 0);
    ASSERT_GE(brain.turn(12, 11), 0);
    const std::int64_t held = brain.searchContext.arena.bytesHeld();
    ASSERT_GT(held, static_cast<std::int64_t>(2 * NodeArena::BLOCK_BYTES));
    brain.setMaxMemory(static_cast<std::int32_t>(NodeArena::BLOCK_BYTES));
    brain.searchIterationCap = 1;
    brain.advance(squareOf(8, 9));
    ASSERT_GE(brain.searchMove(), 0);
    // One block within the limit, and at most one more the single iteration took.
    EXPECT_LE(brain.searchContext.arena.bytesHeld(), static_cast<std::int64_t>(2 * NodeArena::BLOCK_BYTES));
}

TEST_F(KBrainTest, AdvancePlaysForTheSideToMoveAndRenewsTheRoot) {
    KBrain brain;
    brain.advance(squareOf(3, 3));
    EXPECT_EQ(brain.board->cells[squareOf(3, 3)], STONE_OF[0]);
    EXPECT_EQ(brain.board->sideToMove, 1);
    expectRootInStep(brain);
    EXPECT_TRUE(brain.root->isOrNode());
    brain.searchIterationCap = 5;
    brain.setTimeoutTurn(100000);
    int reply = brain.searchMove();
    ASSERT_GE(reply, 0);
    EXPECT_TRUE(brain.root->isExpanded());
    brain.advance(reply);
    EXPECT_EQ(brain.board->cells[reply], STONE_OF[1]);
    EXPECT_EQ(brain.board->moveCount, 2);
    expectRootInStep(brain);
}

TEST_F(KBrainTest, FullBoardGivesNoMoveAndAnAlmostFullOneAnEmptySquare) {
    KBrain brain;
    quickLimits(brain);
    int reply = brain.setupBoard(almostFullStones());
    // Two empty squares: the reply must be one of them, never a stone.
    ASSERT_TRUE(reply == squareOf(0, 0) || reply == squareOf(19, 19)) << reply;
    int last = reply == squareOf(0, 0) ? squareOf(19, 19) : squareOf(0, 0);
    EXPECT_EQ(brain.turn(columnOf(last), rowOf(last)), -1);
    EXPECT_EQ(stoneCount(*brain.board), SQUARE_NB);
    EXPECT_EQ(brain.searchMove(), -1);
    expectRootInStep(brain);
}

} // namespace
} // namespace kelmo
