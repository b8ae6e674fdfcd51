// The book walk: which counters a game's line increments, that nothing else in
// the file changes, and that broken books end the walk quietly and once-logged.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

#include "book/book.h"
#include "book/book_cursor.h"
#include "book/book_bytes.h"
#include "errorlog/error_log.h"
#include "support/temp_dir.h"

namespace kelmo {
namespace {

using test::BookBytes;
using test::bytesOf;
using Codes = std::vector<std::int16_t>;

// A codes list of the given length that starts with prefix; the rest are codes
// that no fixture holds.
Codes line(std::initializer_list<int> prefix, std::size_t length) {
    Codes codes;
    for (int c : prefix)
        codes.push_back(static_cast<std::int16_t>(c));
    while (codes.size() < length)
        codes.push_back(160);
    return codes;
}

// Runs updateBook on the bytes (nullopt: no file) inside a fresh working
// directory and hands back the walk, the file afterwards and the error log.
struct Outcome {
    BookWalk walk;
    bool fileExists = false;
    std::string after;
    std::string log;
};

Outcome runWalk(const std::optional<std::string>& bytes, const Codes& codes) {
    test::TempDir dir;
    test::ScopedChdir inDir(dir.path());
    if (bytes)
        test::writeFile(BOOK_NAME, *bytes);
    Outcome out;
    out.walk = updateBook(BOOK_NAME, codes);
    out.fileExists = std::filesystem::exists(BOOK_NAME);
    if (out.fileExists)
        out.after = test::readFile(BOOK_NAME);
    if (std::filesystem::exists(ERROR_LOG_NAME))
        out.log = test::readFile(ERROR_LOG_NAME);
    return out;
}

int lineCount(const std::string& text) {
    int n = 0;
    for (char c : text)
        n += c == '\n';
    return n;
}

TEST(BookWalk, SixteenByteBookCountsByParity) {
    const std::string book = bytesOf({0x53, 0x15, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x4A, 0, 0, 0, 0});
    ASSERT_EQ(book.size(), 16u);
    struct Case {
        std::size_t entries;
        int changedAt;  // the two bytes that become 01 00
    } cases[] = {{10, 3}, {11, 5}, {2, 3}, {1, 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entries);
        Outcome out = runWalk(book, line({21}, c.entries));
        std::string expected = book;
        expected[c.changedAt] = 1;
        EXPECT_EQ(out.after, expected);
        EXPECT_EQ(out.walk.counted, 1);
        EXPECT_EQ(out.walk.status, BookStatus::Ended);
        EXPECT_EQ(out.log, "");
    }
}

TEST(BookWalk, MoveCodeIsLittleEndianSigned) {
    // -18 is stored as EE FF; its byte-swapped reading and its negation must not match.
    const std::string book = bytesOf({0x53, 0xEE, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0x4A, 0, 0, 0, 0});
    EXPECT_EQ(BookBytes().node(-18).jump(0).str(), book);
    struct Case {
        int code;
        int counted;
    } cases[] = {{-18, 1}, {18, 0}, {-4353, 0}, {0xFFEE - 65536, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        Outcome out = runWalk(book, line({c.code}, 9));
        EXPECT_EQ(out.walk.counted, c.counted);
        std::string expected = book;
        if (c.counted)
            expected[5] = 1;
        EXPECT_EQ(out.after, expected);
    }
}

// Root list at 0: A(21) -> list L1, B(-18), then a jump on to list X.
// L1: C(40) -> list L2.   L2: D(1).   X: E(7), reached only through the jump.
enum Node { A, B, C, D, E, NODE_NB };
using Counts = std::array<std::array<unsigned, 2>, NODE_NB>;

std::string tree(const Counts& n) {
    BookBytes b;
    const std::uint32_t l1 = 27, l2 = 43, x = 59;
    b.node(21, n[A][0], n[A][1], l1).node(-18, n[B][0], n[B][1], 0).jump(x);
    EXPECT_EQ(b.here(), l1);
    b.node(40, n[C][0], n[C][1], l2).jump(0);
    EXPECT_EQ(b.here(), l2);
    b.node(1, n[D][0], n[D][1], 0).jump(0);
    EXPECT_EQ(b.here(), x);
    b.node(7, n[E][0], n[E][1], 0).jump(0);
    return b.str();
}

TEST(BookWalk, LinesThroughTheTree) {
    struct Case {
        const char* what;
        Codes codes;
        std::vector<Node> counted;
    } cases[] = {
        {"book shallower than the game: stops at D", line({21, 40, 1}, 10), {A, C, D}},
        {"same line, odd length", line({21, 40, 1}, 11), {A, C, D}},
        {"book deeper than the game: one entry", line({21}, 1), {A}},
        {"book deeper than the game: two entries", line({21, 40}, 2), {A, C}},
        {"leaves the book after the first move", line({21, 99}, 10), {A}},
        {"root list continued through a jump", line({7}, 10), {E}},
        {"second root node without children", line({-18, 21}, 9), {B}},
        {"first entry not in the root list", line({99, 21}, 10), {}},
        {"a code that lives only deeper", line({40}, 10), {}},
        {"a root-list code one level down", line({21, 7}, 10), {A}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Counts start{};
        start[A] = {3, 5};
        start[E] = {65534, 1};
        Counts expected = start;
        const int parity = c.codes.size() % 2 == 0 ? 0 : 1;
        for (Node n : c.counted)
            ++expected[n][parity];
        Outcome out = runWalk(tree(start), c.codes);
        EXPECT_EQ(out.after, tree(expected));
        EXPECT_EQ(out.walk.counted, static_cast<int>(c.counted.size()));
        EXPECT_EQ(out.walk.status, BookStatus::Ended);
        EXPECT_EQ(out.log, "");
    }
}

TEST(BookWalk, ForeignTypeByteEndsTheUsableBook) {
    struct Case {
        const char* what;
        std::string book;
        Codes codes;
        std::string expected;
        int counted;
    } cases[] = {
        {"foreign record where the child list should be",
         BookBytes().node(21, 0, 0, 16).jump(0).raw("X").node(40).jump(0).str(), line({21, 40}, 10),
         BookBytes().node(21, 1, 0, 16).jump(0).raw("X").node(40).jump(0).str(), 1},
        {"foreign record before the matching node",
         BookBytes().node(5).raw("Q").node(21).jump(0).str(), line({21}, 10),
         BookBytes().node(5).raw("Q").node(21).jump(0).str(), 0},
        {"foreign byte at offset 0", BookBytes().raw(std::string(1, '\0')).node(21).jump(0).str(), line({21}, 10),
         BookBytes().raw(std::string(1, '\0')).node(21).jump(0).str(), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Outcome out = runWalk(c.book, c.codes);
        EXPECT_EQ(out.walk.status, BookStatus::ForeignRecord);
        EXPECT_EQ(out.walk.counted, c.counted);
        EXPECT_EQ(out.after, c.expected);
        // The book's own way of ending: nothing to report.
        EXPECT_EQ(out.log, "");
    }
}

TEST(BookWalk, CountersSaturate) {
    struct Case {
        unsigned first, second;
        std::size_t entries;
        unsigned firstAfter, secondAfter;
    } cases[] = {
        {0, 0, 10, 1, 0},
        {65534, 7, 10, 65535, 7},
        {65535, 7, 10, 65535, 7},
        {7, 65535, 11, 7, 65535},
        {65535, 65534, 11, 65535, 65535},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.first << "/" << c.second << " n=" << c.entries);
        Outcome out = runWalk(BookBytes().node(21, c.first, c.second).jump(0).str(), line({21}, c.entries));
        EXPECT_EQ(out.after, BookBytes().node(21, c.firstAfter, c.secondAfter).jump(0).str());
        EXPECT_EQ(out.walk.counted, 1);
    }
}

TEST(BookWalk, BrokenBooksEndTheWalkOnceLogged) {
    struct Case {
        const char* what;
        std::optional<std::string> book;
        Codes codes;
        BookStatus status;
        std::optional<std::string> expected;  // the file afterwards
    } cases[] = {
        {"missing book", std::nullopt, line({21}, 10), BookStatus::Unopenable, std::nullopt},
        {"empty file", std::string(), line({21}, 10), BookStatus::Truncated, std::string()},
        {"node record cut short", BookBytes().node(21).str().substr(0, 7), line({21}, 10),
         BookStatus::Truncated, BookBytes().node(21).str().substr(0, 7)},
        {"jump record cut short", BookBytes().node(5).str() + "J\x10", line({21}, 10),
         BookStatus::Truncated, BookBytes().node(5).str() + "J\x10"},
        {"list runs off the end of the file", BookBytes().node(5).str(), line({21}, 10),
         BookStatus::Truncated, BookBytes().node(5).str()},
        {"jump beyond the end", BookBytes().node(5).jump(1000).str(), line({21}, 10),
         BookStatus::OffsetBeyondEnd, BookBytes().node(5).jump(1000).str()},
        {"jump to exactly the end", BookBytes().node(5).jump(16).str(), line({21}, 10),
         BookStatus::OffsetBeyondEnd, BookBytes().node(5).jump(16).str()},
        {"child offset beyond the end keeps the count already made",
         BookBytes().node(21, 0, 0, 500).jump(0).str(), line({21, 40}, 10), BookStatus::OffsetBeyondEnd,
         BookBytes().node(21, 1, 0, 500).jump(0).str()},
        {"jump back to itself", BookBytes().node(5).jump(11).str(), line({21}, 10), BookStatus::Cycle,
         BookBytes().node(5).jump(11).str()},
        {"three-record loop within a list", BookBytes().node(5).jump(16).node(6).jump(11).str(),
         line({21}, 10), BookStatus::Cycle, BookBytes().node(5).jump(16).node(6).jump(11).str()},
        {"child list is the node's own list: counted once only",
         BookBytes().node(4).node(21, 0, 0, 11).jump(0).str(), line({21, 21, 21}, 10), BookStatus::Cycle,
         BookBytes().node(4).node(21, 1, 0, 11).jump(0).str()},
        {"second level points to itself", BookBytes().node(21, 0, 0, 16).jump(0).node(40, 0, 0, 16).jump(0).str(),
         line({21, 40, 40, 40}, 11), BookStatus::Cycle,
         BookBytes().node(21, 0, 1, 16).jump(0).node(40, 0, 1, 16).jump(0).str()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Outcome out = runWalk(c.book, c.codes);
        EXPECT_EQ(out.walk.status, c.status);
        EXPECT_TRUE(out.walk.broken());
        EXPECT_EQ(out.fileExists, c.expected.has_value());
        if (c.expected) {
            EXPECT_EQ(out.after, *c.expected);
        }
        EXPECT_EQ(lineCount(out.log), 1) << out.log;
        EXPECT_EQ(out.log.rfind(BOOK_NAME, 0), 0u) << out.log;
    }
}

TEST(BookWalk, EmptyLineTouchesNothing) {
    // Not even a missing book is worth a report when there is nothing to count.
    Outcome missing = runWalk(std::nullopt, {});
    EXPECT_FALSE(missing.walk.broken());
    EXPECT_FALSE(missing.fileExists);
    EXPECT_EQ(missing.log, "");
    const std::string book = BookBytes().node(21).jump(0).str();
    EXPECT_EQ(runWalk(book, {}).after, book);
}

TEST(BookWalk, FaultDescriptionsNameTheOffset) {
    struct Case {
        BookStatus status;
        std::uint64_t offset;
        const char* mentions;
    } cases[] = {
        {BookStatus::Truncated, 42, "offset 42"},
        {BookStatus::OffsetBeyondEnd, 1000, "offset 1000"},
        {BookStatus::Cycle, 11, "cycle"},
        {BookStatus::Unopenable, 0, "cannot be opened"},
    };
    for (const Case& c : cases) {
        BookWalk walk;
        walk.status = c.status;
        walk.offset = c.offset;
        const std::string text = describeBookFault("b.book", walk);
        EXPECT_EQ(text.rfind("b.book: ", 0), 0u) << text;
        EXPECT_NE(text.find(c.mentions), std::string::npos) << text;
        EXPECT_EQ(text.find('\n'), std::string::npos);
    }
}

// Everything a cursor reads from one list: the nodes in order, then how and
// where the list ended.
struct ListRead {
    std::vector<BookNode> nodes;
    BookStatus status = BookStatus::Ended;
    std::uint64_t offset = 0;
};

ListRead readList(BookCursor& cursor, std::uint64_t start) {
    ListRead read;
    BookList list{start, true};
    BookNode node;
    while (cursor.next(list, node))
        read.nodes.push_back(node);
    read.status = cursor.status();
    read.offset = cursor.offset();
    return read;
}

bool sameNodes(const std::vector<BookNode>& a, const std::vector<BookNode>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const BookNode& x, const BookNode& y) {
        return x.offset == y.offset && x.code == y.code && x.first == y.first && x.second == y.second &&
               x.child == y.child;
    });
}

TEST(BookCursor, ReadsListsThroughJumpsAndStopsAtFaults) {
    Counts counts{};
    counts[A] = {3, 5};
    counts[E] = {65535, 1};
    const std::string book = tree(counts);
    struct Case {
        const char* what;
        std::string book;
        std::vector<std::uint64_t> lists;  // read one after another through one cursor
        std::vector<std::vector<std::uint64_t>> nodeOffsets;
        BookStatus status;  // of the last list
        std::uint64_t offset;
    } cases[] = {
        {"root list continued through a jump", book, {0}, {{0, 11, 59}}, BookStatus::Ended, 70},
        {"child lists", book, {27, 43}, {{27}, {43}}, BookStatus::Ended, 54},
        {"a list read twice is a cycle", book, {27, 27}, {{27}, {}}, BookStatus::Cycle, 27},
        {"foreign record", BookBytes().node(5).raw("Q").str(), {0}, {{0}}, BookStatus::ForeignRecord, 11},
        {"empty file", "", {0}, {{}}, BookStatus::Truncated, 0},
        {"node cut short", BookBytes().node(5).node(6).str().substr(0, 20), {0}, {{0}}, BookStatus::Truncated, 11},
        {"jump cut short", BookBytes().node(5).str() + "J\x01", {0}, {{0}}, BookStatus::Truncated, 11},
        {"stepping off the end", BookBytes().node(5).str(), {0}, {{0}}, BookStatus::Truncated, 11},
        {"jump to the end", BookBytes().node(5).jump(16).str(), {0}, {{0}}, BookStatus::OffsetBeyondEnd, 16},
        {"child offset beyond the end", BookBytes().node(5).jump(0).str(), {0, 99}, {{0}, {}},
         BookStatus::OffsetBeyondEnd, 99},
        {"jump back into its own list", BookBytes().node(5).jump(0x0B).str(), {0}, {{0}}, BookStatus::Cycle, 11},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir dir;
        const std::string path = dir.file("cursor.book");
        test::writeFile(path, c.book);
        std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
        ASSERT_TRUE(file.is_open());
        const std::vector<std::uint8_t> image(c.book.begin(), c.book.end());
        // The file read in place and the image in memory must give the same records.
        BookCursor inFile(file, c.book.size());
        BookCursor inMemory(image);
        for (std::size_t k = 0; k < c.lists.size(); ++k) {
            const ListRead fromFile = readList(inFile, c.lists[k]);
            const ListRead fromImage = readList(inMemory, c.lists[k]);
            std::vector<std::uint64_t> offsets;
            for (const BookNode& n : fromFile.nodes)
                offsets.push_back(n.offset);
            EXPECT_EQ(offsets, c.nodeOffsets[k]);
            EXPECT_TRUE(sameNodes(fromFile.nodes, fromImage.nodes));
            EXPECT_EQ(fromFile.status, fromImage.status);
            EXPECT_EQ(fromFile.offset, fromImage.offset);
            if (k + 1 == c.lists.size()) {
                EXPECT_EQ(fromFile.status, c.status);
                EXPECT_EQ(fromFile.offset, c.offset);
            }
        }
    }
    // The fields of a node, signed code included.
    const std::vector<std::uint8_t> image = [] {
        const std::string b = BookBytes().node(-18, 258, 65535, 0x01020304).jump(0).str();
        return std::vector<std::uint8_t>(b.begin(), b.end());
    }();
    BookCursor cursor(image);
    const ListRead read = readList(cursor, 0);
    ASSERT_EQ(read.nodes.size(), 1u);
    EXPECT_EQ(read.nodes[0].code, -18);
    EXPECT_EQ(read.nodes[0].first, 258);
    EXPECT_EQ(read.nodes[0].second, 65535);
    EXPECT_EQ(read.nodes[0].child, 0x01020304u);
}

} // namespace
} // namespace kelmo
