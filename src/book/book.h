// Learning's walk through the opening book "kelmo.book": counts a game in the
// nodes on its line by incrementing their counters in place.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "book/book_cursor.h"

namespace kelmo {

struct BookWalk {
    BookStatus status = BookStatus::Ended;
    int counted = 0;              // node records whose counter was incremented
    std::uint64_t offset = 0;     // where the walk stopped (the faulty record or offset)

    bool broken() const {
        return status != BookStatus::Ended && status != BookStatus::ForeignRecord;
    }
};

// The book walk without any reporting: learning uses it to report a broken book
// once per directory rather than once per game.
BookWalk walkBook(const char* path, const std::vector<std::int16_t>& codes);

// Walks the book along the move codes from the root list and counts the game in
// every matched node: the first counter for an even number of codes, the second
// for an odd number. Counters stop at 65535. A broken book ends the walk with no
// further writes and is reported on the error log.
BookWalk updateBook(const char* path, const std::vector<std::int16_t>& codes);

// One line for the error log, naming the book and what is wrong with it.
std::string describeBookFault(const char* path, const BookWalk& walk);

} // namespace kelmo
