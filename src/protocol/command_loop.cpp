// The command loop: reads one command word at a time, hands it to the brain and
// writes the one reply line. Every command, its search included, finishes
// before the next word is read. Whatever ends the loop (END, end of input, a
// fatal protocol mismatch) returns 0: a manager reads nothing into our exit code.
#include "protocol/command_loop.h"

#include <cstdint>
#include <string>

#include "alphabeta/pro_search.h"
#include "board/types.h"
#include "brain/brain.h"
#include "learn/learn.h"
#include "protocol/scanner.h"

namespace kelmo {

namespace {

// Command words 0..16 and the INFO keys 17..19, matched case-sensitively.
constexpr const char* KEYWORDS[20] = {
    "TURN",  "INFO",  "START", "BEGIN", "END",   "BOARD", "PLAY",  "ABOUT", "turn",      "info",
    "start", "begin", "end",   "board", "play",  "about", "learn", "time_left", "timeout_turn",
    "max_memory"};
constexpr int COMMAND_COUNT = 17;
constexpr const char* const* INFO_KEYS = KEYWORDS + COMMAND_COUNT;
constexpr int INFO_KEY_COUNT = 3;

enum Command {
    CMD_TURN = 0, CMD_INFO = 1, CMD_START = 2, CMD_BEGIN = 3, CMD_END = 4, CMD_BOARD = 5,
    CMD_PLAY = 6, CMD_ABOUT = 7, CMD_TURN_LC = 8, CMD_INFO_LC = 9, CMD_START_LC = 10,
    CMD_BEGIN_LC = 11, CMD_END_LC = 12, CMD_BOARD_LC = 13, CMD_PLAY_LC = 14, CMD_ABOUT_LC = 15,
    CMD_LEARN = 16
};

enum InfoKey { KEY_TIME_LEFT = 0, KEY_TIMEOUT_TURN = 1, KEY_MAX_MEMORY = 2 };

constexpr std::int32_t SUPPORTED_SIZE = 20;

const char* aboutLine(BrainIdentity identity) {
    switch (identity) {
    case BrainIdentity::Pro:
        return "name=\"Kelmo Pro\", version=\"1.0\", author=\"Kelmo developers\"";
    case BrainIdentity::Exact:
        break;
    }
    return "name=\"Kelmo\", version=\"1.0\", author=\"Kelmo developers\"";
}

void writeLine(std::ostream& out, const std::string& line) {
    out << line << '\n' << std::flush;
}

void writeFatal(std::ostream& out) {
    writeLine(out, "ERROR Fatal Error, Protocol Mismatch!");
}

// The reply to a move request: "column,row", or an error line when the board
// has no empty square left to answer with.
void writeMove(std::ostream& out, int square) {
    if (square < 0)
        writeLine(out, "ERROR No empty square left to play!");
    else
        writeLine(out, std::to_string(columnOf(square)) + "," + std::to_string(rowOf(square)));
}

// The progress lines of a brain that searches by iterations, written as each
// iteration finishes, so that a manager shows them while the move is still
// being searched; the move line follows the last of them.
class ProgressLines final : public ProProgress {
public:
    explicit ProgressLines(std::ostream& out) : out(out) {}
    void iterationDone(const ProIteration& iteration) override { writeLine(out, progressLine(iteration)); }

private:
    std::ostream& out;
};

// Hands the loop's progress lines to the brain for as long as the loop runs.
class ProgressHookup {
public:
    ProgressHookup(Brain& brain, ProProgress& sink) : brain(brain) { brain.setProgress(&sink); }
    ~ProgressHookup() { brain.setProgress(nullptr); }
    ProgressHookup(const ProgressHookup&) = delete;
    ProgressHookup& operator=(const ProgressHookup&) = delete;

private:
    Brain& brain;
};

// Reads "column , row" of TURN and PLAY; false on any malformed or occupied
// square (checked in reading order, so a bad column stops before the row).
bool readOpponentMove(InputScanner& scanner, const Brain& brain, int& x, int& y) {
    std::int32_t column, row;
    if (!readColumnRow(scanner, column, row))
        return false;
    // A stone on an occupied square would corrupt the game board.
    if (!brain.squareIsEmpty(squareOf(column, row)))
        return false;
    x = column;
    y = row;
    return true;
}

// INFO: false only for a fatal value; unknown keys are skipped with their line.
bool handleInfo(InputScanner& scanner, Brain& brain) {
    int key = scanner.readKeyword(INFO_KEYS, INFO_KEY_COUNT);
    if (key < 0) {
        scanner.skipLine();
        return true;
    }
    std::int32_t value;
    if (!scanner.readInt(value))
        return false;
    switch (key) {
    case KEY_TIME_LEFT:
        // A brain that overran its match time is told so with a negative value;
        // the setter stores it as 0 and the next move is answered at once.
        brain.setTimeLeft(value);
        return true;
    case KEY_TIMEOUT_TURN:
        if (value < 0)
            return false;
        brain.setTimeoutTurn(value);
        return true;
    default:
        if (value < 0)
            return false;
        brain.setMaxMemory(value);
        return true;
    }
}

} // namespace

std::string progressLine(const ProIteration& iteration) {
    // Built by appending: a chain of string sums here trips a false overlap
    // warning in some compilers.
    std::string line = "MESSAGE depth ";
    line += std::to_string(iteration.depth);
    if (iteration.mateIn > 0) {
        line += " mate in ";
        line += std::to_string(iteration.mateIn);
    } else if (iteration.mateIn < 0) {
        line += " mated in ";
        line += std::to_string(-static_cast<std::int64_t>(iteration.mateIn));
    } else {
        line += " eval ";
        line += std::to_string(iteration.score);
    }
    // Over at least a millisecond, split so that no product can overflow.
    const std::uint64_t ms = iteration.elapsedMs > 1 ? static_cast<std::uint64_t>(iteration.elapsedMs) : 1;
    const std::uint64_t perSecond = iteration.nodes / ms * 1000 + iteration.nodes % ms * 1000 / ms;
    line += " nodes ";
    line += std::to_string(iteration.nodes);
    line += " nps ";
    line += std::to_string(perSecond);
    line += " pv";
    const int length = iteration.pvLength < 0 ? 0 : iteration.pvLength > MAX_PV ? MAX_PV : iteration.pvLength;
    for (int i = 0; i < length; ++i) {
        const int square = iteration.pv[i];
        if (square < 0 || square >= SQUARE_NB)
            break;
        line += ' ';
        line += std::to_string(columnOf(square));
        line += ',';
        line += std::to_string(rowOf(square));
    }
    return line;
}

int runCommandLoop(std::istream& in, std::ostream& out, Brain& brain) {
    ProgressLines progress(out);
    ProgressHookup hookup(brain, progress);
    InputScanner scanner(in);
    while (!scanner.atEnd()) {
        bool fatal = false;
        switch (scanner.readKeyword(KEYWORDS, COMMAND_COUNT)) {
        case CMD_TURN:
        case CMD_TURN_LC:
        case CMD_PLAY:
        case CMD_PLAY_LC: {
            int x = 0, y = 0;
            if (!readOpponentMove(scanner, brain, x, y)) {
                fatal = true;
                break;
            }
            writeMove(out, brain.turn(x, y));
            break;
        }
        case CMD_INFO:
        case CMD_INFO_LC:
            fatal = !handleInfo(scanner, brain);
            break;
        case CMD_START:
        case CMD_START_LC: {
            // The size must follow the word's single terminator directly.
            std::int32_t size;
            if (!scanner.nextIsDigit() || !scanner.readInt(size)) {
                fatal = true;
                break;
            }
            if (size != SUPPORTED_SIZE) {
                writeLine(out, "ERROR Unsupport size of board, supported size is " +
                                   std::to_string(SUPPORTED_SIZE) + "!");
                break;
            }
            brain.startGame();
            writeLine(out, "OK");
            break;
        }
        case CMD_BEGIN:
        case CMD_BEGIN_LC:
            writeMove(out, brain.begin());
            break;
        case CMD_END:
        case CMD_END_LC:
            out << std::flush;
            return 0;
        case CMD_BOARD:
        case CMD_BOARD_LC: {
            // A rejected body leaves the game as it was: the process ends here.
            BoardBody body = readBoardBody(scanner);
            if (body.error != BodyError::NONE) {
                writeLine(out, body.error == BodyError::BAD_LINE ? "ERROR Error while updating board!"
                                                                 : "'DONE' or digit expected!");
                fatal = true;
                break;
            }
            writeMove(out, brain.setupBoard(body.stones));
            break;
        }
        case CMD_ABOUT:
        case CMD_ABOUT_LC:
            writeLine(out, aboutLine(brain.identity()));
            break;
        case CMD_LEARN: {
            std::string directory;
            if (scanner.readWord(directory))
                learnDirectory(directory, out);
            break;
        }
        default:
            writeLine(out, "ERROR Unknown Command!");
            break;
        }
        if (fatal) {
            writeFatal(out);
            return 0;
        }
        out << std::flush;
    }
    return 0;
}

} // namespace kelmo
