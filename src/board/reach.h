// Reach tables: for every square and each of the eight senses, the square reached
// by stepping up to four times in that sense, stopping at the board's edge.
#pragma once

#include <array>
#include <cstdint>

#include "board/types.h"

namespace kelmo {

// Senses, in pairs per direction: the low sense (towards the smaller column, or
// the smaller row for vertical) first.
enum Sense : int {
    SENSE_LEFT,       // -1
    SENSE_RIGHT,      // +1
    SENSE_UP,         // -20
    SENSE_DOWN,       // +20
    SENSE_UP_LEFT,    // -21
    SENSE_DOWN_RIGHT, // +21
    SENSE_DOWN_LEFT,  // +19 (low end of the anti-diagonal: smaller column)
    SENSE_UP_RIGHT,   // -19
    SENSE_NB
};

constexpr int SENSE_STEP[SENSE_NB] = {-1, 1, -20, 20, -21, 21, 19, -19};

using ReachTable = std::array<std::array<std::int16_t, SQUARE_NB>, SENSE_NB>;

// reach[sense][square]
extern const ReachTable reach;

// The low and high sense of a direction index 0..3.
constexpr Sense lowSense(int direction) { return static_cast<Sense>(2 * direction); }
constexpr Sense highSense(int direction) { return static_cast<Sense>(2 * direction + 1); }

} // namespace kelmo
