// The kelmo-book tool: grows a book from a directory of game records (with the
// very normalisation learning applies) and prints a book as an indented tree.
// It sits above learning, unlike the book walk beside it.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "kelmo-book/replace_file.h"

namespace kelmo {

// A book held in memory while it is grown or printed.
class BookImage {
public:
    std::vector<std::uint8_t> bytes;

    // Adds the first `depth` codes of every line, reusing every node the book
    // walk would match and appending the rest at the end of the image: the new
    // siblings of one list side by side (the most frequent first, then by code), linked
    // through the list's ending jump,
    // a new child list through the node's child offset. No existing record moves
    // and no counter changes. Returns the number of node records added, or -1
    // with the reason in error (the image then unchanged) when the book is
    // unusable where a line runs.
    int addLines(const std::vector<std::vector<std::int16_t>>& lines, std::size_t depth, std::string& error);
    int addLine(const std::vector<std::int16_t>& codes, std::size_t depth, std::string& error) {
        return addLines({codes}, depth, error);
    }

    // The tree as indented text, one node a line:
    //   <2 spaces per depth>code (dx,dy) first N second M
    // False with the reason in error when the book is broken; what came before
    // the fault has been printed.
    bool dump(std::ostream& out, std::string& error) const;
};

// Reads a whole book file. A missing or empty file gives an empty image when
// allowMissing, an error otherwise.
bool loadBook(const std::string& path, BookImage& image, bool allowMissing, std::string& error);

struct GrowReport {
    int games = 0;       // decided games read from the directory
    int nodesAdded = 0;
};

// Hooks into growBook, for tests that interrupt it or learn into the book
// while it grows. Empty hooks do nothing.
struct GrowSeams {
    ReplaceSeams replace;
    // Called on every attempt once the new book lies whole beside the old one,
    // just before grow reads the old one again to see whether it has changed.
    std::function<void(int attempt)> beforeCheck;
};

// kelmo-book grow: false with the reason in error (the book is then untouched).
//
// The new book is written beside the old one and renamed over it, so the path
// always holds a whole book: the old one until the rename, the new one after.
// Growing never moves a record, so counters that learning increments in the
// old book while the new one is written are not lost: grow reads the old book
// again just before the rename and, if it has changed, grows again from what it
// now holds (a few times, then it gives up and leaves the old book). A game
// whose walk is under way at the very moment of the rename counts in the old
// file, which the rename then drops.
bool growBook(const std::string& bookPath, const std::string& directory, int depth, GrowReport& report,
              std::string& error, const GrowSeams& seams = {});

// The whole command line, for main and for tests. Returns the exit code.
int runBookTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace kelmo
