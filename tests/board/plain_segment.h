// A slow, plain reference for line codes: the segment through a square walked
// cell by cell over coordinates, written apart from the engine's tables.
#pragma once

#include <string>

#include "board/k2board.h"

namespace kelmo::test {

// Code of a segment written as X (the player's stones) and . (empty).
inline int plainCode(const std::string& segment) {
    int code = 1;
    for (char c : segment)
        code = code * 2 + (c == 'X');
    return code;
}

// The segment of one player through the empty square (x, y), walked over
// coordinates: up to four cells each way, stopping at the edge or before the
// other player's stone; the square itself counts as the player's stone.
inline int plainSegmentCode(const K2Board& board, int x, int y, int direction, int player) {
    // Towards the high end of each direction; the low end has the smaller column
    // (the smaller row for vertical).
    const int dx[DIRECTION_NB] = {1, 0, 1, 1};
    const int dy[DIRECTION_NB] = {0, 1, 1, -1};
    auto cell = [&](int k, char& out) {
        const int cx = x + k * dx[direction], cy = y + k * dy[direction];
        if (cx < 0 || cx >= BOARD_SIZE || cy < 0 || cy >= BOARD_SIZE)
            return false;
        const int sq = squareOf(cx, cy);
        if (board.isEmpty(sq)) {
            out = '.';
            return true;
        }
        out = 'X';
        return board.stoneOwner(sq) == player;
    };
    std::string segment = "X";
    char c;
    for (int k = -1; k >= -4 && cell(k, c); --k)
        segment.insert(segment.begin(), c);
    for (int k = 1; k <= 4 && cell(k, c); ++k)
        segment += c;
    return plainCode(segment);
}

} // namespace kelmo::test
