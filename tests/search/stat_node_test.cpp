// StatNode: roles, the exact ctx.nodeCounter advances of its constructors, the
// effort statistic, and destruction with its two logged guarded steps.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "errorlog/error_log.h"
#include "search/stat_node.h"
#include "support/temp_dir.h"
#include "tree_fixture.h"

namespace kelmo {
namespace {

using test::giveChildren;
using test::makeExpanded;
using test::makeRoot;

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
    EXPECT_EQ(root->counterStamp, 4294967295u);
    EXPECT_EQ(root->proofNum, 1);
    EXPECT_EQ(root->disproofNum, 1);
    EXPECT_EQ(root->move, -1);
    EXPECT_EQ(root->parent, nullptr);
    EXPECT_EQ(root->childrenCnt, 0);
    EXPECT_EQ(root->growthCnt, 0);
    EXPECT_NE(root->board, nullptr);
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
            const std::vector<std::int16_t> moves = {40, 7, 399, 0, 210};
            parent->attachChildren(ctx.nodeCounter, moves.data(), n);
            EXPECT_EQ(ctx.nodeCounter - before, 2u * n - 1u);
            EXPECT_TRUE(parent->isExpanded());
            ASSERT_EQ(parent->childrenCnt, n);
            for (int i = 0; i < n; ++i) {
                const StatNode* child = parent->children[i];
                EXPECT_EQ(child->counterStamp, before + 2u * i);
                EXPECT_EQ(child->move, moves[i]);
                EXPECT_EQ(child->parent, parent.get());
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

// Destruction: a hook that records the guarded steps it sees and throws at a
// chosen step of the root.
struct DestroyProbe {
    const StatNode* failing = nullptr;
    int failStep = 0;
    std::vector<std::pair<int, int>> steps;  // (move of the node, step)
    bool arrayGoneAtStep2 = false;
};
DestroyProbe* probe = nullptr;

void probeHook(const StatNode& node, int step) {
    probe->steps.emplace_back(node.move, step);
    if (&node == probe->failing && step == 2)
        probe->arrayGoneAtStep2 = node.children == nullptr;
    if (&node == probe->failing && step == probe->failStep)
        throw std::runtime_error("injected");
}

class StatNodeDestruction : public testing::Test {
protected:
    void SetUp() override {
        probe = &state;
        nodeDestroyHook = probeHook;
    }
    void TearDown() override {
        nodeDestroyHook = nullptr;
        probe = nullptr;
    }
    DestroyProbe state;
    test::TempDir dir;
    test::ScopedChdir cd{dir.path()};
};

TEST_F(StatNodeDestruction, AFailureIsLoggedOnceAndDestructionGoesOn) {
    SearchContext ctx;
    struct Case {
        int failStep;
        const char* line;
    };
    for (Case c : {Case{1, "chyba typu 1 pri v destruktoru StatNode"},
                   Case{2, "chyba typu 2 pri v destruktoru StatNode"}}) {
        SCOPED_TRACE(c.failStep);
        std::filesystem::remove(dir.file(ERROR_LOG_NAME));
        state = DestroyProbe{};
        // Root with three children, the second of which has two children itself.
        StatNode* root = makeExpanded(ctx, true, {{1, 1}, {1, 1}, {1, 1}}).release();
        giveChildren(ctx, root->children[1], {{1, 1}, {1, 1}});
        state.failing = root;
        state.failStep = c.failStep;

        delete root;  // leak checking in the sanitizer build sees every array and board freed

        EXPECT_EQ(test::readFile(dir.file(ERROR_LOG_NAME)), std::string(c.line) + "\n");
        EXPECT_TRUE(state.arrayGoneAtStep2);
        // Children go first, in order and depth first; the root's own steps come last.
        const std::vector<std::pair<int, int>> expected = {
            {0, 1}, {0, 2}, {0, 1}, {0, 2}, {1, 1}, {1, 2}, {1, 1},
            {1, 2}, {2, 1}, {2, 2}, {-1, 1}, {-1, 2}};
        EXPECT_EQ(state.steps, expected);
    }
}

TEST_F(StatNodeDestruction, ATreeWithoutFailuresLeavesNoLog) {
    SearchContext ctx;
    StatNode* root = makeExpanded(ctx, false, {{1, 1}, {2, 2}}).release();
    giveChildren(ctx, root->children[0], {{1, 1}});
    delete root;
    EXPECT_FALSE(std::filesystem::exists(dir.file(ERROR_LOG_NAME)));
    // Nodes without children and unexpanded nodes go through both steps too.
    EXPECT_EQ(state.steps.size(), 8u);
}

} // namespace
} // namespace kelmo
