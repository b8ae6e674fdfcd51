// The alpha-beta search's transposition table: buckets of four entries, one cache line each, keyed by the
// board's Zobrist key. Allocated once at a given size and never grown; a search only reads and overwrites.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "board/shape_board.h"

namespace kelmo {

enum Bound : std::uint8_t { BOUND_NONE = 0, BOUND_UPPER = 1, BOUND_LOWER = 2, BOUND_EXACT = 3 };

struct TtEntry {
    std::uint64_t key;       // the whole key: a bucket index collision is never mistaken for a hit
    std::int16_t score;      // mate scores stored relative to this node (see ProEngine)
    std::int16_t move;       // best or refuting square, -1 for none
    std::int8_t depth;
    std::uint8_t bound;
    std::uint8_t generation; // the search that last wrote it; older entries are replaced first
    std::uint8_t unused;
};
static_assert(sizeof(TtEntry) == 16);

class TranspositionTable {
public:
    static constexpr int BUCKET_ENTRIES = 4;
    struct alignas(64) Bucket {
        TtEntry entry[BUCKET_ENTRIES];
    };

    // As many buckets as fit in bytes (at least one).
    explicit TranspositionTable(std::size_t bytes);
    void resize(std::size_t bytes);
    std::size_t bytes() const { return bucketCount_ * sizeof(Bucket); }
    void clear();
    // A new search: entries of earlier searches become the first to be replaced.
    void newSearch() { ++generation_; }

    // The entry for key, or nullptr.
    const TtEntry* probe(std::uint64_t key) const;
    void store(std::uint64_t key, int score, int move, int depth, Bound bound);

private:
    Bucket& bucketOf(std::uint64_t key) const { return buckets_[slotOf(key, bucketCount_)]; }

    std::unique_ptr<Bucket[]> buckets_;
    std::size_t bucketCount_ = 0;
    std::uint8_t generation_ = 0;
};

} // namespace kelmo
