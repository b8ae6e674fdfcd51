// Candidate moves: the threat-driven move generator and the list it fills.
#pragma once

#include <cstdint>

#include "board/k2board.h"

namespace kelmo {

// The generator's output, owned by its caller; every generateCandidates call
// refills it from the start.
struct CandidateList {
    std::int32_t count;
    std::int16_t squares[SQUARE_NB];
};

constexpr int VERDICT_WIN = 1;    // the side to move wins: the list holds the winning square
constexpr int VERDICT_LOSS = -1;  // the side to move is lost: the list holds one square
constexpr int VERDICT_OPEN = 0;   // the list holds the moves to search

int generateCandidates(K2Board& board, CandidateList& list);
bool addCandidate(K2Board& board, CandidateList& list, int square);
int addDefences(K2Board& board, CandidateList& list, LineRecord threat, int defender);
void addBestSquares(K2Board& board, CandidateList& list, int n);

} // namespace kelmo
