// Transposition table storage and replacement.
#include "alphabeta/transposition.h"

#include <algorithm>
#include <cstring>

namespace kelmo {

TranspositionTable::TranspositionTable(std::size_t bytes) { resize(bytes); }

void TranspositionTable::resize(std::size_t bytes) {
    const std::size_t count = std::max<std::size_t>(1, bytes / sizeof(Bucket));
    if (count != bucketCount_) {
        buckets_.reset();  // the old block goes before the new one comes, so the peak stays at one table
        buckets_.reset(new Bucket[count]);
        bucketCount_ = count;
    }
    clear();
}

void TranspositionTable::clear() {
    std::memset(static_cast<void*>(buckets_.get()), 0, bucketCount_ * sizeof(Bucket));
    for (std::size_t b = 0; b < bucketCount_; ++b)
        for (TtEntry& e : buckets_[b].entry)
            e.move = -1;
    generation_ = 0;
}

const TtEntry* TranspositionTable::probe(std::uint64_t key) const {
    const Bucket& bucket = bucketOf(key);
    for (const TtEntry& e : bucket.entry)
        if (e.key == key && e.bound != BOUND_NONE)
            return &e;
    return nullptr;
}

void TranspositionTable::store(std::uint64_t key, int score, int move, int depth, Bound bound) {
    Bucket& bucket = bucketOf(key);
    TtEntry* target = nullptr;
    for (TtEntry& e : bucket.entry)
        if (e.key == key) {
            target = &e;
            break;
        }
    if (target) {
        // A shallower non-exact result of the same search does not wipe a deeper one, but it keeps its move.
        if (bound != BOUND_EXACT && target->generation == generation_ && target->depth > depth + 2) {
            if (move >= 0)
                target->move = static_cast<std::int16_t>(move);
            return;
        }
        if (move < 0)
            move = target->move;
    } else {
        // Replace the entry worth least: empty first, then old searches, then shallow ones.
        int worst = 1 << 30;
        for (TtEntry& e : bucket.entry) {
            const int age = static_cast<std::uint8_t>(generation_ - e.generation);
            const int worth = e.bound == BOUND_NONE ? -(1 << 20) : e.depth - 16 * age;
            if (worth < worst) {
                worst = worth;
                target = &e;
            }
        }
    }
    target->key = key;
    target->score = static_cast<std::int16_t>(score);
    target->move = static_cast<std::int16_t>(move);
    target->depth = static_cast<std::int8_t>(depth);
    target->bound = bound;
    target->generation = generation_;
}

} // namespace kelmo
