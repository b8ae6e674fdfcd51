// Candidate moves: the threat-driven move generator and its shared list.
#pragma once

#include <cstdint>

#include "board/k2board.h"

namespace kelmo {

// One process-wide list, refilled by every generateCandidates call.
struct CandidateList {
    std::int32_t count;
    std::int16_t squares[SQUARE_NB];
};

extern CandidateList candidates;

constexpr int VERDICT_WIN = 1;    // the side to move wins: the list holds the winning square
constexpr int VERDICT_LOSS = -1;  // the side to move is lost: the list holds one square
constexpr int VERDICT_OPEN = 0;   // the list holds the moves to search

int generateCandidates(K2Board& board);
bool addCandidate(K2Board& board, int square);
int addDefences(K2Board& board, LineRecord threat, int defender);
void addBestSquares(K2Board& board, int n);

} // namespace kelmo
