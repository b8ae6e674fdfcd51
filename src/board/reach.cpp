// Reach tables, computed once before main from the stepping rule.
#include "board/reach.h"

namespace kelmo {

namespace {

constexpr int SENSE_DX[SENSE_NB] = {-1, 1, 0, 0, -1, 1, -1, 1};
constexpr int SENSE_DY[SENSE_NB] = {0, 0, -1, 1, -1, 1, 1, -1};

} // namespace

constexpr ReachTable buildReachTables() {
    ReachTable table{};
    for (int sense = 0; sense < SENSE_NB; ++sense)
        for (int sq = 0; sq < SQUARE_NB; ++sq) {
            int x = columnOf(sq), y = rowOf(sq);
            for (int k = 0; k < 4; ++k) {
                int nx = x + SENSE_DX[sense], ny = y + SENSE_DY[sense];
                if (nx < 0 || nx >= BOARD_SIZE || ny < 0 || ny >= BOARD_SIZE)
                    break;
                x = nx;
                y = ny;
            }
            table[sense][sq] = static_cast<std::int16_t>(squareOf(x, y));
        }
    return table;
}

constinit const ReachTable reach = buildReachTables();

} // namespace kelmo
