// ProEngine: the state behind ProSearch. The root's threat checks, the iterative-deepening principal-variation
// search, its move generation and the per-ply move lists, all in fixed arrays sized here so that the search
// loop never allocates.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>

#include "alphabeta/evaluation.h"
#include "alphabeta/pro_search.h"
#include "alphabeta/transposition.h"
#include "board/shape_board.h"
#include "threat/threat_search.h"

namespace kelmo {

constexpr int MAX_PLY = 96;          // forced replies extend lines past the nominal depth; this bounds them
constexpr int MAX_SEARCH_DEPTH = 40; // the nominal depth the deepening stops at without a cap of its own
constexpr int MAX_MOVES = 64;        // moves looked at per node; the generator keeps the best that fit

// Node budgets of the threat searches: a fixed number for a search without a clock, so that a search capped
// by nodes or depth is deterministic, and nodes per millisecond of the hard limit for a timed one, so that a
// short turn is not spent on the root's checks alone (about 250 nodes a millisecond when the machine is busy).
struct Budget {
    std::uint64_t fixed;
    std::uint64_t perMs;
};

struct ThreatBudgets {
    Budget rootVcf{200000, 30};     // the side to move's own win, before anything else
    Budget rootVct{40000, 300};     // the same with threes
    Budget rootThreat{40000, 15};   // the opponent's VCF if the side to move passed: the forced defences
    Budget rootThreatVct{20000, 60}; // its VCT if the side to move passed: more moves for the root
    Budget safety{20000, 3};        // the opponent's VCF after each root move
    Budget safetyVct{5000, 12};      // its VCT after each root move that passed the VCF check (at most)
    Budget verify{30000, 60};       // its VCT after the chosen move, once the search is over
    std::uint64_t nearRootThreat = 2000; // the opponent's VCF behind the root's replies (inside the search)
    std::uint64_t horizon = 150;         // the side to move's VCF at the horizon
};

class ProEngine {
public:
    explicit ProEngine(std::size_t tableBytes);
    void resize(std::size_t tableBytes);
    std::size_t tableBytes() const { return tableBytes_; }
    void clear();
    void setEvalWeights(const EvalWeights& weights) { weights_ = weights; }
    ProResult search(std::span<const Stone> stones, int sideToMove, const ProLimits& limits, ProProgress* progress);

private:
    struct RootMove {
        int square;
        int score;
    };

    int alphaBeta(int depth, int ply, int alpha, int beta);
    // A leaf: a win by fours for the side to move if the threat search finds one quickly, else the evaluation.
    int horizon(int ply);
    int winInThree(int ply);
    // The moves of a node into moves_[ply]; forced is set when they are only the replies to a threat.
    int generate(int ply, int ttMove, bool& forced);
    int defences(int* out, int capacity);
    int rootSearch(int depth, int alpha, int beta, int& bestIndex);
    bool opponentHasVcf(std::uint64_t budget);
    int verifiedMove(int chosen, const ProLimits& limits);
    std::uint64_t budget(Budget b) const;
    void countThreatNodes();
    void pollStop();
    std::int64_t elapsedMs() const;
    void fillIteration(ProIteration& it, int depth, int score) const;
    void updatePv(int ply, int move);

    std::size_t tableBytes_ = 0;
    ShapeBoard board_;
    ThreatSearch threats_;
    TranspositionTable table_;
    ThreatBudgets budgets_;
    EvalWeights weights_ = EVAL_WEIGHTS;

    // Per search.
    ProLimits limits_;
    std::chrono::steady_clock::time_point start_;
    std::uint64_t nodes_ = 0;
    std::uint64_t nextPoll_ = 0;
    bool stop_ = false;
    int rootSide_ = 0;

    RootMove root_[MAX_MOVES * 2];
    int rootCount_ = 0;
    int moves_[MAX_PLY][MAX_MOVES];
    int moveCount_[MAX_PLY];
    int killers_[MAX_PLY][2];
    int history_[PLAYER_NB][SQUARE_NB];
    int pv_[MAX_PLY][MAX_PLY];
    int pvLength_[MAX_PLY];
};

} // namespace kelmo
