// Test boards: set-ups through setUpPosition, the diagram parser, play
// sequences and renderings.
#include "support/board_diagram.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

namespace kelmo::test {

std::unique_ptr<K2Board> setUpBoard(const std::vector<int>& player0, const std::vector<int>& player1,
                                    int sideToMove) {
    std::vector<Stone> stones;
    for (int sq : player0)
        stones.push_back({sq, 0});
    for (int sq : player1)
        stones.push_back({sq, 1});
    return std::unique_ptr<K2Board>(setUpPosition(stones, sideToMove));
}

bool parseDiagram(std::string_view diagram, int originX, int originY, std::vector<Stone>& stones,
                  std::string& error) {
    stones.clear();
    int y = originY;
    size_t start = 0;
    while (start <= diagram.size()) {
        size_t end = diagram.find('\n', start);
        if (end == std::string_view::npos)
            end = diagram.size();
        const std::string_view line = diagram.substr(start, end - start);
        start = end + 1;
        int x = originX;
        for (char c : line) {
            if (c == ' ' || c == '\t' || c == '\r')
                continue;
            if (c != '.' && c != 'x' && c != 'X' && c != 'o' && c != 'O') {
                error = std::string("not a cell: '") + c + "' in row " + std::to_string(y - originY + 1);
                return false;
            }
            if (x < 0 || x >= BOARD_SIZE || y < 0 || y >= BOARD_SIZE) {
                error = "cell (" + std::to_string(x) + ", " + std::to_string(y) + ") is off the board";
                return false;
            }
            if (c != '.')
                stones.push_back({squareOf(x, y), c == 'x' || c == 'X' ? 1 : 0});
            ++x;
        }
        if (x != originX)
            ++y;
    }
    return true;
}

std::unique_ptr<K2Board> boardFromDiagram(std::string_view diagram, int sideToMove, int originX, int originY) {
    std::vector<Stone> stones;
    std::string error;
    if (!parseDiagram(diagram, originX, originY, stones, error)) {
        ADD_FAILURE() << "bad diagram: " << error << "\n" << diagram;
        stones.clear();
    }
    return std::unique_ptr<K2Board>(setUpPosition(stones, sideToMove));
}

std::unique_ptr<K2Board> playSequence(std::initializer_list<int> squares) {
    auto board = std::make_unique<K2Board>();
    board->clear();
    for (int sq : squares)
        board->play(sq);
    return board;
}

std::string diagramOf(const K2Board& board) {
    std::string s;
    for (int y = 0; y < BOARD_SIZE; ++y) {
        for (int x = 0; x < BOARD_SIZE; ++x) {
            int sq = squareOf(x, y);
            s += board.isEmpty(sq) ? '.' : (board.stoneOwner(sq) ? 'x' : 'o');
        }
        s += '\n';
    }
    return s;
}

std::string threatListText(const K2Board& board, int player) {
    std::ostringstream out;
    for (const ThreatListItem* it = board.threatHead(player); it; it = board.nextThreat(it))
        out << (it == board.threatHead(player) ? "" : " ") << it->square() << ':' << it->code << ':'
            << it->directions();
    return out.str();
}

} // namespace kelmo::test
