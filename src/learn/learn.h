// Learning from a directory of game records into the opening book.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "book/book.h"

namespace kelmo {

// Scans the directory for ".rec" records and counts every decided game in the book.
void learnDirectory(const std::string& directory, std::ostream& out, const char* bookPath = BOOK_NAME);

// Checks one game (size, windows, no square played twice, decided replay) and
// builds its move codes. False when the game is ignored.
bool gameMoveCodes(const std::vector<std::int32_t>& X, const std::vector<std::int32_t>& Y,
                   std::vector<std::int16_t>& codes);

// gameMoveCodes, then updateBook with the codes. True when the game was accepted
// and walked through the book (whether or not the book holds its line).
bool learnGame(const std::vector<std::int32_t>& X, const std::vector<std::int32_t>& Y,
               const char* bookPath = BOOK_NAME);

// The pieces of learnDirectory, shared with the kelmo-book tool so that a book
// grown from a directory holds exactly the lines learning will walk.

// An entry learning opens: not "." or "..", and ".rec" anywhere in the name.
bool isRecordName(const std::string& name);

// Reads a record file's text into X and Y: two words skipped, then x,y,t triples
// up to the first x that is not an integer. False when the file is ignored (a
// coordinate outside 0..399); the lists then hold nothing useful.
bool readRecord(std::string_view text, std::vector<std::int32_t>& X, std::vector<std::int32_t>& Y);

struct ScanSummary {
    bool directoryOpened = false;
    int candidates = 0;  // record names whose path was printed
    int unreadable = 0;  // "Unable to open file" lines
    int games = 0;       // decided games handed on
};

// Lists the directory as learn does, prints learn's lines to out, and hands the
// move codes of every accepted game to onGame, in listing order.
ScanSummary scanRecords(const std::string& directory, std::ostream& out,
                        const std::function<void(const std::vector<std::int16_t>&)>& onGame);

struct LearnSummary {
    ScanSummary scan;
    int walked = 0;   // games walked through a usable book
    int counted = 0;  // games that matched at least the book's root list
};

// learnDirectory with its figures; a broken book is reported once per call.
LearnSummary learnRecords(const std::string& directory, std::ostream& out, const char* bookPath = BOOK_NAME);

} // namespace kelmo
