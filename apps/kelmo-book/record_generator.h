// Deterministic decided games for tests and the learning benchmark: one side
// lays a line of five, the other scatters its stones elsewhere, all inside the
// window learning accepts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kelmo {

struct GeneratedGame {
    std::vector<std::int32_t> X;  // reference point first, then the moves
    std::vector<std::int32_t> Y;
    bool firstPlayerWins = true;
};

// The same seed always gives the same game on every platform.
GeneratedGame generateDecidedGame(std::uint64_t seed);

// The game as a record file's text: two words, then one x,y,t triple per line.
std::string recordText(const GeneratedGame& game);

// Writes count records named g00000.rec, g00001.rec, ... into the directory,
// creating it if needed. Returns the number written.
int writeGeneratedRecords(const std::string& directory, int count, std::uint64_t seed);

} // namespace kelmo
