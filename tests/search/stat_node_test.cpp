// StatNode: roles, the exact ctx.nodeCounter advances of its constructors, the
// effort statistic, and destruction with its two logged guarded steps.
#include <gtest/gtest.h>

#include <vector>

#include "search/stat_node.h"
#include "tree_fixture.h"

namespace kelmo {
namespace {

using test::giveChildren;
using test::makeExpanded;
using test::makeRoot;

constexpr std::int32_t INF_FOR_TEST = PN_INFINITE;

TEST(StatNodeRole, FollowsTheSideToMoveOfItsBoard) {
    SearchContext ctx;
    for (int side : {0, 1}) {
        SCOPED_TRACE(side);
        auto root = makeRoot(ctx, side);
        EXPECT_EQ(root->isOrNode(), side == 1);
        EXPECT_EQ(root->flags & ~NODE_OR, 0);
    }
}

TEST(StatNodeRole, SetOrNodeMakesNodeAndBoardAgree) {
    SearchContext ctx;
    struct Case {
        int side;
        bool flag;
    };
    for (Case c : {Case{0, true}, Case{1, false}, Case{1, true}, Case{0, false}}) {
        SCOPED_TRACE(testing::Message() << "side " << c.side << " flag " << c.flag);
        auto root = makeRoot(ctx, c.side);
        root->setOrNode(c.flag);
        EXPECT_EQ(root->isOrNode(), c.flag);
        EXPECT_EQ(root->board->sideToMove, c.flag ? 1 : 0);
        EXPECT_FALSE(root->isExpanded());
    }
}

TEST(StatNodeConstruction, RootAdvancesTheCounterByOneAndStartsOpen) {
    SearchContext ctx;
    ctx.nodeCounter = 4294967295u;  // wraps: only differences of counter values count
    auto root = makeRoot(ctx, 1);
    EXPECT_EQ(ctx.nodeCounter, 0u);
    // Open: nothing decided, nothing expanded, and neither proving nor
    // disproving looks easier yet.
    EXPECT_FALSE(root->isSolved());
    EXPECT_FALSE(root->isExpanded());
    EXPECT_GT(root->proofNum, 0);
    EXPECT_EQ(root->proofNum, root->disproofNum);
    EXPECT_EQ(root->childrenCnt, 0);
    // Nothing above it for an update to climb to.
    EXPECT_EQ(root->parent, nullptr);
    EXPECT_EQ(root->move, -1);
    // Its effort starts empty and counts from its own construction on, across the wrap.
    root->credit(ctx.nodeCounter);
    EXPECT_EQ(root->growthCnt, 1);
}

// The effort statistic counts an expansion of n children as 2n - 1: every child
// double but the last, each stamped at its own place in that count.
TEST(StatNodeConstruction, AnExpansionAdvancesTheCounterByTwoPerChildButTheLastByOne) {
    SearchContext ctx;
    for (int side : {0, 1}) {
        for (int n : {1, 2, 5}) {
            SCOPED_TRACE(testing::Message() << "side " << side << ", " << n << " children");
            auto parent = makeRoot(ctx, side);
            const std::uint32_t before = ctx.nodeCounter;
            const std::uint64_t builtBefore = ctx.builtNodes;
            const std::vector<std::int16_t> moves = {40, 7, 399, 0, 210};
            ASSERT_TRUE(parent->attachChildren(ctx, moves.data(), n));
            EXPECT_EQ(ctx.nodeCounter - before, 2u * n - 1u);
            EXPECT_EQ(ctx.builtNodes - builtBefore, static_cast<std::uint64_t>(n));
            EXPECT_TRUE(parent->isExpanded());
            ASSERT_EQ(parent->childrenCnt, n);
            for (int i = 0; i < n; ++i) {
                const StatNode* child = parent->child(i);
                EXPECT_EQ(child->counterStamp, before + 2u * i);
                EXPECT_EQ(child->move, moves[i]);
                EXPECT_EQ(child->parent, parent);
                EXPECT_EQ(child->isOrNode(), side == 0);
                EXPECT_FALSE(child->isExpanded());
                EXPECT_EQ(child->board, nullptr);  // built when the child is expanded
                EXPECT_EQ(child->proofNum, 1);
                EXPECT_EQ(child->disproofNum, 1);
                EXPECT_EQ(child->growthCnt, 0);
            }
        }
    }
}

TEST(StatNodeEffort, CreditAddsTheAdvanceSinceTheStampWithoutRestamping) {
    SearchContext ctx;
    struct Case {
        std::uint32_t stamp;
        std::uint32_t counter;
        std::int32_t growthBefore;
        std::int32_t growthAfter;
    };
    const Case cases[] = {
        {100, 107, 0, 7},
        {100, 100, 5, 5},
        {4294967290u, 10, 3, 19},             // the counter wrapped since the stamp
        {0, 100, 2147483600, 2147483647},     // saturates instead of overflowing
        {0, 4294967295u, 0, 2147483647},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.stamp << " -> " << c.counter);
        auto node = makeRoot(ctx, 1);
        node->counterStamp = c.stamp;
        node->growthCnt = c.growthBefore;
        ctx.nodeCounter = c.counter;
        node->credit(ctx.nodeCounter);
        EXPECT_EQ(node->growthCnt, c.growthAfter);
        EXPECT_EQ(node->counterStamp, c.stamp);
    }
    auto node = makeRoot(ctx, 1);
    ctx.nodeCounter = 50;
    node->stamp(ctx.nodeCounter);
    EXPECT_EQ(node->counterStamp, 50u);
    ctx.nodeCounter = 53;
    node->credit(ctx.nodeCounter);
    node->credit(ctx.nodeCounter);  // a second credit without a stamp in between counts again
    EXPECT_EQ(node->growthCnt, 6);
}

// Giving a solved subtree back: every piece below the node and its own board
// return to the arena and serve the next requests; the node keeps its numbers.
TEST(StatNodeRelease, GivesEverythingBelowTheNodeBackAndKeepsItsNumbers) {
    SearchContext ctx;
    StatNode* root = makeExpanded(ctx, true, {{1, 1}, {1, 1}, {1, 1}});
    StatNode* middle = root->child(1);
    giveChildren(ctx, middle, {{1, 1}, {1, 1}});
    giveChildren(ctx, middle->child(0), {{1, 1}, {1, 1}, {1, 1}, {1, 1}});
    // An expanded node below the root holds a board of its own.
    K2Board position;
    position.clear();
    void* boardMemory = ctx.arena.allocate(position.positionBytes());
    ASSERT_NE(boardMemory, nullptr);
    middle->board = position.packPosition(boardMemory);
    middle->proofNum = 0;
    middle->disproofNum = INF_FOR_TEST;
    middle->growthCnt = 17;
    const std::int64_t inUse = ctx.arena.bytesInUse();
    const std::int64_t freeBefore = ctx.arena.bytesFree();

    EXPECT_EQ(middle->releaseSubtree(ctx.arena), 6u);

    EXPECT_EQ(middle->childrenCnt, 0);
    EXPECT_EQ(middle->children, nullptr);
    EXPECT_EQ(middle->board, nullptr);
    EXPECT_FALSE(middle->isExpanded());
    EXPECT_EQ(middle->proofNum, 0);
    EXPECT_EQ(middle->disproofNum, INF_FOR_TEST);
    EXPECT_EQ(middle->growthCnt, 17);
    EXPECT_EQ(middle->move, 1);
    // Two child arrays and a board, rounded to the arena's grain.
    const auto rounded = [](std::size_t bytes) {
        return static_cast<std::int64_t>((bytes + NodeArena::GRAIN - 1) / NodeArena::GRAIN * NodeArena::GRAIN);
    };
    EXPECT_EQ(ctx.arena.bytesFree() - freeBefore,
              rounded(2 * sizeof(StatNode)) + rounded(4 * sizeof(StatNode)) + rounded(position.positionBytes()));
    EXPECT_EQ(ctx.arena.bytesInUse(), inUse);  // given back for reuse, not to the system
    // The siblings and the root are untouched.
    EXPECT_EQ(root->childrenCnt, 3);
    EXPECT_TRUE(root->isExpanded());
    EXPECT_EQ(root->child(2)->parent, root);
    // The next expansion of the same width takes a released array: nothing new is carved.
    giveChildren(ctx, root->child(2), {{1, 1}, {1, 1}});
    EXPECT_EQ(ctx.arena.bytesInUse(), inUse);
}

} // namespace
} // namespace kelmo
