// The search driver: time budget, the final choice of a root move, the loop's
// stopping rules, and small tactical positions it must solve.
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <vector>

#include "board/candidates.h"
#include "search/driver.h"
#include "search/pn_search.h"
#include "support/board_diagram.h"
#include "tree_fixture.h"

namespace kelmo {
namespace {

using test::makeExpanded;
using test::Numbers;

constexpr std::int32_t INF = PN_INFINITE;
constexpr std::int32_t NO_TIME_LIMIT = INT32_MAX;
constexpr std::int64_t NO_MEMORY_LIMIT = INT64_MAX;

TEST(ComputeBudget, TakesTheSmallerOfTheTwoAllowancesAsUnsigned) {
    struct Case {
        std::int32_t timeLeft, timeoutTurn, expected;
    };
    const Case cases[] = {
        {180000, 3000, 2850},
        {3000, 180000, 99},
        {0, 3000, 0},
        {1, 3000, 0},
        {180000, 0, 0},
        {31, 1000, 1},
        {180000, 1, 0},     // 0.95 truncated toward zero
        {180000, 21, 19},   // 19.95
        // A negative value reads as huge and loses the comparison.
        {-100, 3000, 2850},
        {180000, -1000, 5999},
        {-100, -1000, -950},
        // The extremes neither overflow nor wrap.
        {INT32_MAX, INT32_MAX, 71582788},
        {INT32_MIN, INT32_MIN, -2040109465},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.timeLeft << ", " << c.timeoutTurn);
        EXPECT_EQ(computeBudget(c.timeLeft, c.timeoutTurn), c.expected);
    }
}

TEST(ChooseRootChild, ProvenFirstThenRatioThenMostResistedLoss) {
    SearchContext ctx;
    struct Child {
        std::int32_t proof;
        std::int32_t growth;
    };
    struct Case {
        const char* name;
        std::vector<Child> children;
        int expected;
    };
    const std::vector<Case> cases = {
        {"ratios 1.0, 2.0, 1.0: the earlier tie", {{4, 3}, {2, 0}, {6, 5}}, 0},
        {"all lost, growth 7, 12, 12", {{INF, 7}, {INF, 12}, {INF, 12}}, 1},
        {"a proven child beats any ratio", {{1, 1000}, {5, 0}, {0, 0}, {0, 9}}, 2},
        {"a lost child never wins on ratio", {{INF, 0}, {9, 2}, {8, 1}}, 1},
        {"smallest ratio", {{10, 1}, {7, 0}, {12, 3}}, 2},
        {"all lost, no growth: the first", {{INF, 0}, {INF, 0}}, 0},
        {"saturated proof numbers still compare", {{PN_SATURATED, 0}, {PN_SATURATED, 1}}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Numbers> numbers;
        for (const Child& child : c.children)
            numbers.push_back({child.proof, child.proof == 0 ? INF : child.proof == INF ? 0 : 1});
        auto root = makeExpanded(ctx, true, numbers);
        for (size_t i = 0; i < c.children.size(); ++i)
            root->child(i)->growthCnt = c.children[i].growth;
        EXPECT_EQ(chooseRootChild(root), root->child(c.expected));
    }
    auto leafOnly = test::makeRoot(ctx, 1);
    EXPECT_EQ(chooseRootChild(leafOnly), nullptr);
}

StatNode* rootOn(SearchContext& ctx, std::unique_ptr<K2Board> board) {
    return test::rootOn(ctx, *board);
}

// The node-counter cost of a tree, checked against what the search reported;
// only for a search that kept its solved subtrees (releaseSolved off).
void expectConsistentTree(const StatNode& root, const SearchStats& stats) {
    EXPECT_EQ(stats.nodes, test::counterAdvanceOf(root) - 1u);  // the root was built before
}

TEST(RunSearch, NoBudgetChoosesFromTheFirstExpansion) {
    SearchContext ctx;
    struct Case {
        const char* name;
        std::int32_t timeLimit;
        std::int64_t memoryLimit;
    };
    const Case cases[] = {
        {"no time", 0, NO_MEMORY_LIMIT},
        {"no time left in the game", computeBudget(1, 3000), NO_MEMORY_LIMIT},
        {"no memory", NO_TIME_LIMIT, 0},
        {"negative time limit", -5, NO_MEMORY_LIMIT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Player 0 has an open three: the brain has several defences to choose from.
        auto root = rootOn(ctx, test::setUpBoard({210, 211, 212}, {189, 230}, 1));
        SearchStats stats;
        int move = runSearch(ctx, root, c.timeLimit, c.memoryLimit, 1000, &stats);
        EXPECT_EQ(stats.iterations, 0u);
        ASSERT_GE(root->childrenCnt, 2);
        // Nothing below the root grew: the smallest proof number wins, the earliest on a tie.
        const StatNode* best = nullptr;
        for (unsigned i = 0; i < root->childrenCnt; ++i) {
            const StatNode* child = root->child(i);
            EXPECT_FALSE(child->isExpanded());
            EXPECT_EQ(child->growthCnt, 0);
            if (child->proofNum == 0) {
                best = child;
                break;
            }
            if (child->proofNum > 0 && (!best || child->proofNum < best->proofNum))
                best = child;
        }
        ASSERT_NE(best, nullptr);
        EXPECT_EQ(move, best->move);
        expectConsistentTree(*root, stats);
    }
}

TEST(RunSearch, AnswersAtOnceWithFewerThanTwoRootMoves) {
    SearchContext ctx;
    struct Case {
        const char* name;
        std::unique_ptr<K2Board> board;
        std::vector<int> allowed;  // the squares that are a right answer
        Numbers root;
    };
    std::vector<Case> cases;
    cases.push_back({"empty board: the centre", test::playSequence({}), {210}, {1, 1}});
    cases.push_back({"one stone: the generator's one answer", test::playSequence({0}), {21}, {1, 1}});
    // Verdicts at the root: the list holds the decisive square.
    cases.push_back({"brain makes an open four",
                     test::setUpBoard({0, 19, 380}, {210, 211, 212}, 1), {209, 213}, {0, INF}});
    cases.push_back({"brain cannot stop an open four",
                     test::setUpBoard({210, 211, 212, 213}, {0, 19, 380, 399}, 1),
                     {209, 214}, {INF, 0}});
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto root = rootOn(ctx, std::move(c.board));
        SearchStats stats;
        int move = runSearch(ctx, root, NO_TIME_LIMIT, NO_MEMORY_LIMIT, 1000, &stats);
        EXPECT_NE(std::find(c.allowed.begin(), c.allowed.end(), move), c.allowed.end()) << move;
        EXPECT_EQ(stats.iterations, 0u);
        EXPECT_LT(root->childrenCnt, 2);
        if (c.root.proof != 1) {
            EXPECT_EQ(root->proofNum, c.root.proof);
            EXPECT_EQ(root->disproofNum, c.root.disproof);
        }
    }
}

TEST(RunSearch, AFullBoardHasNoMove) {
    SearchContext ctx;
    struct Case {
        const char* name;
        int emptySquare;  // -1: none
    };
    for (Case c : {Case{"full", -1}, Case{"one empty square", 57}}) {
        SCOPED_TRACE(c.name);
        std::vector<Stone> stones;
        for (int sq = 0; sq < SQUARE_NB; ++sq) {
            if (sq != c.emptySquare)
                stones.push_back({sq, (sq / 2 + sq / 20) % 2});
        }
        StatNode* root = rootOn(ctx, std::unique_ptr<K2Board>(setUpPosition(stones, 1)));
        EXPECT_EQ(runSearch(ctx, root, NO_TIME_LIMIT, NO_MEMORY_LIMIT, 1000), c.emptySquare);
    }
}

TEST(RunSearch, IsDeterministicUnderAnIterationCap) {
    auto play = [] {
        SearchContext ctx;
        ctx.releaseSolved = false;
        auto root = rootOn(ctx, test::playSequence({210, 211, 190, 231, 230, 250, 170, 150, 191}));
        SearchStats stats;
        int move = runSearch(ctx, root, NO_TIME_LIMIT, NO_MEMORY_LIMIT, 300, &stats);
        expectConsistentTree(*root, stats);
        // The root's effort is what the updates carried up: never more than was built.
        EXPECT_LE(static_cast<std::uint32_t>(root->growthCnt), stats.nodes);
        return std::make_pair(move, stats.nodes);
    };
    auto first = play();
    auto second = play();
    EXPECT_EQ(first, second);
    EXPECT_GT(first.second, 0u);
}

// Tactical positions, searched with a large time limit and an iteration cap.
struct Tactic {
    const char* name;
    std::vector<int> player0, player1;
    int win;
};

// The tactic as BOARD would hand it over, the brain to move.
std::unique_ptr<K2Board> tacticBoard(const Tactic& t) { return test::setUpBoard(t.player0, t.player1, 1); }

TEST(RunSearch, ProvesAForcedWinAndPlaysIt) {
    SearchContext ctx;
    const std::vector<Tactic> cases = {
        // Four-three at 190: the four 190..193 (194 blocked) and the open three
        // 190, 210, 230 in column 10. The opponent's closed three in row 0 gives
        // it a four to play first, so the generator cannot call the win at once.
        {"four-three", {194, 0, 1, 2}, {191, 192, 193, 210, 230}, 190},
        // The opponent has an open three (325..327), so only fours count. 190
        // makes a four (the block is forced at 189) and a split three in column
        // 10 that the next stone, 210, turns into an open four.
        {"short VCF", {194, 325, 326, 327}, {191, 192, 193, 230, 250}, 190},
    };
    for (const Tactic& t : cases) {
        SCOPED_TRACE(t.name);
        ctx.releaseSolved = false;
        auto root = rootOn(ctx, tacticBoard(t));
        SearchStats stats;
        int move = runSearch(ctx, root, NO_TIME_LIMIT, NO_MEMORY_LIMIT, 20000, &stats);
        EXPECT_EQ(move, t.win);
        EXPECT_EQ(root->proofNum, 0);
        EXPECT_EQ(root->disproofNum, INF);
        EXPECT_LT(stats.iterations, 20000u);
        expectConsistentTree(*root, stats);
    }
}

TEST(RunSearch, AgainstTwoFoursTheRootIsLostAtOnce) {
    SearchContext ctx;
    // The opponent's two fours, set up as BOARD sets a position up: the row four
    // completes at 214, the column four at 234. Both five-squares are listed, so
    // the root is lost before any search; the brain still answers on one of them.
    auto root = rootOn(ctx, test::boardFromDiagram(R"(
        x o o o o .
        . . . . . .
        . . . . . o
        . . . . . o
        . . . . . o
        . . . . . o
        . . . . . x
    )", 1, 9, 10));
    SearchStats stats;
    int move = runSearch(ctx, root, NO_TIME_LIMIT, NO_MEMORY_LIMIT, 1000, &stats);
    EXPECT_TRUE(move == 214 || move == 234) << move;
    EXPECT_EQ(root->childrenCnt, 0);
    EXPECT_EQ(root->proofNum, INF);
    EXPECT_EQ(root->disproofNum, 0);
    EXPECT_EQ(stats.iterations, 0u);
}

TEST(RunSearch, StopsWhenOnlyOneRootMoveIsNotLost) {
    SearchContext ctx;
    // The opponent has two open threes (210..212 and 92, 112, 132): the brain can
    // only play its two fours (388, 389 from 385..387, blocked at 384), and each
    // is answered by the forced block after which the threes win.
    auto root = rootOn(ctx, test::setUpBoard({210, 211, 212, 92, 112, 132, 384},
                                             {385, 386, 387, 0, 19, 380, 399}, 1));
    SearchStats stats;
    int move = runSearch(ctx, root, NO_TIME_LIMIT, NO_MEMORY_LIMIT, 1000, &stats);
    ASSERT_EQ(root->childrenCnt, 2);
    EXPECT_TRUE(root->child(0)->move == 388 || root->child(0)->move == 389);
    EXPECT_TRUE(root->child(1)->move == 388 || root->child(1)->move == 389);
    int notLost = 0;
    const StatNode* remaining = nullptr;
    for (unsigned i = 0; i < root->childrenCnt; ++i) {
        if (root->child(i)->disproofNum != 0) {
            ++notLost;
            remaining = root->child(i);
        }
    }
    EXPECT_EQ(notLost, 1);
    ASSERT_NE(remaining, nullptr);
    EXPECT_EQ(move, remaining->move);
    EXPECT_FALSE(root->isSolved());
    EXPECT_GT(stats.iterations, 0u);
}

// Freeing the subtree of every node solved below the root must leave the
// search exactly as it was: same move, same counts, same numbers and effort at
// the root's children, with solved nodes below the root left bare.
struct TreeSummary {
    std::uint64_t nodes = 0;
    std::uint64_t boards = 0;
    std::uint64_t bareSolved = 0;    // solved, below the root, nothing under it
    std::uint64_t solvedWithTree = 0; // solved, below the root, still holding children or a board
};

TreeSummary summarise(const StatNode& root) {
    TreeSummary t;
    std::vector<const StatNode*> stack{&root};
    while (!stack.empty()) {
        const StatNode* node = stack.back();
        stack.pop_back();
        ++t.nodes;
        t.boards += node->board != nullptr;
        if (node != &root && node->isSolved()) {
            if (node->childrenCnt == 0 && !node->board && !node->isExpanded())
                ++t.bareSolved;
            else
                ++t.solvedWithTree;
        }
        for (unsigned i = 0; i < node->childrenCnt; ++i)
            stack.push_back(node->child(i));
    }
    return t;
}

TEST(RunSearch, ReleasingSolvedSubtreesChangesNothingTheSearchReads) {
    struct Case {
        const char* name;
        std::unique_ptr<K2Board> (*board)();
        std::uint64_t iterations;
    };
    const Case cases[] = {
        {"middle game", [] { return test::playSequence({210, 211, 190, 231, 230, 250, 170, 150, 191}); }, 3000},
        {"opening", [] { return test::playSequence({210, 190, 211, 212, 230}); }, 3000},
        {"four-three", [] { return tacticBoard({"", {194, 0, 1, 2}, {191, 192, 193, 210, 230}, 190}); }, 20000},
    };
    std::uint64_t releasedInAll = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SearchContext keeping, releasing;
        keeping.releaseSolved = false;
        auto whole = rootOn(keeping, c.board());
        auto lean = rootOn(releasing, c.board());
        SearchStats wholeStats, leanStats;
        const int wholeMove = runSearch(keeping, whole, NO_TIME_LIMIT, NO_MEMORY_LIMIT, c.iterations, &wholeStats);
        const int leanMove = runSearch(releasing, lean, NO_TIME_LIMIT, NO_MEMORY_LIMIT, c.iterations, &leanStats);

        EXPECT_EQ(leanMove, wholeMove);
        EXPECT_EQ(leanStats.iterations, wholeStats.iterations);
        EXPECT_EQ(leanStats.nodes, wholeStats.nodes);
        EXPECT_EQ(releasing.nodeCounter, keeping.nodeCounter);
        EXPECT_EQ(lean->proofNum, whole->proofNum);
        EXPECT_EQ(lean->disproofNum, whole->disproofNum);
        EXPECT_EQ(lean->growthCnt, whole->growthCnt);
        ASSERT_EQ(lean->childrenCnt, whole->childrenCnt);
        for (unsigned i = 0; i < lean->childrenCnt; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(lean->child(i)->move, whole->child(i)->move);
            EXPECT_EQ(lean->child(i)->proofNum, whole->child(i)->proofNum);
            EXPECT_EQ(lean->child(i)->disproofNum, whole->child(i)->disproofNum);
            EXPECT_EQ(lean->child(i)->growthCnt, whole->child(i)->growthCnt);
        }

        const TreeSummary w = summarise(*whole), l = summarise(*lean);
        EXPECT_EQ(keeping.releasedNodes, 0u);
        EXPECT_EQ(l.solvedWithTree, 0u);
        EXPECT_EQ(l.nodes + releasing.releasedNodes, w.nodes);
        EXPECT_LE(l.boards, w.boards);
        releasedInAll += releasing.releasedNodes;
    }
    // The cases are chosen so that subtrees do get solved and freed.
    EXPECT_GT(releasedInAll, 0u);
}

// An arena that cannot grow ends the search like a limit does: the tree stays
// as the last full iteration left it and the move is chosen from it.
TEST(RunSearch, AnArenaWithoutRoomStopsTheSearchWithTheBestMoveSoFar) {
    const auto position = [] { return test::playSequence({210, 211, 190, 231, 230, 250, 170, 150, 191}); };
    SearchContext capped;
    capped.arena.limitBlocks(2);
    StatNode* root = rootOn(capped, position());
    SearchStats stats;
    const int move = runSearch(capped, root, NO_TIME_LIMIT, NO_MEMORY_LIMIT, 1000000, &stats);
    EXPECT_TRUE(stats.outOfMemory);
    EXPECT_GT(stats.iterations, 0u);
    EXPECT_LT(stats.iterations, 1000000u);
    EXPECT_EQ(capped.arena.bytesHeld(), static_cast<std::int64_t>(2 * NodeArena::BLOCK_BYTES));
    ASSERT_NE(chooseRootChild(root), nullptr);
    EXPECT_EQ(move, chooseRootChild(root)->move);

    // The same number of iterations with room to spare builds the same tree.
    SearchContext roomy;
    StatNode* again = rootOn(roomy, position());
    SearchStats roomyStats;
    EXPECT_EQ(runSearch(roomy, again, NO_TIME_LIMIT, NO_MEMORY_LIMIT, stats.iterations, &roomyStats), move);
    EXPECT_FALSE(roomyStats.outOfMemory);
    EXPECT_EQ(roomyStats.nodes, stats.nodes);
    EXPECT_EQ(again->proofNum, root->proofNum);
    EXPECT_EQ(again->disproofNum, root->disproofNum);
}

TEST(RunSearch, NoRoomForTheRootsChildrenStillGivesTheGeneratorsFirstMove) {
    SearchContext ctx;
    ctx.arena.limitBlocks(1);
    // Player 0 has an open three: the brain has several defences to choose from.
    auto board = test::setUpBoard({210, 211, 212}, {189, 230}, 1);
    StatNode* root = test::rootOn(ctx, *board);
    while (ctx.arena.allocate(NodeArena::GRAIN)) {
    }
    CandidateList expected{};
    std::unique_ptr<K2Board> probe(board->clone());
    ASSERT_EQ(generateCandidates(*probe, expected), VERDICT_OPEN);
    ASSERT_GE(expected.count, 2);

    SearchStats stats;
    const int move = runSearch(ctx, root, NO_TIME_LIMIT, NO_MEMORY_LIMIT, 1000, &stats);

    EXPECT_TRUE(stats.outOfMemory);
    EXPECT_EQ(stats.iterations, 0u);
    EXPECT_EQ(move, expected.squares[0]);
    EXPECT_FALSE(root->isExpanded());
    EXPECT_EQ(root->childrenCnt, 0);
}

// The reserve for discarding a tree: in proportion to the tree's bytes, nothing
// for an empty tree, and calibrated by measured teardowns. The starting rate is
// left unnamed here; every check is relative to the rate in force.
TEST(TeardownReserve, GrowsWithTheTreeAndFollowsMeasuredTeardowns) {
    constexpr std::int64_t MB = 1000000;
    TeardownCalibration calibration;
    for (std::int64_t bytes : {std::int64_t{0}, std::int64_t{-5 * MB}})
        EXPECT_EQ(calibration.reserveMs(bytes), 0) << bytes;
    EXPECT_LE(calibration.reserveMs(10 * MB), calibration.reserveMs(100 * MB));
    EXPECT_LE(calibration.reserveMs(100 * MB), calibration.reserveMs(400 * MB));
    EXPECT_GE(calibration.reserveMs(INT64_MAX), calibration.reserveMs(400 * MB));  // no overflow

    const std::int32_t start = calibration.reserveMs(100 * MB);
    // A slower teardown than expected raises the reserve at once, at least to
    // that teardown's time.
    calibration.note(100 * MB, 10 * start);
    const std::int32_t slow = calibration.reserveMs(100 * MB);
    EXPECT_GE(slow, 10 * start);
    // A quick one lowers it by half the difference, not at a stroke.
    calibration.note(100 * MB, 0);
    const std::int32_t eased = calibration.reserveMs(100 * MB);
    EXPECT_LT(eased, slow);
    EXPECT_GE(eased, slow / 2 - 1);
    // A small tree's teardown is mostly fixed costs: it calibrates nothing.
    calibration.note(MB, 1000000);
    calibration.note(100 * MB, -1);
    EXPECT_EQ(calibration.reserveMs(100 * MB), eased);
}

} // namespace
} // namespace kelmo
