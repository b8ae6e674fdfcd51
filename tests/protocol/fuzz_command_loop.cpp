// libFuzzer target for the command loop, built once over each brain (the pro
// brain's with KELMO_FUZZ_PRO defined): any byte stream must end the loop with
// code 0, with whole lines only, each one from the protocol's set (the pro
// brain's progress lines among them), and with the brain's game still one
// position (the exact brain's root and game board alike, the pro brain's stone
// list and its empty squares alike).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "brain/kbrain.h"
#include "brain/pro_brain.h"
#include "protocol/command_loop.h"

namespace {

bool isMoveLine(const std::string& line) {
    std::size_t comma = line.find(',');
    if (comma == std::string::npos || comma == 0 || comma + 1 == line.size())
        return false;
    auto number = [](const std::string& s) {
        if (s.size() > 2 || (s.size() == 2 && s[0] == '0'))
            return false;
        for (char c : s)
            if (c < '0' || c > '9')
                return false;
        return std::atoi(s.c_str()) < kelmo::BOARD_SIZE;
    };
    return number(line.substr(0, comma)) && number(line.substr(comma + 1));
}

bool isProtocolLine(const std::string& line) {
    static const char* const fixed[] = {
        "OK", "ERROR Unknown Command!", "ERROR Fatal Error, Protocol Mismatch!",
        "ERROR Unsupport size of board, supported size is 20!", "ERROR Error while updating board!",
        "'DONE' or digit expected!", "ERROR No empty square left to play!", "Unable to open directory",
#ifdef KELMO_FUZZ_PRO
        "name=\"Kelmo Pro\", version=\"1.0\", author=\"Kelmo developers\""};
#else
        "name=\"Kelmo\", version=\"1.0\", author=\"Kelmo developers\""};
#endif
    for (const char* f : fixed)
        if (line == f)
            return true;
#ifdef KELMO_FUZZ_PRO
    if (line.rfind("MESSAGE depth ", 0) == 0)
        return true;
#endif
    return isMoveLine(line) || line.rfind("Directory: ", 0) == 0 || line.rfind("Unable to open file ", 0) == 0;
}

#ifdef KELMO_FUZZ_PRO
bool gameInStep(const kelmo::ProBrain& brain) {
    bool listed[kelmo::SQUARE_NB] = {};
    for (const kelmo::Stone& stone : brain.stones()) {
        if (stone.square < 0 || stone.square >= kelmo::SQUARE_NB || listed[stone.square])
            return false;
        listed[stone.square] = true;
    }
    for (int square = 0; square < kelmo::SQUARE_NB; ++square)
        if (brain.squareIsEmpty(square) == listed[square])
            return false;
    return true;
}
#else
bool gameInStep(const kelmo::KBrain& brain) {
    kelmo::K2Board rootPosition;
    rootPosition.copyFrom(*brain.root->board);
    return std::memcmp(rootPosition.cells, brain.board->cells, kelmo::SQUARE_NB) == 0 &&
           rootPosition.moveCount == brain.board->moveCount;
}
#endif

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    std::ostringstream out;
#ifdef KELMO_FUZZ_PRO
    kelmo::ProBrain brain;
    // Searches of a few hundred nodes on small tables keep every input quick
    // whatever limits it sets.
    brain.nodeCap = 400;
    brain.tableBytesCap = 1 << 20;
#else
    kelmo::KBrain brain;
    // Searches of a couple of iterations keep every input quick whatever limits it sets.
    brain.searchIterationCap = 2;
#endif
    if (kelmo::runCommandLoop(in, out, brain) != 0)
        std::abort();
    std::string text = out.str();
    if (!text.empty() && text.back() != '\n')
        std::abort();
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (!isProtocolLine(line))
            std::abort();
    if (!gameInStep(brain))
        std::abort();
    return 0;
}
