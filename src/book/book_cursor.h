// The layout of "kelmo.book" and the one cursor that reads it: a binary tree of
// 11-byte 'S' node records and 5-byte 'J' jump records (little-endian, absolute
// offsets). The learn walk, the book tool's grow, dump and root total all read
// the book's records and sibling links through BookCursor.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <unordered_set>
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

// What is wrong at an offset, for the faults the cursor finds (Truncated,
// OffsetBeyondEnd, Cycle), without the book's name: "offset 99 points beyond
// the end of the file".
std::string bookFaultText(BookStatus status, std::uint64_t offset);

// A node record as the cursor hands it out.
struct BookNode {
    std::uint64_t offset = 0;
    std::int16_t code = 0;
    std::uint16_t first = 0;
    std::uint16_t second = 0;
    std::uint32_t child = 0;  // 0: the book has no next move on this line
};

// A place in one sibling list: the offset of its next record, and whether that
// offset came from a link (a jump or a child offset) or from stepping over a
// node. The difference names the fault when the file ends there. Plain data,
// so a caller can keep several lists pending.
struct BookList {
    std::uint64_t at = 0;  // 0: the root list
    bool reachedByOffset = true;
};

// The one reader of the book's records and sibling links, over the book file
// read in place (a few bytes at each offset, never the whole file) or over a
// whole image in memory that may grow between reads.
//
// Every record read is remembered for the cursor's lifetime. In a tree no walk
// reads a record twice, so a second visit is a cycle, or a list shared by two
// lines, and ends the walk; the set is bounded by the file's size, and so is
// any walk through one cursor.
class BookCursor {
public:
    explicit BookCursor(const std::vector<std::uint8_t>& image) : image(&image) {}
    // The file must be open for reading; size is its length in bytes.
    BookCursor(std::fstream& file, std::uint64_t size) : file(&file), fileSize(size) {}

    // Moves list on to its next node record, following the list's jumps. False
    // when there is none: status() says why and offset() where. Ended: a jump
    // with offset 0 closed the list, at offset(). ForeignRecord: a type byte
    // other than 'S' or 'J' (foreignType()) ends the usable book there. Any
    // other status is a fault in the file.
    bool next(BookList& list, BookNode& node);

    BookStatus status() const { return stopStatus; }
    std::uint64_t offset() const { return stopOffset; }
    std::uint8_t foreignType() const { return stopType; }

private:
    std::uint64_t size() const { return image ? image->size() : fileSize; }
    bool read(std::uint64_t at, std::uint8_t* into, int len);

    const std::vector<std::uint8_t>* image = nullptr;
    std::fstream* file = nullptr;
    std::uint64_t fileSize = 0;
    std::unordered_set<std::uint64_t> seen;
    BookStatus stopStatus = BookStatus::Ended;
    std::uint64_t stopOffset = 0;
    std::uint8_t stopType = 0;
};

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
