// StatNode: roles, the exact nodeCounter advances of its constructors, the
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
    for (int side : {0, 1}) {
        SCOPED_TRACE(side);
        auto root = makeRoot(side);
        EXPECT_EQ(root->isOrNode(), side == 1);
        EXPECT_EQ(root->flags & ~NODE_OR, 0);
    }
}

TEST(StatNodeRole, SetOrNodeMakesNodeAndBoardAgree) {
    struct Case {
        int side;
        bool flag;
    };
    for (Case c : {Case{0, true}, Case{1, false}, Case{1, true}, Case{0, false}}) {
        SCOPED_TRACE(testing::Message() << "side " << c.side << " flag " << c.flag);
        auto root = makeRoot(c.side);
        root->setOrNode(c.flag);
        EXPECT_EQ(root->isOrNode(), c.flag);
        EXPECT_EQ(root->board->sideToMove, c.flag ? 1 : 0);
        EXPECT_FALSE(root->isExpanded());
    }
}

TEST(StatNodeConstruction, RootAdvancesTheCounterByOneAndStartsOpen) {
    nodeCounter = 4294967295u;  // wraps: only differences of counter values count
    auto root = makeRoot(1);
    EXPECT_EQ(nodeCounter, 0u);
    // Open: nothing decided, nothing expanded, and neither proving nor
    // disproving looks easier yet.
    EXPECT_FALSE(root->isSolved());
    EXPECT_FALSE(root->isExpanded());
    EXPECT_GT(root->proofNum, 0);
    EXPECT_EQ(root->proofNum, root->disproofNum);
    EXPECT_EQ(root->childrenCnt, 0);
    // Nothing above it for an update to climb to.
    EXPECT_EQ(root->parent, nullptr);
    EXPECT_EQ(root->pathParent, nullptr);
    EXPECT_EQ(root->parentsCnt, 0);
    EXPECT_EQ(root->move, -1);
    // Its effort starts empty and counts from its own construction on, across the wrap.
    root->credit();
    EXPECT_EQ(root->growthCnt, 1);
}

TEST(StatNodeConstruction, ChildrenAdvanceTheCounterByTwoButTheLastByOne) {
    for (int n : {1, 2, 5}) {
        SCOPED_TRACE(n);
        auto parent = makeRoot(1);
        const std::uint32_t before = nodeCounter;
        std::vector<test::Numbers> numbers(n, {1, 1});
        giveChildren(parent.get(), numbers);
        // giveChildren builds every child with the move constructor: 2 each.
        EXPECT_EQ(nodeCounter - before, 2u * n);
        for (int i = 0; i < n; ++i) {
            const StatNode* child = parent->children[i];
            EXPECT_EQ(child->counterStamp, before + 2u * i);
            EXPECT_EQ(child->move, i);
            EXPECT_EQ(child->parent, parent.get());
            EXPECT_EQ(child->pathParent, parent.get());
            EXPECT_EQ(child->parentsCnt, 1);
            EXPECT_FALSE(child->isOrNode());
        }
        // The board-only constructor with a parent: the last child of an expansion.
        auto* board = new K2Board();
        board->clear();
        const std::uint32_t beforeLast = nodeCounter;
        StatNode last(board, parent.get());
        EXPECT_EQ(nodeCounter - beforeLast, 1u);
        EXPECT_EQ(last.parentsCnt, 1);
        EXPECT_EQ(last.move, -1);
    }
}

TEST(StatNodeEffort, CreditAddsTheAdvanceSinceTheStampWithoutRestamping) {
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
        auto node = makeRoot(1);
        node->counterStamp = c.stamp;
        node->growthCnt = c.growthBefore;
        nodeCounter = c.counter;
        node->credit();
        EXPECT_EQ(node->growthCnt, c.growthAfter);
        EXPECT_EQ(node->counterStamp, c.stamp);
    }
    auto node = makeRoot(1);
    nodeCounter = 50;
    node->stamp();
    EXPECT_EQ(node->counterStamp, 50u);
    nodeCounter = 53;
    node->credit();
    node->credit();  // a second credit without a stamp in between counts again
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
        StatNode* root = makeExpanded(true, {{1, 1}, {1, 1}, {1, 1}}).release();
        giveChildren(root->children[1], {{1, 1}, {1, 1}});
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
    StatNode* root = makeExpanded(false, {{1, 1}, {2, 2}}).release();
    giveChildren(root->children[0], {{1, 1}});
    delete root;
    EXPECT_FALSE(std::filesystem::exists(dir.file(ERROR_LOG_NAME)));
    // Nodes without children and unexpanded nodes go through both steps too.
    EXPECT_EQ(state.steps.size(), 8u);
}

} // namespace
} // namespace kelmo
