// The pro brain's move choice: a threat search for proven wins and forced defences at the root, then an
// iterative-deepening principal-variation search over a shape evaluation. ProSearch is the one entry point
// the brain uses; everything it allocates is allocated in its constructor (or resize) and nowhere else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "board/position_setup.h"
#include "threat/threat_search.h"

namespace kelmo {

constexpr int MAX_PV = 32;

// One finished iteration of the deepening loop, as the brain reports it.
struct ProIteration {
    int depth = 0;            // the finished iteration's nominal depth in plies
    int score = 0;            // evaluation for the side to move (the brain), in the search's units
    int mateIn = 0;           // 0: no forced result; > 0: the brain forces five in mateIn plies; < 0: the opponent does in -mateIn
    std::uint64_t nodes = 0;  // nodes of this search so far
    std::int64_t elapsedMs = 0;
    int pvLength = 0;
    int pv[MAX_PV] = {};      // squares, the brain's move first
};

// Implemented by whoever wants a line per finished iteration.
class ProProgress {
public:
    virtual void iterationDone(const ProIteration& iteration) = 0;

protected:
    ~ProProgress() = default;
};

// Stopping rules. A limit of 0 means "none": with softMs and hardMs both 0 the clock is never consulted, so a
// search stopped by nodeCap or maxDepth alone gives the same move and the same node count on every machine.
struct ProLimits {
    std::int64_t softMs = 0;   // no new iteration starts after this many ms from the search's start
    std::int64_t hardMs = 0;   // the running iteration is abandoned at this (clock read every few thousand nodes)
    std::uint64_t nodeCap = 0; // 0: none. Tests and the bench stop on nodes or depth, never on the clock
    int maxDepth = 0;          // 0: the search's own cap
};

struct ProResult {
    int square = -1;           // -1 only when no empty square is left
    ProIteration last;         // the iteration the move came from
    bool provenWin = false;    // the threat search proved a win for the brain
    ThreatLine winLine;        // that proof's line, the move first; replays on a referee board
};

class ProEngine;  // the search's state and tables (alphabeta/pro_engine.h)
struct EvalWeights;

class ProSearch {
public:
    explicit ProSearch(std::size_t tableBytes);   // every table allocated here (transposition tables of both searches)
    ~ProSearch();
    ProSearch(const ProSearch&) = delete;
    ProSearch& operator=(const ProSearch&) = delete;

    void resize(std::size_t tableBytes);          // between moves only
    std::size_t tableBytes() const;
    void clear();                                 // a new game
    // Other evaluation values than the built-in ones (alphabeta/evaluation.h): for tuning matches only.
    void setEvalWeights(const EvalWeights& weights);
    // The position as stones (player 1 is the brain) and the player to move; a move for it.
    ProResult search(std::span<const Stone> stones, int sideToMove, const ProLimits& limits, ProProgress* progress);

private:
    std::unique_ptr<ProEngine> engine_;
};

} // namespace kelmo
