// ThreatSearch: depth-first threat-space search on a ShapeBoard for the side to
// move: VCF (only fours) and VCT (fours and threats of a winning square: open
// threes, and closed threes that make a double-four square), each with its own
// transposition table and a node budget, and the question asked for the other
// side: if the side to move passed, could the opponent force a five?
//
// Soundness: a win is claimed only when every defender reply that could matter
// has been refuted. After a four the reply is forced (the one five square; a
// five square of the defender's own ends the line as a failure). After a threat
// the defender may play any of its own fours and every square that leaves the
// attacker without an open-four or double-four square; every other reply
// leaves such a square standing and loses to it. After the attacker blocks a
// four of the defender with a move that is no threat, the defender moves again
// against whatever threat still stands. A proof is never cut short by the
// budget: an exhausted budget gives "no win found".
//
// Completeness is traded for speed where it cannot cost a false claim: while the
// defender has a VCF of its own, only threats on that VCF's line or on the
// blocks of the defender's open-four squares are tried; threats of other kinds
// (a move that only makes a four-three square, say) are not.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "board/shape_board.h"

namespace kelmo {

constexpr int MAX_THREAT_LINE = 64;

// A proven line: the attacker's move first, then the defender's, alternating,
// ending with the attacker's five. For a VCT it follows one defence at each
// three (the principal line); the other defences are proven too.
struct ThreatLine {
    int length = 0;
    int moves[MAX_THREAT_LINE];
};

// The empty squares where a stone of the attacker's opponent could take away
// every open-four and double-four square of the attacker: each such square and
// the squares within four of it along its lines change its shape, nothing else
// does, so a stone outside their common part leaves one standing. A superset:
// play a square to see whether it does. With withFourThree the attacker's
// four-three squares count as targets too (a four-three is a win unless its
// four is answered by a four). Returns the count written to out (room for
// SQUARE_NB squares): the first target, then the squares along its lines, each
// once.
int winningSquareBlocks(const ShapeBoard& board, int attacker, std::int16_t* out, bool withFourThree = false);

class ThreatSearch {
public:
    explicit ThreatSearch(std::size_t tableBytes);
    ThreatSearch(const ThreatSearch&) = delete;
    ThreatSearch& operator=(const ThreatSearch&) = delete;

    // A table of at most tableBytes (at least one entry); forgets everything.
    void resize(std::size_t tableBytes);
    // Forgets every stored result.
    void clear();
    std::size_t tableBytes() const;

    // Can the side to move force a five with fours only? On true, line (when
    // given) holds the proof's line. The board is given back as handed in.
    bool vcf(ShapeBoard& board, std::uint64_t nodeBudget, ThreatLine* line);
    // With fours and threats, against every defence of a threat and the
    // defender's own fours; deepened from fours alone, one more threat (a move
    // that is not a four) at a time, up to maxThrees of them in a line.
    bool vct(ShapeBoard& board, std::uint64_t nodeBudget, ThreatLine* line, int maxThrees = 8);
    // If the side to move passed, could the opponent force a win (VCF, or VCT when
    // withThrees)? When yes, fills `defences` with the squares worth trying
    // against it, without repeats: the squares of the opponent's line (its
    // threats and the replies the line expects), the blocks of each three along
    // the line, and the side to move's own four-making squares; returns their
    // count (at most maxDefences). 0 means no threat found. A caller verifies a
    // candidate by playing it and asking vcf/vct for the opponent again.
    int opponentThreat(ShapeBoard& board, bool withThrees, std::uint64_t nodeBudget, int* defences,
                       int maxDefences);
    // The line of the threat the last opponentThreat found (the opponent first).
    const ThreatLine& lastThreatLine() const { return threatLine_; }

    // Nodes of the last call (the budget counts these).
    std::uint64_t nodes() const { return nodes_; }

    // A moment on the monotonic clock past which every search gives up as its
    // budget does ("no win found"): node budgets are set from the machine's
    // usual speed, and a busy machine must not carry a search past the turn.
    // Without one (the default, and after clearDeadline) only nodes count, so
    // the results repeat exactly.
    void setDeadline(std::chrono::steady_clock::time_point when) {
        deadline_ = when;
        hasDeadline_ = true;
    }
    void clearDeadline() { hasDeadline_ = false; }

private:
    struct Entry {
        std::uint64_t key;
        std::int16_t move;    // the winning move, -1 for none
        std::uint8_t result;  // WIN or FAIL
        std::uint8_t threes;  // a FAIL holds for searches allowing at most this many threes
    };

    enum Result : std::uint8_t { EMPTY = 0, WIN = 1, FAIL = 2 };

    bool run(ShapeBoard& board, int threes, std::uint64_t nodeBudget, ThreatLine* line);
    bool attack(int ply, int threes);
    bool defend(int ply, int threes);
    bool tryAttack(int ply, int move, int nextThrees, bool mustThreaten);
    Entry* probe(std::uint64_t key);
    void store(std::uint64_t key, std::uint8_t result, int threes, int move);

    std::unique_ptr<Entry[]> table_;
    std::size_t entries_ = 0;
    ShapeBoard* board_ = nullptr;
    int attacker_ = 0;
    std::uint64_t nodes_ = 0;
    std::uint64_t budget_ = 0;
    std::chrono::steady_clock::time_point deadline_{};
    bool hasDeadline_ = false;

    // The budget or the deadline is spent; the clock is read every 1024 nodes.
    bool outOfBudget() const {
        return nodes_ > budget_ ||
               (hasDeadline_ && (nodes_ & 1023) == 0 && std::chrono::steady_clock::now() >= deadline_);
    }
    bool aborted_ = false;
    bool wantLine_ = false;
    std::uint64_t truncations_ = 0;  // lines cut by the ply limit: their failures are not stored
    std::uint64_t limitHits_ = 0;    // nodes that left threes out for want of depth
    // Triangular line buffer: pv_[ply] holds the line from ply on.
    int pv_[MAX_THREAT_LINE + 1][MAX_THREAT_LINE];
    int pvLength_[MAX_THREAT_LINE + 1];
    ThreatLine threatLine_;
};

} // namespace kelmo
