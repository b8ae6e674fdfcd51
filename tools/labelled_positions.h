// The rows of a labelled-positions file, as the bench tools read them, and the
// replay of a claimed winning line on a plain grid. A row is
//
//   KIND x,y x,y ... | best X,Y | lose X,Y | ...
//
// the stones in the order played (the first player's first), then labels; only
// "best" and "lose" are read here. Header-only and engine-free, like the
// referee it builds on.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "referee.h"

namespace kelmo::labelled {

struct Row {
    std::string kind;        // "win", "defend", "quiet", or whatever the file says
    std::vector<int> moves;  // squares y * 20 + x, in the order played
    int lose = -1;           // defend rows: the move that let the opponent win
    int best = -1;           // the labelling search's move
    std::string text;        // the row as read, for reports
};

// False for a blank line, a comment ('#') or a row with a square that does not
// read as one on the board.
inline bool parseRow(const std::string& line, Row& row) {
    row = Row{};
    std::istringstream in(line);
    if (!(in >> row.kind) || row.kind[0] == '#')
        return false;
    std::string word;
    while (in >> word && word != "|") {
        int s;
        if (!referee::parseMoveSquare(word, s))
            return false;
        row.moves.push_back(s);
    }
    while (in >> word) {
        if (word == "lose" && in >> word && !referee::parseMoveSquare(word, row.lose))
            return false;
        if (word == "best" && in >> word && !referee::parseMoveSquare(word, row.best))
            return false;
    }
    row.text = line;
    return true;
}

// True when a line of `length` squares, the side to move's first, replays after
// the stones: each move on an empty square, colours alternating, the last stone
// completing five and no earlier one.
inline bool lineReplays(const std::vector<int>& moves, const int* line, int length) {
    constexpr int SQUARES = referee::GRID * referee::GRID;
    std::vector<int> cells(SQUARES, -1);
    for (std::size_t i = 0; i < moves.size(); ++i)
        cells[static_cast<std::size_t>(moves[i])] = static_cast<int>(i % 2);
    int player = static_cast<int>(moves.size() % 2);
    for (int i = 0; i < length; ++i) {
        const int s = line[i];
        if (s < 0 || s >= SQUARES || cells[static_cast<std::size_t>(s)] != -1)
            return false;
        cells[static_cast<std::size_t>(s)] = player;
        if (referee::completesFive(cells, s) != (i == length - 1))
            return false;
        player ^= 1;
    }
    return length % 2 == 1;
}

} // namespace kelmo::labelled
