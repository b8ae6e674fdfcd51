// The kelmo-book tool: growing books record by record, printing them, the
// generated games it learns from, and a round trip through the built tool.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <sys/wait.h>

#include "book/book_bytes.h"
#include "kelmo-book/book_tool.h"
#include "kelmo-book/record_generator.h"
#include "learn/learn.h"
#include "referee.h"
#include "support/temp_dir.h"

namespace kelmo {
namespace {

using test::BookBytes;
using Codes = std::vector<std::int16_t>;

BookImage imageOf(const std::string& bytes) {
    BookImage image;
    image.bytes.assign(bytes.begin(), bytes.end());
    return image;
}

std::string bytesOf(const BookImage& image) {
    return std::string(image.bytes.begin(), image.bytes.end());
}

TEST(BookTool, GrowingAppendsAndLinksWithoutMovingRecords) {
    struct Step {
        Codes codes;
        std::size_t depth;
        int added;
        std::string after;
    } steps[] = {
        {{21, 40, 1}, 2, 2, BookBytes().node(21, 0, 0, 16).jump(0).node(40).jump(0).str()},
        // A new sibling at depth 1: the list's final jump now leads to it.
        {{21, 5}, 2, 1, BookBytes().node(21, 0, 0, 16).jump(0).node(40).jump(32).node(5).jump(0).str()},
        // A line shorter than the depth; a new root sibling.
        {{-18}, 5, 1,
         BookBytes().node(21, 0, 0, 16).jump(48).node(40).jump(32).node(5).jump(0).node(-18).jump(0).str()},
        // Found through a jump, then a new child list.
        {{21, 5, 7, 9}, 3, 1,
         BookBytes().node(21, 0, 0, 16).jump(48).node(40).jump(32).node(5, 0, 0, 64).jump(0).node(-18).jump(0)
             .node(7).jump(0).str()},
        {{-18, 3}, 2, 1,
         BookBytes().node(21, 0, 0, 16).jump(48).node(40).jump(32).node(5, 0, 0, 64).jump(0)
             .node(-18, 0, 0, 80).jump(0).node(7).jump(0).node(3).jump(0).str()},
        // Everything already there: nothing changes.
        {{21, 40, 1}, 2, 0,
         BookBytes().node(21, 0, 0, 16).jump(48).node(40).jump(32).node(5, 0, 0, 64).jump(0)
             .node(-18, 0, 0, 80).jump(0).node(7).jump(0).node(3).jump(0).str()},
    };
    BookImage image;
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << "line starting " << s.codes[0] << " depth " << s.depth);
        const std::string before = bytesOf(image);
        std::string error;
        EXPECT_EQ(image.addLine(s.codes, s.depth, error), s.added) << error;
        EXPECT_EQ(bytesOf(image), s.after);
        // Old bytes stay, except for links that were 0.
        const std::string after = bytesOf(image);
        for (std::size_t i = 0; i < before.size(); ++i) {
            if (before[i] != after[i]) {
                EXPECT_EQ(before[i], 0) << "byte " << i;
            }
        }
    }
}

TEST(BookTool, GrowingManyLinesPlacesSiblingsSideBySide) {
    const std::string twoRoots =
        BookBytes().node(5, 0, 0, 27).node(21, 0, 0, 43).jump(0).node(7).jump(0).node(40).node(41).jump(0).str();
    struct Case {
        const char* what;
        std::string before;
        std::vector<Codes> lines;
        int added;
        std::string after;
    } cases[] = {
        {"new book, equal traffic in code order", "", {{21, 40}, {5}, {21, 41}, {5, 7}}, 5, twoRoots},
        {"listing order does not matter", "", {{5, 7}, {21, 41}, {5}, {21, 40}}, 5, twoRoots},
        {"busier opening first", "", {{5}, {21, 1}, {21, 2}}, 4,
         BookBytes().node(21, 0, 0, 27).node(5).jump(0).node(1).node(2).jump(0).str()},
        {"merged into existing lists through their ending jumps", twoRoots, {{21, 42}, {9}}, 2,
         BookBytes().node(5, 0, 0, 27).node(21, 0, 0, 43).jump(70).node(7).jump(0).node(40).node(41).jump(86)
             .node(9).jump(0).node(42).jump(0).str()},
        {"lines already there", twoRoots, {{5, 7}, {21}, {21, 41}}, 0, twoRoots},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BookImage image = imageOf(c.before);
        std::string error;
        EXPECT_EQ(image.addLines(c.lines, 2, error), c.added) << error;
        EXPECT_EQ(bytesOf(image), c.after);
    }
}

TEST(BookTool, GrowingKeepsCountersAndWalksLikeLearning) {
    // An existing book: the walk's first match wins, so growth must use it too.
    BookImage image = imageOf(BookBytes().node(21, 5, 7).node(21, 1, 1).jump(0).str());
    std::string error;
    EXPECT_EQ(image.addLine({21, 40}, 4, error), 1);
    EXPECT_EQ(bytesOf(image), BookBytes().node(21, 5, 7, 27).node(21, 1, 1).jump(0).node(40).jump(0).str());
}

TEST(BookTool, GrowingRefusesBrokenBooks) {
    struct Case {
        const char* what;
        std::string bytes;
        Codes codes;
    } cases[] = {
        {"record cut short", BookBytes().node(5).str().substr(0, 6), {21}},
        {"list runs off the end", BookBytes().node(5).str(), {21}},
        {"jump beyond the end", BookBytes().node(5).jump(99).str(), {21}},
        {"child beyond the end", BookBytes().node(21, 0, 0, 99).jump(0).str(), {21, 40}},
        {"cycle", BookBytes().node(5).jump(11).str(), {21}},
        {"foreign type byte", BookBytes().node(5).raw("Q").str(), {21}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BookImage image = imageOf(c.bytes);
        std::string error;
        EXPECT_EQ(image.addLine(c.codes, 4, error), -1);
        EXPECT_FALSE(error.empty());
    }
}

TEST(BookTool, DumpShowsCodesAsOffsetsAndBothCounters) {
    struct Case {
        const char* what;
        std::string bytes;
        bool ok;
        std::string text;
    } cases[] = {
        {"tree with a continued root list",
         BookBytes().node(21, 3, 4, 27).node(-18, 0, 1).jump(43).node(168, 1, 0).jump(0).node(-168).node(12)
             .node(8, 65535, 2).jump(0).str(),
         true,
         "21 (1,1) first 3 second 4\n"
         "  168 (8,8) first 1 second 0\n"
         "-18 (2,-1) first 0 second 1\n"
         "-168 (-8,-8) first 0 second 0\n"
         "12 (-8,1) first 0 second 0\n"
         "8 (8,0) first 65535 second 2\n"},
        {"empty root list", BookBytes().jump(0).str(), true, ""},
        {"foreign record ends a list", BookBytes().node(5, 0, 0, 16).jump(0).raw("Z").str(), true,
         "5 (5,0) first 0 second 0\n  # unknown record type 0x5A at offset 16 ends this list\n"},
        {"cycle stops the dump", BookBytes().node(5, 0, 0, 0).jump(16).node(6).jump(11).str(), false,
         "5 (5,0) first 0 second 0\n6 (6,0) first 0 second 0\n"},
        {"truncated", BookBytes().node(5).node(6).str().substr(0, 15), false, "5 (5,0) first 0 second 0\n"},
        {"empty file", "", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::ostringstream out;
        std::string error;
        EXPECT_EQ(imageOf(c.bytes).dump(out, error), c.ok) << error;
        EXPECT_EQ(out.str(), c.text);
        EXPECT_EQ(error.empty(), c.ok);
    }
}

TEST(RecordGenerator, GamesAreDecidedAndRepeatable) {
    int firstWins = 0;
    for (std::uint64_t seed = 0; seed < 1000; ++seed) {
        const GeneratedGame g = generateDecidedGame(seed);
        // Decided by its last move and no earlier, and by the side it names.
        std::array<int, referee::GRID * referee::GRID> cells{};
        for (std::size_t i = 1; i < g.X.size(); ++i) {
            const int square = g.Y[i] * referee::GRID + g.X[i];
            ASSERT_EQ(cells[static_cast<std::size_t>(square)], 0) << "seed " << seed << ": a stone on a stone";
            const int player = i % 2 == 1 ? 1 : 2;  // the first move is the first player's
            cells[static_cast<std::size_t>(square)] = player;
            const bool last = i + 1 == g.X.size();
            ASSERT_EQ(referee::completesFive(cells, square), last) << "seed " << seed << " move " << i;
            if (last) {
                EXPECT_EQ(player == 1, g.firstPlayerWins) << "seed " << seed;
            }
        }
        Codes codes;
        ASSERT_TRUE(gameMoveCodes(g.X, g.Y, codes)) << "seed " << seed;
        EXPECT_EQ(codes.size(), g.firstPlayerWins ? 9u : 10u);
        std::vector<std::int32_t> X, Y;
        ASSERT_TRUE(readRecord(recordText(g), X, Y));
        EXPECT_EQ(X, g.X);
        EXPECT_EQ(Y, g.Y);
        firstWins += g.firstPlayerWins;
    }
    EXPECT_GT(firstWins, 300);
    EXPECT_LT(firstWins, 700);
    EXPECT_EQ(recordText(generateDecidedGame(42)), recordText(generateDecidedGame(42)));
    EXPECT_NE(recordText(generateDecidedGame(42)), recordText(generateDecidedGame(43)));
}

TEST(BookTool, GrownBookCountsEveryGameItGrewFrom) {
    test::TempDir tmp;
    test::ScopedChdir inTmp(tmp.path());
    writeGeneratedRecords("games", 300, 11);
    for (int depth : {1, 3, 12}) {
        SCOPED_TRACE(depth);
        const std::string book = std::to_string(depth) + "-deep.book";
        GrowReport report;
        std::string error;
        ASSERT_TRUE(growBook(book, "games", depth, report, error)) << error;
        EXPECT_EQ(report.games, 300);
        std::ostream quiet(nullptr);
        const LearnSummary learned = learnRecords("games", quiet, book.c_str());
        EXPECT_EQ(learned.scan.games, 300);
        EXPECT_EQ(learned.counted, 300);
        // Growing again adds nothing and keeps the counts just made.
        const std::string counted = test::readFile(book);
        ASSERT_TRUE(growBook(book, "games", depth, report, error)) << error;
        EXPECT_EQ(report.nodesAdded, 0);
        EXPECT_EQ(test::readFile(book), counted);
    }
}

TEST(BookTool, GrowReportsWhatItCannotDo) {
    test::TempDir tmp;
    test::ScopedChdir inTmp(tmp.path());
    writeGeneratedRecords("games", 3, 1);
    struct Case {
        const char* what;
        std::string book;
        std::string dir;
    } cases[] = {
        {"missing directory", "", "nowhere"},
        {"broken book", BookBytes().node(5).jump(500).str(), "games"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::writeFile("x.book", c.book);
        GrowReport report;
        std::string error;
        EXPECT_FALSE(growBook("x.book", c.dir, 4, report, error));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(test::readFile("x.book"), c.book);
    }
    // An empty directory still leaves a valid, empty book behind.
    std::filesystem::create_directory("empty");
    GrowReport report;
    std::string error;
    ASSERT_TRUE(growBook("new.book", "empty", 4, report, error)) << error;
    EXPECT_EQ(test::readFile("new.book"), BookBytes().jump(0).str());
}

TEST(BookTool, CommandLineRefusesMalformedArguments) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"grow"},
        {"grow", "b.book", "games"},
        {"grow", "b.book", "games", "--depth"},
        {"grow", "b.book", "games", "--depth", "0"},
        {"grow", "b.book", "games", "--depth", "-3"},
        {"grow", "b.book", "games", "--depth", "4x"},
        {"grow", "b.book", "games", "--width", "4"},
        {"grow", "b.book", "--depth", "4"},
        {"dump"},
        {"dump", "a.book", "b.book"},
        {"generate", "games"},
        {"generate", "games", "--games", "10", "--seed", "x"},
        {"bench", "--games", "none"},
        {"frobnicate"},
    };
    for (const auto& args : cases) {
        std::ostringstream out, err;
        EXPECT_EQ(runBookTool(args, out, err), 2) << testing::PrintToString(args);
        EXPECT_EQ(out.str(), "");
        EXPECT_NE(err.str().find("kelmo-book grow BOOK DIR --depth N"), std::string::npos);
        EXPECT_NE(err.str().find("counters at 0"), std::string::npos);
    }
}

// Runs the built tool; returns its exit code and leaves its output in `out`.
int runTool(const std::string& args, std::string& out) {
    const std::string command = std::string("'") + KELMO_BOOK_TOOL + "' " + args + " > tool.out 2> tool.err";
    const int status = std::system(command.c_str());
    out = test::readFile("tool.out");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

using Path = std::vector<int>;
using Counts = std::map<Path, std::pair<int, int>>;

// The dump's lines back into a map from line prefix to counters.
Counts parseDump(const std::string& text) {
    Counts counts;
    Path path;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const std::size_t indent = line.find_first_not_of(' ');
        EXPECT_EQ(indent % 2, 0u) << line;
        std::istringstream fields(line.substr(indent));
        int code = 0, dx = 0, dy = 0, first = -1, second = -1;
        char open = 0, comma = 0, close = 0;
        std::string firstWord, secondWord;
        fields >> code >> open >> dx >> comma >> dy >> close >> firstWord >> first >> secondWord >> second;
        EXPECT_TRUE(fields && open == '(' && comma == ',' && close == ')' && firstWord == "first" &&
                    secondWord == "second")
            << line;
        EXPECT_EQ(code, dx + 20 * dy) << line;
        path.resize(indent / 2);
        path.push_back(code);
        counts[path] = {first, second};
    }
    return counts;
}

TEST(BookTool, RoundTripGrowLearnDump) {
    test::TempDir tmp;
    test::ScopedChdir inTmp(tmp.path());
    constexpr int GAMES = 300, DEPTH = 3;
    std::string out;
    ASSERT_EQ(runTool("generate games --games 300 --seed 7", out), 0);
    ASSERT_EQ(runTool("grow r.book games --depth 3", out), 0);
    EXPECT_NE(out.find("from 300 decided games"), std::string::npos) << out;

    // Before learning every node is there with zero counters.
    ASSERT_EQ(runTool("dump r.book", out), 0);
    const Counts grown = parseDump(out);
    for (const auto& [path, c] : grown)
        EXPECT_EQ(c, (std::pair{0, 0}));

    std::ostringstream learnOut;
    learnDirectory("games", learnOut, "r.book");
    ASSERT_EQ(runTool("dump r.book", out), 0);
    const Counts dumped = parseDump(out);

    // What the dump must show, from the record files read back independently.
    Counts expected;
    for (std::filesystem::directory_iterator it("games"), end; it != end; ++it) {
        std::vector<std::int32_t> X, Y;
        Codes codes;
        ASSERT_TRUE(readRecord(test::readFile(it->path().string()), X, Y));
        ASSERT_TRUE(gameMoveCodes(X, Y, codes));
        const bool even = codes.size() % 2 == 0;
        Path path;
        for (int d = 0; d < DEPTH; ++d) {
            path.push_back(codes[d]);
            (even ? expected[path].first : expected[path].second) += 1;
        }
    }
    EXPECT_EQ(dumped, expected);
    EXPECT_EQ(grown.size(), expected.size());
    int roots = 0;
    for (const auto& [path, c] : dumped)
        roots += path.size() == 1 ? c.first + c.second : 0;
    EXPECT_EQ(roots, GAMES);
    // Some openings must be shared, or the tree would not be tested as a tree.
    EXPECT_LT(std::count_if(dumped.begin(), dumped.end(), [](const auto& e) { return e.first.size() == 1; }),
              GAMES / 4);
}

TEST(BookTool, DumpOfABrokenBookFailsAfterWhatItCouldPrint) {
    test::TempDir tmp;
    test::ScopedChdir inTmp(tmp.path());
    test::writeFile("loop.book", BookBytes().node(5).jump(11).str());
    std::string out;
    EXPECT_EQ(runTool("dump loop.book", out), 1);
    EXPECT_EQ(out, "5 (5,0) first 0 second 0\n");
    EXPECT_NE(test::readFile("tool.err").find("loop.book"), std::string::npos);
    EXPECT_EQ(runTool("dump missing.book", out), 1);
    EXPECT_FALSE(std::filesystem::exists("missing.book"));
}

} // namespace
} // namespace kelmo
