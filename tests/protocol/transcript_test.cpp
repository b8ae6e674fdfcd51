// Black-box transcripts: each built brain (the exact and the pro program) is run
// on an input and its exact output lines, its exit code and the files it leaves
// in its working directory are compared. Every transcript is played twice, with
// LF and with CR LF line ends, and must come out the same. The pro brain's
// progress lines are checked for their form and place (only right before a
// move line) and then set aside; a searched reply that only the exact brain's
// opening rules fix is any legal move for the pro brain.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "brain_process.h"
#include "support/protocol_text.h"
#include "support/temp_dir.h"

namespace kelmo::test {
namespace {

struct Program {
    const char* name;
    std::string path;
    std::string aboutLine;
    bool progressLines;  // it may write MESSAGE lines before a move line
};
const Program EXACT = {"exact", KELMO_BRAIN_EXE, ABOUT_LINE, false};
const Program PRO = {"pro", KELMO_PRO_BRAIN_EXE, PRO_ABOUT_LINE, true};
const Program PROGRAMS[] = {EXACT, PRO};
constexpr int RUN_MS = 120000;   // a whole transcript
constexpr int REPLY_MS = 60000;  // one reply
constexpr auto LINE = BrainProcess::ReadResult::Line;

const std::string ANY_MOVE = "<move>";  // a well-formed move line onto a square no stone holds

// A reply the exact brain's opening rules fix; for the pro brain, any move.
std::string exactReply(const char* move) { return std::string("exact ") + move; }

// Searches in these transcripts get 200 ms or less, so the cases stay quick.
const std::string QUICK = "INFO timeout_turn 200\n";

struct Transcript {
    const char* name;
    std::string input;
    std::vector<std::string> output;
    // The input names a square only the exact brain's fixed replies leave empty
    // (or fill): such a transcript means nothing to the pro brain.
    bool exactOnly = false;
};
constexpr bool EXACT_ONLY = true;

// Shown by name when a case fails.
void PrintTo(const Transcript& t, std::ostream* os) { *os << t.name; }

// The squares that TURN, PLAY and BOARD lines of the input name, so that a
// searched reply can be checked against them.
std::set<std::pair<int, int>> namedSquares(const std::string& input) {
    std::set<std::pair<int, int>> squares;
    static const std::regex pair("(\\d+) *, *(\\d+)");
    for (auto it = std::sregex_iterator(input.begin(), input.end(), pair); it != std::sregex_iterator(); ++it)
        squares.insert({std::stoi((*it)[1]), std::stoi((*it)[2])});
    return squares;
}

// A progress line: "MESSAGE depth D", "eval E" or "mate in N" or "mated in N",
// "nodes N nps R", then "pv" and the line's squares.
bool isProgressLine(const std::string& line) {
    static const std::regex progress("MESSAGE depth \\d+ (eval -?\\d+|mate in \\d+|mated in \\d+) nodes \\d+ nps \\d+ pv"
                                     "( (0|[1-9]\\d?),(0|[1-9]\\d?))*");
    return std::regex_match(line, progress);
}

// Takes the progress lines out of a program's output, failing any that is
// malformed, comes from a program that writes none, or is not followed by the
// move line (or the no-move line) it leads to.
std::vector<std::string> withoutProgress(const Program& program, const std::vector<std::string>& lines,
                                         const char* name) {
    std::vector<std::string> rest;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind("MESSAGE", 0) != 0) {
            rest.push_back(lines[i]);
            continue;
        }
        EXPECT_TRUE(program.progressLines) << name << ": " << lines[i];
        EXPECT_TRUE(isProgressLine(lines[i])) << name << ": '" << lines[i] << "'";
        int x, y;
        bool next = i + 1 < lines.size() &&
                    (lines[i + 1].rfind("MESSAGE", 0) == 0 || parseMove(lines[i + 1], x, y) || lines[i + 1] == NO_MOVE);
        EXPECT_TRUE(next) << name << ": progress not followed by a move: " << lines[i];
    }
    return rest;
}

// Runs one transcript in a fresh directory: exact lines, exit code 0, nothing
// left behind, no output after a fatal line, every line ended by a line feed.
void play(const Program& program, const Transcript& t, const std::string& input) {
    TempDir dir;
    BrainRun run = runBrain({program.path}, dir.path(), input, RUN_MS);
    ASSERT_TRUE(run.finished) << t.name << ": still running at the deadline";
    EXPECT_EQ(run.exitCode, 0) << t.name;
    bool terminated = false;
    std::vector<std::string> lines = withoutProgress(program, outputLines(run.output, terminated), t.name);
    EXPECT_TRUE(terminated || lines.empty()) << t.name;
    ASSERT_EQ(lines.size(), t.output.size()) << t.name << "\n" << run.output;
    std::set<std::pair<int, int>> taken = namedSquares(input);
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string expected = t.output[i];
        if (expected.rfind("exact ", 0) == 0)
            expected = &program == &PROGRAMS[0] ? expected.substr(6) : ANY_MOVE;
        if (expected == ABOUT_LINE)
            expected = program.aboutLine;
        if (expected == ANY_MOVE) {
            int x, y;
            ASSERT_TRUE(parseMove(lines[i], x, y)) << t.name << ": '" << lines[i] << "'";
            EXPECT_EQ(taken.count({x, y}), 0u) << t.name << ": answered a stone " << lines[i];
            taken.insert({x, y});
        } else {
            EXPECT_EQ(lines[i], expected) << t.name << " line " << i;
        }
    }
    std::vector<std::string> leftBehind;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        leftBehind.push_back(entry.path().filename().string());
    EXPECT_TRUE(leftBehind.empty()) << t.name << ": left " << leftBehind.front();
}

class Transcripts : public ::testing::TestWithParam<std::tuple<int, Transcript>> {};

TEST_P(Transcripts, SameOutputWithLfAndCrLf) {
    const Program& program = PROGRAMS[std::get<0>(GetParam())];
    const Transcript& t = std::get<1>(GetParam());
    play(program, t, t.input);
    play(program, t, crlf(t.input));
}

// A body that fills every square but (0,0) and (19,19), without three in a row anywhere.
std::string almostFullBoard() {
    std::string body = "BOARD\n";
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            if (!((x == 0 && y == 0) || (x == 19 && y == 19)))
                body += std::to_string(x) + "," + std::to_string(y) + "," +
                        std::to_string(((x + 2 * y) / 2) % 2 + 1) + "\n";
    return body + "DONE\n";
}

const std::vector<Transcript> TRANSCRIPTS = {
    // The short exchange: every reply forced by the opening rules.
    {"short_exchange", "START 20\nBEGIN\nTURN 11,10\nEND\n", {"OK", "10,10", exactReply("11,11")}},
    {"small_letters", "start 20\nbegin\nturn 11,10\nend\n", {"OK", "10,10", exactReply("11,11")}},
    {"play_as_turn", "START 20\n" + QUICK + "BEGIN\nPLAY 11,10\nplay 12,12\nEND\n", {"OK", "10,10", "11,11", ANY_MOVE}, EXACT_ONLY},
    {"opponent_opens", "START 20\nTURN 0,0\nEND\n", {"OK", exactReply("1,1")}},
    {"turn_19_19", "TURN 19,19\nEND\n", {exactReply("18,18")}},
    {"turn_split_over_lines", "turn\n 5\n ,\n 9\nEND\n", {exactReply("4,10")}},
    {"about", "ABOUT\nabout\nEND\n", {ABOUT_LINE, ABOUT_LINE}},
    {"mixed_case_is_unknown", "Turn 11,10\nStart 20\nEND\n", {UNKNOWN, UNKNOWN, UNKNOWN, UNKNOWN}},
    {"learn_capitalised_is_unknown", "LEARN dir\nLearn dir\nEND\n", {UNKNOWN, UNKNOWN, UNKNOWN, UNKNOWN}},
    {"tab_runs_into_the_word", "START\t20\nBEGIN\t\nEND\n", {UNKNOWN, UNKNOWN}},
    {"unknown_words_on_one_line", "foo bar BEGIN baz\nEND\n", {UNKNOWN, UNKNOWN, "10,10", UNKNOWN}},
    {"blank_lines_and_spaces", "\n\n   START 20   \n\n  ABOUT\n END\n", {"OK", ABOUT_LINE}},
    {"overlong_word", std::string(5000, 'A') + " ABOUT\nEND\n", {UNKNOWN, ABOUT_LINE}},
    {"start_next_line", "START\n20\nEND\n", {"OK"}},
    {"start_leading_zeros", "START 0020\nEND\n", {"OK"}},
    {"start_two_blanks", "START  20\nABOUT\n", {FATAL}},
    {"start_no_number", "START x\nABOUT\n", {FATAL}},
    {"start_size_15", "START 15\nBEGIN\nEND\n", {SIZE_ERROR, "10,10"}},
    {"start_size_overflow", "START 99999999999\nABOUT\nEND\n", {SIZE_ERROR, ABOUT_LINE}},
    {"turn_column_20", "TURN 20,1\nABOUT\n", {FATAL}},
    {"turn_column_minus_1", "TURN -1,1\nABOUT\n", {FATAL}},
    {"turn_row_20", "TURN 1,20\nABOUT\n", {FATAL}},
    {"turn_row_minus_1", "TURN 1,-1\nABOUT\n", {FATAL}},
    {"turn_semicolon", "TURN 5;5\nABOUT\n", {FATAL}},
    {"turn_no_separator", "TURN 5 5\nABOUT\n", {FATAL}},
    {"turn_letter", "TURN a,5\nABOUT\n", {FATAL}},
    {"turn_cut_off", "TURN 5,", {FATAL}},
    {"turn_occupied", "BEGIN\nTURN 10,10\nABOUT\n", {"10,10", FATAL}},
    {"turn_on_own_reply", "TURN 0,0\nTURN 1,1\nABOUT\n", {"1,1", FATAL}, EXACT_ONLY},
    {"info_unknown_key", "INFO rule 1\nINFO folder /a b/c\nABOUT\nEND\n", {ABOUT_LINE}},
    {"info_key_ends_its_line", "INFO rule\nABOUT\nABOUT\nEND\n", {ABOUT_LINE}},
    {"info_negative_time_left", "INFO time_left -1000\n" + QUICK + "TURN 10,10\nEND\n", {exactReply("9,11")}},
    {"info_negative_timeout_turn", "INFO timeout_turn -1\nABOUT\n", {FATAL}},
    {"info_negative_max_memory", "INFO max_memory -5\nABOUT\n", {FATAL}},
    {"info_not_a_number", "INFO time_left many\nABOUT\n", {FATAL}},
    {"info_max_memory_zero", "INFO max_memory 0\n" + QUICK + "BEGIN\nTURN 9,10\nEND\n", {"10,10", exactReply("9,9")}},
    {"board_empty_body", "BOARD\nDONE\nEND\n", {"10,10"}},
    {"board_body", QUICK + "BOARD\n10,10,1\n11,11,2\n9,9,2\nDONE\nEND\n", {ANY_MOVE}},
    {"board_then_turn", QUICK + "board\n10,10,1\n 11 , 11 , 2\n\n  DONE\nTURN 2,2\nEND\n", {ANY_MOVE, ANY_MOVE}},
    {"board_owner_3", "BOARD\n10,10,3\nDONE\nABOUT\n", {BODY_ERROR, FATAL}},
    {"board_column_20", "BOARD\n20,10,1\nDONE\nABOUT\n", {BODY_ERROR, FATAL}},
    {"board_bad_separator", "BOARD\n1,1;1\nDONE\nABOUT\n", {BODY_ERROR, FATAL}},
    {"board_blank_before_done", "BOARD\n DONE\nABOUT\n", {DONE_ERROR, FATAL}},
    {"board_done_then_blank", "BOARD\n1,1,1\nDONE \nABOUT\n", {DONE_ERROR, FATAL}},
    {"board_not_closed", "BOARD\n1,1,1\n", {DONE_ERROR, FATAL}},
    {"board_full", QUICK + almostFullBoard() + "ABOUT\nEND\n", {ANY_MOVE, ABOUT_LINE}},
    {"begin_mid_game", QUICK + "TURN 3,3\nBEGIN\nEND\n", {exactReply("2,4"), "10,10"}},
    {"end", "END\n", {}},
    {"end_small_letters", "end\nABOUT\n", {}},
    {"end_of_input_after_a_line", "ABOUT\n", {ABOUT_LINE, UNKNOWN}},
    {"end_of_input_in_a_word", "ABOUT\nEND", {ABOUT_LINE, UNKNOWN}},
    {"empty_input", "", {UNKNOWN}},
    {"learn_missing_directory", "learn no-such-records-here\nEND\n",
     {"Directory: no-such-records-here", "Unable to open directory"}},
};

std::vector<std::tuple<int, Transcript>> everyProgramsTranscripts() {
    std::vector<std::tuple<int, Transcript>> cases;
    for (int program = 0; program < 2; ++program)
        for (const Transcript& t : TRANSCRIPTS)
            if (program == 0 || !t.exactOnly)
                cases.emplace_back(program, t);
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Protocol, Transcripts, ::testing::ValuesIn(everyProgramsTranscripts()),
                         [](const auto& info) {
                             return std::string(PROGRAMS[std::get<0>(info.param)].name) + "_" +
                                    std::get<1>(info.param).name;
                         });

class EachProgram : public ::testing::TestWithParam<int> {
protected:
    const Program& program() const { return PROGRAMS[GetParam()]; }
    // The next line that is not a progress line.
    BrainProcess::ReadResult readReply(BrainProcess& brain, std::string& reply) {
        BrainProcess::ReadResult got;
        while ((got = brain.readLine(reply, REPLY_MS)) == LINE && program().progressLines &&
               reply.rfind("MESSAGE ", 0) == 0)
            EXPECT_TRUE(isProgressLine(reply)) << reply;
        return got;
    }
};

INSTANTIATE_TEST_SUITE_P(Protocol, EachProgram, ::testing::Values(0, 1),
                         [](const auto& info) { return std::string(PROGRAMS[info.param].name); });

TEST_P(EachProgram, FullBoardIsAnsweredWithAnErrorLine) {
    TempDir dir;
    // The brain answers the body on one corner; the opponent takes the other.
    BrainProcess brain({program().path}, dir.path());
    ASSERT_TRUE(brain.started());
    std::string body = QUICK + almostFullBoard();
    body.pop_back();
    ASSERT_TRUE(brain.send(body));
    std::string reply;
    ASSERT_EQ(readReply(brain, reply), LINE);
    ASSERT_TRUE(reply == "0,0" || reply == "19,19") << reply;
    ASSERT_TRUE(brain.send(reply == "0,0" ? "TURN 19,19" : "TURN 0,0"));
    ASSERT_EQ(readReply(brain, reply), LINE);
    EXPECT_EQ(reply, NO_MOVE);
    // The loop goes on after the error line.
    ASSERT_TRUE(brain.send("ABOUT"));
    ASSERT_EQ(readReply(brain, reply), LINE);
    EXPECT_EQ(reply, program().aboutLine);
    ASSERT_TRUE(brain.send("END"));
    EXPECT_EQ(brain.finish(REPLY_MS), 0);
    EXPECT_FALSE(brain.sawCarriageReturn()) << "a reply line ended in CR LF";
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

// A move onto the brain's own reply is refused like any occupied square: the
// fatal line, and the process ends.
TEST_P(EachProgram, TurnOnTheBrainsOwnReplyIsFatal) {
    TempDir dir;
    BrainProcess brain({program().path}, dir.path());
    ASSERT_TRUE(brain.started());
    ASSERT_TRUE(brain.send(QUICK + "TURN 7,7"));
    std::string reply;
    ASSERT_EQ(readReply(brain, reply), LINE);
    int x, y;
    ASSERT_TRUE(parseMove(reply, x, y)) << reply;
    ASSERT_TRUE(brain.send("TURN " + reply));
    ASSERT_EQ(readReply(brain, reply), LINE);
    EXPECT_EQ(reply, FATAL);
    int code = -1;
    ASSERT_TRUE(brain.waitExit(REPLY_MS, code, false)) << "the brain went on after the fatal line";
    EXPECT_EQ(code, 0);
    EXPECT_NE(brain.readLine(reply, 1000), LINE) << "output after the fatal line: " << reply;
}

// ---- robustness against the executable ----

// Random command streams (kept away from START 20, which would restore the
// three-second move limit): the brain always exits with code 0 before the
// deadline and prints nothing outside the protocol's lines (and, for the pro
// brain, its progress lines).
TEST_P(EachProgram, RandomStreamsEndCleanly) {
    std::mt19937 rng(4242u);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const std::vector<std::string> words = {
        "TURN", "turn", "PLAY", "BEGIN", "BOARD", "INFO", "time_left", "timeout_turn", "max_memory", "rule",
        "ABOUT", "START", "15", "DONE", "END", "foo", "learn", ",", "-", "1", "7", "19", "10,10", "9,9,1",
        "3,4,2", "\t", "\r", "\n", "\n", "\n", " ", " ", " "};
    const std::set<std::string> fixed = {"OK", UNKNOWN, FATAL, SIZE_ERROR, BODY_ERROR, DONE_ERROR, NO_MOVE,
                                         program().aboutLine, "Unable to open directory"};
    TempDir dir;
    for (int run = 0; run < 150; ++run) {
        std::string input = "INFO timeout_turn 0\n";
        int n = pick(1, 60);
        for (int i = 0; i < n; ++i) {
            input += words[static_cast<size_t>(pick(0, static_cast<int>(words.size()) - 1))];
            if (pick(0, 2))
                input += pick(0, 4) ? " " : "\n";
        }
        if (pick(0, 3) == 0)
            input = crlf(input);
        BrainRun result = runBrain({program().path}, dir.path(), input, 60000);
        ASSERT_TRUE(result.finished) << "run " << run << " hung on:\n" << input;
        ASSERT_EQ(result.exitCode, 0) << "run " << run << ":\n" << input;
        bool terminated = false;
        for (const auto& line : outputLines(result.output, terminated)) {
            int x, y;
            bool known = fixed.count(line) || parseMove(line, x, y) || line.rfind("Directory: ", 0) == 0 ||
                         line.rfind("Unable to open file ", 0) == 0 ||
                         (program().progressLines && isProgressLine(line));
            ASSERT_TRUE(known) << "run " << run << ": '" << line << "' for\n" << input;
        }
        ASSERT_TRUE(terminated || result.output.empty()) << "run " << run;
    }
    // A learn word could name the directory itself; nothing else may appear in it.
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        ADD_FAILURE() << "left behind: " << entry.path().filename();
}

} // namespace
} // namespace kelmo::test
