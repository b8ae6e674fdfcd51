// The kelmo-book tool: grows a book from a directory of game records (with the
// very normalisation learning applies) and prints a book as an indented tree.
// It sits above learning, unlike the book walk beside it.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace kelmo {

// A book held in memory while it is grown or printed.
class BookImage {
public:
    std::vector<std::uint8_t> bytes;

    // Adds the first `depth` codes of a line, reusing every node the book walk
    // would match and appending the rest at the end: a missing sibling is linked
    // through the list's final jump record, a missing child list through the
    // node's child offset. No existing record moves. Returns the number of node
    // records added, or -1 with the reason in error when the book is unusable
    // where the line runs.
    int addLine(const std::vector<std::int16_t>& codes, std::size_t depth, std::string& error);

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

// kelmo-book grow: false with the reason in error (the book is then untouched).
bool growBook(const std::string& bookPath, const std::string& directory, int depth, GrowReport& report,
              std::string& error);

// The whole command line, for main and for tests. Returns the exit code.
int runBookTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace kelmo
