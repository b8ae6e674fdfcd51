// Threat tables generated at compile time from the segment rules, and the
// computation of a square's eight line codes.
#include "board/threat_tables.h"

#include "board/reach.h"

namespace kelmo {

namespace {

constexpr int cellCount(int code) {
    int n = -1;
    while (code) {
        code >>= 1;
        ++n;
    }
    return n;
}

// Cell i of a code, counted from the smaller-column end.
constexpr int cellAt(int code, int n, int i) { return (code >> (n - 1 - i)) & 1; }

constexpr int withStone(int code, int n, int i) { return code | (1 << (n - 1 - i)); }

// The cells [from, to) of a code as a segment of its own.
constexpr int partCode(int code, int n, int from, int to) {
    int part = 1;
    for (int i = from; i < to; ++i)
        part = part * 2 + cellAt(code, n, i);
    return part;
}

// Moves to five: 6 for fewer than five cells; else the fewest empty cells in any
// run of five consecutive cells (an overline's runs have none, so it counts as five).
constexpr int computeMovesToFive(int code) {
    int n = cellCount(code);
    if (n < 5)
        return 6;
    int best = 6;
    for (int start = 0; start + 5 <= n; ++start) {
        int empty = 0;
        for (int i = start; i < start + 5; ++i)
            empty += 1 - cellAt(code, n, i);
        if (empty < best)
            best = empty;
    }
    return best;
}

struct Generated {
    std::array<std::int8_t, LINE_CODE_NB> toFive{};
    std::array<std::int8_t, LINE_CODE_NB> toWin{};
    std::array<bool, LINE_CODE_NB> known{};
};

// Moves to a winning line (five or an open four):
//   1. 6 for fewer than five cells;
//   2. 0 when five already stands, or when two different empty cells each complete five;
//   3. otherwise 1 + the least value over the segments with one more stone.
// Codes with more stones are larger, so walking the codes from the top fills
// every successor before it is needed.
constexpr void fillMovesToWin(Generated& g) {
    for (int code = LINE_CODE_NB - 1; code >= 2; --code) {
        int n = cellCount(code);
        g.toFive[code] = static_cast<std::int8_t>(computeMovesToFive(code));
        if (n < 5) {
            g.toWin[code] = 6;
            continue;
        }
        if (g.toFive[code] == 0) {
            g.toWin[code] = 0;
            continue;
        }
        int completing = 0;
        int best = 6;
        for (int i = 0; i < n; ++i) {
            if (cellAt(code, n, i))
                continue;
            int next = withStone(code, n, i);
            if (computeMovesToFive(next) == 0)
                ++completing;
            if (g.toWin[next] < best)
                best = g.toWin[next];
        }
        g.toWin[code] = static_cast<std::int8_t>(completing >= 2 ? 0 : 1 + best);
    }
}

constexpr int partMovesToWin(const Generated& g, int code, int n, int from, int to) {
    if (to - from < 5)
        return 6;
    return g.toWin[partCode(code, n, from, to)];
}

// Values per class (movesToWin, movesToFive) and number of defence squares D.
// Within a class, fewer defence squares give the higher value.
struct ValueRow {
    int toWin;
    int toFive;
    int values[7];  // by D; 0 where the class never has that D
};

constexpr ValueRow VALUE_ROWS[] = {
    {0, 0, {36756910, 0, 0, 0, 0, 0, 0}},                  // five        XXXXX
    {0, 1, {0, 0, 5250988, 0, 0, 0, 0}},                   // open four   .XXXX.
    {1, 1, {0, 291722, 0, 0, 0, 0, 0}},                    // four        .XXXX
    {1, 2, {0, 0, 250048, 218792, 0, 0, 0}},               // open three  ..XXX.
    {2, 2, {16670, 13892, 11908, 0, 0, 0, 0}},             // closed three ..XXX
    {2, 3, {0, 0, 11908, 10419, 9262, 0, 0}},              // open two    ...XX.
    {3, 3, {794, 662, 568, 497, 0, 0, 0}},                 // closed two  ...XX
    {3, 4, {0, 0, 568, 497, 442, 398, 0}},                 // open one    ....X.
    {4, 4, {0, 32, 28, 24, 22, 0, 0}},                     // closed one  ....X
    {4, 5, {0, 0, 0, 24, 22, 20, 18}},                     // open empty  ......
    {5, 5, {0, 0, 0, 0, 0, 2, 0}},                         // bare five   .....
    {6, 6, {1, 0, 0, 0, 0, 0, 0}},                         // dead        .XX.
};

constexpr int classValue(int toWin, int toFive, int d) {
    for (const ValueRow& row : VALUE_ROWS)
        if (row.toWin == toWin && row.toFive == toFive)
            return d < 7 ? row.values[d] : 0;
    return 0;
}

constexpr ThreatTables buildThreatTables() {
    Generated g{};
    fillMovesToWin(g);
    ThreatTables t{};
    for (int code = 2; code < LINE_CODE_NB; ++code) {
        int n = cellCount(code);
        t.movesToFive[code] = g.toFive[code];
        t.movesToWin[code] = g.toWin[code];
        // An empty cell defends when the opponent's stone there leaves both parts
        // slower to win than the whole segment was.
        std::uint16_t mask = 0;
        int defences = 0;
        for (int i = 0; i < n; ++i) {
            if (cellAt(code, n, i))
                continue;
            int left = partMovesToWin(g, code, n, 0, i);
            int right = partMovesToWin(g, code, n, i + 1, n);
            int slower = left < right ? left : right;
            if (slower > g.toWin[code]) {
                mask = static_cast<std::uint16_t>(mask | (1u << i));
                ++defences;
            }
        }
        t.defenceMask[code] = mask;
        t.lineValue[code] = classValue(g.toWin[code], g.toFive[code], defences);
    }
    // Combination codes: double three and double four.
    t.movesToWin[CODE_DOUBLE_THREE] = 0;
    t.movesToFive[CODE_DOUBLE_THREE] = 2;
    t.lineValue[CODE_DOUBLE_THREE] = 500096;
    t.movesToWin[CODE_DOUBLE_FOUR] = 0;
    t.movesToFive[CODE_DOUBLE_FOUR] = 1;
    t.lineValue[CODE_DOUBLE_FOUR] = 583444;
    return t;
}

} // namespace

extern constinit const ThreatTables threatTables = buildThreatTables();

LineRecord lineRecords[PLAYER_NB][DIRECTION_NB];

int codeLength(int code) { return cellCount(code); }

namespace {

// One player's segment through s in one direction, walked from s towards the
// smaller column (each cell a bit above the last, the closing bit on top), then
// towards the larger (shifting the code up). A stone of the other player ends
// the segment on its side. Reports the square of the segment's first cell when asked.
inline int walkSegment(const K2Board& board, int s, int direction, int player, int sBit, int* firstSquare) {
    const int lowStep = SENSE_STEP[lowSense(direction)];
    const int highStep = SENSE_STEP[highSense(direction)];
    const int lowBound = reach[lowSense(direction)][s];
    const int highBound = reach[highSense(direction)][s];

    int code = sBit;
    int weight = 2;
    int first = s;
    bool closed = false;
    for (int c = s; c != lowBound;) {
        c += lowStep;
        const std::uint8_t cell = board.cells[c];
        if (!(cell & CELL_EMPTY)) {
            code += weight;
            if (((cell & CELL_COLOUR) ? 1 : 0) != player) {
                closed = true;
                break;
            }
        }
        first = c;
        weight <<= 1;
    }
    if (!closed)
        code += weight;
    for (int c = s; c != highBound;) {
        c += highStep;
        const std::uint8_t cell = board.cells[c];
        if (cell & CELL_EMPTY)
            code <<= 1;
        else if (((cell & CELL_COLOUR) ? 1 : 0) == player)
            code = code * 2 + 1;
        else
            break;
    }
    if (firstSquare)
        *firstSquare = first;
    return code;
}

} // namespace

int segmentCode(const K2Board& board, int s, int direction, int player, int sBit, int& firstSquare) {
    return walkSegment(board, s, direction, player, sBit, &firstSquare);
}

void computeLines(const K2Board& board, int s) {
    for (int d = 0; d < DIRECTION_NB; ++d) {
        const std::uint16_t packed = packSquareDirs(s, DIRECTION_MASK[d]);
        for (int p = 0; p < PLAYER_NB; ++p)
            lineRecords[p][d] = {static_cast<std::uint16_t>(walkSegment(board, s, d, p, 1, nullptr)), packed};
    }
}

} // namespace kelmo
