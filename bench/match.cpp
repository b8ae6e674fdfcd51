// kelmo-match: a match between two brains, driven the way a command-line manager
// drives them. Every opening of the file is played twice, once with each brain
// moving first from it; the first mover gets the position with BOARD, its
// opponent the same position plus that reply, and after that each move is passed
// on with TURN. A five (or more) wins, a full board draws. MESSAGE and DEBUG
// lines are information, skipped while the turn's time keeps running; any other
// fault loses the game: refusing START (an ERROR line where OK is due), another
// line than a move where a move is due, a taken square, nothing within the
// grace period, or dying. Prints each game with why it ended, the score of the
// first brain with its 95 % interval, and how many games each brain lost by a
// fault. With --record, every game's stones (the opening's, then the moves)
// go to FILE, one game a line, for a later look at how it was won or lost.
//
// With --game MS each brain also has a game clock, as a tournament manager
// keeps one: INFO timeout_match MS at the start, INFO time_left with what is
// left before every move, each reply's time (as the match measures it) taken
// off, and a brain whose clock runs out loses the game.
//
//   kelmo-match [--openings FILE] [--games N] [--turn MS] [--game MS]
//               [--memory BYTES] [--jobs J] [--record FILE] A_COMMAND -- B_COMMAND
//
// Openings are lines of `dx,dy` pairs relative to the centre (10,10), black first.
// It is a benchmark: CI never plays it.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "brain_process.h"
#include "referee.h"

namespace {

constexpr int SIZE = 20;
constexpr int GRACE_MS = 2000;  // past timeout_turn, a reply this late loses on time

struct Options {
    std::string openings;
    int games = 0;  // 0: every opening, twice
    int turnMs = 1000;
    int gameMs = 0;  // 0: no game clock
    long long memory = 100000000;
    int jobs = 1;
    std::string record;
    std::vector<std::string> brains[2];
};

enum class Ending { Five, FullBoard, Fault };

struct Outcome {
    bool over = false;
    Ending ending = Ending::Five;
    int winner = -1;  // 0 or 1: index of the brain; -1 a draw
    int faulty = -1;  // with Ending::Fault, the brain whose fault ended the game
    std::string fault;
    int plies = 0;
    double maxReplyMs = 0;
    double clockLeftMs[2] = {0, 0};  // with a game clock, what each brain has left (at the end, had)
    std::string lastInformation[2];  // each brain's last MESSAGE or DEBUG line in the game
    std::vector<int> stones;         // the opening's stones, then the moves, in order
};

std::string squareText(int square) {
    return std::to_string(square % SIZE) + "," + std::to_string(square / SIZE);
}

std::vector<std::vector<int>> readOpenings(const std::string& path) {
    std::vector<std::vector<int>> openings;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        for (char& c : line)
            if (c == ',')
                c = ' ';
        std::istringstream fields(line);
        std::vector<int> squares;
        int dx, dy;
        while (fields >> dx >> dy)
            squares.push_back((10 + dy) * SIZE + 10 + dx);
        if (!squares.empty())
            openings.push_back(squares);
    }
    return openings;
}

// One game: brain `first` moves first from the opening.
Outcome playGame(const Options& options, const std::vector<int>& opening, int first) {
    Outcome outcome;
    std::vector<int> cells(SIZE * SIZE, 0);  // 0 empty, else 1 + brain index
    std::vector<int> stones = opening;
    std::string dirs[2];
    kelmo::BrainProcess* brains[2] = {};
    for (int b = 0; b < 2; ++b) {
        char pattern[] = "/tmp/kelmo-match-XXXXXX";
        dirs[b] = mkdtemp(pattern) ? pattern : "";
        brains[b] = new kelmo::BrainProcess(options.brains[b], dirs[b]);
    }
    // Black (the opening's first stone) belongs to the brain that replies second
    // when the opening has an odd count, so that colours alternate as they should.
    int mover = first;
    const int blackBrain = (opening.size() % 2 == 0) ? first : 1 - first;
    for (std::size_t i = 0; i < opening.size(); ++i)
        cells[opening[i]] = 1 + ((i % 2 == 0) ? blackBrain : 1 - blackBrain);

    auto lose = [&](int brain, const std::string& why) {
        outcome.over = true;
        outcome.ending = Ending::Fault;
        outcome.winner = 1 - brain;
        outcome.faulty = brain;
        outcome.fault = why;
    };
    using kelmo::BrainProcess;
    auto answer = [&](int brain, std::string& line, int timeoutMs) {
        const BrainProcess::ReadResult result = brains[brain]->readAnswer(line, timeoutMs);
        if (!brains[brain]->lastInformation().empty())
            outcome.lastInformation[brain] = brains[brain]->lastInformation();
        return result;
    };
    std::string reply;
    for (int b = 0; b < 2 && !outcome.over; ++b) {
        if (!brains[b]->started()) {
            lose(b, "could not be started");
            break;
        }
        brains[b]->send("START 20", "\n");
        const auto result = answer(b, reply, 10000);
        if (result == BrainProcess::ReadResult::Timeout)
            lose(b, "no OK to START in time");
        else if (result == BrainProcess::ReadResult::Closed)
            lose(b, "closed before OK to START");
        else if (kelmo::isRefusal(reply))
            lose(b, reply);
        else if (reply != "OK")
            lose(b, "not OK to START: " + reply);
        if (outcome.over)
            break;
        brains[b]->send("INFO timeout_turn " + std::to_string(options.turnMs), "\n");
        if (options.gameMs > 0)
            brains[b]->send("INFO timeout_match " + std::to_string(options.gameMs), "\n");
        else
            brains[b]->send("INFO time_left 1000000000", "\n");
        brains[b]->send("INFO max_memory " + std::to_string(options.memory), "\n");
    }
    bool boardSent[2] = {false, false};
    int lastMove = -1;
    double* clockLeft = outcome.clockLeftMs;
    clockLeft[0] = clockLeft[1] = options.gameMs;
    while (!outcome.over) {
        kelmo::BrainProcess& brain = *brains[mover];
        int waitMs = options.turnMs + GRACE_MS;
        if (options.gameMs > 0) {
            brain.send("INFO time_left " + std::to_string(static_cast<long long>(clockLeft[mover])), "\n");
            waitMs = static_cast<int>(std::min<double>(waitMs, clockLeft[mover] + GRACE_MS));
        }
        if (!boardSent[mover]) {
            brain.send("BOARD", "\n");
            for (int square : stones)
                brain.send(squareText(square) + "," + (cells[square] == 1 + mover ? "1" : "2"), "\n");
            brain.send("DONE", "\n");
            boardSent[mover] = true;
        } else {
            brain.send("TURN " + squareText(lastMove), "\n");
        }
        const double start = kelmo::nowMs();
        const auto result = answer(mover, reply, waitMs);
        const double took = kelmo::nowMs() - start;
        outcome.maxReplyMs = std::max(outcome.maxReplyMs, took);
        clockLeft[mover] -= took;
        int square;
        if (options.gameMs > 0 && clockLeft[mover] < 0) {
            lose(mover, "out of game time");
        } else if (result != BrainProcess::ReadResult::Line) {
            lose(mover, result == BrainProcess::ReadResult::Timeout ? "no reply in time" : "closed");
        } else if (!kelmo::referee::parseMoveSquare(reply, square)) {
            lose(mover, "not a move: " + reply);
        } else if (cells[square] != 0) {
            lose(mover, "taken square " + reply);
        } else {
            cells[square] = 1 + mover;
            stones.push_back(square);
            ++outcome.plies;
            lastMove = square;
            if (kelmo::referee::completesFive(cells, square)) {
                outcome.over = true;
                outcome.ending = Ending::Five;
                outcome.winner = mover;
            } else if (stones.size() == SIZE * SIZE) {
                outcome.over = true;
                outcome.ending = Ending::FullBoard;
            }
            mover = 1 - mover;
        }
    }
    outcome.stones = stones;
    for (int b = 0; b < 2; ++b) {
        brains[b]->send("END", "\n");
        int code;
        brains[b]->waitExit(3000, code);
        delete brains[b];
        std::filesystem::remove_all(dirs[b]);
    }
    return outcome;
}

char brainName(int brain) {
    return brain == 0 ? 'A' : 'B';
}

int usage() {
    std::fprintf(stderr,
                 "usage: kelmo-match [--openings FILE] [--games N] [--turn MS] [--game MS] [--memory BYTES] "
                 "[--jobs J] "
                 "[--record FILE] A_COMMAND... -- B_COMMAND...\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    int i = 1;
    for (; i < argc && argv[i][0] == '-' && argv[i][1] == '-'; i += 2) {
        const std::string flag = argv[i];
        if (i + 1 >= argc)
            return usage();
        const char* value = argv[i + 1];
        if (flag == "--openings")
            options.openings = value;
        else if (flag == "--games")
            options.games = std::atoi(value);
        else if (flag == "--turn")
            options.turnMs = std::atoi(value);
        else if (flag == "--game")
            options.gameMs = std::max(0, std::atoi(value));
        else if (flag == "--memory")
            options.memory = std::atoll(value);
        else if (flag == "--jobs")
            options.jobs = std::max(1, std::atoi(value));
        else if (flag == "--record")
            options.record = value;
        else
            return usage();
    }
    int side = 0;
    for (; i < argc; ++i) {
        if (std::string(argv[i]) == "--")
            ++side;
        else if (side < 2)
            options.brains[side].push_back(argv[i]);
    }
    if (options.openings.empty() || options.brains[0].empty() || options.brains[1].empty())
        return usage();
    const auto openings = readOpenings(options.openings);
    int games = static_cast<int>(openings.size()) * 2;
    if (options.games > 0 && options.games < games)
        games = options.games;

    std::FILE* record = nullptr;
    if (!options.record.empty() && !(record = std::fopen(options.record.c_str(), "w"))) {
        std::fprintf(stderr, "kelmo-match: cannot write %s\n", options.record.c_str());
        return 1;
    }
    std::atomic<int> next{0};
    double pointSquares = 0;
    std::mutex printing;
    double points = 0;
    int wins = 0, losses = 0, draws = 0;
    int fives = 0, fullBoards = 0, faults[2] = {0, 0};
    auto worker = [&] {
        for (int g; (g = next++) < games;) {
            const int first = g % 2;
            const Outcome o = playGame(options, openings[g / 2], first);
            std::lock_guard<std::mutex> lock(printing);
            const char* result = o.winner == 0 ? "A wins" : o.winner == 1 ? "B wins" : "draw";
            std::string how = o.ending == Ending::Five        ? "five"
                              : o.ending == Ending::FullBoard ? "full board"
                                                              : std::string("a fault of ") + brainName(o.faulty) +
                                                                    " (" + o.fault + ")";
            std::printf("game %3d opening %3d first %c: %s by %s after %d plies, slowest reply %.0f ms\n", g + 1,
                        g / 2 + 1, brainName(first), result, how.c_str(), o.plies, o.maxReplyMs);
            if (options.gameMs > 0)
                std::printf("    game clock left: A %.0f ms, B %.0f ms\n", o.clockLeftMs[0], o.clockLeftMs[1]);
            for (int b = 0; b < 2; ++b)
                if (!o.lastInformation[b].empty())
                    std::printf("    %c last said: %s\n", brainName(b), o.lastInformation[b].c_str());
            std::fflush(stdout);
            if (record) {
                std::fprintf(record, "game %d opening %d first %c: %s |", g + 1, g / 2 + 1, brainName(first), result);
                for (int square : o.stones)
                    std::fprintf(record, " %s", squareText(square).c_str());
                std::fprintf(record, "\n");
                std::fflush(record);
            }
            const double gamePoints = o.winner == 0 ? 1.0 : o.winner == 1 ? 0.0 : 0.5;
            pointSquares += gamePoints * gamePoints;
            points += o.winner == 0 ? 1.0 : o.winner == 1 ? 0.0 : 0.5;
            (o.winner == 0 ? wins : o.winner == 1 ? losses : draws)++;
            (o.ending == Ending::Five ? fives : o.ending == Ending::FullBoard ? fullBoards : faults[o.faulty])++;
        }
    };
    std::vector<std::thread> threads;
    for (int j = 0; j < options.jobs; ++j)
        threads.emplace_back(worker);
    for (auto& t : threads)
        t.join();
    if (record)
        std::fclose(record);
    // The interval treats the games as independent draws of one score per game,
    // draws counting half: 1.96 standard errors of the mean either side.
    const double mean = games ? points / games : 0.0;
    const double variance = games > 1 ? (pointSquares / games - mean * mean) * games / (games - 1) : 0.0;
    const double halfWidth = games ? 1.96 * std::sqrt(std::max(0.0, variance) / games) : 0.0;
    std::printf("A scored %.1f of %d (+%d -%d =%d), %.1f %% (95 %% interval %.1f-%.1f %%)\n", points, games, wins,
                losses, draws, 100.0 * mean, 100.0 * std::max(0.0, mean - halfWidth),
                100.0 * std::min(1.0, mean + halfWidth));
    // Games lost by a fault count in the score like any other: this line keeps
    // a score built on them from passing for strength.
    std::printf("games %d: %d on the board (five %d, full board %d), %d by a fault of A, %d by a fault of B\n", games,
                fives + fullBoards, fives, fullBoards, faults[0], faults[1]);
    return 0;
}
