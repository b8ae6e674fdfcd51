// kelmo-bench: a deterministic search benchmark. Fixed positions are searched
// under fixed iteration caps, never under the clock, so the signature line (total
// node-counter advance and a hash of the chosen moves) is the same on every run
// and machine; a change of the signature means a change of the search. After it
// come throughput and memory figures, which do depend on the machine.
//
//   kelmo-bench [--signature]   (--signature: the fixed searches and the signature only)
#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "board/candidates.h"
#include "board/k2board.h"
#include "search/driver.h"
#include "search/memory_use.h"
#include "search/stat_node.h"
#include "search/stopwatch.h"

using namespace kelmo;

namespace {

constexpr std::uint64_t ITERATION_CAP = 3000;
constexpr std::int32_t NO_TIME_LIMIT = 2147483647;
constexpr std::int64_t NO_MEMORY_LIMIT = INT64_MAX;
constexpr std::int64_t DEFAULT_MEMORY_LIMIT = 80000000;
constexpr std::int64_t LARGE_MEMORY_LIMIT = 350000000;

struct Position {
    const char* name;
    std::vector<int> moves;  // played in turn from player 0, the opponent
    int sideToMove;          // -1: whoever is to move after the moves
};

// Openings, middle games and tactical positions. The last ones set the brain to
// move whatever the count of stones, as a position handed over by BOARD would.
const std::vector<Position> POSITIONS = {
    {"empty board", {}, -1},
    {"one stone", {210}, -1},
    {"two stones", {210, 211}, -1},
    {"opening 3", {210, 189, 231}, -1},
    {"opening 4", {210, 211, 191, 229}, -1},
    {"opening 5", {210, 190, 211, 212, 230}, -1},
    {"opening 6", {190, 210, 211, 189, 231, 232}, -1},
    {"opening 7", {210, 230, 209, 208, 190, 170, 231}, -1},
    {"middle 6", {210, 211, 190, 231, 230, 250}, -1},
    {"middle 9", {210, 211, 190, 231, 230, 250, 170, 150, 191}, -1},
    {"middle 11a", {210, 209, 211, 212, 189, 231, 168, 147, 190, 170, 229}, -1},
    {"middle 11b", {210, 230, 211, 212, 190, 250, 191, 171, 169, 208, 232}, -1},
    {"middle 12a", {150, 171, 172, 193, 192, 214, 235, 213, 212, 191, 233, 170}, -1},
    {"middle 12b", {110, 131, 132, 152, 153, 174, 173, 195, 154, 175, 196, 217}, -1},
    {"middle 13a", {210, 231, 211, 209, 232, 253, 189, 168, 188, 190, 167, 146, 212}, -1},
    {"middle 13b", {250, 251, 271, 292, 272, 273, 231, 212, 291, 311, 230, 252, 210}, -1},
    {"middle 13c", {210, 211, 212, 190, 170, 231, 251, 232, 233, 191, 253, 213, 172}, -1},
    {"middle 14", {205, 226, 227, 247, 248, 228, 206, 186, 269, 290, 249, 250, 208, 187}, -1},
    {"edge", {0, 21, 1, 22, 2, 23, 42, 3}, -1},
    {"tactic four-three", {194, 191, 0, 192, 1, 193, 2, 210, 399, 230}, 1},
    {"tactic vcf", {194, 191, 325, 192, 326, 193, 327, 230, 399, 250}, 1},
    {"tactic two threes", {210, 385, 211, 386, 212, 387, 92, 0, 112, 19, 132, 380, 384, 399}, 1},
    {"tactic defend", {210, 189, 211, 230, 212}, -1},
    {"tactic open three", {0, 210, 19, 211, 380, 212}, 1},
};

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

K2Board* buildBoard(const Position& p) {
    auto* board = new K2Board();
    board->clear();
    for (int sq : p.moves) {
        if (!board->isEmpty(sq)) {
            std::fprintf(stderr, "bench position %s plays %d twice\n", p.name, sq);
            std::exit(1);
        }
        board->play(sq);
    }
    if (p.sideToMove >= 0)
        board->sideToMove = static_cast<std::uint8_t>(p.sideToMove);
    return board;
}

// What the kernel says the process holds privately, to compare the reading
// with; -1 where /proc does not exist.
std::int64_t residentAnonymous() {
    std::int64_t kb = -1;
    if (std::FILE* f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, f))
            if (std::strncmp(line, "RssAnon:", 8) == 0)
                kb = std::atoll(line + 8);
        std::fclose(f);
    }
    return kb < 0 ? -1 : kb * 1024;
}

struct TreeCensus {
    std::uint64_t nodes = 0, boards = 0, items = 0, links = 0;
    std::uint64_t ownBytes() const {
        return nodes * sizeof(StatNode) + links * sizeof(StatNode*) + boards * sizeof(K2Board) +
               items * sizeof(ThreatListItem);
    }
};

TreeCensus census(const StatNode* root) {
    TreeCensus c;
    std::vector<const StatNode*> stack{root};
    while (!stack.empty()) {
        const StatNode* node = stack.back();
        stack.pop_back();
        ++c.nodes;
        c.links += node->childrenCnt;
        if (node->board) {
            ++c.boards;
            for (int p = 0; p < PLAYER_NB; ++p)
                for (const ThreatListItem* it = node->board->threatHead(p); it; it = node->board->nextThreat(it))
                    ++c.items;
        }
        for (unsigned i = 0; i < node->childrenCnt; ++i)
            stack.push_back(node->children[i]);
    }
    return c;
}

struct Run {
    SearchStats stats;
    double seconds = 0;
    double teardownSeconds = 0;
    double releaseSeconds = 0;
    int move = -1;
    TreeCensus tree;
    std::int64_t memoryGrowth = 0;
    std::int64_t reading = 0;   // processMemoryUse with the full tree
    std::int64_t resident = 0;  // the kernel's count at the same moment
};

// One search on a fresh root, then the tree's teardown as the brain does it.
Run search(const Position& p, std::uint64_t cap, std::int64_t memoryLimit, bool takeCensus) {
    Run run;
    auto* root = new StatNode(buildBoard(p), nullptr);
    const std::int64_t before = processMemoryUse();
    auto start = std::chrono::steady_clock::now();
    run.move = runSearch(root, NO_TIME_LIMIT, memoryLimit, cap, &run.stats);
    run.seconds = secondsSince(start);
    run.reading = processMemoryUse();
    run.resident = residentAnonymous();
    run.memoryGrowth = run.reading - before;
    if (takeCensus)
        run.tree = census(root);
    start = std::chrono::steady_clock::now();
    delete root;
    run.teardownSeconds = secondsSince(start);
    start = std::chrono::steady_clock::now();
    releaseFreedMemory();
    run.releaseSeconds = secondsSince(start);
    return run;
}

std::uint64_t fnv1a(std::uint64_t hash, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        hash ^= (value >> (8 * i)) & 0xffu;
        hash *= 1099511628211ull;
    }
    return hash;
}

} // namespace

int main(int argc, char** argv) {
    const bool signatureOnly = argc == 2 && std::strcmp(argv[1], "--signature") == 0;
    if (argc > 1 && !signatureOnly) {
        std::fprintf(stderr, "usage: kelmo-bench [--signature]\n");
        return 2;
    }
    nodeCounter = 0;
    std::int64_t peak = processMemoryUse();

    // Signature: every position under the iteration cap, no clock, no memory limit.
    std::uint64_t totalNodes = 0, totalIterations = 0;
    std::uint64_t hash = 14695981039346656037ull;
    double searchSeconds = 0;
    for (const Position& p : POSITIONS) {
        Run run = search(p, ITERATION_CAP, NO_MEMORY_LIMIT, false);
        totalNodes += run.stats.nodes;
        totalIterations += run.stats.iterations;
        searchSeconds += run.seconds;
        hash = fnv1a(hash, static_cast<std::uint32_t>(run.move));
        if (run.stats.peakMemory > peak)
            peak = run.stats.peakMemory;
        std::printf("%-20s move %3d  iterations %6" PRIu64 "  nodes %8u\n", p.name, run.move,
                    run.stats.iterations, run.stats.nodes);
    }
    std::printf("signature: nodes=%" PRIu64 " hash=%016" PRIx64 "\n", totalNodes, hash);
    if (signatureOnly)
        return 0;

    std::printf("\nsearch: %.0f iterations/s, %.0f nodes/s (%.2f s)\n", totalIterations / searchSeconds,
                totalNodes / searchSeconds, searchSeconds);

    // The two readings the loop takes every iteration.
    constexpr int QUERIES = 200000;
    volatile std::int64_t sink = 0;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < QUERIES; ++i)
        sink = sink + processMemoryUse();
    const double memoryQuery = secondsSince(start) / QUERIES;
    Stopwatch watch;
    watch.start();
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < QUERIES; ++i)
        sink = sink + watch.elapsed();
    const double clockQuery = secondsSince(start) / QUERIES;
    const double perIteration = searchSeconds / static_cast<double>(totalIterations);
    std::printf("memory query %.0f ns, clock %.0f ns: %.2f%% of an iteration (%.1f us)\n", memoryQuery * 1e9,
                clockQuery * 1e9, 100.0 * (memoryQuery + clockQuery) / perIteration, perIteration * 1e6);

    // Board operations the expansion is made of.
    {
        const Position& p = POSITIONS[9];
        K2Board* board = buildBoard(p);
        K2Board* probe = board->clone();
        generateCandidates(*probe);
        std::vector<int> squares(candidates.squares, candidates.squares + candidates.count);
        constexpr int COPIES = 200000;
        start = std::chrono::steady_clock::now();
        for (int i = 0; i < COPIES; ++i) {
            bool decided;
            delete board->cloneAndPlay(squares[i % squares.size()], decided);
        }
        const double copies = COPIES / secondsSince(start);
        start = std::chrono::steady_clock::now();
        for (int i = 0; i < COPIES; ++i)
            sink = sink + generateCandidates(*probe);
        const double generations = COPIES / secondsSince(start);
        std::printf("clone+play (and delete) %.0f/s, generateCandidates %.0f/s\n", copies, generations);
        delete probe;
        delete board;
    }

    // Memory per node on a tree of the default limit, and two searches in a row:
    // the second must find its budget whole again.
    const Position& big = POSITIONS[8];
    Run first = search(big, 0, DEFAULT_MEMORY_LIMIT, true);
    Run second = search(big, 0, DEFAULT_MEMORY_LIMIT, false);
    for (const Run* r : {&first, &second})
        if (r->stats.peakMemory > peak)
            peak = r->stats.peakMemory;
    std::printf("default limit %" PRId64 " bytes: first search %u nodes, second %u nodes (%.1f%%)\n",
                DEFAULT_MEMORY_LIMIT, first.stats.nodes, second.stats.nodes,
                100.0 * second.stats.nodes / first.stats.nodes);
    if (first.resident >= 0)
        std::printf("  reading with the first tree %.1f MB, resident anonymous memory %.1f MB\n",
                    first.reading / 1e6, first.resident / 1e6);
    const TreeCensus& t = first.tree;
    std::printf("memory per node %.0f bytes measured, %.0f bytes of objects (%" PRIu64 " nodes, %" PRIu64
                " boards, %" PRIu64 " list items): %+.1f%%\n",
                double(first.memoryGrowth) / t.nodes, double(t.ownBytes()) / t.nodes, t.nodes, t.boards,
                t.items, 100.0 * (double(first.memoryGrowth) / double(t.ownBytes()) - 1.0));
    std::printf("  sizes: node %zu, board %zu, list item %zu, child link %zu\n", sizeof(StatNode),
                sizeof(K2Board), sizeof(ThreatListItem), sizeof(StatNode*));

    // Teardown of a tree that fills the largest limit.
    Run large = search(big, 0, LARGE_MEMORY_LIMIT, false);
    if (large.stats.peakMemory > peak)
        peak = large.stats.peakMemory;
    std::printf("teardown of %u nodes (%.0f MB): %.1f ms, %.1f ms per million nodes; releasing the "
                "memory %.1f ms\n",
                large.stats.nodes, large.memoryGrowth / 1e6, large.teardownSeconds * 1e3,
                large.teardownSeconds * 1e3 / (large.stats.nodes / 1e6), large.releaseSeconds * 1e3);
    std::printf("  (search %.2f s, %.0f nodes/s)\n", large.seconds, large.stats.nodes / large.seconds);

    std::printf("peak memory %.1f MB\n", peak / 1e6);
    return sink == 42 ? 1 : 0;
}
