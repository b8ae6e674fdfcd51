// Search driver: the time budget from the protocol's settings, the loop of
// select / expand / update under the time and memory limits, and the choice of
// the root move from the numbers the search left behind.
#include "search/driver.h"

#include "search/pn_search.h"
#include "search/stopwatch.h"

namespace kelmo {

std::int32_t computeBudget(std::int32_t time_left, std::int32_t timeout_turn) {
    // 95 % of the move allowance, truncated toward zero.
    auto perMove = static_cast<std::int32_t>(static_cast<double>(timeout_turn) * 0.95);
    // A thirtieth of the game time left; widened so that no value can overflow.
    auto perGame = static_cast<std::int32_t>((static_cast<std::int64_t>(time_left) - 1) / 30);
    // Compared as unsigned: a negative setting reads as huge and so loses.
    auto a = static_cast<std::uint32_t>(perMove);
    auto b = static_cast<std::uint32_t>(perGame);
    return static_cast<std::int32_t>(a < b ? a : b);
}

StatNode* chooseRootChild(const StatNode* root) {
    const unsigned n = root->childrenCnt;
    if (n == 0)
        return nullptr;
    StatNode* children = root->children;
    for (unsigned i = 0; i < n; ++i) {
        if (children[i].proofNum == 0)
            return children + i;
    }
    StatNode* chosen = nullptr;
    double best = 100000000000.0;
    for (unsigned i = 0; i < n; ++i) {
        double r = static_cast<double>(children[i].proofNum) /
                   (static_cast<double>(children[i].growthCnt) + 1.0);
        if (r >= 0 && r < best) {
            best = r;
            chosen = children + i;
        }
    }
    if (chosen)
        return chosen;
    // Every move loses: play the one whose refutation took the most work.
    std::int64_t most = 0;
    for (unsigned i = 0; i < n; ++i) {
        std::int64_t g = static_cast<std::int64_t>(children[i].growthCnt) + 1;
        if (g > most) {
            most = g;
            chosen = children + i;
        }
    }
    return chosen;
}

namespace {

// The reserve is twice the rate: a teardown is plain work that slows down when
// the machine is busy, while the search loop runs on the wall clock.
constexpr double RESERVE_HEADROOM = 2.0;
// Below this a teardown's time is mostly fixed costs and says little about the rate.
constexpr std::int64_t CALIBRATION_MIN_BYTES = 8000000;

// True when exactly one root move is not yet lost; counting stops at two.
bool onlyOneMoveLeft(const StatNode* root) {
    unsigned open = 0;
    for (unsigned i = 0; i < root->childrenCnt && open < 2; ++i) {
        if (root->children[i].disproofNum != 0)
            ++open;
    }
    return open == 1;
}

} // namespace

std::int32_t TeardownCalibration::reserveMs(std::int64_t treeBytes) const {
    if (treeBytes <= 0)
        return 0;
    double ms = RESERVE_HEADROOM * msPerMegabyte * static_cast<double>(treeBytes) / 1e6;
    return ms >= 1e9 ? 1000000000 : static_cast<std::int32_t>(ms) + 1;
}

void TeardownCalibration::note(std::int64_t treeBytes, std::int32_t ms) {
    if (treeBytes < CALIBRATION_MIN_BYTES || ms < 0)
        return;
    double rate = static_cast<double>(ms) * 1e6 / static_cast<double>(treeBytes);
    msPerMegabyte = rate > msPerMegabyte ? rate : 0.5 * (msPerMegabyte + rate);
}

int runSearch(SearchContext& context, StatNode* root, std::int32_t timeLimitMs, std::int64_t memoryLimit,
              std::uint64_t maxIterations, SearchStats* stats) {
    Stopwatch watch;
    watch.start();
    const std::uint32_t counterAtStart = context.nodeCounter;
    std::uint64_t iterations = 0;
    std::int64_t peak = 0;
    // The root's own bytes: the teardown reserve is for what the search adds.
    const std::int64_t memoryAtStart = context.arena.bytesInUse();
    const std::uint64_t builtAtStart = context.builtNodes;

    int reply = -1;
    bool outOfMemory = false;
    if (!root->isExpanded()) {
        root->proofNum = 1;
        root->disproofNum = 1;
        outOfMemory = !expand(context, root);
        updateValues(root);
    }
    if (root->childrenCnt < 2) {
        // Decided at once or a single candidate: the square the expansion found,
        // the generator's first choice when there was no room to expand, or no
        // move at all on a full board.
        if (root->childrenCnt == 1)
            reply = root->children[0].move;
        else if (!root->isExpanded() && context.candidates.count > 0)
            reply = context.candidates.squares[0];
    } else {
        StatNode* current = root;
        for (;;) {
            if (root->proofNum == 0 || root->disproofNum == 0)
                break;
            if (maxIterations != 0 && iterations >= maxIterations)
                break;
            std::int64_t memory = context.arena.bytesInUse();
            if (memory > peak)
                peak = memory;
            // The tree's teardown comes out of this move's time too.
            std::int64_t reserve = context.teardown.reserveMs(memory - memoryAtStart);
            if (std::int64_t{watch.elapsed()} + reserve >= timeLimitMs)
                break;
            if (memory >= memoryLimit)
                break;
            if (onlyOneMoveLeft(root))
                break;
            StatNode* leaf = selectMostProving(context, current);
            if (!expand(context, leaf)) {
                // No room for the leaf's children: the tree stays as it was, and
                // the choice below reads it as after the last full iteration.
                outOfMemory = true;
                break;
            }
            current = updateAncestors(context, leaf);
            ++iterations;
        }
        reply = chooseRootChild(root)->move;
    }

    if (stats) {
        stats->iterations = iterations;
        stats->nodes = context.nodeCounter - counterAtStart;
        stats->builtNodes = context.builtNodes - builtAtStart;
        stats->peakMemory = peak;
        stats->outOfMemory = outOfMemory;
    }
    return reply;
}

} // namespace kelmo
