// Learning from a directory of game records into the opening book.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "book/book.h"

namespace kelmo {

// Scans the directory for ".rec" records and counts every decided game in the book.
void learnDirectory(const std::string& directory, std::ostream& out, const char* bookPath = BOOK_NAME);

// Checks one game (size, windows, decided replay) and builds its move codes.
// False when the game is ignored.
bool gameMoveCodes(const std::vector<std::int32_t>& X, const std::vector<std::int32_t>& Y,
                   std::vector<std::int16_t>& codes);

// gameMoveCodes, then updateBook with the codes. True when the game was counted.
bool learnGame(const std::vector<std::int32_t>& X, const std::vector<std::int32_t>& Y,
               const char* bookPath = BOOK_NAME);

} // namespace kelmo
