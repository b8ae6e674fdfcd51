// The move generator: which squares the search must consider for the side to
// move, or whether the position is already won or lost.
#include "board/candidates.h"

#include <bit>

#include "board/reach.h"
#include "board/threat_tables.h"

namespace kelmo {

namespace {

void clearCandidateBits(K2Board& board, CandidateList& list) {
    for (int i = 0; i < list.count; ++i)
        board.cells[list.squares[i]] &= static_cast<std::uint8_t>(~CELL_CANDIDATE);
}

// Replaces the whole list by one square.
int single(K2Board& board, CandidateList& list, int square, int verdict) {
    clearCandidateBits(board, list);
    list.count = 1;
    list.squares[0] = static_cast<std::int16_t>(square);
    return verdict;
}

int directionIndex(int mask) {
    for (int d = 0; d < DIRECTION_NB; ++d)
        if (mask == DIRECTION_MASK[d])
            return d;
    return 0;
}

bool isStoneOf(const K2Board& board, int square, int player) {
    std::uint8_t cell = board.cells[square];
    return !(cell & CELL_EMPTY) && ((cell & CELL_COLOUR) ? 1 : 0) == player;
}

// Whether q has a stone of the attacker beside it along the direction, counting
// only neighbours inside s's line window.
bool besideAttacker(const K2Board& board, int s, int q, int d, int attacker) {
    const int lowStep = SENSE_STEP[lowSense(d)];
    const int highStep = SENSE_STEP[highSense(d)];
    const int lowBound = reach[lowSense(d)][s];
    const int highBound = reach[highSense(d)][s];
    // Positions along the line relative to s: the window spans [-lowReach, highReach].
    const int lowReach = (lowBound - s) / lowStep;
    const int highReach = (highBound - s) / highStep;
    const int at = (q - s) / highStep;
    if (at - 1 >= -lowReach && isStoneOf(board, q - highStep, attacker))
        return true;
    if (at + 1 <= highReach && isStoneOf(board, q + highStep, attacker))
        return true;
    return false;
}

// The opening's third stone: the neighbour of the centre clockwise after the
// first occupied one, looking west, north, east, south, then the corners.
constexpr int CENTRE_RING[8] = {209, 190, 211, 230, 189, 191, 231, 229};
constexpr int CENTRE_RING_ANSWER[8] = {189, 191, 231, 229, 190, 211, 230, 209};

// The square the fixed opening rules name, or -1 when they do not apply (or
// name a square that is taken, which a BOARD setup can produce).
int openingSquare(const K2Board& board) {
    int target = -1;
    if (board.moveCount == 0) {
        target = CENTRE;
    } else if (board.moveCount == 1) {
        for (int sq = 0; sq < SQUARE_NB; ++sq)
            if (!board.isEmpty(sq)) {
                int x = columnOf(sq), y = rowOf(sq);
                target = squareOf(x == 0 ? x + 1 : x - 1, y <= 10 ? y + 1 : y - 1);
                break;
            }
    } else if (board.moveCount == 2) {
        for (int i = 0; i < 8; ++i)
            if (!board.isEmpty(CENTRE_RING[i])) {
                target = CENTRE_RING_ANSWER[i];
                break;
            }
    }
    if (target >= 0 && !board.isEmpty(target))
        return -1;
    return target;
}

} // namespace

bool addCandidate(K2Board& board, CandidateList& list, int square) {
    std::uint8_t& cell = board.cells[square];
    // Threat squares are always empty; the test keeps a stale entry from ever
    // turning into an occupied move.
    if ((cell & CELL_CANDIDATE) || !(cell & CELL_EMPTY))
        return false;
    cell |= CELL_CANDIDATE;
    list.squares[list.count++] = static_cast<std::int16_t>(square);
    return true;
}

int addDefences(K2Board& board, CandidateList& list, LineRecord threat, int defender) {
    const int attacker = 1 - defender;
    const int s = threat.square();
    const int mask = threat.directions();
    const int code = threat.code;
    int proposed = 0;
    auto propose = [&](int sq) {
        addCandidate(board, list, sq);
        ++proposed;
    };

    if (std::popcount(static_cast<unsigned>(mask)) == 1) {
        const int d = directionIndex(mask);
        if (movesToWin(code) >= 1) {
            if (besideAttacker(board, s, s, d, attacker))
                propose(s);
            return proposed;
        }
        // A winning line: answer at its defence squares next to an attacker's stone.
        int first;
        const int segment = segmentCode(board, s, d, attacker, 0, first);
        const int n = codeLength(segment);
        const int highStep = SENSE_STEP[highSense(d)];
        if (highStep > 0) {
            for (int i = 0; i < n; ++i)
                if (isDefence(segment, i) && besideAttacker(board, s, first + i * highStep, d, attacker))
                    propose(first + i * highStep);
        } else {
            // Anti-diagonal: increasing square index runs from the upper-right end.
            for (int i = n - 1; i >= 0; --i)
                if (isDefence(segment, i) && besideAttacker(board, s, first + i * highStep, d, attacker))
                    propose(first + i * highStep);
        }
        return proposed;
    }

    // A combination entry: the square itself, then the defence squares of the
    // lines that make it.
    const SquareLines lines = computeLines(board, s);
    int codes[DIRECTION_NB];
    int wins1 = 0;
    for (int d = 0; d < DIRECTION_NB; ++d) {
        codes[d] = lines.code[attacker][d];
        if (movesToWin(codes[d]) == 1)
            ++wins1;
    }
    const int key = (wins1 == 0 && movesToWin(code) == 0 && movesToFive(code) == 1) ? 0 : 1;
    propose(s);
    if (wins1 > 2)
        return proposed;
    for (int d = 0; d < DIRECTION_NB; ++d) {
        if (movesToWin(codes[d]) != key)
            continue;
        int first;
        const int segment = segmentCode(board, s, d, attacker, 1, first);
        const int n = codeLength(segment);
        const int highStep = SENSE_STEP[highSense(d)];
        for (int i = 0; i < n; ++i)
            if (isDefence(segment, i))
                propose(first + i * highStep);
    }
    return proposed;
}

void addBestSquares(K2Board& board, CandidateList& list, int n) {
    constexpr int MAX_SLOTS = 32;
    if (n < 1)
        return;
    if (n > MAX_SLOTS - 1)
        n = MAX_SLOTS - 1;
    // The n best so far, best first; slot n takes a newcomer while it moves up.
    std::int64_t score[MAX_SLOTS];
    int square[MAX_SLOTS];
    for (int i = 0; i <= n; ++i) {
        score[i] = 0;
        square[i] = -1;
    }
    std::int64_t threshold = 0;
    const int mover = board.sideToMove;
    const int other = 1 - mover;

    // Squares with a stone in one of their windows; the others score what
    // their place on the board gives, the same for both players.
    bool nearStone[SQUARE_NB] = {};
    for (int sq = 0; sq < SQUARE_NB; ++sq) {
        if (board.cells[sq] & CELL_EMPTY)
            continue;
        for (int sense = 0; sense < SENSE_NB; ++sense)
            for (int c = sq, bound = reach[sense][sq]; c != bound;) {
                c += SENSE_STEP[sense];
                nearStone[c] = true;
            }
    }

    // The scan starts at square 200 and wraps round; among equal scores the
    // square met first stays ahead.
    for (int k = 0; k < SQUARE_NB; ++k) {
        const int sq = k < SQUARE_NB / 2 ? k + SQUARE_NB / 2 : k - SQUARE_NB / 2;
        const std::uint8_t cell = board.cells[sq];
        if (!(cell & CELL_EMPTY) || (cell & CELL_CANDIDATE))
            continue;
        std::int64_t value = 6 * std::int64_t{openWindowValue[sq]};
        if (nearStone[sq]) {
            const SquareLines lines = computeLines(board, sq);
            std::int64_t own = 0, theirs = 0;
            for (int d = 0; d < DIRECTION_NB; ++d) {
                own += lineValue(lines.code[mover][d]);
                theirs += lineValue(lines.code[other][d]);
            }
            value = 5 * own + theirs;
        }
        // At or below the last slot it would move no further than slot n.
        if (value <= threshold || value <= score[n - 1])
            continue;
        int pos = n;
        score[pos] = value;
        square[pos] = sq;
        while (pos > 0 && score[pos - 1] < value) {
            std::swap(score[pos - 1], score[pos]);
            std::swap(square[pos - 1], square[pos]);
            --pos;
        }
        if (pos == 0) {
            // One hundredth of the best, by the single-precision 0.01 (a hair
            // below it) in extended precision, truncated.
            threshold = static_cast<std::int64_t>(static_cast<long double>(value) *
                                                  static_cast<long double>(0.01f));
        }
    }
    for (int i = 0; i < n && square[i] >= 0 && score[i] >= threshold; ++i)
        addCandidate(board, list, square[i]);
}

int generateCandidates(K2Board& board, CandidateList& list) {
    list.count = 0;

    const int opening = openingSquare(board);
    if (opening >= 0) {
        list.squares[list.count++] = static_cast<std::int16_t>(opening);
        return VERDICT_OPEN;
    }

    const int mover = board.sideToMove;
    const ThreatListItem* own = board.threatHead(mover);
    const ThreatListItem* opp = board.threatHead(1 - mover);

    if (own && movesToFive(own->code) == 0)
        return single(board, list, own->square(), VERDICT_WIN);
    if (opp && movesToFive(opp->code) == 0) {
        if (board.nextThreat(opp) && movesToFive(board.nextThreat(opp)->code) == 0)
            return single(board, list, opp->square(), VERDICT_LOSS);
        return single(board, list, opp->square(), VERDICT_OPEN);
    }
    if (own && movesToWin(own->code) == 0 && movesToFive(own->code) == 1)
        return single(board, list, own->square(), VERDICT_WIN);

    int verdict = VERDICT_OPEN;
    if (!opp || movesToWin(opp->code) != 0) {
        // The opponent has no winning threat: own threats, answers, best squares.
        for (const ThreatListItem* it = own; it; it = board.nextThreat(it)) {
            if (movesToWin(it->code) == 0 && (!opp || movesToFive(opp->code) > 1))
                return single(board, list, it->square(), VERDICT_WIN);
            addCandidate(board, list, it->square());
        }
        const ThreatListItem* it = opp;
        while (it && movesToWin(it->code) != 0)
            it = board.nextThreat(it);
        for (; it && movesToWin(it->code) == 0; it = board.nextThreat(it))
            addDefences(board, list, it->record(), mover);
        if (list.count < 5) {
            int k = 0;
            for (it = opp; it && k < 3; it = board.nextThreat(it), ++k)
                addDefences(board, list, it->record(), mover);
        }
        if (list.count < 5)
            addBestSquares(board, list, 8);
    } else {
        // The opponent threatens to win: defend, or counter with a faster threat.
        addDefences(board, list, opp->record(), mover);
        bool overrun = false;
        const ThreatListItem* it = board.nextThreat(opp);
        for (; it && movesToWin(it->code) == 0; it = board.nextThreat(it)) {
            if (board.cells[it->square()] & CELL_CANDIDATE)
                continue;
            // Two separate winning threats: no single answer covers both.
            clearCandidateBits(board, list);
            list.count = 0;
            overrun = true;
            break;
        }
        if (!overrun && list.count == 0) {
            while (it && movesToWin(it->code) != 0)
                it = board.nextThreat(it);
            for (; it && movesToWin(it->code) == 0; it = board.nextThreat(it))
                if (!(board.cells[it->square()] & CELL_CANDIDATE))
                    addDefences(board, list, it->record(), mover);
        }
        const int countBefore = list.count;
        for (const ThreatListItem* o = own; o && movesToFive(o->code) <= movesToFive(opp->code); o = board.nextThreat(o)) {
            const int sq = o->square();
            if ((board.cells[sq] & CELL_SECOND[mover]) && movesToFive(o->code) == 1) {
                // A four-three: it wins when none of the opponent's answers to the
                // three is already among the squares we must play anyway.
                const ThreatListItem* three = board.nextThreat(o);
                while (three && three->square() != sq)
                    three = board.nextThreat(three);
                if (three) {
                    const int remembered = list.count;
                    const int proposals = addDefences(board, list, three->record(), 1 - mover);
                    if (list.count - proposals == remembered)
                        return single(board, list, sq, VERDICT_WIN);
                    for (int i = remembered; i < list.count; ++i)
                        board.cells[list.squares[i]] &= static_cast<std::uint8_t>(~CELL_CANDIDATE);
                    list.count = remembered;
                }
            }
            addCandidate(board, list, sq);
        }
        if (overrun && list.count == countBefore && countBefore == 0)
            return single(board, list, opp->square(), VERDICT_LOSS);
    }
    clearCandidateBits(board, list);
    return verdict;
}

} // namespace kelmo
