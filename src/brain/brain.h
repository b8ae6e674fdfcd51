// Brain: what the protocol front end asks of a brain, whichever one it drives.
// Stones and plain values go in, square indices come out; the wording of every
// reply (the ABOUT line included) stays with the front end, which maps the
// brain's identity to its text.
#pragma once

#include <cstdint>
#include <span>

#include "board/position_setup.h"

namespace kelmo {

class ProProgress;  // alphabeta/pro_search.h

// The manager's limits before any INFO, and again after every START.
constexpr std::int32_t DEFAULT_TIME_LEFT = 180000;
constexpr std::int32_t DEFAULT_TIMEOUT_TURN = 3000;
constexpr std::int32_t DEFAULT_MAX_MEMORY = 80000000;

// Which brain answers: the front end names each in its ABOUT line.
enum class BrainIdentity { Exact, Pro };

class Brain {
public:
    virtual ~Brain() = default;

    virtual BrainIdentity identity() const = 0;

    // A new game, the opponent to move, the limits back at their defaults.
    virtual void startGame() = 0;
    // Moves are square indices, already played on the brain's game; -1 means
    // the board has no empty square left, and nothing is played.
    virtual int begin() = 0;
    // The opponent's stone on (x, y), which the front end has checked is empty.
    virtual int turn(int x, int y) = 0;
    // A new game on the position the stones make (each square at most once),
    // the brain to move; the limits stay as they are.
    virtual int setupBoard(std::span<const Stone> stones) = 0;
    // A negative time_left (the match time ran out) is stored as 0.
    virtual void setTimeLeft(std::int32_t value) = 0;
    virtual void setTimeoutTurn(std::int32_t value) = 0;
    virtual void setMaxMemory(std::int32_t value) = 0;
    // True if the game has no stone on the square (0..399).
    virtual bool squareIsEmpty(int square) const = 0;
    // Where a brain that searches by iterations reports each finished one
    // during a move (null: nowhere). A brain without iterations ignores it.
    virtual void setProgress(ProProgress* sink) { (void)sink; }
};

} // namespace kelmo
