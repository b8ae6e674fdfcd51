// Self-play: two brain processes, each told the other's moves with TURN as a
// manager would, play one game to a five or a full board. Every reply must
// arrive (the brain flushes it without waiting for more input), be a
// well-formed move and land on an empty square.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "protocol/brain_process.h"
#include "support/protocol_text.h"
#include "support/temp_dir.h"

namespace kelmo::test {
namespace {

const std::string BRAIN = KELMO_BRAIN_EXE;
constexpr int SIZE = 20;

// True if the stone just placed at (x, y) completes five or more in a row.
bool makesFive(const int (&board)[SIZE][SIZE], int x, int y) {
    const int steps[4][2] = {{1, 0}, {0, 1}, {1, 1}, {1, -1}};
    int who = board[y][x];
    for (const auto& step : steps) {
        int run = 1;
        for (int sense : {1, -1}) {
            int cx = x + sense * step[0], cy = y + sense * step[1];
            while (cx >= 0 && cx < SIZE && cy >= 0 && cy < SIZE && board[cy][cx] == who) {
                ++run;
                cx += sense * step[0];
                cy += sense * step[1];
            }
        }
        if (run >= 5)
            return true;
    }
    return false;
}

void prepare(BrainProcess& brain) {
    std::string reply;
    ASSERT_TRUE(brain.started());
    ASSERT_TRUE(brain.send("START 20"));
    ASSERT_TRUE(brain.readLine(reply));
    ASSERT_EQ(reply, "OK");
    ASSERT_TRUE(brain.send("INFO timeout_turn 60"));
    ASSERT_TRUE(brain.send("INFO time_left 10000000"));
    ASSERT_TRUE(brain.send("INFO max_memory 100000000"));
}

TEST(SelfPlay, TwoBrainsPlayAWholeGameWithLegalReplies) {
    TempDir dirs[2];
    BrainProcess first(BRAIN, dirs[0].path());
    BrainProcess second(BRAIN, dirs[1].path());
    BrainProcess* players[2] = {&first, &second};
    prepare(first);
    prepare(second);

    int board[SIZE][SIZE] = {};
    int stones = 0;
    bool five = false;
    std::string command = "BEGIN";
    for (int turn = 0; !five && stones < SIZE * SIZE; ++turn) {
        int side = turn % 2;
        std::string reply;
        ASSERT_TRUE(players[side]->send(command));
        ASSERT_TRUE(players[side]->readLine(reply)) << "no reply to " << command << " after " << stones << " stones";
        int x, y;
        ASSERT_TRUE(parseMove(reply, x, y)) << "malformed reply '" << reply << "' to " << command;
        ASSERT_EQ(board[y][x], 0) << "reply " << reply << " lands on a stone";
        board[y][x] = side + 1;
        ++stones;
        five = makesFive(board, x, y);
        command = "TURN " + reply;
    }
    EXPECT_TRUE(five || stones == SIZE * SIZE);
    for (BrainProcess* p : players) {
        ASSERT_TRUE(p->send("END"));
        EXPECT_EQ(p->finish(), 0);
    }
    for (const TempDir& dir : dirs)
        EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << "a brain left a file (the error log?)";
}

} // namespace
} // namespace kelmo::test
