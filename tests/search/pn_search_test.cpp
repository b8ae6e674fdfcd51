// Proof-number search: backing numbers up, choosing the most-proving leaf,
// walking the update up the tree, and expanding nodes from the generator.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "board/candidates.h"
#include "search/pn_search.h"
#include "support/board_diagram.h"
#include "tree_fixture.h"

namespace kelmo {
namespace {

using test::giveChildren;
using test::makeExpanded;
using test::makeRoot;
using test::Numbers;

constexpr std::int32_t INF = PN_INFINITE;

struct BackUpCase {
    const char* name;
    bool orNode;
    std::vector<Numbers> children;
    Numbers expected;
};

TEST(UpdateValues, BacksUpTheChildrenByRole) {
    SearchContext ctx;
    const std::vector<BackUpCase> cases = {
        {"or, disproven last", true, {{3, 5}, {2, 7}, {INF, 0}}, {2, 12}},
        {"and, disproven last", false, {{3, 5}, {2, 7}, {INF, 0}}, {INF, 0}},
        {"and, proven last", false, {{3, 5}, {2, 7}, {0, INF}}, {5, 5}},
        {"or, proven last", true, {{3, 5}, {2, 7}, {0, INF}}, {0, INF}},
        {"or, proven second", true, {{3, 5}, {0, INF}, {1, 1}, {INF, 0}}, {0, INF}},
        {"and, disproven second", false, {{3, 5}, {INF, 0}, {1, 1}, {0, INF}}, {INF, 0}},
        {"or, proven first", true, {{0, INF}, {1, 1}}, {0, INF}},
        {"and, disproven first", false, {{INF, 0}, {1, 1}}, {INF, 0}},
        // A lost first child enters the sum with its 0.
        {"or, disproven first", true, {{INF, 0}, {4, 3}, {6, 2}}, {4, 5}},
        {"and, proven first", false, {{0, INF}, {4, 3}, {6, 2}}, {10, 2}},
        {"or, all disproven", true, {{INF, 0}, {INF, 0}, {INF, 0}}, {INF, 0}},
        {"and, all proven", false, {{0, INF}, {0, INF}}, {0, INF}},
        {"or, single child", true, {{7, 9}}, {7, 9}},
        {"or, tie keeps the value", true, {{2, 1}, {2, 1}, {2, 1}}, {2, 3}},
        // Sums stop below the encodings of "solved" and "infinite".
        {"or, saturating", true, {{1, 2000000000}, {1, 2000000000}, {1, 5}}, {1, PN_SATURATED}},
        {"and, saturating", false, {{2147483000, 1}, {2147483000, 1}}, {PN_SATURATED, 1}},
        {"or, just below the cap", true, {{1, 2147483000}, {1, 646}}, {1, PN_SATURATED}},
        {"or, exactly representable", true, {{1, 2147483000}, {1, 645}}, {1, 2147483645}},
    };
    for (const BackUpCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto node = makeExpanded(ctx, c.orNode, c.children);
        node->proofNum = 1;
        node->disproofNum = 1;
        updateValues(node);
        EXPECT_EQ(node->proofNum, c.expected.proof);
        EXPECT_EQ(node->disproofNum, c.expected.disproof);
    }
}

TEST(UpdateValues, SolvedNodesAndUnexpandedLeavesKeepTheirMeaning) {
    SearchContext ctx;
    for (Numbers solved : {Numbers{0, INF}, Numbers{INF, 0}}) {
        auto node = makeExpanded(ctx, true, {{3, 5}, {2, 7}});
        node->proofNum = solved.proof;
        node->disproofNum = solved.disproof;
        updateValues(node);
        EXPECT_EQ(node->proofNum, solved.proof);
        EXPECT_EQ(node->disproofNum, solved.disproof);
    }
    // An unexpanded node takes its board's estimate: empty lists give 1 and 1.
    auto leaf = makeRoot(ctx, 1);
    leaf->proofNum = 9;
    leaf->disproofNum = 9;
    updateValues(leaf);
    EXPECT_EQ(leaf->proofNum, 1);
    EXPECT_EQ(leaf->disproofNum, 1);
}

TEST(UpdateValues, SeesEveryChildOfAWideNode) {
    SearchContext ctx;
    // More children than an 8-bit count could hold: the last one decides.
    std::vector<Numbers> children(300, {INF, 0});
    children[299] = {3, 4};
    auto orNode = makeExpanded(ctx, true, children);
    EXPECT_EQ(orNode->childrenCnt, 300);
    updateValues(orNode);
    EXPECT_EQ(orNode->proofNum, 3);
    EXPECT_EQ(orNode->disproofNum, 4);

    children.assign(300, {1, 1});
    children[299] = {INF, 0};
    auto andNode = makeExpanded(ctx, false, children);
    updateValues(andNode);
    EXPECT_EQ(andNode->proofNum, INF);
    EXPECT_EQ(andNode->disproofNum, 0);
}

TEST(SelectMostProving, PicksTheEarliestSmallestFiniteNumber) {
    SearchContext ctx;
    struct Case {
        bool orNode;
        std::vector<Numbers> children;
        int expected;
    };
    const std::vector<Case> cases = {
        {true, {{4, 1}, {INF, 0}, {2, 1}, {2, 1}}, 2},
        {false, {{1, 4}, {0, INF}, {1, 2}, {1, 2}}, 2},
        {true, {{5, 1}, {5, 1}}, 0},
        {true, {{INF, 0}, {INF, 0}, {INF, 0}}, 0},  // all infinite: the first
        {true, {{INF, 0}, {7, 1}, {INF, 0}}, 1},
        // The role decides which number counts.
        {true, {{3, 1}, {2, 9}}, 1},
        {false, {{3, 1}, {2, 9}}, 0},
        {true, {{PN_SATURATED, 1}, {PN_SATURATED, 1}}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "expected " << c.expected);
        auto root = makeExpanded(ctx, c.orNode, c.children);
        StatNode* leaf = selectMostProving(ctx, root);
        EXPECT_EQ(leaf, root->child(c.expected));
    }
}

TEST(SelectMostProving, DescendsToALeafStampingThePath) {
    SearchContext ctx;
    auto root = makeExpanded(ctx, true, {{3, 1}, {1, 1}});
    StatNode* b = root->child(1);
    giveChildren(ctx, b, {{1, 6}, {1, 2}, {1, 2}});  // AND: smallest disproof number
    ctx.nodeCounter += 40;

    StatNode* leaf = selectMostProving(ctx, root);

    EXPECT_EQ(leaf, b->child(1));
    for (const StatNode* n : {static_cast<const StatNode*>(root), static_cast<const StatNode*>(b), static_cast<const StatNode*>(leaf)})
        EXPECT_EQ(n->counterStamp, ctx.nodeCounter);
    EXPECT_NE(root->child(0)->counterStamp, ctx.nodeCounter);
    EXPECT_NE(b->child(2)->counterStamp, ctx.nodeCounter);
    // Starting below the root reaches the same leaf.
    EXPECT_EQ(selectMostProving(ctx, b), leaf);
    // An unexpanded start is its own most-proving leaf.
    EXPECT_EQ(selectMostProving(ctx, leaf), leaf);
}

// root (OR) -> a (AND) -> leaf (OR), with siblings b of a and c of the leaf:
//   leaf (2,2), c (3,1): a = (5,1);  b (9,6): root = (5,7).
// The leaf then receives children and the update walks up from it.
TEST(UpdateAncestors, StopsAtTheFirstNodeWhoseNumbersDidNotChange) {
    SearchContext ctx;
    enum Stop { LEAF, A, ROOT };
    struct Case {
        const char* name;
        std::vector<Numbers> grandchildren;  // empty: the leaf is solved in place
        Numbers leafSolved;
        Stop returned;
        Numbers a;
        Numbers root;
    };
    const std::vector<Case> cases = {
        {"leaf unchanged", {{2, 1}, {3, 1}}, {}, LEAF, {5, 1}, {5, 7}},
        {"only the leaf changed", {{2, 1}, {3, 3}}, {}, A, {5, 1}, {5, 7}},
        {"every node changed", {{1, 1}}, {}, ROOT, {4, 1}, {4, 7}},
        {"leaf proven by its expansion", {}, {0, INF}, ROOT, {3, 1}, {3, 7}},
        {"leaf disproven by its expansion", {}, {INF, 0}, ROOT, {INF, 0}, {9, 6}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto root = makeExpanded(ctx, true, {{1, 1}, {9, 6}});
        StatNode* a = root->child(0);
        giveChildren(ctx, a, {{2, 2}, {3, 1}});
        StatNode* leaf = a->child(0);
        updateValues(a);
        updateValues(root);
        ASSERT_EQ(a->proofNum, 5);
        ASSERT_EQ(a->disproofNum, 1);
        ASSERT_EQ(root->proofNum, 5);
        ASSERT_EQ(root->disproofNum, 7);
        if (c.grandchildren.empty()) {
            leaf->proofNum = c.leafSolved.proof;
            leaf->disproofNum = c.leafSolved.disproof;
        } else {
            giveChildren(ctx, leaf, c.grandchildren);
        }
        // Every node was last stamped 7 node constructions ago.
        for (StatNode* n : {root, a, leaf})
            n->counterStamp = ctx.nodeCounter - 7;

        StatNode* next = updateAncestors(ctx, leaf);

        StatNode* expected[] = {leaf, a, root};
        EXPECT_EQ(next, expected[c.returned]);
        EXPECT_EQ(a->proofNum, c.a.proof);
        EXPECT_EQ(a->disproofNum, c.a.disproof);
        EXPECT_EQ(root->proofNum, c.root.proof);
        EXPECT_EQ(root->disproofNum, c.root.disproof);
        // Exactly the processed nodes are credited.
        EXPECT_EQ(leaf->growthCnt, 7);
        EXPECT_EQ(a->growthCnt, c.returned >= A || c.grandchildren.empty() ? 7 : 0);
        EXPECT_EQ(root->growthCnt, c.returned == ROOT ? 7 : 0);
    }
}

TEST(UpdateAncestors, ASolvedRootIsReturnedAtOnce) {
    SearchContext ctx;
    auto root = makeRoot(ctx, 1);
    root->proofNum = 0;
    root->disproofNum = INF;
    root->counterStamp = ctx.nodeCounter - 3;
    EXPECT_EQ(updateAncestors(ctx, root), root);
    EXPECT_EQ(root->growthCnt, 3);
}

// Expansion on real positions.

struct VerdictCase {
    const char* name;
    std::vector<int> player0, player1;
    int sideToMove;
    int verdict;
    bool proven;
};

std::unique_ptr<K2Board> boardOf(const std::vector<int>& p0, const std::vector<int>& p1, int side) {
    return test::setUpBoard(p0, p1, side);
}

TEST(Expand, AVerdictDecidesTheNodeWithoutChildren) {
    SearchContext ctx;
    // An open three to move makes an open four (a win for the side to move);
    // facing an open four the side to move is lost. Stones in the corners fill
    // the count without touching anything.
    const std::vector<VerdictCase> cases = {
        {"brain wins at an OR node", {0, 19, 380}, {210, 211, 212}, 1, VERDICT_WIN, true},
        {"opponent wins at an AND node", {210, 211, 212}, {0, 19, 380}, 0, VERDICT_WIN, false},
        {"brain lost at an OR node", {210, 211, 212, 213}, {0, 19, 380, 399}, 1, VERDICT_LOSS, false},
        {"opponent lost at an AND node", {0, 19, 380, 399}, {210, 211, 212, 213}, 0, VERDICT_LOSS, true},
    };
    for (const VerdictCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto board = boardOf(c.player0, c.player1, c.sideToMove);
        {
            std::unique_ptr<K2Board> probe(board->clone());
            ASSERT_EQ(generateCandidates(*probe, ctx.candidates), c.verdict);
        }
        StatNode& node = *test::rootOn(ctx, *board);
        const PackedPosition* own = node.board;
        const std::uint32_t before = ctx.nodeCounter;
        expand(ctx, &node);
        EXPECT_EQ(node.proofNum, c.proven ? 0 : INF);
        EXPECT_EQ(node.disproofNum, c.proven ? INF : 0);
        EXPECT_EQ(node.childrenCnt, 0);
        EXPECT_EQ(node.children, nullptr);
        EXPECT_FALSE(node.isExpanded());
        EXPECT_EQ(node.board, own);
        EXPECT_EQ(ctx.nodeCounter, before);
    }
}

TEST(Expand, AFullBoardIsDisprovenForEitherRole) {
    SearchContext ctx;
    for (int side : {0, 1}) {
        SCOPED_TRACE(side);
        std::vector<Stone> stones;
        for (int sq = 0; sq < SQUARE_NB; ++sq)
            stones.push_back({sq, (sq / 2 + sq / 20) % 2});
        std::unique_ptr<K2Board> board(setUpPosition(stones, side));
        StatNode& node = *test::rootOn(ctx, *board);
        expand(ctx, &node);
        EXPECT_EQ(node.proofNum, INF);
        EXPECT_EQ(node.disproofNum, 0);
        EXPECT_EQ(node.childrenCnt, 0);
        EXPECT_FALSE(node.isExpanded());
    }
}

struct OpenCase {
    const char* name;
    std::vector<int> moves;  // played alternately from player 0
};

// Same cells, side, count and both threat lists in order.
void expectSamePosition(const K2Board& got, const K2Board& expected) {
    EXPECT_EQ(std::memcmp(got.cells, expected.cells, SQUARE_NB), 0);
    EXPECT_EQ(got.sideToMove, expected.sideToMove);
    EXPECT_EQ(got.moveCount, expected.moveCount);
    for (int p = 0; p < PLAYER_NB; ++p)
        EXPECT_EQ(test::threatListText(got, p), test::threatListText(expected, p)) << p;
}

// The children an expansion of this position must give: the generator's moves
// in order, each with the numbers of its own position.
struct ExpectedChild {
    int move;
    std::int32_t proof, disproof;
};

std::vector<ExpectedChild> childrenOf(const K2Board& position) {
    CandidateList list{};
    std::unique_ptr<K2Board> probe(position.clone());
    EXPECT_EQ(generateCandidates(*probe, list), VERDICT_OPEN);
    std::vector<ExpectedChild> children;
    for (int i = 0; i < list.count; ++i) {
        std::unique_ptr<K2Board> child(position.clone());
        bool decided = child->play(list.squares[i]);
        int first, second;
        child->estimate(first, second);
        if (decided)
            first = child->sideToMove == 1 ? 0 : INF, second = child->sideToMove == 1 ? INF : 0;
        children.push_back({list.squares[i], first, second});
    }
    return children;
}

void expectChildren(const StatNode& node, const std::vector<ExpectedChild>& expected) {
    ASSERT_EQ(node.childrenCnt, expected.size());
    for (unsigned i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        const StatNode* child = node.child(i);
        EXPECT_EQ(child->move, expected[i].move);
        EXPECT_EQ(child->parent, &node);
        EXPECT_EQ(child->isOrNode(), !node.isOrNode());
        EXPECT_EQ(child->board, nullptr);  // a leaf's position is built when it is expanded
        EXPECT_EQ(child->proofNum, expected[i].proof);
        EXPECT_EQ(child->disproofNum, expected[i].disproof);
    }
}

TEST(Expand, BuildsOneChildPerCandidateInTheGeneratorsOrder) {
    const std::vector<OpenCase> cases = {
        {"empty board", {}},
        {"one stone", {210}},
        {"opening", {210, 189, 211, 230, 212}},
        {"middle game", {210, 211, 190, 231, 230, 250, 170, 150, 191, 192, 171}},
    };
    for (const OpenCase& c : cases) {
        SCOPED_TRACE(c.name);
        SearchContext ctx;
        auto board = boardOf({}, {}, 0);
        for (int sq : c.moves)
            board->play(sq);
        const std::unique_ptr<K2Board> original(board->clone());
        const std::vector<ExpectedChild> expected = childrenOf(*original);
        StatNode& node = *test::rootOn(ctx, *board);
        const PackedPosition* own = node.board;
        const std::uint32_t before = ctx.nodeCounter;

        expand(ctx, &node);

        const unsigned n = static_cast<unsigned>(expected.size());
        EXPECT_EQ(ctx.nodeCounter - before, 2u * n - 1u);
        EXPECT_TRUE(node.isExpanded());
        // The root keeps its board as it was: its children are built from it.
        ASSERT_EQ(node.board, own);
        expectSamePosition(*test::unpacked(*own), *original);
        EXPECT_EQ(node.proofNum, 1);  // numbers wait for updateAncestors
        EXPECT_EQ(node.disproofNum, 1);
        expectChildren(node, expected);
    }
}

// A leaf's board is its parent's with its move played: copied from where the
// expansion that built the leaf kept it, or rebuilt when that copy has been
// overwritten since. Either way it is kept on the node for its children.
TEST(Expand, ALeafGetsItsPositionFromItsParentWhenExpanded) {
    for (bool overwritten : {false, true}) {
        SCOPED_TRACE(overwritten ? "kept copy overwritten" : "kept copy");
        SearchContext ctx;
        auto board = test::playSequence({210, 211, 190, 231, 230, 250, 170, 150});
        StatNode& root = *test::rootOn(ctx, *board);
        expand(ctx, &root);
        ASSERT_GE(root.childrenCnt, 2);
        if (overwritten) {
            // Every slot taken over by other positions of other nodes.
            StatNode* other = test::makeRoot(ctx, 0);
            for (unsigned i = 0; i < LeafBoards::SLOTS; ++i)
                other->leafSlot = ctx.leafBoards.keep(other, *test::unpacked(*other->board));
        }
        // The first child, then the last one: the last is estimated on the work
        // board itself rather than a copy, so both paths are seen.
        for (unsigned pick : {0u, root.childrenCnt - 1u}) {
            SCOPED_TRACE(pick);
            StatNode* leaf = root.child(pick);
            ASSERT_FALSE(leaf->isSolved());
            std::unique_ptr<K2Board> position = test::unpacked(*root.board);
            position->play(leaf->move);
            const std::vector<ExpectedChild> expected = childrenOf(*position);
            const std::uint64_t hits = ctx.leafBoards.hits, misses = ctx.leafBoards.misses;

            expand(ctx, leaf);

            EXPECT_EQ(ctx.leafBoards.hits - hits, overwritten ? 0u : 1u);
            EXPECT_EQ(ctx.leafBoards.misses - misses, overwritten ? 1u : 0u);
            ASSERT_NE(leaf->board, nullptr);
            expectSamePosition(*test::unpacked(*leaf->board), *position);
            expectChildren(*leaf, expected);
            // A grandchild's expansion starts from the kept board.
            StatNode* grandchild = leaf->child(0);
            if (!grandchild->isSolved()) {
                position->play(grandchild->move);
                const std::vector<ExpectedChild> next = childrenOf(*position);
                expand(ctx, grandchild);
                ASSERT_NE(grandchild->board, nullptr);
                expectSamePosition(*test::unpacked(*grandchild->board), *position);
                expectChildren(*grandchild, next);
            }
        }
    }
}

TEST(Expand, TwoFoursStandingInASetUpPositionDecideTheNodeWithoutChildren) {
    SearchContext ctx;
    // Two fours of one player, each blocked at one end: the row four completes
    // at (14, 10) = 214, the column four at (14, 11) = 234. The set-up lists both
    // five-squares, so the other player, to move, has no answer that covers both:
    // the generator calls it lost and the node is decided without children.
    const std::string fours = R"(
        o x x x x .
        . . . . . .
        . . . . . x
        . . . . . x
        . . . . . x
        . . . . . x
        . . . . . o
    )";
    std::string swapped = fours;
    for (char& c : swapped)
        c = c == 'x' ? 'o' : c == 'o' ? 'x' : c;
    struct Case {
        const char* name;
        std::string diagram;
        int sideToMove;
        int fourOwner;
    };
    const Case cases[] = {
        {"brain's fours, opponent to move", fours, 0, 1},
        {"opponent's fours, brain to move", swapped, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto board = test::boardFromDiagram(c.diagram, c.sideToMove, 9, 10);
        const std::string listed = test::threatListText(*board, c.fourOwner);
        EXPECT_NE(listed.find("214:"), std::string::npos) << listed;
        EXPECT_NE(listed.find("234:"), std::string::npos) << listed;
        {
            std::unique_ptr<K2Board> probe(board->clone());
            CandidateList list{};
            EXPECT_EQ(generateCandidates(*probe, list), VERDICT_LOSS);
        }
        StatNode& node = *test::rootOn(ctx, *board);
        expand(ctx, &node);
        // Lost for the side to move: proven when that is the opponent.
        const bool proven = c.fourOwner == 1;
        EXPECT_EQ(node.proofNum, proven ? 0 : INF);
        EXPECT_EQ(node.disproofNum, proven ? INF : 0);
        EXPECT_EQ(node.childrenCnt, 0);
    }
}

} // namespace
} // namespace kelmo
