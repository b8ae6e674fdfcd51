// Time discipline: how long the brain takes to answer a move request, measured
// the way a manager sees it, from writing the command to reading the move line.
// Two copies of the brain play each other from seeded random openings (so the
// positions are real, contested middle games), and every BOARD and TURN they
// answer is timed (MESSAGE and DEBUG lines on the way count in the time, not as
// the answer). Figures are printed as fractions of timeout_turn: the max
// must stay below 0.98, or a manager with a slight delay of its own would see
// a lost game on time.
//
// --turn and --memory replace the three scenarios by one of the caller's, for
// example a 30000 ms turn to see how much of it a large memory limit lets the
// search use.
//
// --peak-memory measures instead what managers judge a brain's memory by: a
// fresh brain per limit (100000000 and 367001600 bytes, or the one --memory
// gives) answers one long move (--turn, default 20000 ms) on a quiet middle
// game set up by BOARD, long enough for the search to fill its budget, and the
// process's peak resident and peak virtual (committed) memory after the reply
// are printed as shares of max_memory. The figures come from /proc/<pid>/status
// of the child (VmHWM, VmPeak), or with --counters probe from the command
// itself: after the reply it is sent a line "MEMORY-COUNTERS" and must answer
// "MEMORY-COUNTERS resident peakResident committed peakCommitted" in bytes (as
// kelmo-memwatch.exe does for a Windows brain under wine, from the counters
// GetProcessMemoryInfo gives).
//
//   kelmo-timing [--requests N] [--seed S] [--scenario 1000|5000|2000] [--turn MS --memory BYTES] [--list-over FRACTION] -- COMMAND [ARGS...]
//   kelmo-timing --peak-memory [--turn MS] [--memory BYTES] [--counters proc|probe] -- COMMAND [ARGS...]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "brain_process.h"
#include "referee.h"
#include "search/memory_use.h"

namespace {

constexpr int SIZE = 20;
constexpr int MAX_PLIES = 60;  // a game this long is ended to get fresh openings

struct Scenario {
    int timeoutTurn;
    long long maxMemory;  // 0: leave the brain's default
    int requests;
};

class Match {
public:
    Match(const std::vector<std::string>& command, const Scenario& scenario, const std::string& dir,
          double listOver)
        : scenario(scenario), listOver(listOver) {
        brains[0] = new kelmo::BrainProcess(command, dir);
        brains[1] = new kelmo::BrainProcess(command, dir);
    }
    ~Match() {
        for (int side = 0; side < 2; ++side) {
            brains[side]->send("END", "\n");
            delete brains[side];
        }
    }

    bool ok() const { return brains[0]->started() && brains[1]->started() && !failed; }

    // One game; appends each timed request in milliseconds.
    void playGame(std::mt19937& random, std::vector<double>& times) {
        std::vector<int> cells(SIZE * SIZE, -1);  // -1 empty, else the side (0 or 1)
        for (int side = 0; side < 2 && !failed; ++side) {
            expect(side, "START 20", "OK");
            send(side, "INFO timeout_turn " + std::to_string(scenario.timeoutTurn));
            send(side, "INFO timeout_match 0");
            if (scenario.maxMemory > 0)
                send(side, "INFO max_memory " + std::to_string(scenario.maxMemory));
            send(side, "INFO time_left 2147483647");
        }
        // Opening: n stones for each side within three lines of the centre.
        std::uniform_int_distribution<int> count(1, 3), offset(-3, 3);
        const int perSide = count(random);
        std::vector<int> opening;
        while (static_cast<int>(opening.size()) < 2 * perSide) {
            int square = (SIZE / 2 + offset(random)) * SIZE + SIZE / 2 + offset(random);
            if (cells[square] < 0) {
                cells[square] = static_cast<int>(opening.size() % 2);
                opening.push_back(square);
            }
        }
        // Side 0 answers the opening as a BOARD, side 1 the opening plus that reply.
        int reply = askBoard(0, cells, times);
        if (reply < 0)
            return;
        cells[reply] = 0;
        int last = askBoard(1, cells, times);
        int mover = 0;
        for (int ply = 0; last >= 0 && ply < MAX_PLIES && !failed && static_cast<int>(times.size()) < scenario.requests;
             ++ply) {
            cells[last] = 1 - mover;
            if (kelmo::referee::completesFive(cells, last))
                return;
            if (std::count(cells.begin(), cells.end(), -1) < 10)
                return;
            send(mover, "INFO time_left 2147483647");
            last = timedMove(mover, "TURN " + std::to_string(last % SIZE) + "," + std::to_string(last / SIZE),
                             times, cells);
            mover = 1 - mover;
        }
    }

private:
    void send(int side, const std::string& line) {
        if (!brains[side]->send(line, "\n"))
            fail("brain closed its input");
    }

    void expect(int side, const std::string& line, const std::string& reply) {
        send(side, line);
        std::string got;
        if (brains[side]->readAnswer(got, 30000) != kelmo::BrainProcess::ReadResult::Line || got != reply)
            fail("expected \"" + reply + "\" after " + line + ", got \"" + got + "\"");
    }

    int askBoard(int side, const std::vector<int>& cells, std::vector<double>& times) {
        std::string body = "BOARD\n";
        for (int square = 0; square < SIZE * SIZE; ++square) {
            if (cells[square] >= 0)
                body += std::to_string(square % SIZE) + "," + std::to_string(square / SIZE) + "," +
                        (cells[square] == side ? "1" : "2") + "\n";
        }
        body += "DONE";
        send(side, "INFO time_left 2147483647");
        return timedMove(side, body, times, cells);
    }

    int timedMove(int side, const std::string& command, std::vector<double>& times,
                  const std::vector<int>& cells) {
        if (failed)
            return -1;
        double start = kelmo::nowMs();
        send(side, command);
        std::string line;
        // A generous safety net: far beyond any sane reply, short of a hang.
        auto got = brains[side]->readAnswer(line, scenario.timeoutTurn * 10 + 10000);
        double took = kelmo::nowMs() - start;
        int square;
        if (got != kelmo::BrainProcess::ReadResult::Line || !kelmo::referee::parseMoveSquare(line, square) || cells[square] >= 0) {
            fail("bad reply \"" + line + "\" to " + command.substr(0, command.find('\n')));
            return -1;
        }
        times.push_back(took);
        if (listOver > 0 && took >= listOver * scenario.timeoutTurn)
            std::printf("  slow: %.0f ms for %s with %ld stones\n", took, command.substr(0, command.find('\n')).c_str(),
                        static_cast<long>(std::count_if(cells.begin(), cells.end(), [](int c) { return c >= 0; })));
        return square;
    }

    void fail(const std::string& why) {
        if (!failed)
            std::fprintf(stderr, "kelmo-timing: %s\n", why.c_str());
        failed = true;
    }

    Scenario scenario;
    double listOver;  // requests at least this fraction of timeout_turn are listed; 0: none
    kelmo::BrainProcess* brains[2];
    bool failed = false;
};

// A quiet middle game, the brain (1) to move: no three on the board, so the
// search finds nothing forced and grows its tree until a limit stops it.
constexpr int QUIET_STONES[][3] = {{10, 10, 2}, {11, 10, 1}, {12, 11, 2}, {10, 12, 1},
                                   {9, 12, 2},  {12, 9, 1},  {11, 8, 2},  {8, 10, 1}};

struct PeakRun {
    bool ok = false;
    double replyMs = 0;
    kelmo::ProcessMemory memory;
};

// The counters the command reports for itself after a move.
bool probeCounters(kelmo::BrainProcess& brain, kelmo::ProcessMemory& memory) {
    std::string line;
    if (!brain.send("MEMORY-COUNTERS", "\n") || brain.readLine(line, 30000) != kelmo::BrainProcess::ReadResult::Line)
        return false;
    long long figures[4];
    if (std::sscanf(line.c_str(), "MEMORY-COUNTERS %lld %lld %lld %lld", &figures[0], &figures[1], &figures[2],
                    &figures[3]) != 4)
        return false;
    memory.known = true;
    memory.resident = figures[0];
    memory.peakResident = figures[1];
    memory.committed = figures[2];
    memory.peakCommitted = figures[3];
    return true;
}

PeakRun peakRun(const std::vector<std::string>& command, const std::string& dir, int turnMs, long long maxMemory,
                bool probe) {
    PeakRun run;
    kelmo::BrainProcess brain(command, dir);
    std::string line;
    auto fail = [&](const std::string& why) {
        std::fprintf(stderr, "kelmo-timing: %s (max_memory %lld)\n", why.c_str(), maxMemory);
        return run;
    };
    if (!brain.started())
        return fail("the brain did not start");
    // wine takes a while to start a program on a fresh prefix.
    if (!brain.send("START 20", "\n") || brain.readAnswer(line, 60000) != kelmo::BrainProcess::ReadResult::Line ||
        line != "OK")
        return fail("no OK to START, got \"" + line + "\"");
    std::string body = "INFO timeout_turn " + std::to_string(turnMs) + "\nINFO timeout_match 0\nINFO max_memory " +
                       std::to_string(maxMemory) + "\nINFO time_left 2147483647\nBOARD\n";
    for (const auto& stone : QUIET_STONES)
        body += std::to_string(stone[0]) + "," + std::to_string(stone[1]) + "," + std::to_string(stone[2]) + "\n";
    body += "DONE";
    const double start = kelmo::nowMs();
    if (!brain.send(body, "\n"))
        return fail("the brain closed its input");
    const auto got = brain.readAnswer(line, turnMs * 2 + 30000);
    run.replyMs = kelmo::nowMs() - start;
    int square;
    if (got != kelmo::BrainProcess::ReadResult::Line || !kelmo::referee::parseMoveSquare(line, square))
        return fail("bad reply \"" + line + "\" to BOARD");
    for (const auto& stone : QUIET_STONES)
        if (square == stone[1] * SIZE + stone[0])
            return fail("a reply on a stone: " + line);
    if (probe) {
        if (!probeCounters(brain, run.memory))
            return fail("no MEMORY-COUNTERS line from the command");
    } else {
        run.memory = kelmo::readProcessMemoryOf(static_cast<int>(brain.processId()));
        if (!run.memory.known)
            return fail("/proc/" + std::to_string(brain.processId()) + "/status cannot be read");
    }
    brain.send("END", "\n");
    brain.finish(10000);
    run.ok = true;
    return run;
}

int peakMemory(const std::vector<std::string>& command, const std::string& dir, int turnMs, long long onlyMemory,
               bool probe) {
    std::vector<long long> limits = {100000000, 367001600};
    if (onlyMemory > 0)
        limits = {onlyMemory};
    std::printf("peak memory after a %d ms move on a quiet middle game (%s)\n", turnMs,
                probe ? "the command's own counters" : "/proc/<pid>/status: VmHWM, VmPeak");
    std::printf("%-11s %9s %13s %7s %13s %7s\n", "max_memory", "reply ms", "peak resident", "share",
                "peak virtual", "share");
    bool within = true;
    for (long long limit : limits) {
        const PeakRun run = peakRun(command, dir, turnMs, limit, probe);
        if (!run.ok)
            return 1;
        const double resident = static_cast<double>(run.memory.peakResident) / static_cast<double>(limit);
        const double committed = static_cast<double>(run.memory.peakCommitted) / static_cast<double>(limit);
        std::printf("%-11lld %9.0f %13lld %7.3f %13lld %7.3f\n", limit, run.replyMs,
                    static_cast<long long>(run.memory.peakResident), resident,
                    static_cast<long long>(run.memory.peakCommitted), committed);
        std::fflush(stdout);
        if (resident > 0.98 || committed > 0.98)
            within = false;
    }
    std::printf("every peak at or below 0.98 of max_memory: %s\n", within ? "yes" : "NO");
    return 0;
}

double percentile(std::vector<double> sorted, double p) {
    std::sort(sorted.begin(), sorted.end());
    std::size_t rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(sorted.size())));
    return sorted[std::min(sorted.size(), std::max<std::size_t>(rank, 1)) - 1];
}

} // namespace

int main(int argc, char** argv) {
    int requests1000 = 120, requests5000 = 40;  // the 5000 count also serves the 2000 run
    int only = 0;
    unsigned seed = 1;
    double listOver = 0;
    int customTurn = 0;
    long long customMemory = 0;
    bool peak = false, probe = false;
    std::vector<std::string> command;
    int i = 1;
    for (; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--") {
            ++i;
            break;
        }
        if (arg == "--requests" && i + 1 < argc) {
            requests1000 = requests5000 = std::atoi(argv[++i]);
        } else if (arg == "--seed" && i + 1 < argc) {
            seed = static_cast<unsigned>(std::atoi(argv[++i]));
        } else if (arg == "--list-over" && i + 1 < argc) {
            listOver = std::atof(argv[++i]);
        } else if (arg == "--turn" && i + 1 < argc) {
            customTurn = std::atoi(argv[++i]);
        } else if (arg == "--memory" && i + 1 < argc) {
            customMemory = std::atoll(argv[++i]);
        } else if (arg == "--peak-memory") {
            peak = true;
        } else if (arg == "--counters" && i + 1 < argc && (std::string(argv[i + 1]) == "proc" ||
                                                            std::string(argv[i + 1]) == "probe")) {
            probe = std::string(argv[++i]) == "probe";
        } else if (arg == "--scenario" && i + 1 < argc) {
            only = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "unknown option %s\n", arg.c_str());
            return 2;
        }
    }
    for (; i < argc; ++i)
        command.push_back(argv[i]);
    if (command.empty()) {
        std::fprintf(stderr,
                     "usage: kelmo-timing [--requests N] [--seed S] [--scenario 1000|5000|2000] [--turn MS --memory BYTES] [--list-over FRACTION] -- COMMAND [ARGS...]\n"
                     "       kelmo-timing --peak-memory [--turn MS] [--memory BYTES] [--counters proc|probe] -- COMMAND [ARGS...]\n");
        return 2;
    }

    // The brains write their error log into the working directory: give them a scratch one.
    char dirTemplate[] = "/tmp/kelmo-timing-XXXXXX";
    const char* dir = mkdtemp(dirTemplate);
    if (!dir) {
        std::perror("mkdtemp");
        return 2;
    }

    if (peak) {
        const int status = peakMemory(command, dir, customTurn > 0 ? customTurn : 20000, customMemory, probe);
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
        return status;
    }

    // The first two are the required pair; the third is what a command-line
    // manager on Linux really sends, where the tree can grow for the whole turn.
    std::vector<Scenario> scenarios = {
        {1000, 0, requests1000}, {5000, 350000000, requests5000}, {2000, 367001600, requests5000}};
    if (customTurn > 0)
        scenarios = {{customTurn, customMemory, requests5000}};
    // A --scenario that names none of them would measure nothing and still report every reply in time.
    if (only != 0 && std::none_of(scenarios.begin(), scenarios.end(),
                                  [&](const Scenario& s) { return s.timeoutTurn == only; })) {
        std::fprintf(stderr, "kelmo-timing: no scenario has a turn of %d ms\n", only);
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
        return 2;
    }
    bool allWithin = true;
    std::printf("%-13s %-11s %8s %8s %8s %8s %8s\n", "timeout_turn", "max_memory", "requests", "p50", "p99",
                "max", "max ms");
    for (const Scenario& scenario : scenarios) {
        if (only != 0 && only != scenario.timeoutTurn)
            continue;
        std::mt19937 random(seed);
        std::vector<double> times;
        {
            Match match(command, scenario, dir, listOver);
            while (match.ok() && static_cast<int>(times.size()) < scenario.requests)
                match.playGame(random, times);
            if (!match.ok() || times.empty()) {
                std::fprintf(stderr, "kelmo-timing: the match failed after %zu requests\n", times.size());
                return 1;
            }
        }
        const double turn = scenario.timeoutTurn;
        const double worst = *std::max_element(times.begin(), times.end());
        std::printf("%-13d %-11s %8zu %8.3f %8.3f %8.3f %8.0f\n", scenario.timeoutTurn,
                    scenario.maxMemory > 0 ? std::to_string(scenario.maxMemory).c_str() : "default",
                    times.size(), percentile(times, 0.50) / turn, percentile(times, 0.99) / turn, worst / turn,
                    worst);
        std::fflush(stdout);
        if (worst / turn >= 0.98)
            allWithin = false;
    }
    std::printf("max below 0.98 of timeout_turn: %s\n", allWithin ? "yes" : "NO");
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return 0;
}
