// The book cursor: reads one record at a time, checks it against the file's
// size and the records already read, and steps through a sibling list.
#include "book/book_cursor.h"

#include <algorithm>
#include <cstring>

namespace kelmo {

std::string bookFaultText(BookStatus status, std::uint64_t offset) {
    const std::string at = std::to_string(offset);
    switch (status) {
    case BookStatus::Truncated:
        return "record at offset " + at + " runs past the end of the file";
    case BookStatus::OffsetBeyondEnd:
        return "offset " + at + " points beyond the end of the file";
    case BookStatus::Cycle:
        return "offsets form a cycle back to offset " + at;
    default:
        return "unusable record at offset " + at;
    }
}

bool BookCursor::read(std::uint64_t at, std::uint8_t* into, int len) {
    if (image) {
        std::memcpy(into, image->data() + at, static_cast<std::size_t>(len));
        return true;
    }
    file->seekg(static_cast<std::streamoff>(at));
    file->read(reinterpret_cast<char*>(into), len);
    return static_cast<bool>(*file);
}

bool BookCursor::next(BookList& list, BookNode& node) {
    for (;;) {
        const std::uint64_t at = list.at;
        const std::uint64_t end = size();
        stopOffset = at;
        // An empty file is a book cut short before its first record; running off
        // the end by stepping over a node is a truncation too.
        if (at >= end) {
            stopStatus = list.reachedByOffset && end > 0 ? BookStatus::OffsetBeyondEnd : BookStatus::Truncated;
            return false;
        }
        if (!seen.insert(at).second) {
            stopStatus = BookStatus::Cycle;
            return false;
        }
        // One read for the whole record (or what is left of the file), checked
        // against the size its type byte asks for.
        std::uint8_t record[BOOK_NODE_SIZE];
        const int available = static_cast<int>(std::min<std::uint64_t>(BOOK_NODE_SIZE, end - at));
        if (!read(at, record, available)) {
            stopStatus = BookStatus::Truncated;
            return false;
        }
        if (record[0] == BOOK_JUMP_TYPE) {
            if (available < BOOK_JUMP_SIZE) {
                stopStatus = BookStatus::Truncated;
                return false;
            }
            const std::uint32_t target = bookU32(record + BOOK_TARGET_AT);
            if (target == 0) {
                stopStatus = BookStatus::Ended;
                return false;
            }
            list = {target, true};
            continue;
        }
        if (record[0] != BOOK_NODE_TYPE) {
            stopStatus = BookStatus::ForeignRecord;
            stopType = record[0];
            return false;
        }
        if (available < BOOK_NODE_SIZE) {
            stopStatus = BookStatus::Truncated;
            return false;
        }
        node.offset = at;
        node.code = static_cast<std::int16_t>(bookU16(record + BOOK_CODE_AT));
        node.first = bookU16(record + BOOK_FIRST_AT);
        node.second = bookU16(record + BOOK_SECOND_AT);
        node.child = bookU32(record + BOOK_CHILD_AT);
        list = {at + BOOK_NODE_SIZE, false};
        return true;
    }
}

} // namespace kelmo
