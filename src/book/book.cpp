// The book walk: follows a game's move codes through the sibling lists of
// "kelmo.book" and counts the game in every node on its line, touching nothing
// but the two counters of the nodes it matches.
#include "book/book.h"

#include <algorithm>
#include <fstream>
#include <unordered_set>

#include "errorlog/error_log.h"

namespace kelmo {

namespace {

// Reads len bytes at an absolute offset; false when the file cannot give them.
bool readAt(std::fstream& file, std::uint64_t offset, std::uint8_t* into, int len) {
    file.seekg(static_cast<std::streamoff>(offset));
    file.read(reinterpret_cast<char*>(into), len);
    return static_cast<bool>(file);
}

} // namespace

BookWalk walkBook(const char* path, const std::vector<std::int16_t>& codes) {
    BookWalk walk;
    // An empty line matches nothing; the file is not even opened.
    if (codes.empty())
        return walk;

    // Unbuffered: every read and write here is a few bytes at a fresh offset, and
    // a buffer would only be refilled (8 KiB at a time) after every seek.
    std::fstream file;
    file.rdbuf()->pubsetbuf(nullptr, 0);
    file.open(path, std::ios::in | std::ios::out | std::ios::binary);
    if (!file) {
        walk.status = BookStatus::Unopenable;
        return walk;
    }
    file.seekg(0, std::ios::end);
    const std::streamoff end = file.tellg();
    if (end < 0) {
        walk.status = BookStatus::Unopenable;
        return walk;
    }
    const std::uint64_t size = static_cast<std::uint64_t>(end);

    const bool even = codes.size() % 2 == 0;
    std::size_t i = 0;
    std::uint64_t at = 0;
    // The root list is reached through offset 0 like any list reached through an
    // offset; running off the end by stepping over a node is a truncation instead.
    bool reachedByOffset = true;
    // In a tree no walk reads a record twice, so a repeated offset can only be a
    // cycle. The set is bounded by the file's size, and so is the walk.
    std::unordered_set<std::uint64_t> seen;

    for (;;) {
        walk.offset = at;
        // An empty file is a book cut short before its first record.
        if (at >= size) {
            walk.status = reachedByOffset && size > 0 ? BookStatus::OffsetBeyondEnd : BookStatus::Truncated;
            return walk;
        }
        if (!seen.insert(at).second) {
            walk.status = BookStatus::Cycle;
            return walk;
        }
        // One read for the whole record (or what is left of the file), checked
        // against the size its type byte asks for.
        std::uint8_t record[BOOK_NODE_SIZE];
        const int available = static_cast<int>(std::min<std::uint64_t>(BOOK_NODE_SIZE, size - at));
        if (!readAt(file, at, record, available)) {
            walk.status = BookStatus::Truncated;
            return walk;
        }
        if (record[0] == BOOK_JUMP_TYPE) {
            if (available < BOOK_JUMP_SIZE) {
                walk.status = BookStatus::Truncated;
                return walk;
            }
            const std::uint32_t target = bookU32(record + BOOK_TARGET_AT);
            if (target == 0) {
                walk.status = BookStatus::Ended;
                return walk;
            }
            at = target;
            reachedByOffset = true;
            continue;
        }
        if (record[0] != BOOK_NODE_TYPE) {
            walk.status = BookStatus::ForeignRecord;
            return walk;
        }
        if (available < BOOK_NODE_SIZE) {
            walk.status = BookStatus::Truncated;
            return walk;
        }
        const auto code = static_cast<std::int16_t>(bookU16(record + BOOK_CODE_AT));
        if (code != codes[i]) {
            at += BOOK_NODE_SIZE;
            reachedByOffset = false;
            continue;
        }

        // A counter that has reached its top stays there: losing every count of a
        // popular line to a wrap would be worse than capping it.
        std::uint8_t* counter = record + (even ? BOOK_FIRST_AT : BOOK_SECOND_AT);
        const std::uint16_t value = bookU16(counter);
        if (value < BOOK_COUNTER_MAX)
            bookPutU16(counter, static_cast<std::uint16_t>(value + 1));
        file.seekp(static_cast<std::streamoff>(at + BOOK_FIRST_AT));
        file.write(reinterpret_cast<const char*>(record + BOOK_FIRST_AT), 4);
        if (!file) {
            walk.status = BookStatus::WriteFailed;
            return walk;
        }
        ++walk.counted;
        ++i;

        const std::uint32_t child = bookU32(record + BOOK_CHILD_AT);
        if (child == 0 || i == codes.size()) {
            walk.status = BookStatus::Ended;
            return walk;
        }
        at = child;
        reachedByOffset = true;
    }
}

BookWalk updateBook(const char* path, const std::vector<std::int16_t>& codes) {
    BookWalk walk = walkBook(path, codes);
    if (walk.broken())
        appendErrorLog(describeBookFault(path, walk).c_str());
    return walk;
}

std::string describeBookFault(const char* path, const BookWalk& walk) {
    std::string text = std::string(path) + ": ";
    const std::string at = std::to_string(walk.offset);
    switch (walk.status) {
    case BookStatus::Ended:
        return text + "walk ended normally";
    case BookStatus::ForeignRecord:
        return text + "unknown record type at offset " + at + " ends the usable book";
    case BookStatus::Unopenable:
        return text + "cannot be opened for reading and writing; nothing counted";
    case BookStatus::Truncated:
        return text + "record at offset " + at + " runs past the end of the file; walk stopped";
    case BookStatus::OffsetBeyondEnd:
        return text + "offset " + at + " points beyond the end of the file; walk stopped";
    case BookStatus::Cycle:
        return text + "offsets form a cycle back to offset " + at + "; walk stopped";
    case BookStatus::WriteFailed:
        return text + "counter at offset " + at + " could not be written; walk stopped";
    }
    return text + "unknown fault";
}

} // namespace kelmo
