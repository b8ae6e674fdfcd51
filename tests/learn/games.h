// Hand-made game records for the learning tests: a reference point and moves,
// turned into X/Y lists or record text.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kelmo::test {

using Points = std::vector<std::pair<int, int>>;

struct Game {
    std::pair<int, int> ref;
    Points moves;

    std::vector<std::int32_t> X() const {
        std::vector<std::int32_t> v{ref.first};
        for (const auto& m : moves)
            v.push_back(m.first);
        return v;
    }
    std::vector<std::int32_t> Y() const {
        std::vector<std::int32_t> v{ref.second};
        for (const auto& m : moves)
            v.push_back(m.second);
        return v;
    }
    std::string text() const {
        std::string s = "Black White\n" + std::to_string(ref.first) + "," + std::to_string(ref.second) + ",0\n";
        for (const auto& m : moves)
            s += std::to_string(m.first) + "," + std::to_string(m.second) + ",1500\n";
        return s;
    }
    Game mirroredX() const { return mapped([](int x, int y) { return std::pair{20 - x, y}; }); }
    Game mirroredY() const { return mapped([](int x, int y) { return std::pair{x, 20 - y}; }); }
    Game transposed() const { return mapped([](int x, int y) { return std::pair{y, x}; }); }
    Game withRef(int x, int y) const { return {{x, y}, moves}; }
    Game plus(Points more) const {
        Game g = *this;
        g.moves.insert(g.moves.end(), more.begin(), more.end());
        return g;
    }
    Game firstMoves(std::size_t n) const { return {ref, Points(moves.begin(), moves.begin() + n)}; }
    Game replaced(std::size_t i, std::pair<int, int> m) const {
        Game g = *this;
        g.moves[i] = m;
        return g;
    }

private:
    template <class F>
    Game mapped(F f) const {
        Game g{f(ref.first, ref.second), {}};
        for (const auto& m : moves)
            g.moves.push_back(f(m.first, m.second));
        return g;
    }
};

// Reference (10,10), first move (9,11). Player 0 lays y = 11, x 9..13; player 1's
// fourth stone (13,12) lies on the vertical through the open end (13,11), so the
// replay reports the game decided at the eighth move; the ninth makes five.
inline Game reportedGame() {
    return {{10, 10},
            {{9, 11}, {5, 5}, {10, 11}, {15, 4}, {11, 11}, {4, 15}, {12, 11}, {13, 12}, {13, 11}}};
}

// The same line of five, but player 1's fourth stone is far from it: the replay
// never reports, and only the completed five shows the game is decided.
inline Game fiveOnlyGame() {
    return reportedGame().replaced(7, {16, 16});
}

// Twelve scattered moves: nobody ever gets near five.
inline Game quietGame() {
    return {{10, 10},
            {{10, 11}, {4, 4}, {13, 7}, {7, 14}, {16, 10}, {4, 10}, {10, 4}, {15, 15}, {6, 7}, {13, 13}, {8, 16},
             {16, 5}}};
}

// Reference (2,10) with every move in columns 3..9: player 0 lays y = 11, x 3..7,
// and player 1's (7,12) brings the report.
inline Game leftEdgeGame() {
    return {{2, 10}, {{3, 11}, {3, 5}, {4, 11}, {9, 4}, {5, 11}, {4, 15}, {6, 11}, {7, 12}, {7, 11}}};
}

} // namespace kelmo::test
