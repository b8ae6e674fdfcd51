// The evaluation fit's reading of game records and its regression: records of games read as their stones
// and only fives taken as results, and weights recovered from samples drawn from a known model.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "eval_fit.h"

namespace kelmo {
namespace {

constexpr int at(int x, int y) { return y * referee::GRID + x; }

TEST(EvalFit, RecordsAreReadAsStonesAndOnlyFivesDecideThem) {
    // Black's five on row 10 as the last stone: black (0) won. The same game cut one move short, and one
    // whose last stone stands alone, say nothing.
    const std::string five = "game 3 opening 2 first B: A wins | 10,10 0,0 11,10 0,2 12,10 0,4 13,10 0,6 14,10";
    std::vector<int> moves;
    ASSERT_TRUE(fit::parseRecord(five, moves));
    EXPECT_EQ(moves.size(), 9u);
    EXPECT_EQ(moves.front(), at(10, 10));
    EXPECT_EQ(moves.back(), at(14, 10));
    EXPECT_EQ(fit::winnerByFive(moves), 0);

    // White's five, the stone completing it in the middle of the row.
    ASSERT_TRUE(fit::parseRecord("game 1 opening 1 first A: B wins | 0,0 5,5 0,2 6,6 0,4 8,8 0,6 9,9 1,9 7,7",
                                 moves));
    EXPECT_EQ(fit::winnerByFive(moves), 1);

    ASSERT_TRUE(fit::parseRecord("game 3 opening 2 first B: A wins | 10,10 0,0 11,10 0,2 12,10 0,4 13,10 0,6", moves));
    EXPECT_EQ(fit::winnerByFive(moves), -1);

    const char* const refused[] = {
        "",
        "game 1 opening 1 first A: A wins |",          // no stones
        "game 1 opening 1 first A: A wins | 3,3 3,3",  // a square twice
        "game 1 opening 1 first A: A wins | 3,3 20,1", // off the board
        "game 1 opening 1 first A: A wins | 3,3 4",    // not a square
        "A scored 50.0 of 100 | 3,3",                  // not a game line
    };
    for (const char* line : refused)
        EXPECT_FALSE(fit::parseRecord(line, moves)) << line;
}

TEST(EvalFit, RecoversTheWeightsOfTheModelTheResultsWereDrawnFrom) {
    // Outcomes drawn from a known logistic model over small integer features, as shape counts are; the fit
    // must find the weights' signs, their order and roughly their size, and beat the zero model's loss.
    const std::vector<double> truth = {0.8, -0.4, 0.1, 0.0};
    const double bias = 0.3;
    std::uint64_t state = 12345;
    auto next = [&]() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    std::vector<fit::Sample> samples;
    for (int i = 0; i < 20000; ++i) {
        fit::Sample s{std::vector<float>(truth.size()), 0.0f};
        double z = bias;
        for (std::size_t f = 0; f < truth.size(); ++f) {
            s.features[f] = static_cast<float>(next() % 5);
            z += truth[f] * s.features[f];
        }
        const double p = 1 / (1 + std::exp(-z));
        s.result = static_cast<double>(next() % 1000000) / 1000000 < p ? 1.0f : 0.0f;
        samples.push_back(s);
    }
    const fit::Model model = fit::fitLogistic(samples, truth.size(), 0);
    for (std::size_t f = 0; f < truth.size(); ++f)
        EXPECT_NEAR(model.weights[f], truth[f], 0.06) << "feature " << f;
    EXPECT_NEAR(model.bias, bias, 0.15);
    fit::Model zero;
    zero.weights.assign(truth.size(), 0.0);
    EXPECT_LT(fit::logLoss(samples, model, 0), fit::logLoss(samples, zero, 0) - 0.05);
}

} // namespace
} // namespace kelmo
