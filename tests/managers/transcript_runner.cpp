// Plays golden manager transcripts against a brain process and checks every
// reply. A transcript is a script of lines to send and replies to expect; the
// runner keeps its own copy of the board from both sides' moves, so a reply
// must be a well-formed move on an empty square, whatever move the (time-bound,
// hence not repeatable) search chose. Opponent moves written "?" are chosen here
// next to the brain's last stone, so games stay legal and contested. MESSAGE
// and DEBUG lines a brain prints before an answer are skipped, as managers
// skip them, within the same reply timeout; any other line where an answer is
// due is checked as that answer.
//
//   kelmo-transcript [--workdir DIR] TRANSCRIPT... -- COMMAND [ARGS...]
//
// Transcript lines:
//   # ...               comment
//   @eol lf|crlf        line end of the lines sent from here on (lf at first)
//   @reply_timeout MS   safety limit per reply, so that a hang fails (30000 at first)
//   > TEXT              send TEXT ("TURN ?" lets the runner pick the square)
//   < TEXT              expect exactly TEXT
//   < move              expect a legal move, then play it for the brain
//   < prefix TEXT       expect a line that begins with TEXT
//                       (a TEXT that is itself a MESSAGE or DEBUG line is read
//                       as the next line, nothing skipped)
//   ! exit              expect the brain to end by itself, code 0, writing nothing more
#include <algorithm>
#include <cstdlib>
#include <array>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "brain_process.h"

namespace {

constexpr int SIZE = 20;
constexpr int EMPTY = 0, BRAIN = 1, OPPONENT = 2;

struct Board {
    std::array<int, SIZE * SIZE> cells{};
    int lastBrain = -1;
    void clear() {
        cells.fill(EMPTY);
        lastBrain = -1;
    }
};

// "x,y" with both in 0..19, plain decimal without sign, blanks or leading zeros.
bool parseMove(const std::string& text, int& x, int& y) {
    std::size_t comma = text.find(',');
    if (comma == std::string::npos)
        return false;
    auto number = [](const std::string& s, int& v) {
        if (s.empty() || s.size() > 2 || (s.size() == 2 && s[0] == '0'))
            return false;
        v = 0;
        for (char c : s) {
            if (c < '0' || c > '9')
                return false;
            v = v * 10 + (c - '0');
        }
        return v < SIZE;
    };
    return number(text.substr(0, comma), x) && number(text.substr(comma + 1), y);
}

// The opponent's automatic move: the empty square closest to the brain's last
// stone (the centre before it has one), ties broken by square order.
int chooseOpponentSquare(const Board& board) {
    int cx = SIZE / 2, cy = SIZE / 2;
    if (board.lastBrain >= 0) {
        cx = board.lastBrain % SIZE;
        cy = board.lastBrain / SIZE;
    }
    int best = -1, bestDistance = SIZE * 4;
    for (int square = 0; square < SIZE * SIZE; ++square) {
        if (board.cells[square] != EMPTY)
            continue;
        int d = std::max(std::abs(square % SIZE - cx), std::abs(square / SIZE - cy)) * 2 +
                (square % SIZE != cx && square / SIZE != cy ? 1 : 0);
        if (d < bestDistance) {
            bestDistance = d;
            best = square;
        }
    }
    return best;
}

struct Outcome {
    bool passed = true;
    std::string why;
    int moves = 0;
    double slowestMs = 0;
    int timeoutTurn = 0;  // the last INFO timeout_turn sent, for the report
    bool crlfReplies = false;
};

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

Outcome runTranscript(const std::string& path, const std::vector<std::string>& command,
                      const std::string& workDir) {
    Outcome result;
    auto fail = [&](int lineNo, const std::string& why) {
        if (result.passed) {
            result.passed = false;
            result.why = path + ":" + std::to_string(lineNo) + ": " + why;
        }
    };
    std::ifstream file(path);
    if (!file) {
        fail(0, "cannot read the transcript");
        return result;
    }
    kelmo::BrainProcess brain(command, workDir);
    if (!brain.started()) {
        fail(0, "cannot start the brain");
        return result;
    }

    Board board;
    std::string eol = "\n";
    int replyTimeout = 30000;
    bool inBoardBody = false;
    bool moveAsked = false;
    double sentAt = 0;
    std::string line;
    int lineNo = 0;
    while (result.passed && std::getline(file, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        if (line.rfind("@eol ", 0) == 0) {
            eol = line.substr(5) == "crlf" ? "\r\n" : "\n";
        } else if (line.rfind("@reply_timeout ", 0) == 0) {
            replyTimeout = std::stoi(line.substr(15));
        } else if (line.rfind("> ", 0) == 0 || line == ">") {
            std::string text = line.size() > 2 ? line.substr(2) : "";
            std::istringstream words(text);
            std::string word;
            words >> word;
            const std::string keyword = upper(word);
            if (inBoardBody) {
                int x, y;
                if (text == "DONE") {
                    inBoardBody = false;
                    moveAsked = true;
                } else {
                    std::size_t last = text.rfind(',');
                    if (last == std::string::npos || !parseMove(text.substr(0, last), x, y)) {
                        fail(lineNo, "bad BOARD body line in the transcript");
                        break;
                    }
                    int owner = std::stoi(text.substr(last + 1));
                    board.cells[y * SIZE + x] = owner == 1 ? BRAIN : owner == 2 ? OPPONENT : EMPTY;
                }
            } else if (keyword == "START" || keyword == "BEGIN") {
                board.clear();
                moveAsked = keyword == "BEGIN";
            } else if (keyword == "BOARD") {
                board.clear();
                inBoardBody = true;
            } else if (keyword == "TURN" || keyword == "PLAY") {
                std::string where;
                words >> where;
                int x, y;
                if (where == "?") {
                    int square = chooseOpponentSquare(board);
                    x = square % SIZE;
                    y = square / SIZE;
                    text = word + " " + std::to_string(x) + "," + std::to_string(y);
                } else if (!parseMove(where, x, y)) {
                    fail(lineNo, "bad move in the transcript");
                    break;
                }
                if (board.cells[y * SIZE + x] != EMPTY) {
                    fail(lineNo, "the transcript plays on a taken square: " + text);
                    break;
                }
                board.cells[y * SIZE + x] = OPPONENT;
                moveAsked = true;
            } else if (keyword == "INFO") {
                std::string key;
                int value = 0;
                if (words >> key >> value && key == "timeout_turn")
                    result.timeoutTurn = value;
            }
            sentAt = kelmo::nowMs();
            if (!brain.send(text, eol))
                fail(lineNo, "the brain closed its input before: " + text);
        } else if (line.rfind("< ", 0) == 0) {
            const std::string expected = line.substr(2);
            const bool prefix = expected.rfind("prefix ", 0) == 0;
            std::string reply;
            auto got = kelmo::isInformational(prefix ? expected.substr(7) : expected)
                           ? brain.readLine(reply, replyTimeout)
                           : brain.readAnswer(reply, replyTimeout);
            double took = kelmo::nowMs() - sentAt;
            if (got == kelmo::BrainProcess::ReadResult::Timeout) {
                fail(lineNo, "no reply within " + std::to_string(replyTimeout) + " ms, expected: " + expected);
                break;
            }
            if (got == kelmo::BrainProcess::ReadResult::Closed) {
                fail(lineNo, "the brain's output ended, expected: " + expected);
                break;
            }
            if (expected == "move") {
                int x, y;
                if (!moveAsked)
                    fail(lineNo, "transcript error: a move expected where none was asked");
                else if (!parseMove(reply, x, y))
                    fail(lineNo, "not a move line: \"" + reply + "\"");
                else if (board.cells[y * SIZE + x] != EMPTY)
                    fail(lineNo, "move on a taken square: " + reply);
                else {
                    board.cells[y * SIZE + x] = BRAIN;
                    board.lastBrain = y * SIZE + x;
                    ++result.moves;
                    result.slowestMs = std::max(result.slowestMs, took);
                }
                moveAsked = false;
            } else if (prefix) {
                if (reply.rfind(expected.substr(7), 0) != 0)
                    fail(lineNo, "expected a line beginning \"" + expected.substr(7) + "\", got \"" + reply + "\"");
            } else if (reply != expected) {
                fail(lineNo, "expected \"" + expected + "\", got \"" + reply + "\"");
            }
        } else if (line == "! exit") {
            // The input stays open: a brain that only leaves at end of input fails here.
            int code;
            if (!brain.waitExit(replyTimeout, code, false)) {
                fail(lineNo, "the brain did not end by itself");
                break;
            }
            std::string extra;
            if (brain.readLine(extra, 1000) == kelmo::BrainProcess::ReadResult::Line)
                fail(lineNo, "output after the end: \"" + extra + "\"");
            else if (code != 0)
                fail(lineNo, "exit code " + std::to_string(code));
        } else {
            fail(lineNo, "unknown transcript line: " + line);
        }
    }
    result.crlfReplies = brain.sawCarriageReturn();
    return result;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> transcripts, command;
    std::string workDir;
    int i = 1;
    for (; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--") {
            ++i;
            break;
        }
        if (arg == "--workdir" && i + 1 < argc)
            workDir = argv[++i];
        else
            transcripts.push_back(arg);
    }
    for (; i < argc; ++i)
        command.push_back(argv[i]);
    if (transcripts.empty() || command.empty()) {
        std::cerr << "usage: kelmo-transcript [--workdir DIR] TRANSCRIPT... -- COMMAND [ARGS...]\n";
        return 2;
    }

    int passed = 0, failed = 0;
    for (const std::string& path : transcripts) {
        Outcome r = runTranscript(path, command, workDir);
        std::string name = path.substr(path.find_last_of('/') + 1);
        std::printf("%-4s %s: %d moves, slowest reply %.0f ms", r.passed ? "ok" : "FAIL", name.c_str(),
                    r.moves, r.slowestMs);
        if (r.timeoutTurn > 0)
            std::printf(" (%.2f of timeout_turn %d)", r.slowestMs / r.timeoutTurn, r.timeoutTurn);
        std::printf("%s\n", r.crlfReplies ? ", CR LF replies" : "");
        if (!r.passed)
            std::printf("     %s\n", r.why.c_str());
        (r.passed ? passed : failed)++;
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
