// Self-play: two brain processes (exact against exact, pro against pro, and the
// pro brain against the exact one), each told the other's moves with TURN as a
// manager would, play one game to a five or a full board. Every reply must
// arrive (the brain flushes it without waiting for more input), be a
// well-formed move and land on an empty square; the pro brain's progress lines
// before it are read past. First, the referee's own five check that decides
// when that game is over.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "brain_process.h"
#include "referee.h"
#include "support/protocol_text.h"
#include "support/temp_dir.h"

namespace kelmo::test {
namespace {

using referee::completesFive;

const std::string EXACT = KELMO_BRAIN_EXE;
const std::string PRO = KELMO_PRO_BRAIN_EXE;
constexpr int SIZE = 20;
constexpr int REPLY_MS = 60000;
constexpr auto LINE = BrainProcess::ReadResult::Line;

// The referee decides when the game is over, so a fault in it would let the
// game stop early or run past a win unnoticed.
TEST(Referee, FiveInARowIsSeenInEveryDirectionAndOnlyThere) {
    const struct {
        const char* what;
        std::vector<int> stones;  // one owner's stones, the last one just placed
        bool five;
    } cases[] = {
        {"row", {100, 101, 103, 104, 102}, true},
        {"column", {5, 25, 45, 65, 85}, true},
        {"diagonal", {0, 21, 42, 63, 84}, true},
        {"anti-diagonal", {19, 38, 57, 76, 95}, true},
        {"six in a row", {200, 201, 202, 204, 205, 203}, true},
        {"four", {100, 101, 102, 103}, false},
        {"five with a gap", {100, 101, 102, 104, 105}, false},
        {"row running over the edge into the next row", {17, 18, 19, 20, 21}, false},
        {"diagonal running over the edge", {16, 37, 58, 79, 100}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::array<int, SIZE * SIZE> cells{};
        for (int square : c.stones)
            cells[static_cast<size_t>(square)] = 1;
        EXPECT_EQ(completesFive(cells, c.stones.back()), c.five);
        // The other player's stones never count for the owner.
        cells[static_cast<size_t>(c.stones.front())] = 2;
        if (c.stones.size() == 5) {
            EXPECT_FALSE(completesFive(cells, c.stones.back()));
        }
    }
}

void prepare(BrainProcess& brain) {
    std::string reply;
    ASSERT_TRUE(brain.started());
    ASSERT_TRUE(brain.send("START 20"));
    ASSERT_EQ(brain.readLine(reply, REPLY_MS), LINE);
    ASSERT_EQ(reply, "OK");
    ASSERT_TRUE(brain.send("INFO timeout_turn 60"));
    ASSERT_TRUE(brain.send("INFO time_left 10000000"));
    ASSERT_TRUE(brain.send("INFO max_memory 100000000"));
}

class SelfPlay : public ::testing::TestWithParam<std::pair<std::string, std::string>> {};

INSTANTIATE_TEST_SUITE_P(Programs, SelfPlay,
                         ::testing::Values(std::make_pair(EXACT, EXACT), std::make_pair(PRO, PRO),
                                           std::make_pair(PRO, EXACT)),
                         [](const auto& info) {
                             auto name = [](const std::string& path) { return path == PRO ? "pro" : "exact"; };
                             return std::string(name(info.param.first)) + "_" + name(info.param.second);
                         });

TEST_P(SelfPlay, TwoBrainsPlayAWholeGameWithLegalReplies) {
    TempDir dirs[2];
    BrainProcess first({GetParam().first}, dirs[0].path());
    BrainProcess second({GetParam().second}, dirs[1].path());
    BrainProcess* players[2] = {&first, &second};
    prepare(first);
    prepare(second);

    std::array<int, SIZE * SIZE> board{};
    int stones = 0;
    bool five = false;
    std::string command = "BEGIN";
    for (int turn = 0; !five && stones < SIZE * SIZE; ++turn) {
        int side = turn % 2;
        std::string reply;
        ASSERT_TRUE(players[side]->send(command));
        ASSERT_EQ(players[side]->readAnswer(reply, REPLY_MS), LINE)
            << "no reply to " << command << " after " << stones << " stones";
        int x, y;
        ASSERT_TRUE(parseMove(reply, x, y)) << "malformed reply '" << reply << "' to " << command;
        const int square = y * SIZE + x;
        ASSERT_EQ(board[static_cast<size_t>(square)], 0) << "reply " << reply << " lands on a stone";
        board[static_cast<size_t>(square)] = side + 1;
        ++stones;
        five = completesFive(board, square);
        command = "TURN " + reply;
    }
    EXPECT_TRUE(five || stones == SIZE * SIZE);
    for (BrainProcess* p : players) {
        ASSERT_TRUE(p->send("END"));
        EXPECT_EQ(p->finish(REPLY_MS), 0);
        EXPECT_FALSE(p->sawCarriageReturn()) << "a reply line ended in CR LF";
    }
    for (const TempDir& dir : dirs)
        EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << "a brain left a file (the error log?)";
}

} // namespace
} // namespace kelmo::test
