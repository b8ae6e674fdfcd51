// Learning: reads game records, keeps the decided games that lie compact and
// well inside the board, reduces each to mirrored move codes around its first
// triple and counts it in the opening book.
#include "learn/learn.h"

#include <bitset>
#include <cstdlib>
#include <fstream>

#include "board/k2board.h"
#include "learn/dir_listing.h"
#include "errorlog/error_log.h"

namespace kelmo {

namespace {

// The window: moves in columns and rows 3..16, every row also for the reference
// point, all within 8 of the reference point.
constexpr std::int32_t WINDOW_LOW = 3;
constexpr std::int32_t WINDOW_HIGH = 16;
constexpr std::int32_t WINDOW_REACH = 8;
constexpr std::size_t MIN_TRIPLES = 9;
constexpr std::int32_t COORDINATE_LIMIT = 400;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// A cursor over a record's text with the three kinds of item it holds.
class RecordText {
public:
    explicit RecordText(std::string_view text) : text(text) {}

    void skipWord() {
        skipBlanks();
        while (pos < text.size() && !isBlank(text[pos]))
            ++pos;
    }

    // One non-blank character of any value.
    bool skipSeparator() {
        skipBlanks();
        if (pos >= text.size())
            return false;
        ++pos;
        return true;
    }

    // An optionally signed decimal integer. Magnitudes beyond any coordinate are
    // held at a large bound, so an overlong number is out of range rather than
    // wrapped into range.
    bool readInteger(std::int64_t& value) {
        skipBlanks();
        bool negative = false;
        if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
            negative = text[pos++] == '-';
        std::int64_t magnitude = 0;
        std::size_t digits = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            if (magnitude < 1000000000)
                magnitude = magnitude * 10 + (text[pos] - '0');
            ++pos;
            ++digits;
        }
        value = negative ? -magnitude : magnitude;
        return digits > 0;
    }

private:
    void skipBlanks() {
        while (pos < text.size() && isBlank(text[pos]))
            ++pos;
    }

    std::string_view text;
    std::size_t pos = 0;
};

bool inCoordinateRange(std::int64_t v) {
    return v >= 0 && v < COORDINATE_LIMIT;
}

bool inWindow(std::int32_t v, std::int32_t reference) {
    return v >= WINDOW_LOW && v <= WINDOW_HIGH && std::abs(static_cast<std::int64_t>(v) - reference) <= WINDOW_REACH;
}

// The record's text, or false when the entry cannot be opened or read as a file.
// A directory opens without complaint on some systems and only fails on reading;
// both count as a file that cannot be opened.
bool readWholeFile(const std::string& path, std::string& text) {
    std::ifstream in(path);
    if (!in.is_open())
        return false;
    char buffer[4096];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0)
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
    return !in.bad();
}

// Five or more of the stone's own colour in a row through it. The board reports
// only the five that the side to move could still make, so a game won by
// completing a four that was never reported would otherwise go unnoticed.
bool completesFive(const K2Board& board, int square) {
    static constexpr int STEPS[4][2] = {{1, 0}, {0, 1}, {1, 1}, {-1, 1}};
    const int owner = board.stoneOwner(square);
    const int x = columnOf(square), y = rowOf(square);
    for (const auto& step : STEPS) {
        int run = 1;
        for (int sense : {1, -1}) {
            int cx = x + sense * step[0], cy = y + sense * step[1];
            while (cx >= 0 && cx < BOARD_SIZE && cy >= 0 && cy < BOARD_SIZE) {
                const int s = squareOf(cx, cy);
                if (board.isEmpty(s) || board.stoneOwner(s) != owner)
                    break;
                ++run;
                cx += sense * step[0];
                cy += sense * step[1];
            }
        }
        if (run >= 5)
            return true;
    }
    return false;
}

} // namespace

bool isRecordName(const std::string& name) {
    if (name == "." || name == "..")
        return false;
    return name.find(".rec") != std::string::npos;
}

bool readRecord(std::string_view text, std::vector<std::int32_t>& X, std::vector<std::int32_t>& Y) {
    X.clear();
    Y.clear();
    RecordText in(text);
    in.skipWord();
    in.skipWord();
    for (;;) {
        std::int64_t x = 0, y = 0, t = 0;
        // The first x that is not an integer (or the end of the text) ends the record.
        if (!in.readInteger(x))
            return true;
        if (!inCoordinateRange(x))
            return false;
        // A triple cut short after its x ends the record before that triple, so
        // the lists always keep equal lengths.
        if (!in.skipSeparator() || !in.readInteger(y))
            return true;
        if (!inCoordinateRange(y))
            return false;
        X.push_back(static_cast<std::int32_t>(x));
        Y.push_back(static_cast<std::int32_t>(y));
        // The last triple may stop after its y; whatever stops t stops the record.
        if (!in.skipSeparator() || !in.readInteger(t))
            return true;
    }
}

bool gameMoveCodes(const std::vector<std::int32_t>& X, const std::vector<std::int32_t>& Y,
                   std::vector<std::int16_t>& codes) {
    codes.clear();
    const std::size_t n = X.size();
    if (Y.size() != n || n < MIN_TRIPLES)
        return false;
    const std::int32_t x0 = X[0], y0 = Y[0];
    // The reference point's column is only the window's centre; its row must lie
    // in the window like every other.
    if (!inWindow(y0, y0))
        return false;
    std::bitset<SQUARE_NB> played;
    for (std::size_t i = 1; i < n; ++i) {
        if (!inWindow(X[i], x0) || !inWindow(Y[i], y0))
            return false;
        // A record with two stones on one square is corrupt, and replaying it
        // would place a stone on a stone.
        const int square = squareOf(X[i], Y[i]);
        if (played.test(square))
            return false;
        played.set(square);
    }

    K2Board board;
    board.clear();
    bool decided = false;
    for (std::size_t i = 1; i < n && !decided; ++i) {
        const int square = squareOf(X[i], Y[i]);
        decided = board.play(square);
        decided = decided || completesFive(board, square);
    }
    if (!decided)
        return false;

    // Mirror so that the first move lies on the larger side of the reference
    // point in both axes: mirror-image openings then share their codes.
    const int sx = X[1] < x0 ? 1 : -1;
    const int sy = Y[1] < y0 ? 1 : -1;
    codes.reserve(n - 1);
    for (std::size_t i = 1; i < n; ++i)
        codes.push_back(static_cast<std::int16_t>((x0 - X[i]) * sx + 20 * ((y0 - Y[i]) * sy)));
    return true;
}

bool learnGame(const std::vector<std::int32_t>& X, const std::vector<std::int32_t>& Y, const char* bookPath) {
    std::vector<std::int16_t> codes;
    if (!gameMoveCodes(X, Y, codes))
        return false;
    updateBook(bookPath, codes);
    return true;
}

ScanSummary scanRecords(const std::string& directory, std::ostream& out,
                        const std::function<void(const std::vector<std::int16_t>&)>& onGame) {
    ScanSummary summary;
    out << "Directory: " << directory << std::endl;
    DirListing listing(directory);
    if (!listing.isOpen()) {
        out << "Unable to open directory" << std::endl;
        return summary;
    }
    summary.directoryOpened = true;

    std::string name, text;
    std::vector<std::int32_t> X, Y;
    std::vector<std::int16_t> codes;
    while (listing.next(name)) {
        if (!isRecordName(name))
            continue;
        // The separator is added even after a trailing one: "dir//a.rec" opens fine.
        const std::string path = directory + "/" + name;
        out << path << std::endl;
        ++summary.candidates;
        text.clear();
        if (!readWholeFile(path, text)) {
            out << "Unable to open file " << path << std::endl;
            ++summary.unreadable;
            continue;
        }
        if (!readRecord(text, X, Y) || !gameMoveCodes(X, Y, codes))
            continue;
        ++summary.games;
        onGame(codes);
    }
    return summary;
}

LearnSummary learnRecords(const std::string& directory, std::ostream& out, const char* bookPath) {
    LearnSummary summary;
    bool reported = false;
    summary.scan = scanRecords(directory, out, [&](const std::vector<std::int16_t>& codes) {
        const BookWalk walk = walkBook(bookPath, codes);
        if (walk.broken()) {
            // One line per learn command: a missing book would otherwise fill the
            // log with a line for every game in the directory.
            if (!reported)
                appendErrorLog(describeBookFault(bookPath, walk).c_str());
            reported = true;
            return;
        }
        ++summary.walked;
        summary.counted += walk.counted > 0;
    });
    return summary;
}

void learnDirectory(const std::string& directory, std::ostream& out, const char* bookPath) {
    learnRecords(directory, out, bookPath);
}

} // namespace kelmo
