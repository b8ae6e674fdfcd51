// Learning: which games are accepted, the move codes they reduce to, and the
// learn command's scan of a directory with its printed lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "board/k2board.h"
#include "book/book_bytes.h"
#include "learn/games.h"
#include "learn/learn.h"
#include "errorlog/error_log.h"
#include "support/temp_dir.h"

namespace kelmo {
namespace {

using test::BookBytes;
using test::Game;
using Codes = std::vector<std::int16_t>;

Codes codesOf(const Game& g, bool& accepted) {
    Codes codes{1, 2, 3};
    accepted = gameMoveCodes(g.X(), g.Y(), codes);
    return codes;
}

// The move after which the real board first reports the game decided, 1-based;
// 0 when it never does.
std::size_t reportingMove(const Game& g) {
    K2Board board;
    board.clear();
    for (std::size_t i = 0; i < g.moves.size(); ++i)
        if (board.play(squareOf(g.moves[i].first, g.moves[i].second)))
            return i + 1;
    return 0;
}

TEST(LearnFixtures, ReplayReportsWhereTheTestsAssume) {
    EXPECT_EQ(reportingMove(test::reportedGame()), 8u);
    EXPECT_EQ(reportingMove(test::leftEdgeGame()), 8u);
    EXPECT_EQ(reportingMove(test::fiveOnlyGame()), 0u);
    EXPECT_EQ(reportingMove(test::quietGame()), 0u);
}

TEST(GameMoveCodes, ReferenceExampleAndMirrors) {
    // dx = xi - 10 negated (first move left of the reference), dy = yi - 10 kept.
    const Codes expected{21, -95, 20, -125, 19, 106, 18, 37, 17};
    // The five-only game has (16,16) for (13,12): dx -6, dy 6.
    Codes fiveOnly = expected;
    fiveOnly[7] = -6 + 20 * 6;
    const Game g = test::reportedGame();
    struct Case {
        const char* what;
        Game game;
        const Codes& codes;
    } cases[] = {
        {"as recorded", g, expected},
        {"mirrored left to right", g.mirroredX(), expected},
        {"mirrored top to bottom", g.mirroredY(), expected},
        {"mirrored both ways", g.mirroredX().mirroredY(), expected},
        {"decided by the completed five alone", test::fiveOnlyGame(), fiveOnly},
        {"five alone, mirrored", test::fiveOnlyGame().mirroredX(), fiveOnly},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        bool accepted = false;
        const Codes codes = codesOf(c.game, accepted);
        EXPECT_TRUE(accepted);
        EXPECT_EQ(codes, c.codes);
    }
    // Only mirroring: the transposed game reads differently.
    bool accepted = false;
    const Codes transposed = codesOf(g.transposed(), accepted);
    EXPECT_TRUE(accepted);
    EXPECT_EQ(transposed.size(), expected.size());
    EXPECT_NE(transposed, expected);
}

TEST(GameMoveCodes, FirstMoveOnTheReferenceLineIsNotMirrored) {
    // With the first move on the reference point's column (or row) that axis
    // keeps its sign, so the mirror image reads differently: the second move
    // (5,5) from (9,10) is dx -4, dy -5; mirrored it is dx +4.
    const Game column = test::reportedGame().withRef(9, 10);
    const Game row = column.transposed();
    struct Case {
        const char* what;
        Game game;
        int firstCode, secondCode;
    } cases[] = {
        {"first move on the column", column, 20, -4 - 100},
        {"its left-right mirror", column.mirroredX(), 20, 4 - 100},
        {"first move on the row", row, 1, -5 - 80},
        {"its top-bottom mirror", row.mirroredY(), 1, -5 + 80},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        bool accepted = false;
        const Codes codes = codesOf(c.game, accepted);
        ASSERT_TRUE(accepted);
        EXPECT_EQ(codes[0], c.firstCode);
        EXPECT_EQ(codes[1], c.secondCode);
    }
}

TEST(GameMoveCodes, MovesAfterTheDecisionStillCount) {
    // The report comes at move 8; the ninth and any later stone are codes too.
    const Game g = test::reportedGame();
    struct Case {
        Game game;
        std::size_t codes;
    } cases[] = {{g.firstMoves(8), 8}, {g, 9}, {g.plus({{4, 4}}), 10}, {g.plus({{4, 4}, {16, 3}}), 11}};
    for (const Case& c : cases) {
        bool accepted = false;
        EXPECT_EQ(codesOf(c.game, accepted).size(), c.codes);
        EXPECT_TRUE(accepted);
    }
}

TEST(GameMoveCodes, RefusedGames) {
    const Game g = test::reportedGame();
    const Game edge = test::leftEdgeGame();
    struct Case {
        const char* what;
        Game game;
        bool accepted;
    } cases[] = {
        {"eight triples", g.firstMoves(7), false},
        {"nine triples, reported at the last", g.firstMoves(8), true},
        {"never decided, however long", test::quietGame(), false},
        {"never decided, one more quiet move", test::quietGame().plus({{3, 3}}), false},
        {"five without its fifth stone", test::fiveOnlyGame().firstMoves(8), false},
        {"first move at x = 2", g.replaced(0, {2, 11}), false},
        {"a move at x = 17", g.replaced(1, {17, 5}), false},
        {"a move at y = 2", g.replaced(1, {5, 2}), false},
        {"a move at y = 17", g.replaced(3, {15, 17}), false},
        {"a move 9 columns from the reference", edge.replaced(1, {11, 5}), false},
        {"a move 9 rows from the reference", g.withRef(10, 7).replaced(5, {4, 16}), false},
        {"reference at x = 2, moves in 3..10", edge, true},
        {"reference at x = 1, moves in 3..9", edge.withRef(1, 10), true},
        {"reference at x = 0: a move 9 columns away", edge.withRef(0, 10), false},
        {"reference at y = 1", edge.withRef(1, 10).transposed(), false},
        {"reference at y = 2", edge.withRef(10, 2).transposed(), false},
        {"reference at y = 3 (transposed twin of x = 3)", edge.withRef(3, 10).transposed(), true},
        {"reference on a move's square is never placed", g.withRef(10, 11), true},
        {"two stones on one square after the decision", g.plus({{5, 5}}), false},
        {"two stones on one square before the decision", g.replaced(3, {9, 11}), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        bool accepted = false;
        const Codes codes = codesOf(c.game, accepted);
        EXPECT_EQ(accepted, c.accepted);
        EXPECT_EQ(codes.size(), c.accepted ? c.game.moves.size() : 0u);
    }
}

TEST(GameMoveCodes, UnequalListsAreRefused) {
    const Game g = test::reportedGame();
    std::vector<std::int32_t> X = g.X(), Y = g.Y();
    Y.pop_back();
    Codes codes;
    EXPECT_FALSE(gameMoveCodes(X, Y, codes));
    EXPECT_TRUE(codes.empty());
}

TEST(GameMoveCodes, LeftEdgeCodesAreMirroredFromTheReference) {
    // First move right of and below (2,10): no mirroring in either axis.
    bool accepted = false;
    const Codes codes = codesOf(test::leftEdgeGame(), accepted);
    ASSERT_TRUE(accepted);
    EXPECT_EQ(codes, (Codes{21, -99, 22, -113, 23, 102, 24, 45, 25}));
}

// A working directory with a record folder and a book holding the reported
// game's first two codes, so that a learned game shows in exact bytes.
class LearnDirectory : public testing::Test {
protected:
    test::TempDir tmp;
    test::ScopedChdir inTmp{tmp.path()};
    std::string dir = "records";

    void SetUp() override { std::filesystem::create_directory(dir); }

    static std::string book(unsigned first21, unsigned second21, unsigned first95, unsigned second95) {
        return BookBytes().node(21, first21, second21, 16).jump(0).node(-95, first95, second95).jump(0).str();
    }
    void record(const std::string& name, const std::string& text) { test::writeFile(dir + "/" + name, text); }
    std::string learn(const std::string& directory) {
        std::ostringstream out;
        learnDirectory(directory, out, BOOK_NAME);
        return out.str();
    }
    static std::vector<std::string> lines(const std::string& text) {
        std::vector<std::string> v;
        std::istringstream in(text);
        for (std::string l; std::getline(in, l);)
            v.push_back(l);
        return v;
    }
};

TEST_F(LearnDirectory, MissingDirectory) {
    test::writeFile(BOOK_NAME, book(0, 0, 0, 0));
    EXPECT_EQ(learn("no-such-dir"), "Directory: no-such-dir\nUnable to open directory\n");
    EXPECT_EQ(test::readFile(BOOK_NAME), book(0, 0, 0, 0));
}

TEST_F(LearnDirectory, OnlyNotes) {
    test::writeFile(BOOK_NAME, book(0, 0, 0, 0));
    record("notes.txt", test::reportedGame().text());
    EXPECT_EQ(learn(dir), "Directory: records\n");
    EXPECT_EQ(test::readFile(BOOK_NAME), book(0, 0, 0, 0));
}

TEST_F(LearnDirectory, CountsGamesByParityAndMirror) {
    test::writeFile(BOOK_NAME, book(0, 0, 0, 0));
    const Game g = test::reportedGame();
    record("a.rec", g.text());                       // 9 codes: second counters
    record("b.record", g.mirroredX().text());        // its twin, same nodes
    record("c.rec.old", g.plus({{4, 4}}).text());    // 10 codes: first counters
    record("d.rec", test::quietGame().text());       // never decided
    record("e.rec", "x y\n10,10,0\n-1,3,0\n");       // refused
    record("f.rec", g.firstMoves(7).text());         // too short
    record("A.REC", g.text());                       // not a record name
    const std::string out = learn(dir);
    EXPECT_EQ(test::readFile(BOOK_NAME), book(1, 2, 1, 2));

    std::vector<std::string> printed = lines(out);
    ASSERT_FALSE(printed.empty());
    EXPECT_EQ(printed[0], "Directory: records");
    std::vector<std::string> paths(printed.begin() + 1, printed.end());
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (std::vector<std::string>{"records/a.rec", "records/b.record", "records/c.rec.old",
                                               "records/d.rec", "records/e.rec", "records/f.rec"}));
    EXPECT_FALSE(std::filesystem::exists(ERROR_LOG_NAME));
}

TEST_F(LearnDirectory, SubdirectoryNamedLikeARecord) {
    test::writeFile(BOOK_NAME, book(0, 0, 0, 0));
    std::filesystem::create_directory(dir + "/old.rec");
    record("new.rec", test::reportedGame().text());
    const std::vector<std::string> printed = lines(learn(dir));
    // The listing order is the file system's: find the two entries wherever they are.
    const auto at = [&](const std::string& line) {
        return std::find(printed.begin(), printed.end(), line) - printed.begin();
    };
    ASSERT_EQ(printed.size(), 4u);
    EXPECT_EQ(printed[0], "Directory: records");
    EXPECT_EQ(at("Unable to open file records/old.rec"), at("records/old.rec") + 1);
    EXPECT_LT(at("records/new.rec"), 4);
    EXPECT_EQ(test::readFile(BOOK_NAME), book(0, 1, 0, 1));
}

TEST_F(LearnDirectory, SeparatorAddedAfterATrailingOne) {
    test::writeFile(BOOK_NAME, book(0, 0, 0, 0));
    record("a.rec", test::reportedGame().text());
    EXPECT_EQ(learn(dir + "/"), "Directory: records/\nrecords//a.rec\n");
    EXPECT_EQ(test::readFile(BOOK_NAME), book(0, 1, 0, 1));
}

TEST_F(LearnDirectory, LongPathsWork) {
    // Far beyond any fixed buffer a path or name might once have had.
    const std::string deep = dir + "/" + std::string(60, 'd');
    std::filesystem::create_directory(deep);
    const std::string name = std::string(120, 'n') + ".rec";
    test::writeFile(deep + "/" + name, test::reportedGame().text());
    test::writeFile(BOOK_NAME, book(0, 0, 0, 0));
    EXPECT_EQ(learn(deep), "Directory: " + deep + "\n" + deep + "/" + name + "\n");
    EXPECT_EQ(test::readFile(BOOK_NAME), book(0, 1, 0, 1));
}

TEST_F(LearnDirectory, BrokenBookIsReportedOncePerCommand) {
    for (const char* name : {"a.rec", "b.rec", "c.rec"})
        record(name, test::reportedGame().text());
    struct Case {
        const char* what;
        bool write;
        std::string bytes;
    } cases[] = {
        {"missing", false, ""},
        {"cut short", true, book(0, 0, 0, 0).substr(0, 20)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(ERROR_LOG_NAME);
        std::filesystem::remove(BOOK_NAME);
        if (c.write)
            test::writeFile(BOOK_NAME, c.bytes);
        learn(dir);
        const std::string log = test::readFile(ERROR_LOG_NAME);
        EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
        EXPECT_EQ(std::filesystem::exists(BOOK_NAME), c.write);
    }
}

TEST_F(LearnDirectory, LearnGameWalksOnceAndReportsAcceptance) {
    test::writeFile(BOOK_NAME, book(0, 0, 0, 0));
    const Game g = test::reportedGame();
    EXPECT_TRUE(learnGame(g.X(), g.Y(), BOOK_NAME));
    EXPECT_FALSE(learnGame(test::quietGame().X(), test::quietGame().Y(), BOOK_NAME));
    EXPECT_TRUE(learnGame(g.plus({{4, 4}}).X(), g.plus({{4, 4}}).Y(), BOOK_NAME));
    EXPECT_EQ(test::readFile(BOOK_NAME), book(1, 1, 1, 1));
}

} // namespace
} // namespace kelmo
