// The opening book "kelmo.book": a binary tree of 11-byte 'S' node records and
// 5-byte 'J' jump records (little-endian, absolute offsets) whose counters
// learning increments in place.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kelmo {

constexpr const char* BOOK_NAME = "kelmo.book";

// Record layout, shared by the walk and by the kelmo-book tool.
constexpr std::uint8_t BOOK_NODE_TYPE = 'S';
constexpr std::uint8_t BOOK_JUMP_TYPE = 'J';
constexpr int BOOK_NODE_SIZE = 11;  // type, code (2), first (2), second (2), child (4)
constexpr int BOOK_JUMP_SIZE = 5;   // type, continuation (4)
constexpr int BOOK_CODE_AT = 1;
constexpr int BOOK_FIRST_AT = 3;
constexpr int BOOK_SECOND_AT = 5;
constexpr int BOOK_CHILD_AT = 7;
constexpr int BOOK_TARGET_AT = 1;
constexpr std::uint16_t BOOK_COUNTER_MAX = 65535;

// How a walk ended. The first two are the book's own ways of ending a line;
// the others mean the file cannot be trusted past that point.
enum class BookStatus {
    Ended,            // the line ran out, left the book, or a jump ended the list
    ForeignRecord,    // a type byte other than 'S' or 'J' ended the usable book
    Unopenable,       // the file is missing or cannot be opened for reading and writing
    Truncated,        // a record runs past the end of the file
    OffsetBeyondEnd,  // a jump or child offset points at or past the end of the file
    Cycle,            // the walk came back to a record it had already read
    WriteFailed,      // a counter could not be written back
};

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

// Little-endian field access on a byte image, for the tool and for tests.
inline std::uint16_t bookU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t bookU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void bookPutU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v & 0xFF);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void bookPutU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF);
}

} // namespace kelmo
