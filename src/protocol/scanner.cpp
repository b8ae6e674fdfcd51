// Input scanning. Every reader goes through fetch(), which folds CR LF into one
// LF, so a manager that ends its lines the Windows way is read exactly as on a
// platform whose text mode does the folding. The scanner keeps one character of
// look-ahead of its own; nothing else may read the stream behind its back.
#include "protocol/scanner.h"

#include <cstring>
#include <limits>

namespace kelmo {

namespace {

constexpr int BOARD_DONE_LENGTH = 7;  // the closing line's buffer: "DONE" and a little slack
constexpr int OWNER_EMPTY = 0;
constexpr int OWNER_BRAIN = 1;
constexpr int OWNER_OPPONENT = 2;

bool onBoard(std::int32_t v) { return v >= 0 && v < BOARD_SIZE; }

} // namespace

bool isBlank(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

InputScanner::InputScanner(std::istream& in) : in(in) {}

int InputScanner::fetch() {
    int c = in.get();
    if (c == '\r' && in.peek() == '\n')
        c = in.get();
    return c;
}

int InputScanner::peek() {
    if (lookahead == NO_LOOKAHEAD)
        lookahead = fetch();
    if (lookahead == EOF)
        endSeen = true;
    return lookahead;
}

int InputScanner::get() {
    int c;
    if (lookahead != NO_LOOKAHEAD) {
        c = lookahead;
        lookahead = NO_LOOKAHEAD;
    } else {
        c = fetch();
    }
    if (c == EOF)
        endSeen = true;
    return c;
}

bool InputScanner::atEnd() { return endSeen; }

void InputScanner::skipBlanks() {
    while (isBlank(peek()))
        get();
}

int InputScanner::readKeyword(const char* const* table, int count) {
    skipBlanks();
    char word[MAX_KEYWORD_LENGTH + 1];
    int length = 0;
    bool overlong = false;
    for (;;) {
        int c = get();
        if (c == EOF)
            return -1;  // a word cut off by the end of input is never a command
        if (c == ' ' || c == '\n' || c == '\r')
            break;
        // An overlong word is still consumed to its end, so that its tail is not
        // taken for further commands; it just cannot match anything.
        if (length < MAX_KEYWORD_LENGTH)
            word[length++] = static_cast<char>(c);
        else
            overlong = true;
    }
    if (overlong)
        return -1;
    word[length] = '\0';
    for (int i = 0; i < count; ++i)
        if (std::strcmp(word, table[i]) == 0)
            return i;
    return -1;
}

bool InputScanner::readInt(std::int32_t& value) {
    skipBlanks();
    bool negative = false;
    int c = peek();
    if (c == '+' || c == '-') {
        negative = c == '-';
        get();
    }
    if (!nextIsDigit())
        return false;
    // A number beyond the 32-bit range is still a number: it saturates, so a
    // manager's generous limit (a memory size of 4 GB, say) is kept as the
    // largest one we can hold instead of ending the process. Out-of-range
    // coordinates and sizes are refused by their own range checks.
    constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    while (nextIsDigit()) {
        int digit = get() - '0';
        if (magnitude <= limit)
            magnitude = magnitude * 10 + digit;
    }
    if (negative)
        value = magnitude >= limit ? std::numeric_limits<std::int32_t>::min() : static_cast<std::int32_t>(-magnitude);
    else
        value = magnitude >= limit ? std::numeric_limits<std::int32_t>::max() : static_cast<std::int32_t>(magnitude);
    return true;
}

bool InputScanner::readSeparator(char& c) {
    skipBlanks();
    int ch = get();
    if (ch == EOF)
        return false;
    c = static_cast<char>(ch);
    return true;
}

bool InputScanner::nextIsDigit() {
    int c = peek();
    return c >= '0' && c <= '9';
}

void InputScanner::skipLine() {
    for (int c = get(); c != EOF && c != '\n'; c = get()) {
    }
}

bool InputScanner::readWord(std::string& word) {
    skipBlanks();
    word.clear();
    while (peek() != EOF && !isBlank(peek()))
        word += static_cast<char>(get());
    return !word.empty();
}

bool readColumnRow(InputScanner& in, std::int32_t& column, std::int32_t& row) {
    char separator;
    return in.readInt(column) && onBoard(column) && in.readSeparator(separator) && separator == ',' &&
           in.readInt(row) && onBoard(row);
}

BoardBody readBoardBody(InputScanner& in) {
    BoardBody body;
    // The owner each square was last given; a later line for a square replaces
    // the earlier one.
    std::int32_t ownerOf[SQUARE_NB] = {};
    while (in.nextIsDigit()) {
        std::int32_t x, y, owner;
        char separator;
        // Checked in reading order; the first failure leaves the rest of the line unread.
        bool ok = readColumnRow(in, x, y) && in.readSeparator(separator) && separator == ',' &&
                  in.readInt(owner) && owner >= OWNER_EMPTY && owner <= OWNER_OPPONENT;
        if (!ok) {
            body.error = BodyError::BAD_LINE;
            return body;
        }
        ownerOf[squareOf(x, y)] = owner;
        while (isBlank(in.peek()))
            in.get();
    }
    // The closing line must be exactly DONE; reading stops at the line feed or
    // once the line is too long to be DONE.
    char closing[BOARD_DONE_LENGTH + 1];
    int length = 0;
    for (int c = in.get(); c != EOF && c != '\n'; c = in.get()) {
        closing[length++] = static_cast<char>(c);
        if (length == BOARD_DONE_LENGTH)
            break;
    }
    closing[length] = '\0';
    if (std::strcmp(closing, "DONE") != 0) {
        body.error = BodyError::NO_DONE;
        return body;
    }
    for (int square = 0; square < SQUARE_NB; ++square)
        if (ownerOf[square] != OWNER_EMPTY)
            body.stones.push_back({square, ownerOf[square] == OWNER_BRAIN ? 1 : 0});
    return body;
}

} // namespace kelmo
