// Input scanning: command words, numbers, separators and the BOARD body, over a
// stream in which a carriage return before a line feed reaches the readers as
// one line feed on every platform.
#pragma once

#include <cstdint>
#include <istream>
#include <ostream>
#include <string>

#include "board/k2board.h"

namespace kelmo {

class InputScanner {
public:
    explicit InputScanner(std::istream& in);

    // Next character (CR LF folded to LF), or EOF.
    int peek();
    int get();
    bool atEnd();

    // Index of the word read in table[0..count-1], or -1 (also at end of input,
    // and for a word longer than the word buffer).
    int readKeyword(const char* const* table, int count);
    // Skips blanks, reads a signed 32-bit decimal integer; false if none could be read.
    bool readInt(std::int32_t& value);
    // Skips blanks and reads one character; false at end of input.
    bool readSeparator(char& c);
    // True if the next character is a decimal digit (nothing is skipped).
    bool nextIsDigit();
    // Discards the rest of the line, line feed included.
    void skipLine();
    // Skips blanks, reads one word up to (not including) the next blank.
    bool readWord(std::string& word);

private:
    std::istream& in;
};

// Reads a BOARD body into board (cleared first). Writes the body's own error
// line to out and returns false if it is rejected.
bool readBoard(K2Board& board, InputScanner& in, std::ostream& out);

} // namespace kelmo
