// Input scanning: command words, numbers, separators and the BOARD body, over a
// stream in which a carriage return before a line feed reaches the readers as
// one line feed on every platform.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

#include "board/position_setup.h"

namespace kelmo {

// Longest command word or INFO key that is matched against a table; a longer
// word is consumed whole and matches nothing.
constexpr int MAX_KEYWORD_LENGTH = 1023;

class InputScanner {
public:
    explicit InputScanner(std::istream& in);

    // Next character (CR LF folded to LF), or EOF.
    int peek();
    int get();
    // True once a read or a look-ahead has met the end of input (a stream's
    // end-of-file state: a complete last line does not set it by itself).
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
    // Reads one folded character from the stream, ignoring the look-ahead slot.
    int fetch();
    void skipBlanks();

    std::istream& in;
    int lookahead = NO_LOOKAHEAD;
    bool endSeen = false;

    static constexpr int NO_LOOKAHEAD = -2;
};

// Blanks: space, tab, line feed, vertical tab, form feed, carriage return.
bool isBlank(int c);

// Reads "column , row", each checked to lie on the board right after it is
// read, so a bad column stops the reading before the separator. False on the
// first failed check.
bool readColumnRow(InputScanner& in, std::int32_t& column, std::int32_t& row);

// Why a BOARD body was rejected; the command loop words the error line.
enum class BodyError {
    NONE,
    BAD_LINE,  // a body line with a coordinate, owner or separator out of place
    NO_DONE,   // the line after the body lines is not exactly DONE
};

// The position a BOARD body describes: each square at most once (a later line
// for a square replaces the earlier one, an owner 0 line empties it), in square
// order.
struct BoardBody {
    BodyError error = BodyError::NONE;
    std::vector<Stone> stones;
};

// Reads a BOARD body up to and including its DONE line. On a rejected line the
// rest of that line stays unread.
BoardBody readBoardBody(InputScanner& in);

} // namespace kelmo
