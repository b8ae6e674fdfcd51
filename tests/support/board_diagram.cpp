#include "support/board_diagram.h"

#include <sstream>
#include <vector>

namespace kelmo::test {

std::unique_ptr<K2Board> playSequence(std::initializer_list<int> squares) {
    auto board = std::make_unique<K2Board>();
    board->clear();
    for (int sq : squares)
        board->play(sq);
    return board;
}

std::unique_ptr<K2Board> boardWithStones(const std::vector<int>& p0, const std::vector<int>& p1,
                                         int sideToMove) {
    auto board = std::make_unique<K2Board>();
    board->clear();
    for (size_t i = 0; i < p0.size() || i < p1.size(); ++i) {
        if (i < p0.size()) {
            board->sideToMove = 0;
            board->play(p0[i]);
        }
        if (i < p1.size()) {
            board->sideToMove = 1;
            board->play(p1[i]);
        }
    }
    board->sideToMove = static_cast<std::uint8_t>(sideToMove);
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
