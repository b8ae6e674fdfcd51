// The memory reading and the stopwatch: the reading follows the tree in the
// arena as it is built and falls again when the arena is reset, while the
// arena keeps its blocks for the next tree.
#include <gtest/gtest.h>

#include <thread>

#include "search/driver.h"
#include "search/memory_use.h"
#include "search/stopwatch.h"
#include "support/board_diagram.h"
#include "tree_fixture.h"

namespace kelmo {
namespace {

TEST(MemoryGauge, RisesWithATreeAndFallsWhenTheArenaIsReset) {
    SearchContext ctx;
    const std::int64_t before = ctx.memory.read(ctx.arena);
    EXPECT_GT(before, 0);
    auto board = test::playSequence({210, 211, 190, 231, 230, 250});
    StatNode* root = test::rootOn(ctx, *board);
    SearchStats stats;
    runSearch(ctx, root, INT32_MAX, INT64_MAX, 3000, &stats);
    const std::int64_t grown = ctx.memory.read(ctx.arena);
    // Every node built holds at least its own record.
    EXPECT_GE(grown - before, static_cast<std::int64_t>(stats.builtNodes * sizeof(StatNode)));
    const std::int64_t held = ctx.arena.bytesHeld();

    ctx.arena.reset();

    EXPECT_EQ(ctx.memory.read(ctx.arena), before);
    EXPECT_EQ(ctx.arena.bytesHeld(), held);  // kept for the next tree
    // The same search again fits in the blocks already held.
    root = test::rootOn(ctx, *board);
    SearchStats again;
    runSearch(ctx, root, INT32_MAX, INT64_MAX, 3000, &again);
    EXPECT_EQ(again.nodes, stats.nodes);
    EXPECT_EQ(ctx.memory.read(ctx.arena), grown);
    EXPECT_EQ(ctx.arena.bytesHeld(), held);
}

TEST(MemoryGauge, AMemoryLimitStopsTheSearch) {
    // A limit a few megabytes above the current use ends the loop long before
    // the iteration cap.
    SearchContext ctx;
    auto board = test::playSequence({210, 211, 190, 231, 230, 250});
    StatNode* root = test::rootOn(ctx, *board);
    const std::int64_t limit = ctx.memory.read(ctx.arena) + 4000000;
    SearchStats stats;
    runSearch(ctx, root, INT32_MAX, limit, 100000, &stats);
    EXPECT_LT(stats.iterations, 100000u);
    EXPECT_FALSE(stats.outOfMemory);
    EXPECT_GE(stats.peakMemory, limit);
    EXPECT_LT(stats.peakMemory, limit + 1000000);
}

TEST(Stopwatch, CountsMillisecondsFromTheStart) {
    Stopwatch watch;
    watch.start();
    EXPECT_GE(watch.elapsed(), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_GE(watch.elapsed(), 20);  // a lower bound only: never a speed test
}

} // namespace
} // namespace kelmo
