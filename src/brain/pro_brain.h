// ProBrain: the pro brain's game in progress (its stones and the side to move),
// the manager's limits, the turn's time budget and the size of the search's
// tables, with one handler per protocol command over ProSearch. Like KBrain it
// takes stones and plain values and returns squares; the front end words the
// replies and the progress lines.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "alphabeta/pro_search.h"
#include "board/position_setup.h"
#include "board/types.h"
#include "brain/brain.h"

namespace kelmo {

// ---- time ----
//
// A turn's budget, from the manager's limits and the stones on the board:
//   turn cap   = 95 % of timeout_turn, less REPLY_MARGIN_MS;
//   game share = (time_left - REPLY_MARGIN_MS) / moves that may remain, where
//                the brain expects max(MIN_MOVES_LEFT, (GAME_STONES - stones) / 2)
//                more moves of its own: games between searching brains are
//                mostly decided before sixty stones, and many of a game's
//                moves are forced and answered at once, so a longer horizon
//                leaves most of the clock unspent at the end; the floor keeps a
//                long game from ever spending more than a twelfth of what is
//                left at once;
//   hard       = min(turn cap, game share), never below 1 ms: the deadline of
//                every search of the turn (the running iteration is abandoned
//                a sixteenth before it, which is kept for checking the move);
//   soft       = SOFT_PERCENT of hard: no new iteration starts after it. One
//                started before it and cut off unfinished still counts where a
//                root move already beat the last iteration's best, so the time
//                between soft and that cut is worth searching into.
// REPLY_MARGIN_MS covers what happens after the clock's last reading: the
// search notices the hard limit only every few thousand nodes, the answer is
// written, and the line crosses a pipe (and a wine layer on Linux test rigs).
constexpr std::int64_t REPLY_MARGIN_MS = 30;
constexpr int GAME_STONES = 60;
constexpr int MIN_MOVES_LEFT = 12;
constexpr std::int64_t SOFT_PERCENT = 85;

struct TurnBudget {
    std::int64_t softMs = 1;
    std::int64_t hardMs = 1;
};

TurnBudget proTurnBudget(std::int32_t timeLeft, std::int32_t timeoutTurn, int stones);

// The same budget for a turn of which spentMs have already gone (tables sized,
// position set up): both limits move closer by that much, never below 1 ms.
TurnBudget afterSpending(TurnBudget budget, std::int64_t spentMs);

// ---- memory ----
//
// Bytes for the search's tables, given the memory budget that searchBudget()
// grants under max_memory (what the whole process may hold, less what it holds
// besides the tables, measured when the tables are sized) and a timeout_turn.
// Nor do they take more than a turn can fill, TABLE_BYTES_PER_TURN_MS for each
// millisecond of timeout_turn (several times what the search stores in that
// time): the tables are made, and their pages first touched, inside the first
// move's time, at a few hundred MB a second on a busy machine, so a table far
// beyond the turn's reach would cost the first move most of its turn for
// nothing. In whole MiB, never below MIN_TABLE_BYTES: a limit too small for
// that cannot be kept by any search, and the brain still answers at once.
// The one place where the table size is decided.
constexpr std::int64_t TABLE_BYTES_PER_TURN_MS = 32 * 1024;
constexpr std::size_t MIN_TABLE_BYTES = 1024 * 1024;

std::size_t proTableBytes(std::int64_t budget, std::int32_t timeoutTurn);

class ProBrain final : public Brain {
public:
    // Test knobs; the protocol never sets them. A node cap makes every search
    // stop on nodes instead of the clock (and so repeat exactly); a table cap
    // keeps the tables small for tests that make many brains. 0: none.
    std::uint64_t nodeCap = 0;
    std::size_t tableBytesCap = 0;

    ProBrain();
    ~ProBrain() override;
    ProBrain(const ProBrain&) = delete;
    ProBrain& operator=(const ProBrain&) = delete;

    BrainIdentity identity() const override { return BrainIdentity::Pro; }
    void startGame() override;
    int begin() override;
    int turn(int x, int y) override;
    int setupBoard(std::span<const Stone> stones) override;
    void setTimeLeft(std::int32_t value) override;
    void setTimeoutTurn(std::int32_t value) override;
    void setMaxMemory(std::int32_t value) override;
    bool squareIsEmpty(int square) const override;
    void setProgress(ProProgress* sink) override { progress = sink; }

    std::int32_t timeLeft() const { return timeLeft_; }
    std::int32_t timeoutTurn() const { return timeoutTurn_; }
    std::int32_t maxMemory() const { return maxMemory_; }
    // The game: every stone standing (player 1 the brain), in the order they
    // came (a BOARD body's in square order); the opponent moves next between
    // commands.
    std::span<const Stone> stones() const { return game; }
    // 0 until the first search; then the bytes the tables were last made or
    // resized with (made again only when max_memory or timeout_turn asks for
    // another size).
    std::size_t tableBytes() const { return tablesAskedFor; }
    // The search that chose the last reply (its result as the search gave it).
    const ProResult& lastResult() const { return last; }

private:
    int reply();
    void place(int square, int player);
    void clearGame();

    std::vector<Stone> game;                  // room for every square, reserved once
    std::array<std::int8_t, SQUARE_NB> owner; // -1 on an empty square
    std::int32_t timeLeft_ = DEFAULT_TIME_LEFT;
    std::int32_t timeoutTurn_ = DEFAULT_TIMEOUT_TURN;
    std::int32_t maxMemory_ = DEFAULT_MAX_MEMORY;
    std::unique_ptr<ProSearch> search;        // made before the first search
    std::size_t tablesAskedFor = 0;           // the size search was made or last resized with
    // The limits the tables were sized under: sizing again only when they
    // change keeps the tables (and what they have learned) from move to move.
    std::int32_t sizedForMemory = -1;
    std::int32_t sizedForTurn = -1;
    ProProgress* progress = nullptr;
    ProResult last;
};

} // namespace kelmo
