// Evaluation and move values from the board's shapes.
#include "alphabeta/evaluation.h"

namespace kelmo {

namespace {

// Ordering values by shape. A square's own attack ranks a little above the same shape taken from the
// opponent: with both equal, the move that threatens keeps the initiative.
constexpr int ORDER_OWN[SHAPE_NB] = {0, 4, 12, 16, 40, 80, 400, 240, 2000, 3000, 3000, 100000};
constexpr int ORDER_OPPONENT[SHAPE_NB] = {0, 3, 9, 12, 30, 60, 300, 100, 1500, 2000, 2000, 50000};

} // namespace

int evaluate(const ShapeBoard& board, const EvalWeights& weights) {
    const int me = board.sideToMove();
    const int other = 1 - me;
    int score = 0;
    for (int s = SHAPE_TWO; s < SHAPE_FIVE; ++s) {
        const Shape shape = static_cast<Shape>(s);
        score += board.count(me, shape) * weights.own[s] - board.count(other, shape) * weights.opponent[s];
    }
    if (score > EVAL_LIMIT)
        return EVAL_LIMIT;
    if (score < -EVAL_LIMIT)
        return -EVAL_LIMIT;
    return score;
}

int moveValue(const ShapeBoard& board, int square) {
    const int me = board.sideToMove();
    const int other = 1 - me;
    return ORDER_OWN[board.shape(square, me)] + ORDER_OPPONENT[board.shape(square, other)] +
           board.squareValue(square, me) + board.squareValue(square, other) / 2;
}

} // namespace kelmo
