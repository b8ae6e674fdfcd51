// The labelled-positions rows the bench tools read, and the replay they trust
// a claimed line to: rows read with their labels, malformed rows refused, and
// lines refused when they would not stand on a referee board.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "labelled_positions.h"

namespace kelmo {
namespace {

constexpr int at(int x, int y) { return y * referee::GRID + x; }

TEST(LabelledRows, StonesAndLabelsAreReadAndMalformedRowsRefused) {
    labelled::Row row;
    ASSERT_TRUE(labelled::parseRow("defend 9,13 7,8 13,7 | best 11,9 | lose 12,8 | eval 3", row));
    EXPECT_EQ(row.kind, "defend");
    EXPECT_EQ(row.moves, (std::vector<int>{at(9, 13), at(7, 8), at(13, 7)}));
    EXPECT_EQ(row.best, at(11, 9));
    EXPECT_EQ(row.lose, at(12, 8));

    // A row read before must not leak into the next one.
    ASSERT_TRUE(labelled::parseRow("win 0,0 19,19", row));
    EXPECT_EQ(row.moves, (std::vector<int>{at(0, 0), at(19, 19)}));
    EXPECT_EQ(row.best, -1);
    EXPECT_EQ(row.lose, -1);

    const char* const refused[] = {
        "",                          // blank
        "# win 1,1",                 // comment
        "win 1,1 20,3",              // off the board
        "win 1,1 3;4",               // not a square
        "quiet 1,1 | best -1,2",     // a label off the board
        "defend 1,1 | lose 2,2x",    // trailing text after a label's square
    };
    for (const char* text : refused)
        EXPECT_FALSE(labelled::parseRow(text, row)) << '"' << text << '"';
}

TEST(LabelledRows, ALineReplaysOnlyWhenItsLastStoneAloneMakesFive) {
    // The side to move (second player: two stones down) holds four on row 5
    // from 1,5 to 4,5; the first player holds 1,7.
    const std::vector<int> moves = {at(1, 7), at(1, 5), at(2, 7), at(2, 5), at(10, 10), at(3, 5), at(11, 11),
                                    at(4, 5)};
    const std::vector<int> stones5 = {at(1, 7), at(1, 5), at(2, 7), at(2, 5), at(10, 10), at(3, 5), at(11, 11),
                                      at(4, 5), at(12, 12)};
    struct Case {
        const char* what;
        const std::vector<int>& stones;
        std::vector<int> line;
        bool replays;
    };
    const Case cases[] = {
        {"five at once", stones5, {at(5, 5)}, true},
        {"five on the other end", stones5, {at(0, 5)}, true},
        {"a stone on a stone", stones5, {at(4, 5)}, false},
        {"no five at the end", stones5, {at(6, 5)}, false},
        {"an even line", stones5, {at(6, 5), at(5, 5)}, false},
        {"a five before the end", stones5, {at(5, 5), at(7, 7), at(8, 8)}, false},
        {"off the board", stones5, {-1}, false},
        {"with the other side to move, the four is the opponent's and its five comes early", moves,
         {at(5, 5), at(0, 5), at(6, 6)}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(labelled::lineReplays(c.stones, c.line.data(), static_cast<int>(c.line.size())), c.replays)
            << c.what;
}

} // namespace
} // namespace kelmo
