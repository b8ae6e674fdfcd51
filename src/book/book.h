// The opening book "kelmo.book": a binary tree of 11-byte 'S' node records and
// 5-byte 'J' jump records (little-endian, absolute offsets) whose counters
// learning increments in place.
#pragma once

#include <cstdint>
#include <vector>

namespace kelmo {

constexpr const char* BOOK_NAME = "kelmo.book";

// Walks the book along the move codes from the root list and counts the game in
// every matched node: the first counter for an even number of codes, the second
// for an odd number.
void updateBook(const char* path, const std::vector<std::int16_t>& codes);

} // namespace kelmo
