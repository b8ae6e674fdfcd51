// kelmo-bench: a deterministic search benchmark. Fixed positions are searched
// under fixed iteration caps, never under the clock, so the signature line (total
// node-counter advance and a hash of the chosen moves) is the same on every run
// and machine; a change of the signature means a change of the search. After it
// come throughput and memory figures, which do depend on the machine: nodes
// actually built beside the counted ones, board copies on real leaf positions,
// where the time of an expansion goes, and the memory of a large tree.
//
//   kelmo-bench [--signature]   (--signature: the fixed searches and the signature only)
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <ctime>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

#include "board/candidates.h"
#include "board/k2board.h"
#include "board/reach.h"
#include "board/threat_tables.h"
#include "search/driver.h"
#include "search/memory_use.h"
#include "search/pn_search.h"
#include "search/stat_node.h"
#include "search/stopwatch.h"

using namespace kelmo;

namespace {

constexpr std::uint64_t ITERATION_CAP = 3000;
constexpr std::int32_t NO_TIME_LIMIT = 2147483647;
constexpr std::int64_t NO_MEMORY_LIMIT = INT64_MAX;
// max_memory of the two large searches: each tree gets searchBudget() of it,
// as the brain's would in this process.
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

// Processor time of the process: the machine is shared, so throughput is
// reported per CPU second as well as per wall second.
double cpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

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

// What the kernel says the process holds privately, to compare the tree's
// count with; -1 where /proc does not exist.
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
    std::uint64_t nodes = 0, boards = 0, items = 0;
    std::uint64_t ownBytes() const {
        return nodes * sizeof(StatNode) + boards * sizeof(PackedPosition) + items * sizeof(LineRecord);
    }
};

TreeCensus census(const StatNode* root) {
    TreeCensus c;
    std::vector<const StatNode*> stack{root};
    while (!stack.empty()) {
        const StatNode* node = stack.back();
        stack.pop_back();
        ++c.nodes;
        if (node->board) {
            ++c.boards;
            c.items += std::uint64_t{node->board->listLength[0]} + node->board->listLength[1];
        }
        for (unsigned i = 0; i < node->childrenCnt; ++i)
            stack.push_back(node->child(i));
    }
    return c;
}

struct Run {
    SearchStats stats;
    double seconds = 0;
    double cpu = 0;
    double teardownSeconds = 0;
    int move = -1;
    TreeCensus tree;
    std::int64_t memoryGrowth = 0;
    std::int64_t reading = 0;   // the tree's bytes in the arena, full grown
    std::int64_t resident = 0;  // the kernel's count at the same moment
    std::uint64_t releasedNodes = 0;
    std::int64_t releasedBytes = 0;
};

// One search on a fresh root, then the tree's teardown as the brain does it.
Run search(SearchContext& context, const Position& p, std::uint64_t cap, std::int64_t memoryLimit, bool takeCensus) {
    Run run;
    K2Board* position = buildBoard(p);
    StatNode* root = newRoot(context, *position);
    delete position;
    const std::int64_t before = context.arena.bytesInUse();
    const std::uint64_t releasedNodes = context.releasedNodes;
    const std::int64_t releasedBytes = context.releasedBytes;
    auto start = std::chrono::steady_clock::now();
    const double cpuStart = cpuSeconds();
    run.move = runSearch(context, root, NO_TIME_LIMIT, memoryLimit, cap, &run.stats);
    run.cpu = cpuSeconds() - cpuStart;
    run.seconds = secondsSince(start);
    run.reading = context.arena.bytesInUse();
    run.resident = residentAnonymous();
    run.memoryGrowth = run.reading - before;
    run.releasedNodes = context.releasedNodes - releasedNodes;
    run.releasedBytes = context.releasedBytes - releasedBytes;
    if (takeCensus)
        run.tree = census(root);
    start = std::chrono::steady_clock::now();
    context.arena.reset();
    run.teardownSeconds = secondsSince(start);
    return run;
}

std::uint64_t fnv1a(std::uint64_t hash, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        hash ^= (value >> (8 * i)) & 0xffu;
        hash *= 1099511628211ull;
    }
    return hash;
}

// One expansion the search really made: the parent's position (stored, and
// unpacked), the move that led to the expanded node, the node's own position
// unpacked and its children's moves.
struct Expansion {
    const PackedPosition* storedParent;
    std::shared_ptr<const K2Board> parent;
    int move;
    std::shared_ptr<const K2Board> position;
    std::vector<int> children;
};

// The expansions behind a whole tree (kept whole: no subtree released), in the
// order a depth-first walk meets them. Every stored position is unpacked once.
std::vector<Expansion> expansionsOf(const StatNode* root) {
    std::vector<Expansion> found;
    std::unordered_map<const PackedPosition*, std::shared_ptr<const K2Board>> unpacked;
    auto boardOf = [&](const PackedPosition* stored) -> std::shared_ptr<const K2Board> {
        if (!stored)
            return nullptr;
        std::shared_ptr<const K2Board>& board = unpacked[stored];
        if (!board) {
            auto fresh = std::make_shared<K2Board>();
            fresh->copyFrom(*stored);
            board = std::move(fresh);
        }
        return board;
    };
    std::vector<const StatNode*> stack{root};
    while (!stack.empty()) {
        const StatNode* node = stack.back();
        stack.pop_back();
        if (!node->isExpanded())
            continue;
        const PackedPosition* storedParent = node->parent ? node->parent->board : nullptr;
        Expansion e{storedParent, boardOf(storedParent), node->move, boardOf(node->board), {}};
        for (unsigned i = 0; i < node->childrenCnt; ++i) {
            e.children.push_back(node->child(i)->move);
            stack.push_back(node->child(i));
        }
        if (e.parent)
            found.push_back(std::move(e));
    }
    return found;
}

// The squares a play's update re-evaluates, each a computeLines call: the
// squares that were active before the stone, walked as the update walks them.
std::vector<int> evaluatedSquares(const K2Board& before, const K2Board& after, int move) {
    std::vector<int> squares;
    for (int sense = 0; sense < SENSE_NB; ++sense) {
        const int step = SENSE_STEP[sense];
        const int bound = reach[sense][move];
        int seenColour = -1;
        for (int c = move; c != bound;) {
            c += step;
            const std::uint8_t cell = after.cells[c];
            if (cell & CELL_EMPTY) {
                if (before.cells[c] & CELL_ACTIVE)
                    squares.push_back(c);
            } else {
                const int colour = cell & CELL_COLOUR;
                if (seenColour >= 0 && seenColour != colour)
                    break;
                seenColour = colour;
            }
        }
    }
    return squares;
}

template <typename Step>
double timeCpu(Step step) {
    const double start = cpuSeconds();
    step();
    return cpuSeconds() - start;
}

// A root on the position in the context's arena, with the whole tree kept
// (solved subtrees not released) so that every expansion can be revisited.
StatNode* rootKeepingTheTree(SearchContext& context, const Position& p) {
    context.releaseSolved = false;
    K2Board* position = buildBoard(p);
    StatNode* root = newRoot(context, *position);
    delete position;
    return root;
}

// Where an expansion's time goes, measured phase by phase on the expansions of
// a real tree: every phase is repeated over all of them in a loop of its own,
// so no clock is read inside the search and nothing is sampled.
void phaseSplit(const Position& p) {
    SearchContext context;
    StatNode* root = rootKeepingTheTree(context, p);
    SearchStats stats;
    const double searchCpu = timeCpu([&] { runSearch(context, root, NO_TIME_LIMIT, NO_MEMORY_LIMIT, ITERATION_CAP, &stats); });
    const std::vector<Expansion> expansions = expansionsOf(root);
    std::uint64_t children = 0;
    for (const Expansion& e : expansions)
        children += e.children.size();

    // The post-play boards of the children and the squares each play re-evaluated.
    std::vector<K2Board*> played;
    std::vector<std::vector<int>> evaluated;
    for (const Expansion& e : expansions)
        for (int move : e.children) {
            K2Board* board = e.position->clone();
            board->play(move);
            evaluated.push_back(evaluatedSquares(*e.position, *board, move));
            played.push_back(board);
        }

    K2Board& work = context.work;
    K2Board& probe = context.probe;
    CandidateList list{};
    volatile int sink = 0;
    constexpr int ROUNDS = 3;
    double copy = 0, copyPlay = 0, lines = 0, estimate = 0, candidates = 0, allocation = 0, packing = 0;
    for (int round = 0; round < ROUNDS; ++round) {
        // Boards copied: the position rebuilt from its parent's stored form and
        // one scratch copy per child.
        copy += timeCpu([&] {
            for (const Expansion& e : expansions) {
                work.copyFrom(*e.storedParent);
                for (std::size_t i = 0; i < e.children.size(); ++i)
                    probe.copyFrom(*e.position);
            }
        });
        copyPlay += timeCpu([&] {
            for (const Expansion& e : expansions) {
                work.copyFrom(*e.storedParent);
                work.play(e.move);
                for (int move : e.children) {
                    probe.copyFrom(*e.position);
                    probe.play(move);
                }
            }
        });
        lines += timeCpu([&] {
            for (std::size_t i = 0; i < played.size(); ++i)
                for (int sq : evaluated[i])
                    computeLines(*played[i], sq);
        });
        estimate += timeCpu([&] {
            int first = 0, second = 0;
            for (const K2Board* board : played) {
                board->estimate(first, second);
                sink = sink + first + second;
            }
        });
        candidates += timeCpu([&] {
            for (const Expansion& e : expansions)
                sink = sink + generateCandidates(const_cast<K2Board&>(*e.position), list);
        });
        // The arena's part: a stored position and a child array per expansion.
        NodeArena arena;
        allocation += timeCpu([&] {
            for (const Expansion& e : expansions) {
                sink = sink + (arena.allocate(e.position->positionBytes()) != nullptr);
                sink = sink + (arena.allocate(e.children.size() * sizeof(StatNode)) != nullptr);
            }
        });
        arena.reset();
        packing += timeCpu([&] {
            for (const Expansion& e : expansions)
                e.position->packPosition(arena.allocate(e.position->positionBytes()));
        });
    }
    for (K2Board* board : played)
        delete board;
    const double n = static_cast<double>(ROUNDS) * static_cast<double>(expansions.size());
    const double play = copyPlay - copy;
    const double phases[] = {copy / n, lines / n, (play - lines) / n, estimate / n, candidates / n,
                             (allocation + packing) / n};
    const char* names[] = {"board copies", "line codes in play", "square evaluation and lists",
                           "estimates", "candidates (with their own line codes)", "allocation and packing"};
    const double perExpansion = searchCpu / static_cast<double>(stats.iterations);
    double measured = 0;
    for (double t : phases)
        measured += t;
    std::printf("\nphases of an expansion (%s, %zu expansions of %.1f children; %.1f us each in the search):\n",
                p.name, expansions.size(), double(children) / double(expansions.size()), perExpansion * 1e6);
    for (int i = 0; i < 6; ++i)
        std::printf("  %-40s %6.2f us  %5.1f%%\n", names[i], phases[i] * 1e6, 100.0 * phases[i] / perExpansion);
    std::printf("  %-40s %6.2f us  %5.1f%%\n", "rest (selection, updates, cache misses)",
                (perExpansion - measured) * 1e6, 100.0 * (perExpansion - measured) / perExpansion);
    std::printf("  line codes: %.1f computeLines calls per play\n",
                [&] {
                    double calls = 0;
                    for (const auto& v : evaluated)
                        calls += static_cast<double>(v.size());
                    return calls / static_cast<double>(evaluated.size());
                }());
    (void)sink;
}

// Clone+play on the leaf positions of a real tree, in an order that walks
// all over it, so that boards come from memory rather than a warm cache.
void clonePlay(const Position& p) {
    SearchContext context;
    StatNode* root = rootKeepingTheTree(context, p);
    runSearch(context, root, NO_TIME_LIMIT, NO_MEMORY_LIMIT, ITERATION_CAP);
    struct Leaf {
        std::shared_ptr<const K2Board> parent;
        int move;
    };
    std::vector<Leaf> leaves;
    for (const Expansion& e : expansionsOf(root))
        for (int move : e.children)
            leaves.push_back({e.position, move});
    // A fixed stride through the list: deterministic, and no two neighbours share a parent.
    std::vector<Leaf> order;
    const std::size_t stride = 7919;
    for (std::size_t i = 0, k = 0; i < leaves.size(); ++i, k = (k + stride) % leaves.size())
        order.push_back(leaves[k]);
    K2Board& probe = context.probe;
    volatile int sink = 0;
    const double copyOnly = timeCpu([&] {
        for (const Leaf& l : order)
            probe.copyFrom(*l.parent);
    });
    const double scratch = timeCpu([&] {
        for (const Leaf& l : order) {
            probe.copyFrom(*l.parent);
            sink = sink + probe.play(l.move);
        }
    });
    const double heap = timeCpu([&] {
        for (const Leaf& l : order) {
            bool decided;
            delete l.parent->cloneAndPlay(l.move, decided);
            sink = sink + decided;
        }
    });
    const double n = static_cast<double>(order.size());
    std::printf("\nclone+play on %zu real leaf positions (%s): %.2f us on the scratch board (copy %.2f us), "
                "%.2f us as a heap clone with delete\n",
                order.size(), p.name, scratch / n * 1e6, copyOnly / n * 1e6, heap / n * 1e6);
    (void)sink;
}

} // namespace

int main(int argc, char** argv) {
    const bool signatureOnly = argc == 2 && std::strcmp(argv[1], "--signature") == 0;
    if (argc > 1 && !signatureOnly) {
        std::fprintf(stderr, "usage: kelmo-bench [--signature]\n");
        return 2;
    }
    SearchContext context;
    std::int64_t peak = 0;  // the largest tree, in bytes

    // Signature: every position under the iteration cap, no clock, no memory limit.
    std::uint64_t totalNodes = 0, totalBuilt = 0, totalIterations = 0, releasedNodes = 0;
    std::int64_t releasedBytes = 0, carvedBytes = 0;
    std::uint64_t hash = 14695981039346656037ull;
    double searchSeconds = 0, searchCpu = 0;
    const double passCpu = cpuSeconds();
    for (const Position& p : POSITIONS) {
        Run run = search(context, p, ITERATION_CAP, NO_MEMORY_LIMIT, false);
        totalNodes += run.stats.nodes;
        totalBuilt += run.stats.builtNodes;
        totalIterations += run.stats.iterations;
        searchSeconds += run.seconds;
        searchCpu += run.cpu;
        releasedNodes += run.releasedNodes;
        releasedBytes += run.releasedBytes;
        carvedBytes += run.memoryGrowth;
        hash = fnv1a(hash, static_cast<std::uint32_t>(run.move));
        if (run.stats.peakMemory > peak)
            peak = run.stats.peakMemory;
        std::printf("%-20s move %3d  iterations %6" PRIu64 "  nodes %8u  built %8" PRIu64 "\n", p.name, run.move,
                    run.stats.iterations, run.stats.nodes, run.stats.builtNodes);
    }
    std::printf("signature: nodes=%" PRIu64 " hash=%016" PRIx64 "\n", totalNodes, hash);
    std::printf("signature pass CPU %.3f s (searches, roots and teardowns)\n", cpuSeconds() - passCpu);

    std::printf("\nsearch: %.0f iterations/s, %.0f counted nodes/s, %.0f built nodes/s (%.2f s)\n",
                totalIterations / searchSeconds, totalNodes / searchSeconds, totalBuilt / searchSeconds,
                searchSeconds);
    std::printf("  per CPU second: %.0f built nodes, %.0f counted (%" PRIu64 " built, %" PRIu64
                " counted, %.2f CPU s)\n",
                totalBuilt / searchCpu, totalNodes / searchCpu, totalBuilt, totalNodes, searchCpu);
    std::printf("  solved subtrees released: %" PRIu64 " nodes, %.1f MB, against %.1f MB carved (%.1f%%)\n",
                releasedNodes, releasedBytes / 1e6, carvedBytes / 1e6, 100.0 * double(releasedBytes) / double(carvedBytes));
    std::printf("  leaf positions found kept: %" PRIu64 " of %" PRIu64 " expansions below the root\n",
                context.leafBoards.hits, context.leafBoards.hits + context.leafBoards.misses);
    if (signatureOnly)
        return 0;

    // The clock the loop reads every iteration (its memory check is the arena's
    // own count), and the process reading the brain takes once a move for its
    // memory budget.
    constexpr int QUERIES = 200000;
    volatile std::int64_t sink = 0;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < QUERIES / 100; ++i)
        sink = sink + readProcessMemory().committed;
    const double memoryQuery = secondsSince(start) / (QUERIES / 100);
    Stopwatch watch;
    watch.start();
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < QUERIES; ++i)
        sink = sink + watch.elapsed();
    const double clockQuery = secondsSince(start) / QUERIES;
    const double perIteration = searchSeconds / static_cast<double>(totalIterations);
    std::printf("clock %.0f ns: %.2f%% of an iteration (%.1f us); process memory reading %.0f ns, once a move\n",
                clockQuery * 1e9, 100.0 * clockQuery / perIteration, perIteration * 1e6, memoryQuery * 1e9);

    clonePlay(POSITIONS[9]);
    phaseSplit(POSITIONS[9]);
    phaseSplit(POSITIONS[14]);

    // Memory per node on a tree of the default limit, and two searches in a row:
    // the second must find its budget whole again.
    const Position& big = POSITIONS[8];
    const std::int64_t defaultBudget = searchBudget(DEFAULT_MEMORY_LIMIT, context.arena.bytesHeld());
    Run first = search(context, big, 0, defaultBudget, true);
    Run second = search(context, big, 0, defaultBudget, false);
    for (const Run* r : {&first, &second})
        if (r->stats.peakMemory > peak)
            peak = r->stats.peakMemory;
    std::printf("\ndefault limit %" PRId64 " bytes (a tree of %.1f MB): first search %u counted nodes (%" PRIu64
                " built), second %u (%.1f%%)\n",
                DEFAULT_MEMORY_LIMIT, defaultBudget / 1e6, first.stats.nodes, first.stats.builtNodes, second.stats.nodes,
                100.0 * second.stats.nodes / first.stats.nodes);
    if (first.resident >= 0)
        std::printf("  the first tree %.1f MB, resident anonymous memory %.1f MB\n",
                    first.reading / 1e6, first.resident / 1e6);
    const TreeCensus& t = first.tree;
    std::printf("  %.0f bytes per built node; the tree left standing: %" PRIu64 " nodes, %" PRIu64
                " boards, %" PRIu64 " list items (%.0f bytes of objects per node)\n",
                double(first.memoryGrowth) / double(first.stats.builtNodes), t.nodes, t.boards, t.items,
                double(t.ownBytes()) / double(t.nodes));
    std::printf("  sizes: node %zu, stored position %zu, list record %zu\n", sizeof(StatNode),
                sizeof(PackedPosition), sizeof(LineRecord));

    // A tree that fills the largest limit, and its teardown.
    Run large = search(context, big, 0, searchBudget(LARGE_MEMORY_LIMIT, context.arena.bytesHeld()), false);
    if (large.stats.peakMemory > peak)
        peak = large.stats.peakMemory;
    std::printf("\n%.0f MB search: %" PRIu64 " built nodes, %u counted, %.0f bytes per built node; "
                "%" PRIu64 " nodes (%.1f MB) of solved subtrees released\n",
                large.memoryGrowth / 1e6, large.stats.builtNodes, large.stats.nodes,
                double(large.memoryGrowth) / double(large.stats.builtNodes), large.releasedNodes,
                large.releasedBytes / 1e6);
    std::printf("  search %.2f s (%.2f CPU s), %.0f built nodes per CPU second; teardown %.3f ms\n", large.seconds,
                large.cpu, large.stats.builtNodes / large.cpu, large.teardownSeconds * 1e3);

    const ProcessMemory process = readProcessMemory();
    std::printf("largest tree %.1f MB; process peaks: resident %.1f MB, virtual %.1f MB\n", peak / 1e6,
                process.peakResident / 1e6, process.peakCommitted / 1e6);
    return sink == 42 ? 1 : 0;
}
