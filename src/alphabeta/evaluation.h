// The pro search's static evaluation and its move-ordering values, both read from the shapes a ShapeBoard
// keeps for every empty square: what each player would make by playing there.
#pragma once

#include "board/shape_board.h"

namespace kelmo {

// Scores of the search, for the side to move. Mate scores lie beyond MATE_BOUND: SCORE_MATE - n is a five
// forced in n plies from the node where it is seen. Evaluations stay within EVAL_LIMIT, far below them.
constexpr int SCORE_MATE = 30000;
constexpr int SCORE_INFINITE = 31000;
constexpr int SCORE_MATE_BOUND = SCORE_MATE - 1000;
constexpr int EVAL_LIMIT = 20000;
// A loss the search saw with only some of the defender's moves tried: worse than any evaluation, not a mate.
constexpr int UNPROVEN_LOSS = EVAL_LIMIT + 500;

constexpr bool isMateScore(int score) { return score >= SCORE_MATE_BOUND || score <= -SCORE_MATE_BOUND; }

// Per shape of an empty square, by whose square it is. The side to move plays first, so a shape of its own
// is a threat it can carry out now, while the same shape of the opponent's is one it can still answer: its
// values are higher, the more so the nearer the shape is to a win. Five squares never reach the evaluation
// (the search plays or blocks them first).
struct EvalWeights {
    int own[SHAPE_NB];
    int opponent[SHAPE_NB];
};

//                                         NONE TWO OTWO C3  TT  THREE 3-3 FOUR 4-3  4-4  OPEN4 FIVE
constexpr EvalWeights EVAL_WEIGHTS = {{    0,   2,  4,   6,  14,  24,  160, 30,  600, 1500, 1500, 0},
                                      {    0,   2,  3,   5,  10,  16,  90,  20,  260, 500,  400,  0}};

// The static score of the position for the side to move, from the counts of squares per (player, shape)
// that the board keeps: a few dozen multiplications, so every leaf can afford it.
int evaluate(const ShapeBoard& board, const EvalWeights& weights = EVAL_WEIGHTS);

// A square's worth as a move for the side to move: what it makes for itself plus what it takes from the
// opponent. Orders the moves of a node and picks the few the search looks at.
int moveValue(const ShapeBoard& board, int square);

} // namespace kelmo
