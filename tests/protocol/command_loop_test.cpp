// The command loop in-process, over each brain (the exact KBrain and the pro
// ProBrain): what each command does to the brain's limits and game, how the loop
// ends, and seeded random and mutated command streams checked against a small
// model of the protocol. Replies that only the exact brain's opening rules fix
// are any move for the pro brain, and its progress lines are checked for their
// place (right before a move line) and set aside.
#include "protocol/command_loop.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <streambuf>
#include <string>
#include <type_traits>
#include <vector>

#include "brain/kbrain.h"
#include "brain/pro_brain.h"
#include "errorlog/error_log.h"
#include "support/protocol_text.h"
#include "support/temp_dir.h"

namespace kelmo {
namespace {

using namespace test;

// An output stream buffer that hands every finished line to a callback while
// the loop is still running, so the brain can be examined at that moment.
class LineSink : public std::streambuf {
public:
    explicit LineSink(std::function<void(const std::string&)> onLine) : onLine(std::move(onLine)) {}
    std::vector<std::string> lines;
    std::string partial;

protected:
    int overflow(int c) override {
        if (c == EOF)
            return 0;
        if (c == '\n') {
            lines.push_back(partial);
            onLine(partial);
            partial.clear();
        } else {
            partial += static_cast<char>(c);
        }
        return c;
    }

private:
    std::function<void(const std::string&)> onLine;
};

bool parseMove(const std::string& line, int& square) {
    int x, y;
    if (!test::parseMove(line, x, y))
        return false;
    square = squareOf(x, y);
    return true;
}

int stoneCount(const K2Board& board) {
    int n = 0;
    for (int sq = 0; sq < SQUARE_NB; ++sq)
        n += !board.isEmpty(sq);
    return n;
}

// What the tests read from each brain, and how they make its searches short.
template <class B>
struct Under;

template <>
struct Under<KBrain> {
    static constexpr bool progressLines = false;
    static constexpr int randomSessions = 2000, mutatedSessions = 3000;
    static void quick(KBrain& b, std::uint64_t level) { b.searchIterationCap = level; }
    static std::int32_t timeLeft(const KBrain& b) { return b.time_left; }
    static std::int32_t timeoutTurn(const KBrain& b) { return b.timeout_turn; }
    static std::int32_t maxMemory(const KBrain& b) { return b.max_memory; }
    static int stones(const KBrain& b) { return stoneCount(*b.board); }
    static bool brainStoneOn(const KBrain& b, int sq) { return b.board->cells[sq] == STONE_OF[1]; }
    // The root and the game board describe one position.
    static bool inStep(const KBrain& brain) {
        if (!brain.root || !brain.root->board || !brain.board || brain.root->isExpanded())
            return false;
        K2Board rootPosition;
        rootPosition.copyFrom(*brain.root->board);
        return std::memcmp(rootPosition.cells, brain.board->cells, SQUARE_NB) == 0 &&
               rootPosition.sideToMove == brain.board->sideToMove &&
               rootPosition.moveCount == brain.board->moveCount;
    }
    static const std::string& about() { return ABOUT_LINE; }
};

template <>
struct Under<ProBrain> {
    static constexpr bool progressLines = true;
    // Each pro search runs its root threat checks in full whatever its node cap,
    // so a pro session costs several exact ones: fewer of them keep the suite's
    // time, the sanitizer run's above all.
    static constexpr int randomSessions = 400, mutatedSessions = 600;
    // Nodes in place of the exact brain's iterations, and small tables, since
    // the tests make thousands of brains.
    static void quick(ProBrain& b, std::uint64_t level) {
        b.nodeCap = 200 * level;
        b.tableBytesCap = 1 << 20;
    }
    static std::int32_t timeLeft(const ProBrain& b) { return b.timeLeft(); }
    static std::int32_t timeoutTurn(const ProBrain& b) { return b.timeoutTurn(); }
    static std::int32_t maxMemory(const ProBrain& b) { return b.maxMemory(); }
    static int stones(const ProBrain& b) { return static_cast<int>(b.stones().size()); }
    static bool brainStoneOn(const ProBrain& b, int sq) {
        for (const Stone& stone : b.stones())
            if (stone.square == sq)
                return stone.player == 1;
        return false;
    }
    // The stone list and squareIsEmpty agree, and no square is listed twice.
    static bool inStep(const ProBrain& brain) {
        bool listed[SQUARE_NB] = {};
        for (const Stone& stone : brain.stones()) {
            if (stone.square < 0 || stone.square >= SQUARE_NB || listed[stone.square])
                return false;
            listed[stone.square] = true;
        }
        for (int sq = 0; sq < SQUARE_NB; ++sq)
            if (brain.squareIsEmpty(sq) == listed[sq])
                return false;
        return true;
    }
    static const std::string& about() { return PRO_ABOUT_LINE; }
};

bool isProgressLine(const std::string& line) {
    static const std::regex progress("MESSAGE depth \\d+ (eval -?\\d+|mate in \\d+|mated in \\d+) nodes \\d+ nps \\d+ pv"
                                     "( (0|[1-9]\\d?),(0|[1-9]\\d?))*");
    return std::regex_match(line, progress);
}

struct RunResult {
    int exitCode = -1;
    std::vector<std::string> lines;  // progress lines set aside
    std::string unterminated;  // output not ended by a line feed
    bool everyMoveStood = true;  // each move line named a brain stone as it was written
    bool progressInPlace = true;  // each progress line well formed and followed by a move line
};

// Runs the loop on a brain the caller prepared, in a scratch directory.
template <class B>
RunResult runOn(B& brain, const std::string& input) {
    RunResult r;
    bool progressPending = false;
    LineSink sink([&](const std::string& line) {
        int sq;
        if (Under<B>::progressLines && line.rfind("MESSAGE", 0) == 0) {
            if (!isProgressLine(line))
                r.progressInPlace = false;
            progressPending = true;
            return;
        }
        const bool move = parseMove(line, sq);
        if (progressPending && !move && line != NO_MOVE)
            r.progressInPlace = false;
        progressPending = false;
        r.lines.push_back(line);
        if (move && (!Under<B>::brainStoneOn(brain, sq) || !Under<B>::inStep(brain)))
            r.everyMoveStood = false;
    });
    std::ostream out(&sink);
    std::istringstream in(input);
    r.exitCode = runCommandLoop(in, out, brain);
    r.unterminated = sink.partial;
    if (progressPending)
        r.progressInPlace = false;
    return r;
}

// A reply that the exact brain's opening rules fix: "*" (any move) for the pro brain.
template <class B>
std::string exactReply(const std::string& move) {
    return std::is_same_v<B, KBrain> ? move : "*";
}

template <class B>
class CommandLoopTest : public ::testing::Test {
protected:
    test::TempDir dir;
    test::ScopedChdir chdir{dir.path()};

    bool directoryEmpty() const { return std::filesystem::is_empty(dir.path()); }
};

using Brains = ::testing::Types<KBrain, ProBrain>;
class BrainNames {
public:
    template <class B>
    static std::string GetName(int) {
        return std::is_same_v<B, KBrain> ? "Exact" : "Pro";
    }
};
TYPED_TEST_SUITE(CommandLoopTest, Brains, BrainNames);

// ---- limits ----

TYPED_TEST(CommandLoopTest, InfoStartAndBoardSetTheLimitsAsTheyShould) {
    struct Case {
        const char* input;
        std::vector<std::string> output;  // "*" stands for a move line
        std::int32_t timeLeft, timeoutTurn, maxMemory;
    };
    const std::vector<Case> cases = {
        {"END\n", {}, 180000, 3000, 80000000},
        {"INFO time_left 5000\nINFO timeout_turn 700\nINFO max_memory 0\nEND\n", {}, 5000, 700, 0},
        {"info time_left 0\ninfo timeout_turn 0\ninfo max_memory 2147483647\nend\n", {}, 0, 0, 2147483647},
        {"INFO time_left -5\nEND\n", {}, 0, 3000, 80000000},
        {"INFO time_left -2147483648\nEND\n", {}, 0, 3000, 80000000},
        {"INFO timeout_turn 5\nINFO time_left 9\nSTART 20\nEND\n", {"OK"}, 180000, 3000, 80000000},
        {"INFO timeout_turn 5\nSTART 15\nEND\n", {SIZE_ERROR}, 180000, 5, 80000000},
        {"INFO timeout_turn 0\nINFO time_left 777\nINFO max_memory 5000000\nBOARD\n10,10,2\nDONE\nEND\n",
         {"*"}, 777, 0, 5000000},
        {"INFO timeout_turn 0\nINFO time_left 777\nBEGIN\nTURN 11,10\nEND\n", {"10,10", "*"}, 777, 0, 80000000},
        {"INFO timeout_turn -1\nEND\n", {FATAL}, 180000, 3000, 80000000},
        {"INFO max_memory -1\nEND\n", {FATAL}, 180000, 3000, 80000000},
        {"INFO timeout_turn 99999999999\nEND\n", {}, 180000, 2147483647, 80000000},
        {"INFO max_memory 4294967296\nEND\n", {}, 180000, 3000, 2147483647},
        {"INFO time_left abc\nEND\n", {FATAL}, 180000, 3000, 80000000},
        {"INFO timeout_turn\n7\nEND\n", {}, 180000, 7, 80000000},
        {"INFO game_type 1\nINFO timeout_turn 9\nEND\n", {}, 180000, 9, 80000000},
        {"INFO Time_left 5\nINFO timeout_turn 9\nEND\n", {}, 180000, 9, 80000000},
        // A key that ends its line takes the line end as its terminator: the
        // whole next line goes with it.
        {"INFO rule\nINFO timeout_turn 9\nINFO time_left 8\nEND\n", {}, 8, 3000, 80000000},
        {"INFO folder C:\\some where\\\nINFO max_memory 1\nEND\n", {}, 180000, 3000, 1},
        {"INFO\ttime_left 5\nEND\n", {UNKNOWN, UNKNOWN}, 180000, 3000, 80000000},
    };
    for (const auto& c : cases) {
        TypeParam brain;
        Under<TypeParam>::quick(brain, 1);
        RunResult r = runOn(brain, c.input);
        EXPECT_EQ(r.exitCode, 0) << c.input;
        EXPECT_TRUE(r.progressInPlace) << c.input;
        ASSERT_EQ(r.lines.size(), c.output.size()) << c.input;
        for (size_t i = 0; i < c.output.size(); ++i) {
            int sq;
            if (c.output[i] == "*")
                EXPECT_TRUE(parseMove(r.lines[i], sq)) << c.input << " line " << r.lines[i];
            else
                EXPECT_EQ(r.lines[i], c.output[i]) << c.input;
        }
        EXPECT_EQ(Under<TypeParam>::timeLeft(brain), c.timeLeft) << c.input;
        EXPECT_EQ(Under<TypeParam>::timeoutTurn(brain), c.timeoutTurn) << c.input;
        EXPECT_EQ(Under<TypeParam>::maxMemory(brain), c.maxMemory) << c.input;
    }
    EXPECT_TRUE(this->directoryEmpty());
}

// ---- game state ----

TYPED_TEST(CommandLoopTest, MoveCommandsLeaveTheGameTheyDescribe) {
    struct Case {
        const char* input;
        std::vector<std::string> output;
        int stones;
        bool exactOnly = false;  // the input names the exact brain's own reply
    };
    auto fixed = exactReply<TypeParam>;
    const std::vector<Case> cases = {
        {"TURN 11,10\nEND\n", {fixed("10,11")}, 2},
        {"PLAY 11,10\nEND\n", {fixed("10,11")}, 2},
        {"play 0,0\nEND\n", {fixed("1,1")}, 2},
        {"turn 19 ,\n 19\nEND\n", {fixed("18,18")}, 2},
        {"BEGIN\nTURN 11,10\nEND\n", {"10,10", fixed("11,11")}, 3},
        {"TURN 3,3\nBEGIN\nEND\n", {fixed("2,4"), "10,10"}, 1},
        {"BEGIN\nTURN 10,10\nEND\n", {"10,10", FATAL}, 1},
        {"TURN 0,0\nTURN 1,1\nEND\n", {"1,1", FATAL}, 2, true},
        {"TURN 0,0\nSTART 20\nEND\n", {fixed("1,1"), "OK"}, 0},
        {"TURN 0,0\nSTART 19\nEND\n", {fixed("1,1"), SIZE_ERROR}, 2},
        {"BOARD\n10,10,1\n10,11,2\nDONE\nEND\n", {"*"}, 3},
        {"BOARD\nDONE\nEND\n", {"10,10"}, 1},
        // A rejected body leaves the game as it stood.
        {"TURN 5,5\nBOARD\n1,1,1\n1,1,3\nDONE\nEND\n", {fixed("4,6"), BODY_ERROR, FATAL}, 2},
        {"TURN 5,5\nBOARD\n1,1,1\nDONE.\nEND\n", {fixed("4,6"), DONE_ERROR, FATAL}, 2},
    };
    for (const auto& c : cases) {
        if (c.exactOnly && !std::is_same_v<TypeParam, KBrain>)
            continue;
        TypeParam brain;
        Under<TypeParam>::quick(brain, 1);
        RunResult r = runOn(brain, c.input);
        EXPECT_TRUE(r.progressInPlace) << c.input;
        ASSERT_EQ(r.lines.size(), c.output.size()) << c.input;
        for (size_t i = 0; i < c.output.size(); ++i) {
            int sq;
            if (c.output[i] == "*")
                EXPECT_TRUE(parseMove(r.lines[i], sq)) << c.input;
            else
                EXPECT_EQ(r.lines[i], c.output[i]) << c.input;
        }
        EXPECT_TRUE(r.everyMoveStood) << c.input;
        EXPECT_EQ(Under<TypeParam>::stones(brain), c.stones) << c.input;
        EXPECT_TRUE(Under<TypeParam>::inStep(brain)) << c.input;
    }
    // Every search started on the brain's own turn: nothing was logged.
    EXPECT_TRUE(this->directoryEmpty());
}

TYPED_TEST(CommandLoopTest, EndOfInputWithoutEndGivesOneUnknownCommand) {
    const std::string about = Under<TypeParam>::about();
    const std::vector<std::pair<const char*, std::vector<std::string>>> cases = {
        {"", {UNKNOWN}},
        {"\n\n  ", {UNKNOWN}},
        {"ABOUT\n", {about, UNKNOWN}},
        {"ABOUT", {UNKNOWN}},
        {"END", {UNKNOWN}},
        {"ABOUT\nEND", {about, UNKNOWN}},
        {"ABOUT\r\n", {about, UNKNOWN}},
        {"END\nABOUT\n", {}},
        {"END \n", {}},
        {"START", {UNKNOWN}},
        {"START\n", {FATAL}},
    };
    for (const auto& [input, output] : cases) {
        TypeParam brain;
        RunResult r = runOn(brain, input);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.lines, output) << '"' << input << '"';
        EXPECT_EQ(r.unterminated, "");
    }
}

TYPED_TEST(CommandLoopTest, LearnReadsAWordOfAnyLength) {
    const std::string longName(200, 'r');
    TypeParam brain;
    RunResult r = runOn(brain, "learn " + longName + " ABOUT\nEND\n");
    ASSERT_GE(r.lines.size(), 2u);
    EXPECT_EQ(r.lines.front(), "Directory: " + longName);
    // The word ends at its blank; what follows is read as the next command.
    EXPECT_EQ(r.lines.back(), Under<TypeParam>::about());
    for (const auto& line : r.lines)
        EXPECT_NE(line, UNKNOWN);
}

TYPED_TEST(CommandLoopTest, FullBoardIsAnsweredWithAnErrorLineAndTheLoopGoesOn) {
    // Every square but the two corners, in a pattern without three in a row.
    std::string body;
    for (int y = 0; y < BOARD_SIZE; ++y)
        for (int x = 0; x < BOARD_SIZE; ++x)
            if (!((x == 0 && y == 0) || (x == 19 && y == 19)))
                body += std::to_string(x) + "," + std::to_string(y) + "," +
                        std::to_string(((x + 2 * y) / 2) % 2 + 1) + "\n";
    TypeParam brain;
    Under<TypeParam>::quick(brain, 1);
    RunResult first = runOn(brain, "BOARD\n" + body + "DONE\nEND\n");
    ASSERT_EQ(first.lines.size(), 1u);
    ASSERT_TRUE(first.lines[0] == "0,0" || first.lines[0] == "19,19") << first.lines[0];
    std::string last = first.lines[0] == "0,0" ? "19,19" : "0,0";
    RunResult second = runOn(brain, "TURN " + last + "\nABOUT\nTURN 5,5\n");
    EXPECT_EQ(second.lines, (std::vector<std::string>{NO_MOVE, Under<TypeParam>::about(), FATAL}));
}

// ---- seeded random sessions checked against a model ----

enum class Kind { Start, StartBadSize, StartFatal, InfoOk, InfoFatal, InfoSkipNextLine, Begin, Move, Board,
                  About, Unknown, End };

struct Command {
    Command(Kind kind, std::string text) : kind(kind), text(std::move(text)) {}
    Kind kind;
    std::string text;                  // the command's lines, each ended by "\n"
    int x = 0, y = 0;                  // Move
    std::vector<std::pair<int, int>> body;  // Board: square and owner, in order
    bool bodyValid = true;
};

class SessionGenerator {
public:
    explicit SessionGenerator(unsigned seed) : rng(seed) {}

    std::vector<Command> session() {
        std::vector<Command> cmds;
        int n = pick(1, 25);
        for (int i = 0; i < n; ++i) {
            cmds.push_back(command());
            if (cmds.back().kind == Kind::InfoSkipNextLine)
                cmds.push_back({Kind::About, "ABOUT\n"});  // swallowed unread
        }
        if (pick(0, 1))
            cmds.push_back({Kind::End, pick(0, 1) ? "END\n" : "end\n"});
        return cmds;
    }

    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
    std::mt19937& engine() { return rng; }

private:
    std::mt19937 rng;

    std::string upperOrLower(const char* upper, const char* lower) { return pick(0, 1) ? upper : lower; }

    int coordinate() {
        int r = pick(0, 19);
        if (r == 0)
            return pick(0, 1) ? -1 : 20;
        return pick(5, 14);  // mostly near the stones, so occupied squares come up
    }

    Command command() {
        switch (pick(0, 15)) {
        case 0:
            return {Kind::Start, upperOrLower("START", "start") + (pick(0, 3) ? " 20\n" : "\n20\n")};
        case 1: {
            int size = pick(0, 40);
            if (size == 20)
                size = 15;
            return {Kind::StartBadSize, "START " + std::to_string(size) + "\n"};
        }
        case 2: {
            const char* forms[] = {"START  20\n", "START -20\n", "START x\n", "START +20\n"};
            return {Kind::StartFatal, forms[pick(0, 3)]};
        }
        case 3:
        case 4: {
            const char* keys[] = {"time_left", "timeout_turn", "max_memory"};
            int key = pick(0, 2);
            int value = pick(0, 4) ? pick(0, 100000) : -pick(1, 100);
            Kind kind = value < 0 && key != 0 ? Kind::InfoFatal : Kind::InfoOk;
            return {kind, upperOrLower("INFO ", "info ") + keys[key] + " " + std::to_string(value) + "\n"};
        }
        case 5: {
            if (pick(0, 2) == 0)
                return {Kind::InfoSkipNextLine, "INFO rule\n"};
            return {Kind::InfoOk, "INFO game_type " + std::to_string(pick(0, 3)) + "\n"};
        }
        case 6:
            return {Kind::Begin, upperOrLower("BEGIN", "begin") + "\n"};
        case 7:
        case 8:
        case 9:
        case 10: {
            Command c{Kind::Move, ""};
            c.x = coordinate();
            c.y = coordinate();
            const char* words[] = {"TURN", "turn", "PLAY", "play"};
            const char* seps[] = {",", " , ", ",\n", " ,"};
            c.text = std::string(words[pick(0, 3)]) + " " + std::to_string(c.x) + seps[pick(0, 3)] +
                     std::to_string(c.y) + "\n";
            return c;
        }
        case 11:
        case 12: {
            Command c{Kind::Board, upperOrLower("BOARD", "board") + "\n"};
            int stones = pick(0, 12);
            for (int i = 0; i < stones; ++i) {
                int x = pick(3, 16), y = pick(3, 16), w = pick(0, 9) ? pick(1, 2) : 0;
                c.body.push_back({squareOf(x, y), w});
                c.text += std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(w) + "\n";
            }
            switch (pick(0, 9)) {
            case 0:
                c.text += "3,3,3\nDONE\n";
                c.bodyValid = false;
                break;
            case 1:
                c.text += "DONE!\n";
                c.bodyValid = false;
                break;
            default:
                c.text += "DONE\n";
            }
            return c;
        }
        case 13:
            return {Kind::About, upperOrLower("ABOUT", "about") + "\n"};
        default: {
            const char* words[] = {"Turn", "Begin", "ABOUTX", "hello", "START\t20", "RESTART", "SWAP2BOARD"};
            return {Kind::Unknown, std::string(words[pick(0, 6)]) + "\n"};
        }
        }
    }
};

// Walks the commands and the output together; returns "" or the first mismatch.
std::string checkAgainstModel(const std::vector<Command>& cmds, const std::vector<std::string>& lines,
                              const std::string& aboutLine) {
    bool occupied[SQUARE_NB] = {};
    size_t at = 0;
    auto next = [&](std::string& line) {
        if (at >= lines.size())
            return false;
        line = lines[at++];
        return true;
    };
    auto expectLine = [&](const std::string& want) -> std::string {
        std::string got;
        if (!next(got))
            return "missing line " + want;
        return got == want ? "" : "got '" + got + "' for '" + want + "'";
    };
    auto expectMove = [&]() -> std::string {
        std::string got;
        if (!next(got))
            return "missing move line";
        int full = 0;
        for (bool o : occupied)
            full += o;
        if (full == SQUARE_NB)
            return got == NO_MOVE ? "" : "full board answered '" + got + "'";
        int sq;
        if (!parseMove(got, sq))
            return "malformed move '" + got + "'";
        if (occupied[sq])
            return "answered the occupied square " + got;
        occupied[sq] = true;
        return "";
    };
    auto finish = [&]() -> std::string {
        return at == lines.size() ? "" : "extra output '" + lines[at] + "'";
    };
    bool skipNext = false;
    for (const Command& c : cmds) {
        if (skipNext) {
            skipNext = false;
            continue;
        }
        std::string err;
        switch (c.kind) {
        case Kind::Start:
            std::fill(std::begin(occupied), std::end(occupied), false);
            err = expectLine("OK");
            break;
        case Kind::StartBadSize:
            err = expectLine(SIZE_ERROR);
            break;
        case Kind::StartFatal:
        case Kind::InfoFatal:
            if (!(err = expectLine(FATAL)).empty())
                return err;
            return finish();
        case Kind::InfoOk:
            break;
        case Kind::InfoSkipNextLine:
            skipNext = true;
            break;
        case Kind::Begin:
            std::fill(std::begin(occupied), std::end(occupied), false);
            err = expectLine("10,10");
            occupied[CENTRE] = true;
            break;
        case Kind::Move: {
            bool bad = c.x < 0 || c.x >= BOARD_SIZE || c.y < 0 || c.y >= BOARD_SIZE ||
                       occupied[squareOf(c.x, c.y)];
            if (bad) {
                if (!(err = expectLine(FATAL)).empty())
                    return err;
                return finish();
            }
            occupied[squareOf(c.x, c.y)] = true;
            err = expectMove();
            break;
        }
        case Kind::Board:
            std::fill(std::begin(occupied), std::end(occupied), false);
            for (auto [sq, w] : c.body)
                occupied[sq] = w != 0;
            if (!c.bodyValid) {
                bool ownerError = c.text.find("3,3,3") != std::string::npos;
                if (!(err = expectLine(ownerError ? BODY_ERROR : DONE_ERROR)).empty())
                    return err;
                if (!(err = expectLine(FATAL)).empty())
                    return err;
                return finish();
            }
            err = expectMove();
            break;
        case Kind::About:
            err = expectLine(aboutLine);
            break;
        case Kind::Unknown:
            err = expectLine(UNKNOWN);
            break;
        case Kind::End:
            return finish();
        }
        if (!err.empty())
            return err;
    }
    // The input ended without END.
    std::string err = expectLine(UNKNOWN);
    return err.empty() ? finish() : err;
}

TYPED_TEST(CommandLoopTest, RandomSessionsFollowTheProtocolModel) {
    SessionGenerator gen(20240611u);
    for (int run = 0; run < Under<TypeParam>::randomSessions; ++run) {
        std::vector<Command> cmds = gen.session();
        std::string text;
        for (const auto& c : cmds)
            text += c.text;
        if (run % 2)
            text = test::crlf(text);
        TypeParam brain;
        Under<TypeParam>::quick(brain, 2);
        RunResult r = runOn(brain, text);
        ASSERT_EQ(r.exitCode, 0);
        ASSERT_TRUE(r.progressInPlace) << "run " << run;
        std::string mismatch = checkAgainstModel(cmds, r.lines, Under<TypeParam>::about());
        ASSERT_EQ(mismatch, "") << "run " << run << " input:\n" << text;
        ASSERT_TRUE(r.everyMoveStood) << "run " << run << " input:\n" << text;
        ASSERT_EQ(r.unterminated, "");
        ASSERT_TRUE(Under<TypeParam>::inStep(brain)) << "run " << run;
    }
    EXPECT_TRUE(this->directoryEmpty());
}

// ---- mutated streams: anything may come in, only protocol lines come out ----

bool isProtocolLine(const std::string& line, const std::string& aboutLine) {
    static const std::set<std::string> fixed = {"OK", UNKNOWN, FATAL, SIZE_ERROR, BODY_ERROR, DONE_ERROR,
                                                NO_MOVE, "Unable to open directory"};
    int sq;
    return fixed.count(line) || line == aboutLine || parseMove(line, sq) || line.rfind("Directory: ", 0) == 0 ||
           line.rfind("Unable to open file ", 0) == 0;
}

std::string mutate(std::string text, SessionGenerator& gen) {
    static const std::string alphabet = "0123456789,,,   \t\r\n\n-+DONETURNSTARTINFOBEGINabcx";
    int edits = gen.pick(1, 8);
    for (int i = 0; i < edits && !text.empty(); ++i) {
        size_t at = static_cast<size_t>(gen.pick(0, static_cast<int>(text.size()) - 1));
        char c = gen.pick(0, 9) ? alphabet[gen.pick(0, static_cast<int>(alphabet.size()) - 1)]
                                : static_cast<char>(gen.pick(0, 255));
        switch (gen.pick(0, 5)) {
        case 0:
            text[at] = c;
            break;
        case 1:
            text.insert(at, 1, c);
            break;
        case 2:
            text.erase(at, 1);
            break;
        case 3:
            text.insert(at, text.substr(at, static_cast<size_t>(gen.pick(1, 40))));
            break;
        case 4:
            text.resize(at);
            break;
        default:
            text.insert(at, std::string(static_cast<size_t>(gen.pick(1000, 3000)), c));
        }
    }
    return text;
}

TYPED_TEST(CommandLoopTest, MutatedStreamsEndCleanlyWithProtocolLinesOnly) {
    SessionGenerator gen(7u);
    for (int run = 0; run < Under<TypeParam>::mutatedSessions; ++run) {
        std::string text;
        for (const auto& c : gen.session())
            text += c.text;
        if (run % 3 == 0)
            text = test::crlf(text);
        text = mutate(text, gen);
        TypeParam brain;
        Under<TypeParam>::quick(brain, 2);
        RunResult r = runOn(brain, text);
        ASSERT_EQ(r.exitCode, 0);
        ASSERT_EQ(r.unterminated, "");
        ASSERT_TRUE(r.progressInPlace) << "run " << run;
        for (size_t i = 0; i < r.lines.size(); ++i) {
            const std::string& line = r.lines[i];
            ASSERT_TRUE(isProtocolLine(line, Under<TypeParam>::about())) << "run " << run << ": '" << line << "'";
            bool last = i + 1 == r.lines.size();
            if (line == FATAL) {
                ASSERT_TRUE(last) << "run " << run << ": output after the fatal line";
            }
            if (line == BODY_ERROR || line == DONE_ERROR) {
                ASSERT_TRUE(!last && r.lines[i + 1] == FATAL) << "run " << run;
            }
        }
        ASSERT_TRUE(r.everyMoveStood) << "run " << run;
        // However the loop ended, even halfway through a rejected body, the
        // brain's game is one position.
        ASSERT_TRUE(Under<TypeParam>::inStep(brain)) << "run " << run;
    }
}

} // namespace
} // namespace kelmo
