// ThreatSearch: the attacker's and the defender's nodes of the threat-space
// search, the defences of an open three, the transposition table and the
// opponent's threat behind a null move.
#include "threat/threat_search.h"

#include <algorithm>

namespace kelmo {

namespace {

constexpr int DX[DIRECTION_NB] = {1, 0, 1, -1};
constexpr int DY[DIRECTION_NB] = {0, 1, 1, 1};

// A FAIL stored with this many threes holds for every search: its subtree never
// left out a three for want of depth.
constexpr std::uint8_t ANY_THREES = 255;

bool isFourShape(Shape s) { return s >= SHAPE_FOUR && s <= SHAPE_OPEN_FOUR; }
bool isThreeShape(Shape s) { return s == SHAPE_THREE || s == SHAPE_THREE_THREE; }

int winningSquares(const ShapeBoard& board, int player) {
    return board.count(player, SHAPE_OPEN_FOUR) + board.count(player, SHAPE_FOUR_FOUR);
}

// Appends the player's squares of a shape.
int appendSquares(const ShapeBoard& board, int player, Shape shape, std::int16_t* out, int n) {
    for (std::int16_t s : board.squares(player, shape))
        out[n++] = s;
    return n;
}

} // namespace

int winningSquareBlocks(const ShapeBoard& board, int attacker, std::int16_t* out, bool withFourThree) {
    std::int16_t targets[SQUARE_NB];  // a square has one shape, so the lists never hold more
    int targetCount = appendSquares(board, attacker, SHAPE_OPEN_FOUR, targets, 0);
    targetCount = appendSquares(board, attacker, SHAPE_FOUR_FOUR, targets, targetCount);
    if (withFourThree)
        targetCount = appendSquares(board, attacker, SHAPE_FOUR_THREE, targets, targetCount);
    if (targetCount == 0)
        return 0;
    std::uint8_t hits[SQUARE_NB] = {};
    for (int i = 0; i < targetCount; ++i) {
        const int w = targets[i];
        ++hits[w];
        for (int d = 0; d < DIRECTION_NB; ++d)
            for (int k = -4; k <= 4; ++k) {
                const int x = columnOf(w) + k * DX[d], y = rowOf(w) + k * DY[d];
                if (k == 0 || x < 0 || x >= BOARD_SIZE || y < 0 || y >= BOARD_SIZE)
                    continue;
                const int t = squareOf(x, y);
                if (board.isEmpty(t) && hits[t] < 255)
                    ++hits[t];
            }
    }
    // Walk the first target's neighbourhood again: the common part lies in it.
    int n = 0;
    const int w = targets[0];
    if (hits[w] >= targetCount)
        out[n++] = static_cast<std::int16_t>(w);
    for (int d = 0; d < DIRECTION_NB; ++d)
        for (int k = -4; k <= 4; ++k) {
            const int x = columnOf(w) + k * DX[d], y = rowOf(w) + k * DY[d];
            if (k == 0 || x < 0 || x >= BOARD_SIZE || y < 0 || y >= BOARD_SIZE)
                continue;
            const int t = squareOf(x, y);
            if (board.isEmpty(t) && hits[t] >= targetCount)
                out[n++] = static_cast<std::int16_t>(t);
        }
    return n;
}

namespace {

// Insertion sort of moves[from, to) by the value of the square to the side to
// move, and half as much to the other side, highest first: the attacker's own
// strongest squares lead (over the labelled positions this proves the same VCFs
// in a tenth of the nodes), and a square that also spoils the defender's lines
// comes next.
void sortByValue(const ShapeBoard& board, std::int16_t* moves, int from, int to) {
    const int me = board.sideToMove();
    int values[SQUARE_NB];
    for (int i = from; i < to; ++i)
        values[i] = 2 * board.squareValue(moves[i], me) + board.squareValue(moves[i], 1 - me);
    for (int i = from + 1; i < to; ++i) {
        const std::int16_t m = moves[i];
        const int v = values[i];
        int j = i;
        for (; j > from && values[j - 1] < v; --j) {
            moves[j] = moves[j - 1];
            values[j] = values[j - 1];
        }
        moves[j] = m;
        values[j] = v;
    }
}

} // namespace

ThreatSearch::ThreatSearch(std::size_t tableBytes) { resize(tableBytes); }

void ThreatSearch::resize(std::size_t tableBytes) {
    const std::size_t entries = std::max<std::size_t>(1, tableBytes / sizeof(Entry));
    table_.reset();  // the old table goes before the new one comes, so the peak stays at one table
    table_ = std::make_unique<Entry[]>(entries);
    entries_ = entries;
    clear();
}

void ThreatSearch::clear() {
    for (std::size_t i = 0; i < entries_; ++i)
        table_[i] = Entry{0, -1, EMPTY, 0};
}

std::size_t ThreatSearch::tableBytes() const { return entries_ * sizeof(Entry); }

ThreatSearch::Entry* ThreatSearch::probe(std::uint64_t key) {
    Entry& e = table_[slotOf(key, entries_)];
    return e.result != EMPTY && e.key == key ? &e : nullptr;
}

void ThreatSearch::store(std::uint64_t key, std::uint8_t result, int threes, int move) {
    Entry& e = table_[slotOf(key, entries_)];
    // A proven win is worth more than any failure: keep it against one.
    if (e.result == WIN && result == FAIL && e.key != key)
        return;
    e = Entry{key, static_cast<std::int16_t>(move), result, static_cast<std::uint8_t>(threes)};
}

bool ThreatSearch::run(ShapeBoard& board, int threes, std::uint64_t nodeBudget, ThreatLine* line) {
    board_ = &board;
    attacker_ = board.sideToMove();
    budget_ = nodeBudget;
    aborted_ = false;
    wantLine_ = line != nullptr;
    const bool won = attack(0, threes);
    if (won && line) {
        line->length = pvLength_[0];
        for (int i = 0; i < pvLength_[0]; ++i)
            line->moves[i] = pv_[0][i];
    }
    return won;
}

bool ThreatSearch::vcf(ShapeBoard& board, std::uint64_t nodeBudget, ThreatLine* line) {
    nodes_ = 0;
    return run(board, 0, nodeBudget, line);
}

bool ThreatSearch::vct(ShapeBoard& board, std::uint64_t nodeBudget, ThreatLine* line, int maxThrees) {
    nodes_ = 0;
    // Fours alone first: cheap, and their lines are the shortest.
    for (int threes = 0; threes <= maxThrees; ++threes) {
        const std::uint64_t limitsBefore = limitHits_;
        if (run(board, threes, nodeBudget, line))
            return true;
        // Nothing was left out for want of threes: a deeper search would repeat this one.
        if (aborted_ || limitHits_ == limitsBefore)
            break;
    }
    return false;
}

bool ThreatSearch::tryAttack(int ply, int move, int nextThrees, bool mustThreaten) {
    ShapeBoard& board = *board_;
    board.play(move);
    const bool won = (!mustThreaten || winningSquares(board, attacker_) > 0) && defend(ply + 1, nextThrees);
    board.undo();
    if (won) {
        pv_[ply][0] = move;
        for (int i = 0; i < pvLength_[ply + 1]; ++i)
            pv_[ply][i + 1] = pv_[ply + 1][i];
        pvLength_[ply] = pvLength_[ply + 1] + 1;
    }
    return won;
}

// The attacker to move, with at most `threes` open threes left to play.
bool ThreatSearch::attack(int ply, int threes) {
    ShapeBoard& board = *board_;
    const int a = attacker_, d = 1 - a;
    pvLength_[ply] = 0;
    ++nodes_;
    if (outOfBudget()) {
        aborted_ = true;
        return false;
    }
    if (board.count(a, SHAPE_FIVE) > 0) {
        pv_[ply][0] = board.squares(a, SHAPE_FIVE)[0];
        pvLength_[ply] = 1;
        return true;
    }
    const int defenderFives = board.count(d, SHAPE_FIVE);
    if (defenderFives >= 2)
        return false;
    // Room for a move, the reply and the five.
    if (ply + 3 > MAX_THREAT_LINE) {
        ++truncations_;
        return false;
    }
    const std::uint64_t key = board.key();
    int ttMove = -1;
    if (const Entry* e = probe(key)) {
        if (e->result == WIN) {
            if (!wantLine_)
                return true;
            ttMove = e->move;
        } else if (e->threes >= threes) {
            if (e->threes != ANY_THREES)
                ++limitHits_;
            return false;
        }
    }

    const std::uint64_t truncationsBefore = truncations_;
    const std::uint64_t limitsBefore = limitHits_;
    std::int16_t moves[SQUARE_NB];
    int n = 0;
    int firstTested = SQUARE_NB;
    if (defenderFives == 1) {
        // The block is forced whatever it makes; if it is no threat, the defender
        // moves again against the threats still standing.
        moves[n++] = board.squares(d, SHAPE_FIVE)[0];
    } else {
        n = appendSquares(board, a, SHAPE_OPEN_FOUR, moves, n);
        n = appendSquares(board, a, SHAPE_FOUR_FOUR, moves, n);
        n = appendSquares(board, a, SHAPE_FOUR_THREE, moves, n);
        const int sorted = n;
        const bool anyThree = board.count(a, SHAPE_THREE) + board.count(a, SHAPE_THREE_THREE) > 0;
        // A three gives the defender a free move: with a VCF of its own it wins,
        // unless the three stands on that VCF's line or blocks the defender's
        // open-four squares. (A three that breaks the VCF from elsewhere is left
        // out: a missed win at worst.)
        bool threesUseful = threes > 0 && anyThree;
        bool onlyOnLine = false;
        bool onLine[SQUARE_NB];
        if (threesUseful) {
            board.playNull();
            attacker_ = d;
            const bool lineWanted = wantLine_;
            wantLine_ = true;
            const bool defenderWins = attack(ply + 1, 0);
            wantLine_ = lineWanted;
            attacker_ = a;
            board.undo();
            if (aborted_)
                return false;
            if (defenderWins) {
                onlyOnLine = true;
                std::fill(onLine, onLine + SQUARE_NB, false);
                for (int i = 0; i < pvLength_[ply + 1]; ++i)
                    onLine[pv_[ply + 1][i]] = true;
                // Against an open three of the defender, its blocks as well.
                std::int16_t blocks[SQUARE_NB];
                const int blockCount = winningSquareBlocks(board, d, blocks);
                for (int i = 0; i < blockCount; ++i)
                    onLine[blocks[i]] = true;
            }
        }
        auto appendThrees = [&](Shape shape) {
            for (std::int16_t s : board.squares(a, shape))
                if (!onlyOnLine || onLine[s])
                    moves[n++] = s;
        };
        if (threesUseful)
            appendThrees(SHAPE_THREE_THREE);
        n = appendSquares(board, a, SHAPE_FOUR, moves, n);
        if (threesUseful) {
            appendThrees(SHAPE_THREE);
            // Closed threes that may make a double-four square: threats only when
            // they do, which playing them tells.
            firstTested = n;
            appendThrees(SHAPE_CLOSED_THREE);
            for (std::int16_t s : board.squares(a, SHAPE_TWO_TWO))
                for (int dir = 0; dir < DIRECTION_NB; ++dir)
                    if (board.lineClass(s, a, dir) == LINE_CLOSED_THREE && (!onlyOnLine || onLine[s])) {
                        moves[n++] = s;
                        break;
                    }
        } else if (threes == 0 && (anyThree || board.count(a, SHAPE_CLOSED_THREE) > 0)) {
            ++limitHits_;
        }
        // Within each group, the squares worth most to both sides first.
        sortByValue(board, moves, sorted, firstTested < n ? firstTested : n);
        if (firstTested < n)
            sortByValue(board, moves, firstTested, n);
    }
    if (ttMove >= 0)
        for (int i = 1; i < n; ++i)
            if (moves[i] == ttMove) {
                std::swap(moves[0], moves[i]);
                break;
            }

    for (int i = 0; i < n; ++i) {
        const int m = moves[i];
        const Shape shape = board.shape(m, a);
        const bool tested = i >= firstTested;
        const int nextThrees = (tested || isThreeShape(shape)) && threes > 0 ? threes - 1 : threes;
        const bool won = tryAttack(ply, m, nextThrees, tested);
        if (aborted_)
            return false;
        if (won) {
            store(key, WIN, threes, m);
            return true;
        }
    }
    if (truncations_ == truncationsBefore)
        store(key, FAIL, limitHits_ == limitsBefore ? ANY_THREES : threes, -1);
    return false;
}

// The defender to move after the attacker's threat.
bool ThreatSearch::defend(int ply, int threes) {
    ShapeBoard& board = *board_;
    const int a = attacker_, d = 1 - a;
    pvLength_[ply] = 0;
    ++nodes_;
    if (outOfBudget()) {
        aborted_ = true;
        return false;
    }
    if (board.count(d, SHAPE_FIVE) > 0)
        return false;
    const int attackerFives = board.count(a, SHAPE_FIVE);
    if (attackerFives >= 2) {
        pv_[ply][0] = board.squares(a, SHAPE_FIVE)[0];
        pv_[ply][1] = board.squares(a, SHAPE_FIVE)[1];
        pvLength_[ply] = 2;
        return true;
    }
    auto follow = [&](int reply) {
        board.play(reply);
        const bool won = attack(ply + 1, threes);
        board.undo();
        if (won && pvLength_[ply + 1] + 1 > pvLength_[ply]) {
            pv_[ply][0] = reply;
            for (int i = 0; i < pvLength_[ply + 1]; ++i)
                pv_[ply][i + 1] = pv_[ply + 1][i];
            pvLength_[ply] = pvLength_[ply + 1] + 1;
        }
        return won;
    };
    if (attackerFives == 1)
        return follow(board.squares(a, SHAPE_FIVE)[0]);

    if (winningSquares(board, a) == 0)
        return false;  // no threat stands: the defender has a free move
    std::int16_t kills[SQUARE_NB];
    const int killCount = winningSquareBlocks(board, a, kills);
    bool tried[SQUARE_NB] = {};
    for (int i = 0; i < killCount; ++i) {
        const int c = kills[i];
        tried[c] = true;
        const bool defenderFour = isFourShape(board.shape(c, d));
        board.play(c);
        const bool holds = defenderFour || winningSquares(board, a) == 0;
        bool won = true;
        if (holds)
            won = attack(ply + 1, threes);
        board.undo();
        if (aborted_ || !won)
            return false;
        if (holds && pvLength_[ply + 1] + 1 > pvLength_[ply]) {
            pv_[ply][0] = c;
            for (int j = 0; j < pvLength_[ply + 1]; ++j)
                pv_[ply][j + 1] = pv_[ply + 1][j];
            pvLength_[ply] = pvLength_[ply + 1] + 1;
        }
    }
    // The defender's own fours, which the attacker must answer.
    std::int16_t fours[SQUARE_NB];
    int fourCount = 0;
    for (int sh = SHAPE_FOUR; sh <= SHAPE_OPEN_FOUR; ++sh)
        fourCount = appendSquares(board, d, static_cast<Shape>(sh), fours, fourCount);
    for (int i = 0; i < fourCount; ++i) {
        if (tried[fours[i]])
            continue;
        const bool won = follow(fours[i]);
        if (aborted_ || !won)
            return false;
    }
    // Every reply that could matter is refuted; any other leaves a winning square
    // standing. When none needed searching, the line shows one such reply.
    if (pvLength_[ply] == 0 && wantLine_) {
        int reply = killCount > 0 ? kills[0] : -1;
        for (int s = 0; reply < 0 && s < SQUARE_NB; ++s)
            if (board.isEmpty(s))
                reply = s;
        if (reply < 0 || !follow(reply))
            return false;
    }
    return true;
}

int ThreatSearch::opponentThreat(ShapeBoard& board, bool withThrees, std::uint64_t nodeBudget, int* defences,
                                 int maxDefences) {
    board.playNull();
    const bool found = withThrees ? vct(board, nodeBudget, &threatLine_) : vcf(board, nodeBudget, &threatLine_);
    if (!found) {
        board.undo();
        threatLine_.length = 0;
        return 0;
    }
    bool seen[SQUARE_NB] = {};
    int n = 0;
    auto add = [&](int s) {
        if (n < maxDefences && s >= 0 && s < SQUARE_NB && !seen[s] && board.isEmpty(s)) {
            seen[s] = true;
            defences[n++] = s;
        }
    };
    for (int i = 0; i < threatLine_.length; ++i)
        add(threatLine_.moves[i]);
    // The blocks of each three along the line (a four's block is the reply
    // already listed), replayed after the null move.
    const int opponent = board.sideToMove();
    int played = 0;
    for (int i = 0; i + 1 < threatLine_.length; i += 2) {
        board.play(threatLine_.moves[i]);
        ++played;
        if (board.count(opponent, SHAPE_FIVE) == 0) {
            std::int16_t blocks[SQUARE_NB];
            const int blockCount = winningSquareBlocks(board, opponent, blocks);
            for (int k = 0; k < blockCount; ++k)
                add(blocks[k]);
        }
        board.play(threatLine_.moves[i + 1]);
        ++played;
    }
    while (played-- > 0)
        board.undo();
    board.undo();
    const int me = board.sideToMove();
    for (int sh = SHAPE_FOUR; sh <= SHAPE_FIVE; ++sh)
        for (std::int16_t s : board.squares(me, static_cast<Shape>(sh)))
            add(s);
    return n;
}

} // namespace kelmo
