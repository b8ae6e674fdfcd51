// kelmo-tactics: a brain program against a file of labelled positions (the
// positions folder's format: "win|defend|quiet x,y ... | best X,Y | ..."). Each
// position is set up with BOARD from the side to move's view in a fresh brain
// process, given the turn time, and the reply is judged in-process with the pro
// brain's threat search (its own tables, its own budgets):
//
//   win     kept: the reply makes five; or, after it, the opponent has no five
//           to play, the threat search finds a win for the brain if the
//           opponent passed, and every defence it names against that win (the
//           squares of the win's line, the blocks of its first threat, the
//           opponent's own four and five squares) still leaves the brain a
//           proven VCF or VCT. Positions the judge cannot prove count as not
//           kept, so the figure is a lower bound. A second figure also
//           counts the replies that are the label's own best move, which the
//           labelling search proved keeps the win, whatever the judge finds.
//   defend  held: the reply is not the labelled losing move, and after it the
//           threat search finds no forced five (VCF, then VCT within its
//           budget) for the opponent, who has no five to play either.
//   quiet   claimed wins: the brain's last MESSAGE line before its move said
//           "mate in N". A claim is confirmed when its principal variation
//           replays on a referee board to the brain's five, or else when the
//           win judge above proves the reply keeps a win; any other claim is
//           false (a bug).
//
// A reply that is missing, malformed, on a stone or later than the turn plus
// two seconds is a fault.
//
//   kelmo-tactics [--turn MS] [--memory BYTES] [--limit N] [--jobs J]
//                 [--vcf-nodes N] [--vct-nodes N] [--all] POSITIONS -- COMMAND [ARGS...]
//   kelmo-tactics --judge-best [...] POSITIONS
//
// --judge-best asks no brain: it judges the labels' own best moves, which shows
// how much of a figure the judge itself can prove.
#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <unistd.h>

#include "board/shape_board.h"
#include "brain_process.h"
#include "labelled_positions.h"
#include "referee.h"
#include "threat/threat_search.h"

using namespace kelmo;

namespace {

enum Kind { WIN, DEFEND, QUIET, KIND_NB };
const char* const KIND_NAMES[KIND_NB] = {"win", "defend", "quiet"};

struct Position {
    Kind kind = QUIET;
    std::vector<int> moves;  // in the order played, the first player's first
    int lose = -1;           // defend rows: the move that let the opponent win
    int best = -1;           // the labelling search's move
    std::string text;        // the row as read, for reports
};

struct Options {
    int turnMs = 1000;
    long long memory = 100000000;
    int limit = 0;
    int jobs = 1;
    std::uint64_t vcfNodes = 100000;
    std::uint64_t vctNodes = 300000;
    bool all = false;
    bool judgeBest = false;  // judge the labels' best moves, no brain asked
    std::string positions;
    std::vector<std::string> command;
};

struct Verdict {
    bool fault = false;
    std::string faultWhy;
    int reply = -1;
    double replyMs = 0;
    bool good = false;      // win kept, defence held
    bool bestKept = false;  // win rows: the judge proves the labelled best move keeps the win
    bool claimed = false;   // the brain's last progress line said mate in N
    bool claimReplays = false;
    bool claimProven = false;
    bool playedLose = false;
    std::string lastMessage;
};

bool parseSquare(const std::string& text, int& square) { return referee::parseMoveSquare(text, square); }

bool parseRow(const std::string& line, Position& p) {
    labelled::Row row;
    if (!labelled::parseRow(line, row))
        return false;
    if (row.kind == "win")
        p.kind = WIN;
    else if (row.kind == "defend")
        p.kind = DEFEND;
    else if (row.kind == "quiet")
        p.kind = QUIET;
    else
        return false;
    p.moves = std::move(row.moves);
    p.lose = row.lose;
    p.best = row.best;
    p.text = std::move(row.text);
    return !(p.kind == DEFEND && p.lose < 0);
}

std::vector<Stone> stonesOf(const Position& p) {
    // Player 1 is the side to move, as ShapeBoard and the brain both count.
    const int toMove = static_cast<int>(p.moves.size() % 2);
    std::vector<Stone> stones;
    for (std::size_t i = 0; i < p.moves.size(); ++i)
        stones.push_back({p.moves[i], static_cast<int>(i % 2) == toMove ? 1 : 0});
    return stones;
}

// ---- the judge ----

class Judge {
public:
    Judge(const Options& options) : threats(std::size_t{16} << 20), vcfNodes(options.vcfNodes), vctNodes(options.vctNodes) {}

    // With the brain (player 1) to move: does it have a VCF, or else a VCT?
    bool brainWins(ShapeBoard& board) {
        if (board.count(1, SHAPE_FIVE) > 0)
            return true;
        return threats.vcf(board, vcfNodes, nullptr) || threats.vct(board, vctNodes, nullptr);
    }

    // After the brain's reply, with the opponent (player 0) to move: does the
    // brain still win against every defence the threat search names?
    bool winKept(ShapeBoard& board) {
        if (board.count(0, SHAPE_FIVE) > 0)
            return false;
        int defences[SQUARE_NB];
        int n = threats.opponentThreat(board, true, vctNodes, defences, SQUARE_NB);
        if (n == 0)
            return false;
        // The opponent's own five squares would be named as its fours are; none
        // stand here (checked above), so the list is complete in its own terms.
        std::vector<int> tries(defences, defences + n);
        for (int square : tries) {
            board.play(square);
            const bool wins = brainWins(board);
            board.undo();
            if (!wins)
                return false;
        }
        return true;
    }

    // After the brain's reply, with the opponent to move: has it a forced five?
    bool opponentWins(ShapeBoard& board) {
        if (board.count(0, SHAPE_FIVE) > 0)
            return true;
        return threats.vcf(board, vcfNodes, nullptr) || threats.vct(board, vctNodes, nullptr);
    }

    void clear() { threats.clear(); }

private:
    ThreatSearch threats;
    std::uint64_t vcfNodes, vctNodes;
};

// The squares of a progress line's principal variation ("pv x,y x,y ...").
std::vector<int> principalVariation(const std::string& message) {
    std::vector<int> squares;
    std::size_t at = message.find(" pv");
    if (at == std::string::npos)
        return squares;
    std::istringstream in(message.substr(at + 3));
    std::string word;
    while (in >> word) {
        int s;
        if (!parseSquare(word, s))
            break;
        squares.push_back(s);
    }
    return squares;
}

// The variation, the brain's move first, replays on a referee board from the
// position and reaches a five of the brain's before any of the opponent's.
bool replaysToFive(const Position& p, const std::vector<int>& pv) {
    std::vector<int> cells(SQUARE_NB, 0);
    const int toMove = static_cast<int>(p.moves.size() % 2);
    for (std::size_t i = 0; i < p.moves.size(); ++i)
        cells[static_cast<std::size_t>(p.moves[i])] = static_cast<int>(i % 2) == toMove ? 1 : 2;
    for (std::size_t i = 0; i < pv.size(); ++i) {
        const int s = pv[i];
        if (cells[static_cast<std::size_t>(s)] != 0)
            return false;
        const int owner = i % 2 == 0 ? 1 : 2;
        cells[static_cast<std::size_t>(s)] = owner;
        if (referee::completesFive(cells, s))
            return owner == 1;
    }
    return false;
}

// ---- the brain ----

std::string squareText(int square) {
    std::string text = std::to_string(columnOf(square));
    text += ',';
    text += std::to_string(rowOf(square));
    return text;
}

Verdict ask(const Options& options, const Position& p, const std::string& workDir) {
    Verdict v;
    BrainProcess brain(options.command, workDir);
    auto fault = [&](const std::string& why) {
        v.fault = true;
        v.faultWhy = why;
        brain.finish(2000);
        return v;
    };
    if (!brain.started())
        return fault("the brain did not start");
    std::string line;
    brain.send("START 20");
    if (brain.readAnswer(line, 10000) != BrainProcess::ReadResult::Line || line != "OK")
        return fault("no OK to START: " + line);
    brain.send("INFO timeout_turn " + std::to_string(options.turnMs));
    brain.send("INFO time_left 1000000000");
    brain.send("INFO max_memory " + std::to_string(options.memory));
    std::string body = "BOARD";
    for (const Stone& stone : stonesOf(p)) {
        // Appended piece by piece: a chain of string sums trips a false overlap warning.
        body += '\n';
        body += squareText(stone.square);
        body += stone.player == 1 ? ",1" : ",2";
    }
    body += "\nDONE";
    const double sent = nowMs();
    brain.send(body);
    const auto got = brain.readAnswer(line, options.turnMs + 2000);
    v.replyMs = nowMs() - sent;
    v.lastMessage = brain.lastInformation();
    if (got != BrainProcess::ReadResult::Line)
        return fault("no reply within the turn and two seconds");
    if (!parseSquare(line, v.reply))
        return fault("not a move: " + line);
    if (std::find(p.moves.begin(), p.moves.end(), v.reply) != p.moves.end())
        return fault("a move on a stone: " + line);
    brain.send("END");
    brain.finish(5000);
    return v;
}

void judge(Judge& j, const Position& p, Verdict& v) {
    if (v.fault)
        return;
    j.clear();
    ShapeBoard board;
    const std::vector<Stone> stones = stonesOf(p);
    board.setUp(stones, 1);
    const bool five = board.shape(v.reply, 1) == SHAPE_FIVE;
    v.claimed = v.lastMessage.find(" mate in ") != std::string::npos;
    board.play(v.reply);
    switch (p.kind) {
    case WIN:
        v.good = five || j.winKept(board);
        if (p.best >= 0 && board.isEmpty(p.best)) {
            board.undo();
            const bool bestFive = board.shape(p.best, 1) == SHAPE_FIVE;
            board.play(p.best);
            v.bestKept = bestFive || j.winKept(board);
            board.undo();
            board.play(v.reply);
        } else {
            v.bestKept = v.good;  // the reply is the best move
        }
        break;
    case DEFEND:
        v.playedLose = v.reply == p.lose;
        v.good = !v.playedLose && (five || !j.opponentWins(board));
        break;
    case QUIET:
    case KIND_NB:
        break;
    }
    if (v.claimed) {
        std::vector<int> pv = principalVariation(v.lastMessage);
        v.claimReplays = !pv.empty() && pv.front() == v.reply && replaysToFive(p, pv);
        v.claimProven = v.claimReplays || five || j.winKept(board);
    }
}

int usage() {
    std::fprintf(stderr,
                 "usage: kelmo-tactics [--turn MS] [--memory BYTES] [--limit N] [--jobs J] [--vcf-nodes N]\n"
                 "                     [--vct-nodes N] [--all] POSITIONS -- COMMAND [ARGS...]\n"
                 "       kelmo-tactics --judge-best [...] POSITIONS\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    int i = 1;
    for (; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : "0"; };
        if (arg == "--") {
            ++i;
            break;
        }
        if (arg == "--turn")
            options.turnMs = std::atoi(value());
        else if (arg == "--memory")
            options.memory = std::atoll(value());
        else if (arg == "--limit")
            options.limit = std::atoi(value());
        else if (arg == "--jobs")
            options.jobs = std::max(1, std::atoi(value()));
        else if (arg == "--vcf-nodes")
            options.vcfNodes = std::strtoull(value(), nullptr, 10);
        else if (arg == "--vct-nodes")
            options.vctNodes = std::strtoull(value(), nullptr, 10);
        else if (arg == "--all")
            options.all = true;
        else if (arg == "--judge-best")
            options.judgeBest = true;
        else if (options.positions.empty())
            options.positions = arg;
        else
            return usage();
    }
    for (; i < argc; ++i)
        options.command.push_back(argv[i]);
    if (options.positions.empty() || (options.command.empty() && !options.judgeBest) || options.turnMs <= 0)
        return usage();

    std::ifstream file(options.positions);
    if (!file) {
        std::fprintf(stderr, "cannot read %s\n", options.positions.c_str());
        return 2;
    }
    std::vector<Position> all;
    for (std::string line; std::getline(file, line);) {
        Position p;
        if (parseRow(line, p))
            all.push_back(p);
    }
    // A subset spread evenly over the file, so that it keeps the kinds' mix.
    std::vector<Position> positions;
    const std::size_t want = options.limit > 0 ? std::min<std::size_t>(options.limit, all.size()) : all.size();
    for (std::size_t k = 0; k < want; ++k)
        positions.push_back(all[k * all.size() / want]);

    // The brain runs in a scratch folder of its own (its error log would land there).
    char scratchTemplate[] = "/tmp/kelmo-tactics-XXXXXX";
    const char* scratch = mkdtemp(scratchTemplate);
    if (!scratch) {
        std::fprintf(stderr, "cannot make a scratch folder\n");
        return 2;
    }

    std::vector<Verdict> verdicts(positions.size());
    std::atomic<std::size_t> next{0};
    auto worker = [&](int job) {
        Judge j(options);
        const std::string workDir = std::string(scratch) + "/job" + std::to_string(job);
        std::filesystem::create_directories(workDir);
        for (std::size_t k; (k = next++) < positions.size();) {
            if (options.judgeBest)
                verdicts[k].reply = positions[k].best;
            else
                verdicts[k] = ask(options, positions[k], workDir);
            judge(j, positions[k], verdicts[k]);
        }
    };
    std::vector<std::thread> threads;
    for (int job = 0; job < options.jobs; ++job)
        threads.emplace_back(worker, job);
    for (std::thread& t : threads)
        t.join();

    int count[KIND_NB] = {}, good[KIND_NB] = {}, claimed[KIND_NB] = {}, claimReplays = 0, claimProven = 0;
    int playedLose = 0, faults = 0, bestKept = 0, bothKept = 0, keptOrBest = 0, claimedKept = 0;
    double slowest = 0;
    for (std::size_t k = 0; k < positions.size(); ++k) {
        const Position& p = positions[k];
        const Verdict& v = verdicts[k];
        ++count[p.kind];
        slowest = std::max(slowest, v.replyMs);
        faults += v.fault;
        good[p.kind] += v.good;
        if (p.kind == WIN) {
            bestKept += v.bestKept;
            bothKept += v.bestKept && v.good;
            keptOrBest += v.good || (!v.fault && v.reply == p.best);
            claimedKept += v.good && v.claimed;
        }
        claimed[p.kind] += v.claimed;
        playedLose += v.playedLose;
        if (p.kind == QUIET && v.claimed) {
            claimReplays += v.claimReplays;
            claimProven += v.claimProven;
        }
        const bool remarkable = v.fault || (p.kind != QUIET && !v.good) || (p.kind == QUIET && v.claimed);
        if (options.all || remarkable) {
            std::printf("%-6s %-4s reply %-5s %5.0f ms", KIND_NAMES[p.kind],
                        v.fault ? "FAULT" : p.kind == QUIET ? (v.claimed ? "claim" : "-") : v.good ? "ok" : "no",
                        v.fault ? "-" : squareText(v.reply).c_str(), v.replyMs);
            if (v.fault)
                std::printf("  %s", v.faultWhy.c_str());
            if (p.kind == QUIET && v.claimed)
                std::printf("  %s", v.claimReplays ? "line replays" : v.claimProven ? "proven by the judge" : "FALSE CLAIM");
            std::printf("\n       %s\n", p.text.c_str());
            if (!v.lastMessage.empty())
                std::printf("       %s\n", v.lastMessage.c_str());
        }
    }
    std::filesystem::remove_all(scratch);

    auto share = [](int a, int b) { return b > 0 ? 100.0 * a / b : 0.0; };
    std::printf("\nturn %d ms, max_memory %lld; judge budgets: vcf %llu, vct %llu nodes a search\n", options.turnMs,
                options.memory, static_cast<unsigned long long>(options.vcfNodes),
                static_cast<unsigned long long>(options.vctNodes));
    std::printf("win     kept %d of %d (%.1f %%): a five, or every defence the judge's threat search names leaves "
                "the brain a proven VCF/VCT; the brain claimed mate in %d\n",
                good[WIN], count[WIN], share(good[WIN], count[WIN]), claimed[WIN]);
    std::printf("        the judge proves the labelled best move in %d of them; of those the brain kept %d (%.1f %%)\n",
                bestKept, bothKept, share(bothKept, bestKept));
    std::printf("        proven and played with the brain's own mate claim: %d (%.1f %%); kept or the label's own best "
                "move: %d (%.1f %%)\n",
                claimedKept, share(claimedKept, count[WIN]), keptOrBest, share(keptOrBest, count[WIN]));
    std::printf("defend  held %d of %d (%.1f %%): not the losing move, and no VCF or VCT found for the opponent "
                "after it; the losing move played %d times\n",
                good[DEFEND], count[DEFEND], share(good[DEFEND], count[DEFEND]), playedLose);
    std::printf("quiet   claimed wins %d of %d: %d replay to a five, %d more proven by the judge, %d false\n",
                claimed[QUIET], count[QUIET], claimReplays, claimProven - claimReplays,
                claimed[QUIET] - claimProven);
    std::printf("faults  %d; slowest reply %.0f ms (%.2f of the turn)\n", faults, slowest, slowest / options.turnMs);
    return faults == 0 && claimed[QUIET] == claimProven ? 0 : 1;
}
