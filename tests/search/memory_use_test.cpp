// The memory reading and the stopwatch: the reading follows a tree as it is
// built and falls again once it is destroyed.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "search/driver.h"
#include "search/memory_use.h"
#include "search/stopwatch.h"
#include "support/board_diagram.h"

namespace kelmo {
namespace {

TEST(ProcessMemoryUse, RisesWithATreeAndFallsWhenItIsDestroyed) {
    SearchContext ctx;
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator holds freed blocks in quarantine";
#endif
    const std::int64_t before = processMemoryUse();
    EXPECT_GT(before, 0);
    auto* root = new StatNode(ctx.nodeCounter, test::playSequence({210, 211, 190, 231, 230, 250}).release());
    SearchStats stats;
    runSearch(ctx, root, INT32_MAX, INT64_MAX, 3000, &stats);
    const std::int64_t grown = processMemoryUse();
    // About one node is built for every two counted, each at least its own record.
    EXPECT_GT(grown - before, static_cast<std::int64_t>(stats.nodes / 2 * sizeof(StatNode)));
    delete root;
    releaseFreedMemory();
    const std::int64_t after = processMemoryUse();
    EXPECT_LT(after - before, (grown - before) / 10);
}

TEST(ProcessMemoryUse, AMemoryLimitStopsTheSearch) {
    SearchContext ctx;
    // A limit a few megabytes above the current use ends the loop long before
    // the iteration cap.
    auto root = std::make_unique<StatNode>(ctx.nodeCounter, test::playSequence({210, 211, 190, 231, 230, 250}).release());
    const std::int64_t limit = processMemoryUse() + 4000000;
    SearchStats stats;
    runSearch(ctx, root.get(), INT32_MAX, limit, 100000, &stats);
    EXPECT_LT(stats.iterations, 100000u);
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
