// kelmo-pro-bench: the pro search over fixed positions at a fixed depth, never under the clock, so its
// signature line (total nodes and a hash of the chosen moves, scores and nodes) is the same on every run
// and machine; a change of the signature is a change of the pro search. Then the same searches again, timed,
// for nodes per second.
//
// With --positions FILE it instead searches every labelled position of FILE (the positions folder's format,
// "win|defend|quiet x,y ... | best X,Y | ... [| lose X,Y]") for --ms milliseconds each and reports the wins
// proven and played, the defences that hold against the threat search, and any claimed win in a quiet
// position; every claimed line is replayed on a referee board.
//
//   kelmo-pro-bench [--signature] [--depth D]
//   kelmo-pro-bench --positions FILE [--ms MS] [--memory BYTES] [--verbose]
//
// With --selfplay FILE it plays every opening of FILE (lines of dx,dy pairs around the centre, black first)
// twice, colours swapped, between the built-in evaluation values and the 20 values of --weights (own, then
// opponent's, SHAPE_TWO to SHAPE_OPEN_FOUR), each move searched to --nodes nodes: a tuning match that the
// clock cannot disturb, so it gives the same games on any machine and under any load.
//
//   kelmo-pro-bench --selfplay FILE --weights "V1 ... V20" [--nodes N] [--games G]
//
// With --fit FILE... it reads kelmo-match game records (--record) and fits the evaluation values to the
// games' results: a logistic regression of "the side to move went on to win" on the counts the evaluation
// weighs, over every position of a game decided by a five where neither side has a five to make and the
// side to move has no win in two. It prints the held-out loss of the fit and of the built-in values (every
// fifth game held out), then the values fitted on every game, scaled so that the side to move's open three
// keeps its built-in value, as a --weights line. Shapes no sample shows keep their built-in values.
//
//   kelmo-pro-bench --fit FILE...
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "alphabeta/evaluation.h"
#include "alphabeta/pro_search.h"
#include "board/shape_board.h"
#include "eval_fit.h"
#include "labelled_positions.h"
#include "threat/threat_search.h"

using namespace kelmo;

namespace {

constexpr int SIGNATURE_DEPTH = 7;
constexpr std::size_t BENCH_TABLE_BYTES = std::size_t{32} << 20;

// Positions from real games (stones in the order played, the first player's first), quiet and defending
// ones, where the search has to choose on its evaluation rather than on a proof.
const char* const POSITIONS[] = {
    "9,13 7,8 13,7 11,9 12,8 11,8 11,7 12,7 13,9",
    "11,13 13,9 11,9 12,9 11,7 11,8 10,7",
    "7,10 13,9 12,10 13,8 14,10 15,10",
    "9,7 11,12 12,11 8,7 7,12 7,8 9,6 9,8 8,8 7,9",
    "10,13 9,11 10,7 11,11 8,11 10,10",
    "12,11 11,11 10,7 13,10 7,10 12,10 11,10 13,9",
    "11,13 10,13 11,8 11,14 12,8 12,15",
    "13,9 11,7 10,10 9,12 7,13 9,11 9,10 8,10 10,12 10,11 11,11 12,10 8,13",
    "11,13 13,9 11,9 12,9 11,7 11,8 10,7 12,7 10,8",
    "9,7 11,12 12,11 8,7 7,12 7,8 9,6 9,8 8,8 7,9 7,6 8,9 8,6 6,6 10,8 7,5 10,6 11,6 10,7 10,9",
    "12,13 8,12 7,12 7,13 8,13 9,11 10,10 6,11",
    "7,13 12,12 13,12 12,13 12,11 14,13 13,13 13,14",
    "13,8 9,7 7,7 9,9 8,6 10,6 9,5 10,4 8,8 8,9 6,8 5,9 9,8 7,8",
};

// The stones of a move list, the side to move as player 1 (the brain), as the brain receives a position.
std::vector<Stone> stonesOf(const std::vector<int>& moves) {
    std::vector<Stone> stones;
    const int mover = static_cast<int>(moves.size() % 2);
    for (std::size_t i = 0; i < moves.size(); ++i)
        stones.push_back({moves[i], static_cast<int>(i % 2) == mover ? 1 : 0});
    return stones;
}

std::vector<int> parseMoves(const std::string& text) {
    std::vector<int> moves;
    std::istringstream in(text);
    std::string word;
    while (in >> word) {
        int s;
        if (referee::parseMoveSquare(word, s))
            moves.push_back(s);
    }
    return moves;
}

std::uint64_t mix(std::uint64_t h, std::uint64_t v) {
    h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    return h * 0x100000001b3ULL;
}

int runFixed(int depth, bool signatureOnly) {
    std::uint64_t totalNodes = 0;
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    ProLimits limits;
    limits.maxDepth = depth;
    int index = 0;
    for (const char* text : POSITIONS) {
        ProSearch search(BENCH_TABLE_BYTES);
        const std::vector<Stone> stones = stonesOf(parseMoves(text));
        const ProResult r = search.search(stones, 1, limits, nullptr);
        totalNodes += r.last.nodes;
        hash = mix(hash, static_cast<std::uint64_t>(r.square));
        hash = mix(hash, static_cast<std::uint64_t>(static_cast<std::int64_t>(r.last.score)));
        hash = mix(hash, r.last.nodes);
        std::printf("position %2d: move %2d,%-2d depth %2d score %6d nodes %9" PRIu64 "%s\n", ++index,
                    columnOf(r.square), rowOf(r.square), r.last.depth, r.last.score, r.last.nodes,
                    r.provenWin ? " (proven win)" : "");
    }
    std::printf("signature: nodes=%" PRIu64 " hash=%016" PRIx64 "\n", totalNodes, hash);
    if (signatureOnly)
        return 0;

    // The same searches timed, each in a fresh search object, as the signature ran them.
    const auto start = std::chrono::steady_clock::now();
    std::uint64_t nodes = 0;
    for (const char* text : POSITIONS) {
        ProSearch search(BENCH_TABLE_BYTES);
        const std::vector<Stone> stones = stonesOf(parseMoves(text));
        nodes += search.search(stones, 1, limits, nullptr).last.nodes;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("timed: %" PRIu64 " nodes in %.3f s, %.0f nodes/s (wall, including table allocation)\n", nodes,
                seconds, seconds > 0 ? nodes / seconds : 0.0);
    return 0;
}

int runLabelled(const char* file, std::int64_t ms, std::size_t memory, bool verbose) {
    std::ifstream in(file);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", file);
        return 2;
    }
    std::vector<labelled::Row> positions;
    for (std::string line; std::getline(in, line);) {
        labelled::Row p;
        if (labelled::parseRow(line, p))
            positions.push_back(p);
    }
    ProSearch search(memory);
    ThreatSearch judge(std::size_t{16} << 20);
    ShapeBoard board;
    int searchMates = 0;
    int wins = 0, winsKept = 0, defends = 0, held = 0, playedLose = 0, quiets = 0, quietClaims = 0, badLines = 0;
    std::uint64_t nodes = 0;
    double seconds = 0;
    for (const labelled::Row& p : positions) {
        search.clear();
        ProLimits limits;
        limits.softMs = ms / 2;
        limits.hardMs = ms;
        const auto start = std::chrono::steady_clock::now();
        const ProResult r = search.search(stonesOf(p.moves), 1, limits, nullptr);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        nodes += r.last.nodes;
        const bool claimed = r.provenWin || r.last.mateIn > 0;
        if (r.provenWin && !labelled::lineReplays(p.moves, r.winLine.moves, r.winLine.length))
            ++badLines;
        if (!r.provenWin && r.last.mateIn > 0) {
            // A mate of the search's own: its principal variation must replay to the five.
            ++searchMates;
            if (!labelled::lineReplays(p.moves, r.last.pv, r.last.pvLength)) {
                ++badLines;
                if (verbose) {
                    std::printf("mate in %d with a line that does not replay:", r.last.mateIn);
                    for (int i = 0; i < r.last.pvLength; ++i)
                        std::printf(" %d,%d", columnOf(r.last.pv[i]), rowOf(r.last.pv[i]));
                    std::printf("\n");
                }
            }
        }
        // After the reply, does the opponent have a forced five by fours (or threes, within a budget)?
        std::vector<int> after = p.moves;
        after.push_back(r.square);
        std::vector<Stone> stones;
        for (std::size_t i = 0; i < after.size(); ++i)
            stones.push_back({after[i], static_cast<int>(i % 2)});
        board.setUp(stones, static_cast<int>(after.size() % 2));
        judge.clear();
        const bool opponentWins = judge.vcf(board, 200000, nullptr) || judge.vct(board, 200000, nullptr);
        const char* verdict = "";
        if (p.kind == "win") {
            ++wins;
            if (claimed && !opponentWins) {
                ++winsKept;
            } else {
                verdict = "win not kept";
            }
        } else if (p.kind == "defend") {
            ++defends;
            if (r.square == p.lose)
                ++playedLose;
            if (r.square != p.lose && !opponentWins) {
                ++held;
            } else {
                verdict = "defence failed";
            }
        } else {
            ++quiets;
            if (r.provenWin) {
                ++quietClaims;
                verdict = "claimed win in a quiet position";
            }
        }
        if (verbose && *verdict)
            std::printf("%s: %d,%d (depth %d score %d mate %d)\n", verdict, columnOf(r.square), rowOf(r.square),
                        r.last.depth, r.last.score, r.last.mateIn);
    }
    std::printf("win positions     %4d  won (claimed, no opponent threat after) %4d  %5.1f%%\n", wins, winsKept,
                wins ? 100.0 * winsKept / wins : 0.0);
    std::printf("defend positions  %4d  held (not lose, no threat found)        %4d  %5.1f%%  played lose %d\n",
                defends, held, defends ? 100.0 * held / defends : 0.0, playedLose);
    std::printf("quiet positions   %4d  claimed wins %d\n", quiets, quietClaims);
    std::printf("mates found by the search itself: %d; claimed lines that do not replay: %d\n", searchMates,
                badLines);
    std::printf("nodes %" PRIu64 " in %.1f s, %.0f nodes/s\n", nodes, seconds, seconds > 0 ? nodes / seconds : 0.0);
    return 0;
}

std::vector<std::vector<int>> readOpenings(const char* path) {
    std::vector<std::vector<int>> openings;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        for (char& c : line)
            if (c == ',')
                c = ' ';
        std::istringstream fields(line);
        std::vector<int> squares;
        int dx, dy;
        while (fields >> dx >> dy)
            squares.push_back(squareOf(10 + dx, 10 + dy));
        if (!squares.empty())
            openings.push_back(squares);
    }
    return openings;
}

// One game from an opening; returns 1 when the challenger wins, 0 when it loses, -1 for a draw.
int playGame(const std::vector<int>& opening, bool challengerFirst, const EvalWeights& challenger,
             std::uint64_t nodes, std::size_t memory) {
    ProSearch searches[2] = {ProSearch(memory), ProSearch(memory)};  // [0] moves first
    searches[challengerFirst ? 0 : 1].setEvalWeights(challenger);
    std::vector<int> moves = opening;
    std::vector<int> cells(SQUARE_NB, -1);
    for (std::size_t i = 0; i < moves.size(); ++i)
        cells[moves[i]] = static_cast<int>(i % 2);
    ProLimits limits;
    limits.nodeCap = nodes;
    while (moves.size() < SQUARE_NB) {
        const int mover = static_cast<int>(moves.size() % 2);
        const ProResult r = searches[mover].search(stonesOf(moves), 1, limits, nullptr);
        if (r.square < 0 || cells[r.square] != -1)
            return (mover == 0) == challengerFirst ? 0 : 1;  // an illegal move loses
        cells[r.square] = mover;
        moves.push_back(r.square);
        if (referee::completesFive(cells, r.square))
            return (mover == 0) == challengerFirst ? 1 : 0;
    }
    return -1;
}

int runSelfPlay(const char* file, const char* weightsText, std::uint64_t nodes, int games, std::size_t memory) {
    EvalWeights challenger{};
    std::istringstream in(weightsText ? weightsText : "");
    for (int i = SHAPE_TWO; i < SHAPE_FIVE; ++i)
        in >> challenger.own[i];
    for (int i = SHAPE_TWO; i < SHAPE_FIVE; ++i)
        in >> challenger.opponent[i];
    if (!in) {
        std::fprintf(stderr, "--weights needs 20 numbers\n");
        return 2;
    }
    const std::vector<std::vector<int>> openings = readOpenings(file);
    double points = 0;
    int played = 0, wins = 0, losses = 0;
    for (std::size_t o = 0; o < openings.size() && played < games; ++o)
        for (int colour = 0; colour < 2 && played < games; ++colour) {
            const int result = playGame(openings[o], colour == 0, challenger, nodes, memory);
            ++played;
            points += result == 1 ? 1.0 : result == 0 ? 0.0 : 0.5;
            wins += result == 1;
            losses += result == 0;
            std::printf("game %3d opening %3zu challenger %s: %s\n", played, o + 1, colour == 0 ? "first " : "second",
                        result == 1 ? "won" : result == 0 ? "lost" : "draw");
            std::fflush(stdout);
        }
    const double score = played ? points / played : 0;
    const double margin = played ? 1.96 * std::sqrt(score * (1 - score) / played) : 0;
    std::printf("challenger: %d games, %d won, %d lost, score %.3f +- %.3f (95%%)\n", played, wins, losses, score,
                margin);
    return 0;
}

constexpr int SHAPES_WEIGHED = SHAPE_FIVE - SHAPE_TWO;  // SHAPE_TWO to SHAPE_OPEN_FOUR, per player

// The quiet positions of one recorded game as samples: the side to move's counts, then the opponent's
// negated, as the evaluation weighs them.
void gameSamples(const std::vector<int>& moves, int winner, ShapeBoard& board, std::vector<fit::Sample>& out) {
    constexpr std::size_t FIRST_SAMPLED = 6;  // the openings' stones are set, not chosen
    board.clear();
    for (std::size_t k = 0; k < moves.size(); ++k) {
        const int me = board.sideToMove();
        const int other = 1 - me;
        const bool quiet = board.count(me, SHAPE_FIVE) == 0 && board.count(other, SHAPE_FIVE) == 0 &&
                           board.countAtLeast(me, SHAPE_FOUR_THREE) == 0;
        if (k >= FIRST_SAMPLED && quiet) {
            fit::Sample sample{std::vector<float>(2 * SHAPES_WEIGHED), me == winner ? 1.0f : 0.0f};
            for (int sh = SHAPE_TWO; sh < SHAPE_FIVE; ++sh) {
                sample.features[sh - SHAPE_TWO] = static_cast<float>(board.count(me, static_cast<Shape>(sh)));
                sample.features[SHAPES_WEIGHED + sh - SHAPE_TWO] =
                    -static_cast<float>(board.count(other, static_cast<Shape>(sh)));
            }
            out.push_back(std::move(sample));
        }
        board.play(moves[k]);
    }
}

// The built-in values as a model: the best of a range of scales by loss on the samples.
fit::Model builtInModel(const std::vector<fit::Sample>& samples) {
    fit::Model best;
    double bestLoss = INFINITY;
    for (double scale = 1e-4; scale < 0.1; scale *= 1.05) {
        fit::Model m;
        for (int sh = SHAPE_TWO; sh < SHAPE_FIVE; ++sh)
            m.weights.push_back(scale * EVAL_WEIGHTS.own[sh]);
        for (int sh = SHAPE_TWO; sh < SHAPE_FIVE; ++sh)
            m.weights.push_back(scale * EVAL_WEIGHTS.opponent[sh]);
        const double loss = fit::logLoss(samples, m, 0);
        if (loss < bestLoss) {
            bestLoss = loss;
            best = m;
        }
    }
    return best;
}

int runFit(const std::vector<const char*>& files) {
    auto board = std::make_unique<ShapeBoard>();
    std::vector<fit::Sample> all, training, heldOut;
    int games = 0, skipped = 0;
    for (const char* file : files) {
        std::ifstream in(file);
        if (!in) {
            std::fprintf(stderr, "kelmo-pro-bench: cannot read %s\n", file);
            return 2;
        }
        std::vector<int> moves;
        for (std::string line; std::getline(in, line);) {
            const int winner = fit::parseRecord(line, moves) ? fit::winnerByFive(moves) : -1;
            if (winner < 0) {
                skipped += !line.empty();
                continue;
            }
            std::vector<fit::Sample> samples;
            gameSamples(moves, winner, *board, samples);
            for (fit::Sample& s : samples) {
                all.push_back(s);
                (games % 5 == 4 ? heldOut : training).push_back(std::move(s));
            }
            ++games;
        }
    }
    std::printf("%d games decided by a five (%d lines skipped), %zu positions\n", games, skipped, all.size());
    if (all.empty() || heldOut.empty())
        return 1;
    const std::size_t n = 2 * SHAPES_WEIGHED;
    const fit::Model trained = fit::fitLogistic(training, n);
    std::printf("held-out loss (%zu positions): fit %.4f, built-in values at their best scale %.4f\n",
                heldOut.size(), fit::logLoss(heldOut, trained, 0), fit::logLoss(heldOut, builtInModel(training), 0));

    const fit::Model model = fit::fitLogistic(all, n);
    const double scale = EVAL_WEIGHTS.own[SHAPE_THREE] / model.weights[SHAPE_THREE - SHAPE_TWO];
    std::printf("--weights \"");
    for (std::size_t i = 0; i < n; ++i) {
        const int shape = SHAPE_TWO + static_cast<int>(i % SHAPES_WEIGHED);
        const bool seen = std::any_of(all.begin(), all.end(), [&](const fit::Sample& s) { return s.features[i] != 0; });
        const int builtIn = i < SHAPES_WEIGHED ? EVAL_WEIGHTS.own[shape] : EVAL_WEIGHTS.opponent[shape];
        std::printf(i ? " %ld" : "%ld", seen ? std::lround(model.weights[i] * scale) : static_cast<long>(builtIn));
    }
    std::printf("\"\n");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    bool signatureOnly = false, verbose = false;
    int depth = SIGNATURE_DEPTH;
    const char* positions = nullptr;
    const char* selfplay = nullptr;
    const char* weights = nullptr;
    std::vector<const char*> fitFiles;
    std::uint64_t nodes = 100000;
    int games = 1000000;
    std::int64_t ms = 1000;
    std::size_t memory = std::size_t{100} << 20;
    bool memoryGiven = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--signature"))
            signatureOnly = true;
        else if (!std::strcmp(argv[i], "--verbose"))
            verbose = true;
        else if (!std::strcmp(argv[i], "--depth") && i + 1 < argc)
            depth = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--positions") && i + 1 < argc)
            positions = argv[++i];
        else if (!std::strcmp(argv[i], "--selfplay") && i + 1 < argc)
            selfplay = argv[++i];
        else if (!std::strcmp(argv[i], "--fit") && i + 1 < argc) {
            while (i + 1 < argc)
                fitFiles.push_back(argv[++i]);
        }
        else if (!std::strcmp(argv[i], "--weights") && i + 1 < argc)
            weights = argv[++i];
        else if (!std::strcmp(argv[i], "--nodes") && i + 1 < argc)
            nodes = std::strtoull(argv[++i], nullptr, 10);
        else if (!std::strcmp(argv[i], "--games") && i + 1 < argc)
            games = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--ms") && i + 1 < argc)
            ms = std::atoll(argv[++i]);
        else if (!std::strcmp(argv[i], "--memory") && i + 1 < argc) {
            memory = static_cast<std::size_t>(std::atoll(argv[++i]));
            memoryGiven = true;
        }
        else {
            std::fprintf(stderr, "usage: kelmo-pro-bench [--signature] [--depth D]\n"
                                 "       kelmo-pro-bench --positions FILE [--ms MS] [--memory BYTES] [--verbose]\n"
                                 "       kelmo-pro-bench --selfplay FILE --weights \"V1 ... V20\" [--nodes N] "
                                 "[--games G]\n"
                                 "       kelmo-pro-bench --fit FILE...\n");
            return 2;
        }
    }
    if (!fitFiles.empty())
        return runFit(fitFiles);
    if (selfplay)
        return runSelfPlay(selfplay, weights, nodes, games, memoryGiven ? memory : std::size_t{16} << 20);
    if (positions)
        return runLabelled(positions, ms, memory, verbose);
    return runFixed(depth, signatureOnly);
}
