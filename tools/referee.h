// What a referee checks on a plain 20 x 20 grid: that a reply is a move line on
// the board, and when a stone completes five. Tests and bench tools that keep
// their own copy of a game's board use it, independently of the engine. Header-only and
// free of GoogleTest, so that the bench tools can use it as well.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <span>

namespace kelmo::referee {

constexpr int GRID = 20;

// Reads a reply "x,y" (nothing after it) into the square y * 20 + x; false for
// anything else or a square off the board.
inline bool parseMoveSquare(const std::string& text, int& square) {
    int x, y;
    char extra;
    if (std::sscanf(text.c_str(), "%d,%d%c", &x, &y, &extra) != 2 || x < 0 || x >= GRID || y < 0 || y >= GRID)
        return false;
    square = y * GRID + x;
    return true;
}

// True when the stone on square (y * 20 + x) is one of five or more stones of
// its owner in an unbroken row, column or diagonal. cells holds one value per
// square, row by row; equal values mean the same owner. The square must hold a
// stone: the value there names the owner whose row is measured.
inline bool completesFive(std::span<const int> cells, int square) {
    if (square < 0 || cells.size() < static_cast<std::size_t>(GRID * GRID) || square >= GRID * GRID)
        return false;
    static constexpr int STEPS[4][2] = {{1, 0}, {0, 1}, {1, 1}, {1, -1}};
    const int owner = cells[static_cast<std::size_t>(square)];
    const int x = square % GRID, y = square / GRID;
    for (const auto& step : STEPS) {
        int run = 1;
        for (int sense : {1, -1}) {
            int cx = x + sense * step[0], cy = y + sense * step[1];
            while (cx >= 0 && cx < GRID && cy >= 0 && cy < GRID &&
                   cells[static_cast<std::size_t>(cy * GRID + cx)] == owner) {
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

} // namespace kelmo::referee
