// Proof-number search: backing numbers up, choosing the most-proving leaf,
// walking the update up the tree, and expanding nodes from the generator.
#include <gtest/gtest.h>

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
        auto node = makeExpanded(c.orNode, c.children);
        node->proofNum = 1;
        node->disproofNum = 1;
        updateValues(node.get());
        EXPECT_EQ(node->proofNum, c.expected.proof);
        EXPECT_EQ(node->disproofNum, c.expected.disproof);
    }
}

TEST(UpdateValues, SolvedNodesAndUnexpandedLeavesKeepTheirMeaning) {
    for (Numbers solved : {Numbers{0, INF}, Numbers{INF, 0}}) {
        auto node = makeExpanded(true, {{3, 5}, {2, 7}});
        node->proofNum = solved.proof;
        node->disproofNum = solved.disproof;
        updateValues(node.get());
        EXPECT_EQ(node->proofNum, solved.proof);
        EXPECT_EQ(node->disproofNum, solved.disproof);
    }
    // An unexpanded node takes its board's estimate: empty lists give 1 and 1.
    auto leaf = makeRoot(1);
    leaf->proofNum = 9;
    leaf->disproofNum = 9;
    updateValues(leaf.get());
    EXPECT_EQ(leaf->proofNum, 1);
    EXPECT_EQ(leaf->disproofNum, 1);
}

TEST(UpdateValues, SeesEveryChildOfAWideNode) {
    // More children than an 8-bit count could hold: the last one decides.
    std::vector<Numbers> children(300, {INF, 0});
    children[299] = {3, 4};
    auto orNode = makeExpanded(true, children);
    EXPECT_EQ(orNode->childrenCnt, 300);
    updateValues(orNode.get());
    EXPECT_EQ(orNode->proofNum, 3);
    EXPECT_EQ(orNode->disproofNum, 4);

    children.assign(300, {1, 1});
    children[299] = {INF, 0};
    auto andNode = makeExpanded(false, children);
    updateValues(andNode.get());
    EXPECT_EQ(andNode->proofNum, INF);
    EXPECT_EQ(andNode->disproofNum, 0);
}

TEST(SelectMostProving, PicksTheEarliestSmallestFiniteNumber) {
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
        auto root = makeExpanded(c.orNode, c.children);
        StatNode* leaf = selectMostProving(root.get());
        EXPECT_EQ(leaf, root->children[c.expected]);
    }
}

TEST(SelectMostProving, DescendsToALeafStampingThePath) {
    auto root = makeExpanded(true, {{3, 1}, {1, 1}});
    StatNode* b = root->children[1];
    giveChildren(b, {{1, 6}, {1, 2}, {1, 2}});  // AND: smallest disproof number
    nodeCounter += 40;
    b->children[2]->pathParent = nullptr;

    StatNode* leaf = selectMostProving(root.get());

    EXPECT_EQ(leaf, b->children[1]);
    EXPECT_EQ(leaf->pathParent, b);
    EXPECT_EQ(b->pathParent, root.get());
    for (const StatNode* n : {static_cast<const StatNode*>(root.get()), static_cast<const StatNode*>(b), static_cast<const StatNode*>(leaf)})
        EXPECT_EQ(n->counterStamp, nodeCounter);
    EXPECT_NE(root->children[0]->counterStamp, nodeCounter);
    EXPECT_NE(b->children[2]->counterStamp, nodeCounter);
    // Starting below the root reaches the same leaf through the same parent.
    EXPECT_EQ(selectMostProving(b), leaf);
    // An unexpanded start is its own most-proving leaf.
    EXPECT_EQ(selectMostProving(leaf), leaf);
}

// root (OR) -> a (AND) -> leaf (OR), with siblings b of a and c of the leaf:
//   leaf (2,2), c (3,1): a = (5,1);  b (9,6): root = (5,7).
// The leaf then receives children and the update walks up from it.
TEST(UpdateAncestors, StopsAtTheFirstNodeWhoseNumbersDidNotChange) {
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
        auto root = makeExpanded(true, {{1, 1}, {9, 6}});
        StatNode* a = root->children[0];
        giveChildren(a, {{2, 2}, {3, 1}});
        StatNode* leaf = a->children[0];
        updateValues(a);
        updateValues(root.get());
        ASSERT_EQ(a->proofNum, 5);
        ASSERT_EQ(a->disproofNum, 1);
        ASSERT_EQ(root->proofNum, 5);
        ASSERT_EQ(root->disproofNum, 7);
        if (c.grandchildren.empty()) {
            leaf->proofNum = c.leafSolved.proof;
            leaf->disproofNum = c.leafSolved.disproof;
        } else {
            giveChildren(leaf, c.grandchildren);
        }
        // Every node was last stamped 7 node constructions ago.
        for (StatNode* n : {root.get(), a, leaf})
            n->counterStamp = nodeCounter - 7;

        StatNode* next = updateAncestors(leaf);

        StatNode* expected[] = {leaf, a, root.get()};
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
    auto root = makeRoot(1);
    root->proofNum = 0;
    root->disproofNum = INF;
    root->counterStamp = nodeCounter - 3;
    EXPECT_EQ(updateAncestors(root.get()), root.get());
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
    return test::boardWithStones(p0, p1, side);
}

TEST(Expand, AVerdictDecidesTheNodeWithoutChildren) {
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
            ASSERT_EQ(generateCandidates(*probe), c.verdict);
        }
        K2Board* own = board.release();
        StatNode node(own, nullptr);
        const std::uint32_t before = nodeCounter;
        expand(&node);
        EXPECT_EQ(node.proofNum, c.proven ? 0 : INF);
        EXPECT_EQ(node.disproofNum, c.proven ? INF : 0);
        EXPECT_EQ(node.childrenCnt, 0);
        EXPECT_EQ(node.children, nullptr);
        EXPECT_FALSE(node.isExpanded());
        EXPECT_EQ(node.board, own);
        EXPECT_EQ(nodeCounter, before);
    }
}

TEST(Expand, AFullBoardIsDisprovenForEitherRole) {
    for (int side : {0, 1}) {
        SCOPED_TRACE(side);
        std::vector<Stone> stones;
        for (int sq = 0; sq < SQUARE_NB; ++sq)
            stones.push_back({sq, (sq / 2 + sq / 20) % 2});
        StatNode node(setUpPosition(stones, side), nullptr);
        expand(&node);
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

TEST(Expand, BuildsOneChildPerCandidateInTheGeneratorsOrder) {
    const std::vector<OpenCase> cases = {
        {"empty board", {}},
        {"one stone", {210}},
        {"opening", {210, 189, 211, 230, 212}},
        {"middle game", {210, 211, 190, 231, 230, 250, 170, 150, 191, 192, 171}},
    };
    for (const OpenCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto board = boardOf({}, {}, 0);
        for (int sq : c.moves)
            board->play(sq);
        std::vector<int> expectedMoves;
        {
            std::unique_ptr<K2Board> probe(board->clone());
            ASSERT_EQ(generateCandidates(*probe), VERDICT_OPEN);
            expectedMoves.assign(candidates.squares, candidates.squares + candidates.count);
        }
        const int parentSide = board->sideToMove;
        K2Board* own = board.release();
        StatNode node(own, nullptr);
        const std::uint32_t before = nodeCounter;

        expand(&node);

        const int n = static_cast<int>(expectedMoves.size());
        ASSERT_EQ(node.childrenCnt, n);
        EXPECT_EQ(node.childrenCap, n);
        EXPECT_EQ(nodeCounter - before, 2u * n - 1u);
        EXPECT_TRUE(node.isExpanded());
        EXPECT_EQ(node.board, nullptr);
        EXPECT_EQ(node.children[n - 1]->board, own);  // the last child plays in place
        EXPECT_EQ(node.proofNum, 1);  // numbers wait for updateAncestors
        EXPECT_EQ(node.disproofNum, 1);
        for (int i = 0; i < n; ++i) {
            SCOPED_TRACE(i);
            const StatNode* child = node.children[i];
            EXPECT_EQ(child->move, expectedMoves[i]);
            EXPECT_EQ(child->parent, &node);
            EXPECT_EQ(child->board->sideToMove, 1 - parentSide);
            EXPECT_EQ(child->isOrNode(), child->board->sideToMove == 1);
            EXPECT_FALSE(child->board->isEmpty(expectedMoves[i]));
            EXPECT_EQ(child->board->moveCount, c.moves.size() + 1);
            int first, second;
            child->board->estimate(first, second);
            EXPECT_EQ(child->proofNum, first);
            EXPECT_EQ(child->disproofNum, second);
        }
    }
}

TEST(Expand, TwoFoursStandingInASetUpPositionDecideTheNodeWithoutChildren) {
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
            EXPECT_EQ(generateCandidates(*probe), VERDICT_LOSS);
        }
        K2Board* own = board.release();
        StatNode node(own, nullptr);
        expand(&node);
        // Lost for the side to move: proven when that is the opponent.
        const bool proven = c.fourOwner == 1;
        EXPECT_EQ(node.proofNum, proven ? 0 : INF);
        EXPECT_EQ(node.disproofNum, proven ? INF : 0);
        EXPECT_EQ(node.childrenCnt, 0);
        EXPECT_EQ(node.board, own);
    }
}

} // namespace
} // namespace kelmo
