// Threat tables generated at compile time from the segment rules, and the
// computation of a square's eight line codes from its windows' cells.
#include "board/threat_tables.h"

#include <bit>
#include <cstring>

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

// Line values stay below 2^26, so the list order fits one 32-bit number.
constexpr std::uint32_t LIST_VALUE_LIMIT = 1u << 26;

constexpr bool valuesFitListOrder() {
    for (const ValueRow& row : VALUE_ROWS)
        for (int v : row.values)
            if (v < 0 || static_cast<std::uint32_t>(v) >= LIST_VALUE_LIMIT)
                return false;
    return true;
}
static_assert(valuesFitListOrder());

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
    for (int code = 0; code < LINE_CODE_NB; ++code)
        t.distanceBits[code] = static_cast<std::uint16_t>(1u << t.movesToFive[code] | 1u << (8 + t.movesToWin[code]));
    for (int code = 0; code < LINE_CODE_NB; ++code)
        t.listOrder[code] = static_cast<std::uint32_t>(t.movesToFive[code]) << 29 |
                            static_cast<std::uint32_t>(t.movesToWin[code]) << 26 |
                            (LIST_VALUE_LIMIT - 1 - static_cast<std::uint32_t>(t.lineValue[code]));
    return t;
}

} // namespace

namespace {
constexpr ThreatTables TABLES = buildThreatTables();
} // namespace

extern constinit const ThreatTables threatTables = TABLES;

int codeLength(int code) { return cellCount(code); }

// One player's segment through s in one direction, walked from s towards the
// smaller column (each cell a bit above the last, the closing bit on top), then
// towards the larger (shifting the code up). A stone of the other player ends
// the segment on its side. The defence walk needs the square of the segment's
// first cell and a choice for s itself, which the window tables do not give.
int segmentCode(const K2Board& board, int s, int direction, int player, int sBit, int& firstSquare) {
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
    firstSquare = first;
    return code;
}

namespace {

// A window is read as eight cells per direction, four on each side of the
// square, two bits per cell; each side's four cells make one byte. The low
// side's byte holds the farthest cell in bits 0-1 and the nearest in bits 6-7,
// the high side's byte the nearest in bits 0-1: for the horizontal direction
// that is the order the cells lie in memory. Two encodings of a cell:
//   raw (inside the board): the cell byte's two low bits, 0: player 0's stone,
//     2: player 1's stone, 1 or 3: empty (the active flag does not matter);
//   window state (near the edge): 0: empty, 1: player 0's stone,
//     2: player 1's stone, 3: off the board.
enum class WindowCell { EMPTY, STONE_0, STONE_1, OFF };

constexpr WindowCell decodeCell(unsigned side, int field, bool raw) {
    const unsigned bits = (side >> (2 * field)) & 3;
    if (raw)
        return (bits & CELL_EMPTY) ? WindowCell::EMPTY : bits ? WindowCell::STONE_1 : WindowCell::STONE_0;
    return static_cast<WindowCell>(bits);
}

// Whether the segment of player p goes on through a cell: an empty one or a
// stone of p. Its bit is 1 for the stone.
constexpr bool segmentGoesOn(WindowCell cell, int p) {
    return cell == WindowCell::EMPTY || cell == (p ? WindowCell::STONE_1 : WindowCell::STONE_0);
}

// What one side of a window gives each player's code. Bytes, so that taking a
// part apart costs a load and no masking.
struct LowPart {
    // The start of the code: its leading 1, the cells the segment keeps on the
    // low side (farthest first) and the square's own 1.
    std::uint8_t start[PLAYER_NB];
};

struct HighPart {
    std::uint8_t length[PLAYER_NB];  // cells the segment keeps on the high side
    std::uint8_t bits[PLAYER_NB];    // their bits, nearest first
};

// Per low-side byte. The segment stops before the first stone of the other
// player or the edge.
constexpr std::array<LowPart, 256> buildLowParts(bool raw) {
    std::array<LowPart, 256> parts{};
    for (unsigned side = 0; side < 256; ++side) {
        for (int p = 0; p < PLAYER_NB; ++p) {
            unsigned start = 0;
            int kept = 0;
            for (int k = 1; k <= 4; ++k) {
                const WindowCell cell = decodeCell(side, 4 - k, raw);
                if (!segmentGoesOn(cell, p))
                    break;
                start |= (cell == WindowCell::EMPTY ? 0u : 1u) << kept;
                ++kept;
            }
            start |= 1u << kept;
            parts[side].start[p] = static_cast<std::uint8_t>(start << 1 | 1);
        }
    }
    return parts;
}

// Per high-side byte.
constexpr std::array<HighPart, 256> buildHighParts(bool raw) {
    std::array<HighPart, 256> parts{};
    for (unsigned side = 0; side < 256; ++side) {
        for (int p = 0; p < PLAYER_NB; ++p) {
            unsigned bits = 0;
            unsigned kept = 0;
            for (int k = 1; k <= 4; ++k) {
                const WindowCell cell = decodeCell(side, k - 1, raw);
                if (!segmentGoesOn(cell, p))
                    break;
                bits = bits * 2 + (cell == WindowCell::EMPTY ? 0u : 1u);
                ++kept;
            }
            parts[side].length[p] = static_cast<std::uint8_t>(kept);
            parts[side].bits[p] = static_cast<std::uint8_t>(bits);
        }
    }
    return parts;
}

constexpr std::array<LowPart, 256> LOW_PARTS_RAW = buildLowParts(true);
constexpr std::array<HighPart, 256> HIGH_PARTS_RAW = buildHighParts(true);
constexpr std::array<LowPart, 256> LOW_PARTS = buildLowParts(false);
constexpr std::array<HighPart, 256> HIGH_PARTS = buildHighParts(false);

// Cells the window of a square has on each side of each direction, 0 to 4.
struct WindowSpan {
    int low[DIRECTION_NB];
    int high[DIRECTION_NB];
};

constexpr WindowSpan windowSpan(int s) {
    constexpr int LOW_DX[DIRECTION_NB] = {-1, 0, -1, -1};
    constexpr int LOW_DY[DIRECTION_NB] = {0, -1, -1, 1};
    WindowSpan span{};
    for (int d = 0; d < DIRECTION_NB; ++d)
        for (int sign = -1; sign <= 1; sign += 2) {
            int count = 0;
            for (int k = 1; k <= 4; ++k) {
                const int x = columnOf(s) - sign * k * LOW_DX[d];
                const int y = rowOf(s) - sign * k * LOW_DY[d];
                if (x < 0 || x >= BOARD_SIZE || y < 0 || y >= BOARD_SIZE)
                    break;
                ++count;
            }
            (sign < 0 ? span.low : span.high)[d] = count;
        }
    return span;
}

// Per square, the off-board cells of its windows as window states: direction d
// in bits 16d..16d+15, the low side's byte below the high side's. Zero for a
// square whose windows lie wholly on the board.
constexpr std::array<std::uint64_t, SQUARE_NB> buildWindowEdges() {
    std::array<std::uint64_t, SQUARE_NB> edges{};
    for (int s = 0; s < SQUARE_NB; ++s) {
        const WindowSpan span = windowSpan(s);
        std::uint64_t bits = 0;
        for (int d = 0; d < DIRECTION_NB; ++d) {
            const unsigned low = (1u << (2 * (4 - span.low[d]))) - 1;
            const unsigned high = (0xFFu << (2 * span.high[d])) & 0xFFu;
            bits |= static_cast<std::uint64_t>(low | high << 8) << (16 * d);
        }
        edges[s] = bits;
    }
    return edges;
}

constexpr std::array<std::uint64_t, SQUARE_NB> WINDOW_EDGES = buildWindowEdges();

// The step between a window's consecutive cells in loading order: towards the
// high side (the anti-diagonal's low side lies at the larger square index).
constexpr int LOAD_STEP[DIRECTION_NB] = {1, 20, 21, -19};

constexpr std::uint64_t BYTE_ONES = 0x0101010101010101ull;

// One multiply gathers the 2-bit fields at the bottom of eight bytes into the
// two side bytes, in bits 24-31 and 56-63: the partial products land on
// distinct bit pairs, so nothing carries into them.
constexpr std::uint64_t GATHER = 0x01041040ull;

// Eight cell bytes, low side's farthest in byte 0 and high side's farthest in
// byte 7, as raw side bytes.
inline unsigned rawSides(std::uint64_t bytes, unsigned& high) {
    const std::uint64_t gathered = (bytes & 3 * BYTE_ONES) * GATHER;
    high = static_cast<unsigned>(gathered >> 56);
    return static_cast<unsigned>(gathered >> 24) & 0xFFu;
}

// The same eight bytes as window-state side bytes: a stone is a byte with the
// empty bit clear, its colour the next bit. Off-board cells still read as
// whatever was loaded for them; the caller marks them.
inline unsigned stateSides(std::uint64_t bytes, unsigned& high) {
    const std::uint64_t stone = ~bytes & BYTE_ONES;
    const std::uint64_t colour = (bytes >> 1) & BYTE_ONES;
    const std::uint64_t states = (stone & ~colour) | ((stone & colour) << 1);
    const std::uint64_t gathered = states * GATHER;
    high = static_cast<unsigned>(gathered >> 56);
    return static_cast<unsigned>(gathered >> 24) & 0xFFu;
}

template <int STEP>
inline std::uint64_t loadWindow(const std::uint8_t* at) {
    if constexpr (STEP == 1 && std::endian::native == std::endian::little) {
        std::uint32_t low, high;
        std::memcpy(&low, at - 4, 4);
        std::memcpy(&high, at + 1, 4);
        return low | static_cast<std::uint64_t>(high) << 32;
    }
    std::uint64_t bytes = 0;
    for (int j = 0; j < 4; ++j)
        bytes |= static_cast<std::uint64_t>(at[(j - 4) * STEP]) << (8 * j);
    for (int j = 4; j < 8; ++j)
        bytes |= static_cast<std::uint64_t>(at[(j - 3) * STEP]) << (8 * j);
    return bytes;
}

// Near the edge a window's off-board cells have their states forced to "off the
// board" afterwards, so any byte will do for them; one whose square would fall
// outside the board's array is read from s instead.
template <int STEP>
inline std::uint64_t loadEdgeWindow(const std::uint8_t* cells, int s) {
    std::uint64_t bytes = 0;
    for (int j = 0; j < 8; ++j) {
        const int offset = j < 4 ? (j - 4) * STEP : (j - 3) * STEP;
        const unsigned square = static_cast<unsigned>(s + offset);
        bytes |= static_cast<std::uint64_t>(cells[square < SQUARE_NB ? square : s]) << (8 * j);
    }
    return bytes;
}

inline void storeCodes(SquareLines& lines, int d, const LowPart& low, const HighPart& high) {
    for (int p = 0; p < PLAYER_NB; ++p)
        lines.code[p][d] = static_cast<std::uint16_t>(low.start[p] << high.length[p] | high.bits[p]);
}

template <int D>
inline void interiorDirection(SquareLines& lines, const std::uint8_t* at) {
    unsigned high;
    const unsigned low = rawSides(loadWindow<LOAD_STEP[D]>(at), high);
    storeCodes(lines, D, LOW_PARTS_RAW[low], HIGH_PARTS_RAW[high]);
}

template <int D>
inline void edgeDirection(SquareLines& lines, const std::uint8_t* cells, int s, std::uint64_t edges) {
    constexpr int SPAN = 4 * (LOAD_STEP[D] < 0 ? -LOAD_STEP[D] : LOAD_STEP[D]);
    const unsigned edge = static_cast<unsigned>(edges >> (16 * D));
    // Most windows that reach the edge still lie inside the board's array:
    // those read their cells directly.
    const bool inside = static_cast<unsigned>(s - SPAN) < static_cast<unsigned>(SQUARE_NB - 2 * SPAN);
    const std::uint64_t bytes =
        inside ? loadWindow<LOAD_STEP[D]>(cells + s) : loadEdgeWindow<LOAD_STEP[D]>(cells, s);
    unsigned high;
    const unsigned low = stateSides(bytes, high);
    storeCodes(lines, D, LOW_PARTS[low | (edge & 0xFFu)], HIGH_PARTS[high | ((edge >> 8) & 0xFFu)]);
}

} // namespace

SquareLines computeLines(const K2Board& board, int s) {
    SquareLines lines;
    lines.square = s;
    const std::uint64_t edges = WINDOW_EDGES[s];
    if (edges == 0) {
        const std::uint8_t* at = board.cells + s;
        interiorDirection<0>(lines, at);
        interiorDirection<1>(lines, at);
        interiorDirection<2>(lines, at);
        interiorDirection<3>(lines, at);
    } else {
        edgeDirection<0>(lines, board.cells, s, edges);
        edgeDirection<1>(lines, board.cells, s, edges);
        edgeDirection<2>(lines, board.cells, s, edges);
        edgeDirection<3>(lines, board.cells, s, edges);
    }
    return lines;
}

namespace {

constexpr std::array<std::int32_t, SQUARE_NB> buildOpenWindowValues() {
    std::array<std::int32_t, SQUARE_NB> values{};
    for (int s = 0; s < SQUARE_NB; ++s) {
        const WindowSpan span = windowSpan(s);
        std::int32_t sum = 0;
        for (int d = 0; d < DIRECTION_NB; ++d) {
            // 1, the empty low cells, the square's stone, the empty high cells.
            const int code = ((2 << span.low[d]) | 1) << span.high[d];
            sum += TABLES.lineValue[code];
        }
        values[s] = sum;
    }
    return values;
}

} // namespace

constinit const std::array<std::int32_t, SQUARE_NB> openWindowValue = buildOpenWindowValues();

} // namespace kelmo
