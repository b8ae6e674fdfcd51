// Fitting evaluation values to game results: the reader of kelmo-match's game records and a logistic
// regression of each position's result on its features. kelmo-pro-bench --fit uses it to tune the pro
// brain's shape values. Header-only, free of the engine, so that tests can feed it made-up samples.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "labelled_positions.h"
#include "referee.h"

namespace kelmo::fit {

// The stones of one recorded game ("game N opening O first A: ... | x,y x,y ...", the opening's stones
// first, black first) as squares y * 20 + x; false for a line that is not a game or names a square off the
// board or twice.
inline bool parseRecord(const std::string& line, std::vector<int>& moves) {
    moves.clear();
    const std::size_t bar = line.find('|');
    if (line.rfind("game ", 0) != 0 || bar == std::string::npos)
        return false;
    std::istringstream in(line.substr(bar + 1));
    std::vector<bool> taken(referee::GRID * referee::GRID, false);
    for (std::string word; in >> word;) {
        int square;
        if (!referee::parseMoveSquare(word, square) || taken[static_cast<std::size_t>(square)])
            return false;
        taken[static_cast<std::size_t>(square)] = true;
        moves.push_back(square);
    }
    return !moves.empty();
}

// The player (0 black, 1 white) whose last stone completed five, or -1 when the game did not end that way
// (a fault, a draw, a cut-off record): only games decided on the board say which positions were better.
inline int winnerByFive(const std::vector<int>& moves) {
    if (moves.empty())
        return -1;
    const std::vector<int> before(moves.begin(), moves.end() - 1);
    return labelled::lineReplays(before, &moves.back(), 1) ? static_cast<int>((moves.size() - 1) % 2) : -1;
}

struct Sample {
    std::vector<float> features;
    float result;  // 1 when the side to move went on to win, 0 when it lost
};

struct Model {
    std::vector<double> weights;
    double bias = 0;
};

// The log loss of the model on the samples, plus the L2 penalty on its weights (not the bias).
inline double logLoss(const std::vector<Sample>& samples, const Model& model, double l2,
                      std::vector<double>* gradient = nullptr, double* biasGradient = nullptr) {
    const std::size_t n = model.weights.size();
    if (gradient)
        gradient->assign(n, 0.0);
    if (biasGradient)
        *biasGradient = 0;
    double loss = 0;
    for (const Sample& s : samples) {
        double z = model.bias;
        for (std::size_t i = 0; i < n; ++i)
            z += model.weights[i] * s.features[i];
        // log(1 + e^-z) and log(1 + e^z) without overflow for large |z|.
        const double softplusNeg = z > 0 ? std::log1p(std::exp(-z)) : -z + std::log1p(std::exp(z));
        loss += s.result * softplusNeg + (1 - s.result) * (softplusNeg + z);
        const double error = 1 / (1 + std::exp(-z)) - s.result;
        if (gradient)
            for (std::size_t i = 0; i < n; ++i)
                (*gradient)[i] += error * s.features[i];
        if (biasGradient)
            *biasGradient += error;
    }
    const double count = samples.empty() ? 1.0 : static_cast<double>(samples.size());
    loss /= count;
    if (gradient)
        for (std::size_t i = 0; i < n; ++i)
            (*gradient)[i] = (*gradient)[i] / count + 2 * l2 * model.weights[i];
    if (biasGradient)
        *biasGradient /= count;
    for (double w : model.weights)
        loss += l2 * w * w;
    return loss;
}

// Full-batch Adam from zero: the loss is convex, so the answer depends on the samples alone, not on the
// order they come in.
inline Model fitLogistic(const std::vector<Sample>& samples, std::size_t featureCount, double l2 = 1e-4,
                         int iterations = 3000, double rate = 0.01) {
    Model model;
    model.weights.assign(featureCount, 0.0);
    std::vector<double> m(featureCount + 1, 0.0), v(featureCount + 1, 0.0), g;
    double biasGradient = 0;
    constexpr double B1 = 0.9, B2 = 0.999, EPS = 1e-8;
    double b1t = 1, b2t = 1;
    for (int it = 0; it < iterations; ++it) {
        logLoss(samples, model, l2, &g, &biasGradient);
        g.push_back(biasGradient);
        b1t *= B1;
        b2t *= B2;
        for (std::size_t i = 0; i <= featureCount; ++i) {
            m[i] = B1 * m[i] + (1 - B1) * g[i];
            v[i] = B2 * v[i] + (1 - B2) * g[i] * g[i];
            const double step = rate * (m[i] / (1 - b1t)) / (std::sqrt(v[i] / (1 - b2t)) + EPS);
            if (i < featureCount)
                model.weights[i] -= step;
            else
                model.bias -= step;
        }
    }
    return model;
}

} // namespace kelmo::fit
