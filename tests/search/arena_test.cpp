// NodeArena: pieces carved from blocks, released pieces reused by size, a
// reset that keeps the blocks, and a block cap that makes requests fail cleanly.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <vector>

#include "search/arena.h"

namespace kelmo {
namespace {

constexpr std::size_t GRAIN = NodeArena::GRAIN;

TEST(NodeArena, PiecesAreAlignedDisjointAndCounted) {
    NodeArena arena;
    EXPECT_EQ(arena.bytesInUse(), 0);
    EXPECT_EQ(arena.bytesHeld(), 0);
    struct Piece {
        char* at;
        std::size_t bytes;
    };
    std::vector<Piece> pieces;
    std::int64_t expected = 0;
    // Sizes off the grain and up to the largest piece, enough to span blocks.
    const std::size_t sizes[] = {1, 15, 16, 17, 48, 424, 1000, 19200, NodeArena::MAX_PIECE};
    for (int round = 0; round < 40; ++round) {
        for (std::size_t bytes : sizes) {
            auto* at = static_cast<char*>(arena.allocate(bytes));
            ASSERT_NE(at, nullptr);
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(at) % GRAIN, 0u);
            std::memset(at, round, bytes);  // the sanitizer build sees any overrun
            pieces.push_back({at, bytes});
            expected += static_cast<std::int64_t>((bytes + GRAIN - 1) / GRAIN * GRAIN);
        }
    }
    // Block tails left behind count as carved, so the count is at least the pieces.
    EXPECT_GE(arena.bytesInUse(), expected);
    EXPECT_LE(arena.bytesInUse(), arena.bytesHeld());
    EXPECT_GT(arena.bytesHeld(), static_cast<std::int64_t>(NodeArena::BLOCK_BYTES));
    // No two pieces overlap.
    std::set<std::pair<char*, char*>> spans;
    for (const Piece& p : pieces)
        spans.insert({p.at, p.at + p.bytes});
    char* end = nullptr;
    for (const auto& [first, last] : spans) {
        EXPECT_GE(first, end);
        end = last;
    }
}

TEST(NodeArena, RejectsEmptyAndOversizedRequests) {
    NodeArena arena;
    EXPECT_EQ(arena.allocate(0), nullptr);
    EXPECT_EQ(arena.allocate(NodeArena::MAX_PIECE + 1), nullptr);
    EXPECT_EQ(arena.bytesInUse(), 0);
}

TEST(NodeArena, AReleasedPieceServesTheNextRequestOfItsSize) {
    NodeArena arena;
    void* a = arena.allocate(100);
    void* b = arena.allocate(200);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    const std::int64_t inUse = arena.bytesInUse();
    arena.release(a, 100);
    EXPECT_EQ(arena.bytesFree(), 112);
    // Another size does not take it; the same size (after rounding) does.
    void* c = arena.allocate(200);
    EXPECT_NE(c, a);
    EXPECT_EQ(arena.allocate(97), a);
    EXPECT_EQ(arena.bytesFree(), 0);
    EXPECT_EQ(arena.bytesInUse(), inUse + 208);
}

TEST(NodeArena, ResetKeepsTheBlocksAndStartsAgainFromTheFirst) {
    NodeArena arena;
    void* first = arena.allocate(64);
    for (int i = 0; i < 100; ++i)
        ASSERT_NE(arena.allocate(40000), nullptr);
    void* released = arena.allocate(64);
    arena.release(released, 64);
    const std::int64_t held = arena.bytesHeld();

    arena.reset();

    EXPECT_EQ(arena.bytesInUse(), 0);
    EXPECT_EQ(arena.bytesFree(), 0);
    EXPECT_EQ(arena.bytesHeld(), held);
    // The free lists went with the tree: the first piece comes from the first block again.
    EXPECT_EQ(arena.allocate(64), first);
    for (int i = 0; i < 100; ++i)
        ASSERT_NE(arena.allocate(40000), nullptr);
    EXPECT_EQ(arena.bytesHeld(), held);  // the same tree needs no new block
}

TEST(NodeArena, ABlockCapMakesRequestsFailAndLeavesTheArenaWhole) {
    NodeArena arena;
    arena.limitBlocks(2);
    std::vector<char*> pieces;
    for (;;) {
        auto* p = static_cast<char*>(arena.allocate(30000));
        if (!p)
            break;
        pieces.push_back(p);
        ASSERT_LT(pieces.size(), 1000u) << "the cap is not enforced";
    }
    EXPECT_EQ(arena.bytesHeld(), static_cast<std::int64_t>(2 * NodeArena::BLOCK_BYTES));
    const std::int64_t inUse = arena.bytesInUse();
    // A failed request changes nothing; a smaller one still fits in the tail,
    // and a released piece is still served.
    EXPECT_EQ(arena.allocate(30000), nullptr);
    EXPECT_EQ(arena.bytesInUse(), inUse);
    EXPECT_NE(arena.allocate(16), nullptr);
    arena.release(pieces.back(), 30000);
    EXPECT_EQ(arena.allocate(30000), pieces.back());
    // After a reset the held blocks serve again.
    arena.reset();
    EXPECT_NE(arena.allocate(30000), nullptr);
}

TEST(NodeArena, KeepAtMostFreesIdleBlocksButNeverOnesInUse) {
    NodeArena arena;
    for (int i = 0; i < 200; ++i)
        ASSERT_NE(arena.allocate(40000), nullptr);  // several blocks
    const std::int64_t held = arena.bytesHeld();
    const std::int64_t inUse = arena.bytesInUse();
    ASSERT_GE(held, static_cast<std::int64_t>(5 * NodeArena::BLOCK_BYTES));
    // The tree standing needs every block it has carved from.
    arena.keepAtMost(0);
    EXPECT_EQ(arena.bytesHeld(), held);
    EXPECT_EQ(arena.bytesInUse(), inUse);
    // After a reset only the blocks within the limit stay.
    arena.reset();
    arena.keepAtMost(2 * static_cast<std::int64_t>(NodeArena::BLOCK_BYTES) + 1);
    EXPECT_EQ(arena.bytesHeld(), static_cast<std::int64_t>(3 * NodeArena::BLOCK_BYTES));
    for (int i = 0; i < 200; ++i)
        ASSERT_NE(arena.allocate(40000), nullptr);  // and it grows again as needed
    EXPECT_EQ(arena.bytesHeld(), held);
    arena.reset();
    arena.keepAtMost(0);
    EXPECT_EQ(arena.bytesHeld(), 0);
}

} // namespace
} // namespace kelmo
