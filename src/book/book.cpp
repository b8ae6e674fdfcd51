// The book walk: follows a game's move codes through the sibling lists of
// "kelmo.book" and counts the game in every node on its line, touching nothing
// but the two counters of the nodes it matches.
#include "book/book.h"

#include <fstream>

#include "errorlog/error_log.h"

namespace kelmo {

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

    const bool even = codes.size() % 2 == 0;
    std::size_t i = 0;
    BookCursor cursor(file, static_cast<std::uint64_t>(end));
    BookList list;  // the root list
    BookNode node;
    for (;;) {
        if (!cursor.next(list, node)) {
            walk.status = cursor.status();
            walk.offset = cursor.offset();
            return walk;
        }
        walk.offset = node.offset;
        if (node.code != codes[i])
            continue;

        // A counter that has reached its top stays there: losing every count of a
        // popular line to a wrap would be worse than capping it.
        std::uint16_t& counter = even ? node.first : node.second;
        if (counter < BOOK_COUNTER_MAX)
            ++counter;
        std::uint8_t counters[4];
        bookPutU16(counters, node.first);
        bookPutU16(counters + 2, node.second);
        file.seekp(static_cast<std::streamoff>(node.offset + BOOK_FIRST_AT));
        file.write(reinterpret_cast<const char*>(counters), sizeof counters);
        if (!file) {
            walk.status = BookStatus::WriteFailed;
            return walk;
        }
        ++walk.counted;
        ++i;

        if (node.child == 0 || i == codes.size()) {
            walk.status = BookStatus::Ended;
            return walk;
        }
        list = {node.child, true};
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
    case BookStatus::OffsetBeyondEnd:
    case BookStatus::Cycle:
        return text + bookFaultText(walk.status, walk.offset) + "; walk stopped";
    case BookStatus::WriteFailed:
        return text + "counter at offset " + at + " could not be written; walk stopped";
    }
    return text + "unknown fault";
}

} // namespace kelmo
