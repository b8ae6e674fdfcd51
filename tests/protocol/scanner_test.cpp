// Input scanning: words, numbers, separators, the digit look-ahead, line
// skipping, CR LF folding and the BOARD body reader.
#include "board/candidates.h"
#include "protocol/scanner.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/board_diagram.h"

namespace kelmo {
namespace {

const char* const WORDS[] = {"TURN", "START", "BEGIN", "END", "turn", "learn"};
constexpr int WORD_COUNT = 6;

// Everything the scanner has not consumed yet.
std::string rest(InputScanner& scanner) {
    std::string s;
    for (int c = scanner.get(); c != EOF; c = scanner.get())
        s += static_cast<char>(c);
    return s;
}

struct KeywordCase {
    const char* name;
    std::string input;
    int expected;
    std::string remaining;
};

TEST(ReadKeyword, MatchesExactWordsAndConsumesOneTerminator) {
    const std::vector<KeywordCase> cases = {
        {"space ends the word", "START 20\n", 1, "20\n"},
        {"line feed ends the word", "BEGIN\nEND\n", 2, "END\n"},
        {"bare carriage return ends the word", "BEGIN\rEND\n", 2, "END\n"},
        {"CR LF is one terminator", "BEGIN\r\nEND\r\n", 2, "END\n"},
        {"blanks and empty lines skipped first", " \t\n\r\n\v\f turn 1", 4, "1"},
        {"lower case form is its own entry", "turn 1,2", 4, "1,2"},
        {"mixed case is unknown", "Turn 1,2", -1, "1,2"},
        {"tab does not end a word", "START\t20\nEND\n", -1, "END\n"},
        {"prefix of a word is unknown", "STAR 20", -1, "20"},
        {"longer word is unknown", "STARTX 20", -1, "20"},
        {"unknown word consumes only itself", "foo bar END\n", -1, "bar END\n"},
        {"end of input inside a word", "END", -1, ""},
        {"end of input before any word", "  \n ", -1, ""},
        {"learn in small letters", "learn dir", 5, "dir"},
    };
    for (const auto& c : cases) {
        std::istringstream in(c.input);
        InputScanner scanner(in);
        EXPECT_EQ(scanner.readKeyword(WORDS, WORD_COUNT), c.expected) << c.name;
        EXPECT_EQ(rest(scanner), c.remaining) << c.name;
    }
}

TEST(ReadKeyword, OverlongWordIsConsumedWholeAndMatchesNothing) {
    for (int length : {MAX_KEYWORD_LENGTH - 1, MAX_KEYWORD_LENGTH, MAX_KEYWORD_LENGTH + 1, 100000}) {
        std::istringstream in(std::string(length, 'E') + " END\n");
        InputScanner scanner(in);
        EXPECT_EQ(scanner.readKeyword(WORDS, WORD_COUNT), -1) << length;
        EXPECT_EQ(scanner.readKeyword(WORDS, WORD_COUNT), 3) << length;
    }
}

TEST(ReadKeyword, LongestStorableWordStillMatches) {
    std::string word(MAX_KEYWORD_LENGTH, 'w');
    const char* table[] = {word.c_str()};
    std::istringstream in(word + "\n");
    InputScanner scanner(in);
    EXPECT_EQ(scanner.readKeyword(table, 1), 0);
}

struct IntCase {
    const char* input;
    bool ok;
    std::int32_t value;
    std::string remaining;
};

TEST(ReadInt, ReadsSigned32BitDecimalsAfterBlanks) {
    const std::vector<IntCase> cases = {
        {"42,", true, 42, ","},
        {" \n\t 7 8", true, 7, " 8"},
        {"-1\n", true, -1, "\n"},
        {"+15", true, 15, ""},
        {"007", true, 7, ""},
        {"12abc", true, 12, "abc"},
        {"2147483647", true, 2147483647, ""},
        {"-2147483648", true, -2147483647 - 1, ""},
        {"2147483648", true, 2147483647, ""},
        {"-2147483649", true, -2147483647 - 1, ""},
        {"99999999999999999999999999,", true, 2147483647, ","},
        {"abc", false, 0, "abc"},
        {"-", false, 0, ""},
        {"- 5", false, 0, " 5"},
        {",5", false, 0, ",5"},
        {"", false, 0, ""},
    };
    for (const auto& c : cases) {
        std::istringstream in(c.input);
        InputScanner scanner(in);
        std::int32_t value = 0;
        EXPECT_EQ(scanner.readInt(value), c.ok) << c.input;
        if (c.ok) {
            EXPECT_EQ(value, c.value) << c.input;
        }
        EXPECT_EQ(rest(scanner), c.remaining) << c.input;
    }
}

TEST(ReadSeparator, SkipsBlanksAndReadsOneCharacter) {
    std::istringstream in(" \n , ;x");
    InputScanner scanner(in);
    char c = 0;
    ASSERT_TRUE(scanner.readSeparator(c));
    EXPECT_EQ(c, ',');
    ASSERT_TRUE(scanner.readSeparator(c));
    EXPECT_EQ(c, ';');
    ASSERT_TRUE(scanner.readSeparator(c));
    EXPECT_EQ(c, 'x');
    EXPECT_FALSE(scanner.readSeparator(c));
    EXPECT_TRUE(scanner.atEnd());
}

TEST(NextIsDigit, LooksWithoutSkippingOrConsuming) {
    const std::vector<std::pair<const char*, bool>> cases = {
        {"0", true}, {"9x", true}, {" 1", false}, {"\n1", false}, {"a", false}, {"-1", false}, {"", false}};
    for (const auto& [input, expected] : cases) {
        std::istringstream in(input);
        InputScanner scanner(in);
        EXPECT_EQ(scanner.nextIsDigit(), expected) << '"' << input << '"';
        EXPECT_EQ(rest(scanner), input);
    }
}

TEST(SkipLine, DiscardsThroughLineFeedWhateverTheLength) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"abc\nnext", "next"},
        {"\nnext", "next"},
        {"abc\r\nnext", "next"},
        {"a\rb\nnext", "next"},
        {std::string(5000, 'z') + "\nnext", "next"},
        {"no line end", ""},
    };
    for (const auto& [input, remaining] : cases) {
        std::istringstream in(input);
        InputScanner scanner(in);
        scanner.skipLine();
        EXPECT_EQ(rest(scanner), remaining);
    }
}

TEST(ReadWord, ReadsAnyLengthUpToBlankLeavingTheBlank) {
    const std::string longName(300, 'd');
    const std::vector<std::tuple<std::string, bool, std::string, std::string>> cases = {
        {"  records\nEND", true, "records", "\nEND"},
        {"a/b.c\tx", true, "a/b.c", "\tx"},
        {longName + " END", true, longName, " END"},
        {"last", true, "last", ""},
        {"  \n ", false, "", ""},
    };
    for (const auto& [input, ok, word, remaining] : cases) {
        std::istringstream in(input);
        InputScanner scanner(in);
        std::string got = "stale";
        EXPECT_EQ(scanner.readWord(got), ok) << input;
        if (ok) {
            EXPECT_EQ(got, word);
        }
        EXPECT_EQ(rest(scanner), remaining) << input;
    }
}

TEST(InputScanner, FoldsOnlyCarriageReturnBeforeLineFeed) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"a\r\nb", "a\nb"}, {"a\rb", "a\rb"}, {"a\r", "a\r"}, {"\r\r\n", "\r\n"}, {"\n\r\n\r", "\n\n\r"}};
    for (const auto& [input, folded] : cases) {
        std::istringstream in(input);
        InputScanner scanner(in);
        EXPECT_EQ(rest(scanner), folded);
    }
}

TEST(InputScanner, PeekAgreesWithGetAcrossAFoldedPair) {
    std::istringstream in("x\r\ny");
    InputScanner scanner(in);
    EXPECT_EQ(scanner.get(), 'x');
    EXPECT_EQ(scanner.peek(), '\n');
    EXPECT_EQ(scanner.peek(), '\n');
    EXPECT_EQ(scanner.get(), '\n');
    EXPECT_EQ(scanner.get(), 'y');
}

TEST(InputScanner, AtEndOnlyOnceAReadMetTheEnd) {
    std::istringstream in("END\n");
    InputScanner scanner(in);
    EXPECT_FALSE(scanner.atEnd());
    EXPECT_EQ(scanner.readKeyword(WORDS, WORD_COUNT), 3);
    // A complete last line leaves the end unseen, as a stream's end-of-file state would.
    EXPECT_FALSE(scanner.atEnd());
    EXPECT_EQ(scanner.readKeyword(WORDS, WORD_COUNT), -1);
    EXPECT_TRUE(scanner.atEnd());
}

TEST(InputScanner, CarriageReturnAtTheVeryEndDoesNotEndTheInputEarly) {
    std::istringstream in("END\r");
    InputScanner scanner(in);
    EXPECT_EQ(scanner.readKeyword(WORDS, WORD_COUNT), 3);
    EXPECT_FALSE(scanner.atEnd());
}

// ---- BOARD body ----

struct BoardRead {
    bool ok;
    BodyError error;
    std::string remaining;
    std::vector<Stone> stones;
    // The position the brain sets up from the body (only when it was accepted).
    std::unique_ptr<K2Board> board;
};

BoardRead readBody(const std::string& body) {
    std::istringstream in(body);
    InputScanner scanner(in);
    BoardRead r;
    BoardBody parsed = readBoardBody(scanner);
    r.error = parsed.error;
    r.ok = parsed.error == BodyError::NONE;
    r.stones = parsed.stones;
    if (r.ok)
        r.board.reset(setUpPosition(parsed.stones, 1));
    r.remaining = rest(scanner);
    return r;
}

int stoneCount(const K2Board& board) {
    int n = 0;
    for (int sq = 0; sq < SQUARE_NB; ++sq)
        n += !board.isEmpty(sq);
    return n;
}

TEST(ReadBoard, EmptyBodyGivesClearedBoardWithBrainToMove) {
    for (const char* body : {"DONE\n", "DONE\r\n", "DONE"}) {
        BoardRead r = readBody(body);
        ASSERT_TRUE(r.ok) << body;
        EXPECT_TRUE(r.stones.empty());
        EXPECT_EQ(r.board->moveCount, 0);
        EXPECT_EQ(r.board->sideToMove, 1);
        EXPECT_EQ(stoneCount(*r.board), 0);
    }
}

TEST(ReadBoard, WritesStonesOfBothOwnersAndCountsThem) {
    BoardRead r = readBody("10,10,1\n11,10,2\n0,0,1\n19,19,2\nDONE\nEND\n");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.remaining, "END\n");
    EXPECT_EQ(r.board->moveCount, 4);
    EXPECT_EQ(r.board->sideToMove, 1);
    EXPECT_EQ(stoneCount(*r.board), 4);
    EXPECT_EQ(r.board->cells[squareOf(10, 10)], STONE_OF[1]);
    EXPECT_EQ(r.board->cells[squareOf(0, 0)], STONE_OF[1]);
    EXPECT_EQ(r.board->cells[squareOf(11, 10)], STONE_OF[0]);
    EXPECT_EQ(r.board->cells[squareOf(19, 19)], STONE_OF[0]);
}

TEST(ReadBoard, OwnerZeroEmptiesAndLaterLinesWin) {
    // A square named twice takes the later value and is counted once: the one
    // stone standing there. Owner 0 empties a square.
    BoardRead r = readBody("5,5,1\n5,5,2\n6,6,1\n6,6,0\nDONE\n");
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.stones.size(), 1u);
    EXPECT_EQ(r.stones[0].square, squareOf(5, 5));
    EXPECT_EQ(r.stones[0].player, 0);
    EXPECT_EQ(r.board->cells[squareOf(5, 5)], STONE_OF[0]);
    EXPECT_TRUE(r.board->isEmpty(squareOf(6, 6)));
    EXPECT_EQ(r.board->moveCount, 1);
    EXPECT_EQ(r.board->checkConsistency(), nullptr);
}

TEST(ReadBoard, AcceptsBlanksAroundCommasAndBlankLinesBeforeDone) {
    for (const char* body : {"3 , 4 ,\n 1\n\n   \n  7,8,2\n\n DONE\n", "3,4,1\r\n7,8,2\r\n\r\nDONE\r\n"}) {
        BoardRead r = readBody(body);
        ASSERT_TRUE(r.ok) << body;
        EXPECT_EQ(r.board->cells[squareOf(3, 4)], STONE_OF[1]);
        EXPECT_EQ(r.board->cells[squareOf(7, 8)], STONE_OF[0]);
        EXPECT_EQ(r.board->moveCount, 2);
    }
}

TEST(ReadBoard, RejectsMalformedBodyLines) {
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"20,0,1\nDONE\n", ",0,1\nDONE\n"},
        {"0,20,1\nDONE\n", ",1\nDONE\n"},
        {"1,2,3\nDONE\n", "\nDONE\n"},
        {"1,2,-1\nDONE\n", "\nDONE\n"},
        {"1;2,1\nDONE\n", "2,1\nDONE\n"},
        {"1,2;1\nDONE\n", "1\nDONE\n"},
        {"1,x,1\nDONE\n", "x,1\nDONE\n"},
        {"4,4,1\n1,2\nDONE\n", "ONE\n"},
        {"4,4,1\n1,2,", ""},
    };
    for (const auto& [body, remaining] : cases) {
        BoardRead r = readBody(body);
        EXPECT_EQ(r.error, BodyError::BAD_LINE) << body;
        EXPECT_EQ(r.remaining, remaining) << body;
    }
}

TEST(ReadBoard, RejectsAClosingLineOtherThanDone) {
    for (const char* body : {" DONE\n", "DONE \n", "DONEX\n", "done\n", "DON\n", "\nDONE\n", "END\n", "",
                             "1,1,1\n", "1,1,1\nDONE \n", "DONE\rX\n", "DONEDONEDONE\n"}) {
        BoardRead r = readBody(body);
        EXPECT_EQ(r.error, BodyError::NO_DONE) << body;
    }
}

TEST(ReadBoard, ThreatsStandingInThePositionAreListedAtOnce) {
    // The opponent's four (blocked at x 4 by the brain) must be blocked at x 9,
    // and the brain's own four must be completed: both are seen right after the
    // body, without waiting for a later stone to touch them.
    BoardRead block = readBody("5,5,2\n6,5,2\n7,5,2\n8,5,2\n4,5,1\n10,15,1\n12,15,1\nDONE\n");
    ASSERT_TRUE(block.ok);
    EXPECT_EQ(generateCandidates(*block.board), VERDICT_OPEN);
    EXPECT_EQ(std::vector<int>(candidates.squares, candidates.squares + candidates.count),
              std::vector<int>{squareOf(9, 5)});

    BoardRead win = readBody("5,5,1\n6,5,1\n7,5,1\n8,5,1\n4,5,2\n10,15,2\n12,15,2\n14,15,2\nDONE\n");
    ASSERT_TRUE(win.ok);
    EXPECT_EQ(generateCandidates(*win.board), VERDICT_WIN);
    EXPECT_EQ(std::vector<int>(candidates.squares, candidates.squares + candidates.count),
              std::vector<int>{squareOf(9, 5)});
    EXPECT_EQ(win.board->checkConsistency(), nullptr);
}

} // namespace
} // namespace kelmo
