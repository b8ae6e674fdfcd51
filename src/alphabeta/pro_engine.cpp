// The pro search: root threat checks, iterative deepening with aspiration windows, principal-variation
// alpha-beta with a transposition table, forced replies, killer and history ordering, late-move
// reductions, and a VCF probe at the horizon.
#include "alphabeta/pro_engine.h"

#include <algorithm>


namespace kelmo {

namespace {

// Moves looked at per node away from the threats, by distance from the root: wide near it, where a missed
// square costs most, narrow deep down, where the count multiplies.
constexpr int WIDTH_BY_PLY[] = {30, 16, 13, 11, 10, 9, 8};
constexpr int widthAt(int ply) { return ply < 7 ? WIDTH_BY_PLY[ply] : 7; }

// Nodes between two looks at the clock and the node cap.
constexpr std::uint64_t POLL_INTERVAL = 1024;

// On the clock, the root's VCT gets at most this share of the turn, at the speed the root's VCF showed or,
// when that was too quick to time, at an assumed speed: well below what the threat search does on a
// desktop core (over a million nodes a second), and the search's deadline stops it on a slower machine.
constexpr std::int64_t ROOT_VCT_PERCENT = 30;
constexpr std::uint64_t ASSUMED_NODES_PER_MS = 1000;

// The VCT check after each root move, when the opponent has a threat behind a pass: this many times the
// nodes that found it, and no fewer than the floor.
constexpr std::uint64_t SAFETY_VCT_FACTOR = 8;
constexpr std::uint64_t SAFETY_VCT_FLOOR = 2000;

// Root moves tried, in the search's order, when the chosen one turns out to lose to threes.
constexpr int VERIFY_MOVES = 4;

// On the clock, the search stops at the start of the hard limit's last sixteenth, which is kept for checking
// the chosen move (that check always runs: the threat search's deadline is the hard limit). A further
// candidate is checked only before the last thirty-second.
constexpr std::int64_t CHECK_SHARE = 16;
constexpr std::int64_t FURTHER_CHECK_SHARE = 32;

// Mate scores are stored relative to the node, read back relative to the root.
int toTable(int score, int ply) {
    if (score >= SCORE_MATE_BOUND)
        return score + ply;
    if (score <= -SCORE_MATE_BOUND)
        return score - ply;
    return score;
}

int fromTable(int score, int ply) {
    if (score >= SCORE_MATE_BOUND)
        return score - ply;
    if (score <= -SCORE_MATE_BOUND)
        return score + ply;
    return score;
}

// A sorted list of the best few squares: keys descending, ties in arrival order.
struct TopList {
    int capacity;
    int count = 0;
    int square[MAX_MOVES];
    int key[MAX_MOVES];

    explicit TopList(int cap) : capacity(cap < MAX_MOVES ? cap : MAX_MOVES) {}

    void offer(int s, int k) {
        if (count == capacity && k <= key[count - 1])
            return;
        int i = count < capacity ? count++ : count - 1;
        while (i > 0 && key[i - 1] < k) {
            key[i] = key[i - 1];
            square[i] = square[i - 1];
            --i;
        }
        key[i] = k;
        square[i] = s;
    }
};

// Moves `move` to the front of list[0, n) when it is there; true if it was.
bool bringToFront(int* list, int n, int move, int from = 0) {
    for (int i = from; i < n; ++i)
        if (list[i] == move) {
            for (int j = i; j > from; --j)
                list[j] = list[j - 1];
            list[from] = move;
            return true;
        }
    return false;
}

} // namespace

ProEngine::ProEngine(std::size_t tableBytes) : threats_(tableBytes / 4), table_(tableBytes - tableBytes / 4) {
    tableBytes_ = table_.bytes() + threats_.tableBytes();
    clear();
}

void ProEngine::resize(std::size_t tableBytes) {
    threats_.resize(tableBytes / 4);
    table_.resize(tableBytes - tableBytes / 4);
    tableBytes_ = table_.bytes() + threats_.tableBytes();
    clear();
}

void ProEngine::clear() {
    threats_.clear();
    table_.clear();
    std::fill(&history_[0][0], &history_[0][0] + PLAYER_NB * SQUARE_NB, 0);
    std::fill(&killers_[0][0], &killers_[0][0] + MAX_PLY * 2, -1);
}

std::int64_t ProEngine::elapsedMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count();
}

void ProEngine::pollStop() {
    if (limits_.nodeCap && nodes_ >= limits_.nodeCap)
        stop_ = true;
    if (limits_.hardMs > 0 && elapsedMs() >= limits_.hardMs - limits_.hardMs / CHECK_SHARE)
        stop_ = true;
}

void ProEngine::countThreatNodes() {
    nodes_ += threats_.nodes();
    if (nodes_ >= nextPoll_) {
        nextPoll_ = nodes_ + POLL_INTERVAL;
        pollStop();
    }
}

std::uint64_t ProEngine::budget(Budget b) const {
    if (limits_.hardMs <= 0)
        return b.fixed;
    return std::max<std::uint64_t>(500, static_cast<std::uint64_t>(limits_.hardMs) * b.perMs);
}

bool ProEngine::opponentHasVcf(std::uint64_t budget) {
    const bool won = threats_.vcf(board_, budget, nullptr);
    countThreatNodes();
    return won;
}

void ProEngine::updatePv(int ply, int move) {
    pv_[ply][ply] = move;
    const int childLength = ply + 1 < MAX_PLY ? pvLength_[ply + 1] : ply + 1;
    for (int i = ply + 1; i < childLength; ++i)
        pv_[ply][i] = pv_[ply + 1][i];
    pvLength_[ply] = std::max(childLength, ply + 1);
}

void ProEngine::fillIteration(ProIteration& it, int depth, int score) const {
    it.depth = depth;
    it.score = score;
    it.mateIn = score >= SCORE_MATE_BOUND ? SCORE_MATE - score : score <= -SCORE_MATE_BOUND ? -(SCORE_MATE + score) : 0;
    it.nodes = nodes_;
    it.elapsedMs = elapsedMs();
    it.pvLength = std::min(pvLength_[0], MAX_PV);
    for (int i = 0; i < it.pvLength; ++i)
        it.pv[i] = pv_[0][i];
    // A win is claimed only with every move of it shown; a longer one is reported by its score alone.
    if (it.mateIn > 0 && it.pvLength < it.mateIn)
        it.mateIn = 0;
}

// The squares that answer the opponent's threats of a win in its next move (an open four, a double four or
// a four-three to be made): those near every threat square along its lines, where a stone can spoil them
// all, and the side to move's own fours, which gain a move. The search tries each; the rest lose.
int ProEngine::defences(int* out, int capacity) {
    const int me = board_.sideToMove();
    std::int16_t blocks[SQUARE_NB];
    const int blockCount = winningSquareBlocks(board_, 1 - me, blocks, true);
    int n = 0;
    bool listed[SQUARE_NB] = {};
    auto add = [&](int s) {
        if (n < capacity && !listed[s]) {
            listed[s] = true;
            out[n++] = s;
        }
    };
    for (int i = 0; i < blockCount; ++i)
        add(blocks[i]);
    for (int sh = SHAPE_FOUR; sh < SHAPE_FIVE; ++sh)
        for (std::int16_t s : board_.squares(me, static_cast<Shape>(sh)))
            add(s);
    return n;
}

int ProEngine::generate(int ply, int ttMove, bool& forced) {
    const int me = board_.sideToMove();
    const int other = 1 - me;
    int* out = moves_[ply];
    forced = false;

    // A five of the opponent's to block: the one move (two of them lose anyway; the caller sees that).
    if (board_.count(other, SHAPE_FIVE) > 0) {
        forced = true;
        out[0] = board_.squares(other, SHAPE_FIVE)[0];
        return 1;
    }

    int n = 0;
    if (board_.count(other, SHAPE_OPEN_FOUR) + board_.count(other, SHAPE_FOUR_FOUR) +
            board_.count(other, SHAPE_FOUR_THREE) > 0) {
        forced = true;
        n = defences(out, MAX_MOVES);
    } else if (ply <= 1) {
        // Near the root, a threat of continuous fours that no single shape shows.
        int found[MAX_MOVES];
        const std::uint64_t nodes = ply == 0 ? budget(budgets_.rootThreat) : budgets_.nearRootThreat;
        const int count = threats_.opponentThreat(board_, false, nodes, found, MAX_MOVES);
        countThreatNodes();
        if (count > 0) {
            forced = true;
            for (int i = 0; i < count; ++i)
                out[n++] = found[i];
        }
    }

    if (forced) {
        if (n == 0) {
            // Nothing answers every threat: one move is enough for the search to see the loss.
            TopList top(1);
            for (std::int16_t s : board_.inPlay())
                top.offer(s, moveValue(board_, s));
            if (top.count == 0)
                return 0;
            out[0] = top.square[0];
            return 1;
        }
        // Order the answers as any other moves.
        TopList top(n);
        for (int i = 0; i < n; ++i)
            top.offer(out[i], moveValue(board_, out[i]));
        for (int i = 0; i < n; ++i)
            out[i] = top.square[i];
    } else {
        TopList top(widthAt(ply));
        for (std::int16_t s : board_.inPlay())
            top.offer(s, moveValue(board_, s) + std::min(history_[me][s] >> 6, 64));
        n = top.count;
        for (int i = 0; i < n; ++i)
            out[i] = top.square[i];
        // The transposition table's move is worth looking at even when the shapes rank it lower.
        if (ttMove >= 0 && board_.isEmpty(ttMove) && !bringToFront(out, n, ttMove) && n < MAX_MOVES) {
            for (int j = n; j > 0; --j)
                out[j] = out[j - 1];
            out[0] = ttMove;
            ++n;
        }
        int front = ttMove >= 0 && n > 0 && out[0] == ttMove ? 1 : 0;
        for (int k = 0; k < 2; ++k) {
            const int killer = killers_[ply][k];
            if (killer >= 0 && killer != ttMove && bringToFront(out, n, killer, front))
                ++front;
        }
        return n;
    }
    if (ttMove >= 0)
        bringToFront(out, n, ttMove);
    return n;
}

// The side to move has an open four or a double four to make and the opponent no four to answer with: the
// move, a block of one of its fives, the other five.
int ProEngine::winInThree(int ply) {
    const int me = board_.sideToMove();
    const int move = board_.count(me, SHAPE_OPEN_FOUR) > 0 ? board_.squares(me, SHAPE_OPEN_FOUR)[0]
                                                           : board_.squares(me, SHAPE_FOUR_FOUR)[0];
    if (ply + 3 <= MAX_PLY) {
        board_.play(move);
        pv_[ply][ply] = move;
        pv_[ply][ply + 1] = board_.squares(me, SHAPE_FIVE)[0];
        pv_[ply][ply + 2] = board_.squares(me, SHAPE_FIVE)[1];
        pvLength_[ply] = ply + 3;
        board_.undo();
    }
    return SCORE_MATE - ply - 3;
}

int ProEngine::horizon(int ply) {
    const int me = board_.sideToMove();
    const int other = 1 - me;
    // Neither side has a five to make (the caller saw to that).
    if (board_.countAtLeast(me, SHAPE_FOUR) > 0) {
        if (board_.count(me, SHAPE_OPEN_FOUR) + board_.count(me, SHAPE_FOUR_FOUR) > 0 &&
            board_.countAtLeast(other, SHAPE_FOUR) == 0)
            return winInThree(ply);
        ThreatLine line;
        const bool won = threats_.vcf(board_, budgets_.horizon, &line);
        countThreatNodes();
        if (won) {
            // The line goes into the principal variation: a mate is reported with the moves that make it.
            const int length = std::min(line.length, MAX_PLY - ply);
            for (int i = 0; i < length; ++i)
                pv_[ply][ply + i] = line.moves[i];
            pvLength_[ply] = ply + length;
            return SCORE_MATE - ply - line.length;
        }
    }
    return evaluate(board_, weights_);
}

int ProEngine::alphaBeta(int depth, int ply, int alpha, int beta) {
    pvLength_[ply] = ply;
    if (++nodes_ >= nextPoll_) {
        nextPoll_ = nodes_ + POLL_INTERVAL;
        pollStop();
    }
    if (stop_)
        return 0;

    const int me = board_.sideToMove();
    const int other = 1 - me;
    if (board_.count(me, SHAPE_FIVE) > 0) {
        pv_[ply][ply] = board_.squares(me, SHAPE_FIVE)[0];
        pvLength_[ply] = ply + 1;
        return SCORE_MATE - ply - 1;
    }
    // No line from here is shorter than these.
    alpha = std::max(alpha, -SCORE_MATE + ply + 2);
    beta = std::min(beta, SCORE_MATE - ply - 1);
    if (alpha >= beta)
        return alpha;
    const int opponentFives = board_.count(other, SHAPE_FIVE);
    if (opponentFives >= 2) {
        // Whichever five is blocked, the other is made.
        if (ply + 2 <= MAX_PLY) {
            pv_[ply][ply] = board_.squares(other, SHAPE_FIVE)[0];
            pv_[ply][ply + 1] = board_.squares(other, SHAPE_FIVE)[1];
            pvLength_[ply] = ply + 2;
        }
        return -(SCORE_MATE - ply - 2);
    }
    if (ply >= MAX_PLY - 2)
        return evaluate(board_, weights_);
    // A five to block is played out past the horizon: the line is forced, and a four is no quiet position.
    if (depth <= 0 && opponentFives == 0)
        return horizon(ply);
    if (opponentFives == 0 && board_.count(me, SHAPE_OPEN_FOUR) + board_.count(me, SHAPE_FOUR_FOUR) > 0 &&
        board_.countAtLeast(other, SHAPE_FOUR) == 0)
        return winInThree(ply);

    const bool pvNode = beta - alpha > 1;
    const std::uint64_t key = board_.key();
    int ttMove = -1;
    if (const TtEntry* entry = table_.probe(key)) {
        ttMove = entry->move;
        if (!pvNode && entry->depth >= depth) {
            const int s = fromTable(entry->score, ply);
            if (entry->bound == BOUND_EXACT || (entry->bound == BOUND_LOWER && s >= beta) ||
                (entry->bound == BOUND_UPPER && s <= alpha))
                return s;
        }
    }

    bool forced = false;
    const int n = generate(ply, ttMove, forced);
    if (n == 0)
        return 0;  // a full board: a draw

    const int originalAlpha = alpha;
    int best = -SCORE_INFINITE;
    int bestMove = -1;
    for (int i = 0; i < n; ++i) {
        const int m = moves_[ply][i];
        // A single reply costs no depth: the line it belongs to is as forced as it gets.
        const int newDepth = n == 1 ? depth : depth - 1;
        const bool quiet = !forced && i >= 3 && m != killers_[ply][0] && m != killers_[ply][1] &&
                           board_.shape(m, me) < SHAPE_THREE && board_.shape(m, other) < SHAPE_THREE;
        board_.play(m);
        int score;
        if (i == 0) {
            score = -alphaBeta(newDepth, ply + 1, -beta, -alpha);
        } else {
            int reduction = 0;
            if (quiet && depth >= 3)
                reduction = i >= 8 && depth >= 5 ? 2 : 1;
            score = -alphaBeta(newDepth - reduction, ply + 1, -alpha - 1, -alpha);
            if (score > alpha && reduction)
                score = -alphaBeta(newDepth, ply + 1, -alpha - 1, -alpha);
            if (score > alpha && score < beta)
                score = -alphaBeta(newDepth, ply + 1, -beta, -alpha);
        }
        board_.undo();
        if (stop_)
            return 0;
        if (score > best) {
            best = score;
            bestMove = m;
            if (score > alpha) {
                alpha = score;
                updatePv(ply, m);
                if (alpha >= beta) {
                    if (!forced) {
                        if (killers_[ply][0] != m) {
                            killers_[ply][1] = killers_[ply][0];
                            killers_[ply][0] = m;
                        }
                        int& h = history_[me][m];
                        h += depth * depth;
                        if (h > (1 << 20))
                            for (int p = 0; p < PLAYER_NB; ++p)
                                for (int& v : history_[p])
                                    v /= 2;
                    }
                    break;
                }
            }
        }
    }
    // A loss is proven only when every move was looked at: behind the best few squares, it is a bad position.
    if (best <= -SCORE_MATE_BOUND && !forced && n < board_.inPlayCount())
        best = -UNPROVEN_LOSS;
    const Bound bound = best >= beta ? BOUND_LOWER : best > originalAlpha ? BOUND_EXACT : BOUND_UPPER;
    table_.store(key, toTable(best, ply), bestMove, depth, bound);
    return best;
}

int ProEngine::rootSearch(int depth, int alpha, int beta, int& bestIndex) {
    pvLength_[0] = 0;
    bestIndex = -1;
    int best = -SCORE_INFINITE;
    for (int i = 0; i < rootCount_; ++i) {
        const int m = root_[i].square;
        board_.play(m);
        int score;
        if (i == 0) {
            score = -alphaBeta(depth - 1, 1, -beta, -alpha);
        } else {
            score = -alphaBeta(depth - 1, 1, -alpha - 1, -alpha);
            if (score > alpha && score < beta)
                score = -alphaBeta(depth - 1, 1, -beta, -alpha);
        }
        board_.undo();
        if (stop_)
            break;
        root_[i].score = score;
        if (score > best) {
            best = score;
            if (score > alpha) {
                bestIndex = i;
                alpha = score;
                updatePv(0, m);
                if (score >= beta)
                    break;
            }
        }
    }
    return best;
}

ProResult ProEngine::search(std::span<const Stone> stones, int sideToMove, const ProLimits& limits,
                            ProProgress* progress) {
    start_ = std::chrono::steady_clock::now();
    limits_ = limits;
    if (limits.hardMs > 0)
        threats_.setDeadline(start_ + std::chrono::milliseconds(limits.hardMs));
    else
        threats_.clearDeadline();
    nodes_ = 0;
    nextPoll_ = POLL_INTERVAL;
    stop_ = false;
    board_.setUp(stones, sideToMove);
    table_.newSearch();
    std::fill(&killers_[0][0], &killers_[0][0] + MAX_PLY * 2, -1);

    ProResult result;
    const int me = board_.sideToMove();
    const int other = 1 - me;
    auto finish = [&](int square, int depth, int score) {
        result.square = square;
        pv_[0][0] = square;
        pvLength_[0] = square >= 0 ? 1 : 0;
        fillIteration(result.last, depth, score);
        return result;
    };

    if (board_.stoneCount() == 0)
        return finish(CENTRE, 0, 0);
    if (board_.inPlayCount() == 0) {
        for (int s = 0; s < SQUARE_NB; ++s)
            if (board_.isEmpty(s))
                return finish(s, 0, 0);
        return finish(-1, 0, 0);
    }

    // A five to make, a five to block.
    if (board_.count(me, SHAPE_FIVE) > 0) {
        const int s = board_.squares(me, SHAPE_FIVE)[0];
        result.provenWin = true;
        result.winLine.length = 1;
        result.winLine.moves[0] = s;
        return finish(s, 1, SCORE_MATE - 1);
    }
    if (board_.count(other, SHAPE_FIVE) > 1)
        return finish(board_.squares(other, SHAPE_FIVE)[0], 1, -(SCORE_MATE - 2));

    // A proven win is played at once, with its line. The threat search plays a forced block itself.
    {
        ThreatLine line;
        bool won = threats_.vcf(board_, budget(budgets_.rootVcf), &line);
        countThreatNodes();
        if (!won) {
            std::uint64_t nodes = budget(budgets_.rootVct);
            if (limits.hardMs > 0) {
                // The threat search has no clock: on a busy machine its budget shrinks to what a share of
                // the turn affords at the speed the VCF just showed.
                const std::int64_t spent = elapsedMs();
                const std::uint64_t perMs =
                    spent >= 10 ? nodes_ / static_cast<std::uint64_t>(spent) : ASSUMED_NODES_PER_MS;
                const std::int64_t share = limits.hardMs * ROOT_VCT_PERCENT / 100 - spent;
                const std::uint64_t affordable = share > 0 ? perMs * static_cast<std::uint64_t>(share) : 0;
                nodes = std::min(nodes, std::max<std::uint64_t>(500, affordable));
            }
            won = threats_.vct(board_, nodes, &line);
            countThreatNodes();
        }
        if (won && line.length > 0) {
            result.provenWin = true;
            result.winLine = line;
            result.square = line.moves[0];
            pvLength_[0] = std::min(line.length, MAX_PLY);
            for (int i = 0; i < pvLength_[0]; ++i)
                pv_[0][i] = line.moves[i];
            fillIteration(result.last, 0, SCORE_MATE - line.length);
            result.last.mateIn = line.length;  // the whole line is in winLine, however long
            return result;
        }
    }

    // A five to block and no win through it: the block is the one move.
    if (board_.count(other, SHAPE_FIVE) > 0)
        return finish(board_.squares(other, SHAPE_FIVE)[0], 1, 0);

    // The root's moves: the answers to the opponent's threats, or the best squares.
    bool forced = false;
    const int generated = generate(0, -1, forced);
    rootCount_ = 0;
    for (int i = 0; i < generated; ++i)
        root_[rootCount_++] = {moves_[0][i], 0};

    // A threat of threes and fours that the opponent could start if the side to move passed: its answers
    // (the squares of its line, the blocks of each three on it, the side to move's own fours) join the
    // best squares, which may all lose to it; the checks below keep the ones that hold.
    std::uint64_t safetyVctNodes = budget(budgets_.safetyVct);
    if (!forced) {
        int found[MAX_MOVES];
        const int count = threats_.opponentThreat(board_, true, budget(budgets_.rootThreatVct), found, MAX_MOVES);
        // A move that leaves this threat standing loses to it in about as many nodes as it took to find: a
        // few times that is enough to see it, and the moves that hold stop costing the full budget.
        if (count > 0)
            safetyVctNodes =
                std::min(safetyVctNodes, std::max(SAFETY_VCT_FLOOR, SAFETY_VCT_FACTOR * threats_.nodes()));
        countThreatNodes();
        for (int i = 0; i < count && rootCount_ < MAX_MOVES * 2; ++i) {
            bool listed = false;
            for (int j = 0; j < rootCount_ && !listed; ++j)
                listed = root_[j].square == found[i];
            if (!listed)
                root_[rootCount_++] = {found[i], 0};
        }
    }

    // A move after which the opponent wins by fours is dropped while another move holds; then, as far as
    // the threat search can tell within its budget, one after which it wins by threes.
    if (rootCount_ > 1) {
        // 2 when the opponent wins by fours after the move, 1 by threes, 0 when neither is found, -1 when
        // the clock left no time to look. On the clock, the checks give way to the search after a share of
        // the turn.
        auto lossAfter = [&](int square, bool threes) {
            if (limits.hardMs > 0 && elapsedMs() * 2 >= limits.hardMs)
                return -1;
            board_.play(square);
            int loss = opponentHasVcf(budget(budgets_.safety)) ? 2 : 0;
            if (loss == 0 && threes) {
                if (limits.hardMs <= 0 || elapsedMs() * 3 < limits.hardMs) {
                    loss = threats_.vct(board_, safetyVctNodes, nullptr) ? 1 : 0;
                    countThreatNodes();
                } else {
                    loss = -1;
                }
            }
            board_.undo();
            return loss;
        };
        int losesTo[MAX_MOVES * 2];
        int leastLoss = 2;
        for (int i = 0; i < rootCount_; ++i) {
            // A move not checked counts as safe.
            losesTo[i] = std::max(0, lossAfter(root_[i].square, true));
            leastLoss = std::min(leastLoss, losesTo[i]);
        }
        // Every move listed loses, as far as the checks can tell: another square in play may hold where
        // they do not (a quiet block ahead of the threat, a threat of the side to move's own elsewhere).
        // The best of them by shape are checked the same way while the turn allows, and those that lose
        // less join the list.
        if (leastLoss > 0) {
            const int listedLoss = leastLoss;
            bool listed[SQUARE_NB] = {};
            for (int i = 0; i < rootCount_; ++i)
                listed[root_[i].square] = true;
            TopList others(MAX_MOVES);
            for (std::int16_t s : board_.inPlay())
                if (!listed[s])
                    others.offer(s, moveValue(board_, s));
            for (int k = 0; k < others.count && rootCount_ < MAX_MOVES * 2; ++k) {
                const int loss = lossAfter(others.square[k], listedLoss == 1);
                if (loss < 0)
                    break;
                if (loss < listedLoss) {
                    losesTo[rootCount_] = loss;
                    root_[rootCount_++] = {others.square[k], 0};
                    leastLoss = std::min(leastLoss, loss);
                }
            }
        }
        int kept = 0;
        for (int i = 0; i < rootCount_; ++i)
            if (losesTo[i] == leastLoss)
                root_[kept++] = root_[i];
        rootCount_ = kept;
    }
    if (stop_)
        stop_ = false;  // the root's checks are not abandoned; the first iteration always gets its start

    const int maxDepth = limits.maxDepth > 0 ? std::min(limits.maxDepth, MAX_SEARCH_DEPTH) : MAX_SEARCH_DEPTH;
    int chosen = root_[0].square;
    fillIteration(result.last, 0, 0);
    result.last.pvLength = 1;
    result.last.pv[0] = chosen;
    int previousScore = 0;
    for (int depth = 1; depth <= maxDepth; ++depth) {
        if (depth > 1 && limits.softMs > 0 && elapsedMs() >= limits.softMs)
            break;
        int delta = 60;
        int alpha = -SCORE_INFINITE, beta = SCORE_INFINITE;
        if (depth >= 3 && !isMateScore(previousScore)) {
            alpha = previousScore - delta;
            beta = previousScore + delta;
        }
        int score = 0;
        int bestIndex = -1;
        int improvedIndex = -1;  // a root move that beat the window in a finished search this iteration
        for (;;) {
            score = rootSearch(depth, alpha, beta, bestIndex);
            if (bestIndex >= 0)
                improvedIndex = bestIndex;
            if (stop_)
                break;
            if (score <= alpha && alpha > -SCORE_INFINITE) {
                alpha = std::max(score - delta, -SCORE_INFINITE);
                delta *= 4;
            } else if (score >= beta && beta < SCORE_INFINITE) {
                beta = std::min(score + delta, SCORE_INFINITE);
                delta *= 4;
                // The move that failed high leads the re-search.
                const RootMove lead = root_[bestIndex];
                for (int j = bestIndex; j > 0; --j)
                    root_[j] = root_[j - 1];
                root_[0] = lead;
                improvedIndex = 0;
            } else {
                break;
            }
        }
        if (stop_) {
            // An unfinished iteration counts only for a move that already beat the last one's.
            if (improvedIndex > 0)
                chosen = root_[improvedIndex].square;
            break;
        }
        // The best move leads the next iteration; the others keep their order.
        if (bestIndex > 0) {
            const RootMove lead = root_[bestIndex];
            for (int j = bestIndex; j > 0; --j)
                root_[j] = root_[j - 1];
            root_[0] = lead;
        }
        chosen = root_[0].square;
        previousScore = score;
        fillIteration(result.last, depth, score);
        if (progress)
            progress->iterationDone(result.last);
        if (isMateScore(score) || rootCount_ == 1)
            break;
    }
    result.square = verifiedMove(chosen, limits);
    if (result.square != chosen) {
        result.last.pvLength = 1;
        result.last.pv[0] = result.square;
    }
    return result;
}

// The chosen move once more against the opponent's threats, with a longer look than the root's first
// check: when it loses to a VCT after all, the next root moves in the search's order take its place.
int ProEngine::verifiedMove(int chosen, const ProLimits& limits) {
    if (rootCount_ <= 1)
        return chosen;
    const std::uint64_t nodes = budget(budgets_.verify);
    int candidate = chosen;
    int next = 0;
    for (int tried = 0; tried < VERIFY_MOVES; ++tried) {
        if (tried > 0 && limits.hardMs > 0 && elapsedMs() >= limits.hardMs - limits.hardMs / FURTHER_CHECK_SHARE)
            return candidate;
        board_.play(candidate);
        const bool loses = threats_.vct(board_, nodes, nullptr);
        countThreatNodes();
        board_.undo();
        if (!loses)
            return candidate;
        // Another move is at worst not known to lose.
        while (next < rootCount_ && root_[next].square == chosen)
            ++next;
        if (next == rootCount_)
            return chosen;
        candidate = root_[next++].square;
    }
    return candidate;
}

} // namespace kelmo
