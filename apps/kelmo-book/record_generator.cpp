// Game generator: a seeded splitmix64 (not the standard distributions, whose
// output differs between libraries) picks a reference point, a line of five for
// the winner and scattered stones for the loser, all within four squares of the
// reference point and inside columns and rows 3..16.
#include "kelmo-book/record_generator.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace kelmo {

namespace {

class SplitMix {
public:
    explicit SplitMix(std::uint64_t seed) : state(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }

private:
    std::uint64_t state;
};

struct Point {
    int x, y;
    bool operator==(const Point&) const = default;
};

} // namespace

GeneratedGame generateDecidedGame(std::uint64_t seed) {
    SplitMix rng(seed * 0x2545F4914F6CDD1Dull + 1);
    const Point ref{6 + rng.below(8), 6 + rng.below(8)};
    const int lowX = std::max(3, ref.x - 4), highX = std::min(16, ref.x + 4);
    const int lowY = std::max(3, ref.y - 4), highY = std::min(16, ref.y + 4);
    auto inBox = [&](Point p) { return p.x >= lowX && p.x <= highX && p.y >= lowY && p.y <= highY; };
    auto randomPoint = [&] { return Point{lowX + rng.below(highX - lowX + 1), lowY + rng.below(highY - lowY + 1)}; };

    // The box is at least 8 squares wide, so every direction has a place for five.
    static constexpr int STEPS[4][2] = {{1, 0}, {0, 1}, {1, 1}, {-1, 1}};
    std::vector<Point> line;
    do {
        const auto& step = STEPS[rng.below(4)];
        const Point start = randomPoint();
        line.clear();
        for (int k = 0; k < 5; ++k)
            line.push_back({start.x + k * step[0], start.y + k * step[1]});
    } while (!std::all_of(line.begin(), line.end(), inBox));
    for (int k = 4; k > 0; --k)
        std::swap(line[k], line[rng.below(k + 1)]);

    GeneratedGame game;
    game.firstPlayerWins = rng.below(2) == 0;
    // The loser moves between the winner's stones: four of them when the winner
    // starts, five when the loser does. None lands on the winner's line.
    const int loserStones = game.firstPlayerWins ? 4 : 5;
    std::vector<Point> loser;
    while (static_cast<int>(loser.size()) < loserStones) {
        const Point p = randomPoint();
        if (std::find(line.begin(), line.end(), p) == line.end() &&
            std::find(loser.begin(), loser.end(), p) == loser.end())
            loser.push_back(p);
    }

    std::vector<Point> moves;
    for (int k = 0; k < 5; ++k) {
        if (!game.firstPlayerWins)
            moves.push_back(loser[k]);
        moves.push_back(line[k]);
        if (game.firstPlayerWins && k < 4)
            moves.push_back(loser[k]);
    }
    game.X.push_back(ref.x);
    game.Y.push_back(ref.y);
    for (const Point& p : moves) {
        game.X.push_back(p.x);
        game.Y.push_back(p.y);
    }
    return game;
}

std::string recordText(const GeneratedGame& game) {
    std::string text = "generated generated\n";
    char triple[48];
    for (std::size_t i = 0; i < game.X.size(); ++i) {
        std::snprintf(triple, sizeof triple, "%d,%d,%d\n", game.X[i], game.Y[i], static_cast<int>(i * 100));
        text += triple;
    }
    return text;
}

int writeGeneratedRecords(const std::string& directory, int count, std::uint64_t seed) {
    std::error_code ec;
    std::filesystem::create_directories(directory, ec);
    int written = 0;
    char name[32];
    for (int k = 0; k < count; ++k) {
        std::snprintf(name, sizeof name, "g%05d.rec", k);
        std::ofstream out(directory + "/" + name, std::ios::binary | std::ios::trunc);
        out << recordText(generateDecidedGame(seed + static_cast<std::uint64_t>(k)));
        written += static_cast<bool>(out);
    }
    return written;
}

} // namespace kelmo
