// ShapeBoard: compile-time tables (line classes per code, window bytes to code
// parts, shape per four classes, Zobrist keys, reach per square) and the
// incremental play and undo over them.
#include "board/shape_board.h"

#include <array>

namespace kelmo {

namespace {

// ---- Line classes per code ----

constexpr int cellCount(int code) {
    int n = -1;
    while (code) {
        code >>= 1;
        ++n;
    }
    return n;
}

// Cell i of a code, counted from the code's first cell.
constexpr bool stoneAt(int code, int n, int i) { return (code >> (n - 1 - i)) & 1; }

constexpr bool hasFive(int code, int n) {
    int run = 0;
    for (int i = 0; i < n; ++i) {
        run = stoneAt(code, n, i) ? run + 1 : 0;
        if (run >= 5)
            return true;
    }
    return false;
}

constexpr std::array<std::uint8_t, 1024> buildClassTable() {
    std::array<std::uint8_t, 1024> table{};
    // A stone more makes a larger code of the same length, so walking down from
    // the top finds every successor's class already filled in.
    for (int code = 1023; code >= 2; --code) {
        const int n = cellCount(code);
        LineClass c = LINE_DEAD;
        if (n < 5) {
            c = LINE_DEAD;
        } else if (hasFive(code, n)) {
            c = LINE_FIVE;
        } else {
            int fiveSquares = 0;
            bool openFour = false;
            bool anyFour = false, anyWinningFour = false, anyThree = false, anyClosedThree = false;
            for (int i = 0; i < n; ++i) {
                if (stoneAt(code, n, i))
                    continue;
                const int next = code | (1 << (n - 1 - i));
                const LineClass s = static_cast<LineClass>(table[next]);
                if (s == LINE_FIVE)
                    ++fiveSquares;
                anyWinningFour = anyWinningFour || s == LINE_OPEN_FOUR || s == LINE_DOUBLE_FOUR;
                anyFour = anyFour || s == LINE_FOUR;
                anyThree = anyThree || s == LINE_THREE;
                anyClosedThree = anyClosedThree || s == LINE_CLOSED_THREE;
            }
            for (int i = 0; i + 6 <= n; ++i)
                if (!stoneAt(code, n, i) && !stoneAt(code, n, i + 5) && stoneAt(code, n, i + 1) &&
                    stoneAt(code, n, i + 2) && stoneAt(code, n, i + 3) && stoneAt(code, n, i + 4))
                    openFour = true;
            if (fiveSquares >= 2)
                c = openFour ? LINE_OPEN_FOUR : LINE_DOUBLE_FOUR;
            else if (fiveSquares == 1)
                c = LINE_FOUR;
            else if (anyWinningFour)
                c = LINE_THREE;
            else if (anyFour)
                c = LINE_CLOSED_THREE;
            else if (anyThree)
                c = LINE_OPEN_TWO;
            else if (anyClosedThree)
                c = LINE_TWO;
            else
                c = LINE_ONE;
        }
        table[code] = c;
    }
    return table;
}

constexpr std::array<std::uint8_t, 1024> CLASS_OF_CODE = buildClassTable();

// ---- Shapes per four classes ----

// Classes below a two do not change a shape: they share index 0.
constexpr int reducedClass(int c) { return c <= LINE_ONE ? 0 : c - LINE_ONE; }
constexpr int REDUCED_NB = LINE_CLASS_NB - LINE_ONE;  // 9

constexpr Shape shapeOfCounts(const int (&n)[LINE_CLASS_NB]) {
    const int fours = n[LINE_FOUR];
    const int threes = n[LINE_THREE];
    if (n[LINE_FIVE])
        return SHAPE_FIVE;
    if (n[LINE_OPEN_FOUR])
        return SHAPE_OPEN_FOUR;
    if (n[LINE_DOUBLE_FOUR] || fours >= 2)
        return SHAPE_FOUR_FOUR;
    if (fours == 1)
        return threes ? SHAPE_FOUR_THREE : SHAPE_FOUR;
    if (threes >= 2)
        return SHAPE_THREE_THREE;
    if (threes == 1)
        return SHAPE_THREE;
    if (n[LINE_OPEN_TWO] >= 2)
        return SHAPE_TWO_TWO;
    if (n[LINE_CLOSED_THREE])
        return SHAPE_CLOSED_THREE;
    if (n[LINE_OPEN_TWO])
        return SHAPE_OPEN_TWO;
    if (n[LINE_TWO])
        return SHAPE_TWO;
    return SHAPE_NONE;
}

constexpr Shape shapeOfClasses(int a, int b, int c, int d) {
    int n[LINE_CLASS_NB] = {};
    ++n[a];
    ++n[b];
    ++n[c];
    ++n[d];
    return shapeOfCounts(n);
}

constexpr int SHAPE_INDEX_NB = REDUCED_NB * REDUCED_NB * REDUCED_NB * REDUCED_NB;

constexpr std::array<std::uint8_t, SHAPE_INDEX_NB> buildShapeTable() {
    std::array<std::uint8_t, SHAPE_INDEX_NB> table{};
    for (int i = 0; i < SHAPE_INDEX_NB; ++i) {
        int r[4] = {i / 729, i / 81 % 9, i / 9 % 9, i % 9};
        int c[4] = {};
        for (int k = 0; k < 4; ++k)
            c[k] = r[k] == 0 ? LINE_ONE : r[k] + LINE_ONE;
        table[i] = shapeOfClasses(c[0], c[1], c[2], c[3]);
    }
    return table;
}

constexpr std::array<std::uint8_t, SHAPE_INDEX_NB> SHAPE_TABLE = buildShapeTable();

// A square's four reduced classes as one index into SHAPE_TABLE, direction 0
// the most significant; kept per square and player as the classes change.
constexpr int CLASS_KEY_WEIGHT[DIRECTION_NB] = {729, 81, 9, 1};

// Values per class and extra values per shape for squareValue: a combination
// that wins by force is worth more than its lines.
constexpr int CLASS_VALUE[LINE_CLASS_NB] = {0, 1, 4, 12, 12, 60, 70, 1000, 1000, 10000};
constexpr int SHAPE_BONUS[SHAPE_NB] = {0, 0, 0, 0, 8, 0, 300, 0, 600, 1000, 0, 0};

// ---- Window bytes to code parts ----

// A window field: 0 empty, 1 player 0's stone, 2 player 1's, 3 off the board.
constexpr int OFF_BOARD = 3;

constexpr bool goesOn(int field, int player) { return field == 0 || field == player + 1; }

struct WindowParts {
    // Low side: the code's start (leading 1, the kept cells farthest first, the
    // square's own 1). High side: the kept cells' count and bits, nearest first.
    std::uint16_t lowStart[256][PLAYER_NB];
    std::uint8_t highLength[256][PLAYER_NB];
    std::uint8_t highBits[256][PLAYER_NB];
};

constexpr WindowParts buildWindowParts() {
    WindowParts w{};
    for (int byte = 0; byte < 256; ++byte)
        for (int p = 0; p < PLAYER_NB; ++p) {
            int kept = 0;
            while (kept < 4 && goesOn((byte >> (2 * kept)) & 3, p))
                ++kept;
            int start = 1;
            for (int k = kept; k >= 1; --k)
                start = start * 2 + (((byte >> (2 * (k - 1))) & 3) != 0);
            w.lowStart[byte][p] = static_cast<std::uint16_t>(start * 2 + 1);
            int bits = 0;
            for (int k = 1; k <= kept; ++k)
                bits = bits * 2 + (((byte >> (2 * (k - 1))) & 3) != 0);
            w.highLength[byte][p] = static_cast<std::uint8_t>(kept);
            w.highBits[byte][p] = static_cast<std::uint8_t>(bits);
        }
    return w;
}

constexpr WindowParts WINDOW_PARTS = buildWindowParts();

constexpr int codeOfWindow(unsigned window, int player) {
    const unsigned low = window & 0xFF, high = window >> 8;
    return WINDOW_PARTS.lowStart[low][player] << WINDOW_PARTS.highLength[high][player] |
           WINDOW_PARTS.highBits[high][player];
}

// Both players' classes of every window, packed as SquareInfo keeps them: one
// look-up per changed window in place of a code and a class per player, and
// an unchanged byte tells at once that neither player's line changed.
constexpr std::array<std::uint8_t, 65536> buildWindowClasses() {
    std::array<std::uint8_t, 65536> table{};
    for (unsigned window = 0; window < 65536; ++window)
        table[window] = static_cast<std::uint8_t>(CLASS_OF_CODE[codeOfWindow(window, 0)] |
                                                  CLASS_OF_CODE[codeOfWindow(window, 1)] << 4);
    return table;
}

constexpr std::array<std::uint8_t, 65536> WINDOW_CLASSES = buildWindowClasses();
static_assert(LINE_CLASS_NB <= 16, "a class takes four bits of SquareInfo::classes");

// ---- Geometry ----

constexpr int DX[DIRECTION_NB] = {1, 0, 1, -1};
constexpr int DY[DIRECTION_NB] = {0, 1, 1, 1};

constexpr bool onBoard(int x, int y) { return x >= 0 && x < BOARD_SIZE && y >= 0 && y < BOARD_SIZE; }

// Cells on the board, up to four, from a square along a direction: towards
// larger square indices (high) and towards smaller (low).
struct Reach {
    std::uint8_t high[SQUARE_NB][DIRECTION_NB];
    std::uint8_t low[SQUARE_NB][DIRECTION_NB];
};

constexpr Reach buildReach() {
    Reach r{};
    for (int s = 0; s < SQUARE_NB; ++s)
        for (int d = 0; d < DIRECTION_NB; ++d) {
            int h = 0, l = 0;
            while (h < 4 && onBoard(columnOf(s) + (h + 1) * DX[d], rowOf(s) + (h + 1) * DY[d]))
                ++h;
            while (l < 4 && onBoard(columnOf(s) - (l + 1) * DX[d], rowOf(s) - (l + 1) * DY[d]))
                ++l;
            r.high[s][d] = static_cast<std::uint8_t>(h);
            r.low[s][d] = static_cast<std::uint8_t>(l);
        }
    return r;
}

constexpr Reach REACH = buildReach();

// The empty board's window of a square: off-board fields marked.
constexpr std::uint16_t emptyWindow(int s, int d) {
    unsigned w = 0;
    for (int k = REACH.low[s][d] + 1; k <= 4; ++k)
        w |= OFF_BOARD << (2 * (k - 1));
    for (int k = REACH.high[s][d] + 1; k <= 4; ++k)
        w |= OFF_BOARD << (8 + 2 * (k - 1));
    return static_cast<std::uint16_t>(w);
}

// ---- Zobrist keys ----

constexpr std::uint64_t splitmix64(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

struct Zobrist {
    std::uint64_t stone[PLAYER_NB][SQUARE_NB];
    std::uint64_t side;
};

constexpr Zobrist buildZobrist() {
    Zobrist z{};
    std::uint64_t state = 0x4B454C4D4F2D5052ull;
    for (int p = 0; p < PLAYER_NB; ++p)
        for (int s = 0; s < SQUARE_NB; ++s)
            z.stone[p][s] = splitmix64(state);
    z.side = splitmix64(state);
    return z;
}

constexpr Zobrist ZOBRIST = buildZobrist();

} // namespace

Shape combineClasses(LineClass a, LineClass b, LineClass c, LineClass d) { return shapeOfClasses(a, b, c, d); }

LineClass classOfCode(int code) {
    return code >= 2 && code < 1024 ? static_cast<LineClass>(CLASS_OF_CODE[code]) : LINE_DEAD;
}

void ShapeBoard::clear() {
    for (int s = 0; s < SQUARE_NB; ++s) {
        cell_[s] = EMPTY_CELL;
        near_[s] = 0;
        inPlayIndex_[s] = -1;
        for (int d = 0; d < DIRECTION_NB; ++d)
            info_[s].window[d] = emptyWindow(s, d);
        for (int p = 0; p < PLAYER_NB; ++p) {
            info_[s].shape[p] = SHAPE_NONE;
            shapeIndex_[p][s] = -1;
        }
    }
    for (int p = 0; p < PLAYER_NB; ++p)
        for (int sh = 0; sh < SHAPE_NB; ++sh)
            shapeCount_[p][sh] = 0;
    inPlayCount_ = 0;
    historyLength_ = 0;
    side_ = 0;
    stones_ = 0;
    key_ = 0;
    for (int s = 0; s < SQUARE_NB; ++s)
        refreshAll(s);
}

void ShapeBoard::setUp(std::span<const Stone> stones, int sideToMove) {
    clear();
    int last[SQUARE_NB];
    for (int& i : last)
        i = -1;
    for (std::size_t i = 0; i < stones.size(); ++i)
        if (stones[i].square >= 0 && stones[i].square < SQUARE_NB)
            last[stones[i].square] = static_cast<int>(i);
    for (std::size_t i = 0; i < stones.size(); ++i) {
        const int s = stones[i].square;
        if (s < 0 || s >= SQUARE_NB || last[s] != static_cast<int>(i) || historyLength_ >= MAX_HISTORY)
            continue;
        placeStone(s, stones[i].player ? 1 : 0);
        history_[historyLength_++] = static_cast<std::int16_t>(s);
    }
    side_ = sideToMove ? 1 : 0;
    if (side_)
        key_ ^= ZOBRIST.side;
}

void ShapeBoard::play(int square) {
    placeStone(square, side_);
    history_[historyLength_++] = static_cast<std::int16_t>(square);
    side_ ^= 1;
    key_ ^= ZOBRIST.side;
}

void ShapeBoard::playNull() {
    history_[historyLength_++] = NULL_MOVE;
    side_ ^= 1;
    key_ ^= ZOBRIST.side;
}

void ShapeBoard::undo() {
    const int square = history_[--historyLength_];
    if (square == NULL_MOVE) {
        side_ ^= 1;
        key_ ^= ZOBRIST.side;
        return;
    }
    const int player = cell_[square];
    removeStone(square);
    if (side_ != player) {
        side_ = player;
        key_ ^= ZOBRIST.side;
    }
}

int ShapeBoard::countAtLeast(int player, Shape shape) const {
    int n = 0;
    for (int sh = shape; sh < SHAPE_NB; ++sh)
        n += shapeCount_[player][sh];
    return n;
}

int ShapeBoard::squareValue(int square, int player) const {
    if (cell_[square] != EMPTY_CELL)
        return 0;
    int v = SHAPE_BONUS[info_[square].shape[player]];
    for (int d = 0; d < DIRECTION_NB; ++d)
        v += CLASS_VALUE[lineClass(square, player, d)];
    return v;
}

inline void ShapeBoard::setShape(int square, int player, Shape shape) {
    const int old = info_[square].shape[player];
    if (old == shape)
        return;
    info_[square].shape[player] = shape;
    if (old >= FIRST_LISTED_SHAPE) {
        const int index = shapeIndex_[player][square];
        const int moved = shapeList_[player][old][--shapeCount_[player][old]];
        shapeList_[player][old][index] = static_cast<std::int16_t>(moved);
        shapeIndex_[player][moved] = static_cast<std::int16_t>(index);
        shapeIndex_[player][square] = -1;
    } else if (old != SHAPE_NONE) {
        --shapeCount_[player][old];
    }
    if (shape >= FIRST_LISTED_SHAPE) {
        const int index = shapeCount_[player][shape]++;
        shapeList_[player][shape][index] = static_cast<std::int16_t>(square);
        shapeIndex_[player][square] = static_cast<std::int16_t>(index);
    } else if (shape != SHAPE_NONE) {
        ++shapeCount_[player][shape];
    }
}

inline void ShapeBoard::reclass(int square, int player, int d, int before, int after) {
    SquareInfo& info = info_[square];
    info.classKey[player] = static_cast<std::uint16_t>(
        info.classKey[player] + (reducedClass(after) - reducedClass(before)) * CLASS_KEY_WEIGHT[d]);
    setShape(square, player, static_cast<Shape>(SHAPE_TABLE[info.classKey[player]]));
}

inline void ShapeBoard::refresh(int square, int d) {
    SquareInfo& info = info_[square];
    // A stone beyond the end of both players' segments leaves the classes as they were.
    const unsigned now = WINDOW_CLASSES[info.window[d]];
    const unsigned before = info.classes[d];
    if (now == before)
        return;
    info.classes[d] = static_cast<std::uint8_t>(now);
    if ((now ^ before) & 15)
        reclass(square, 0, d, before & 15, now & 15);
    if ((now ^ before) >> 4)
        reclass(square, 1, d, before >> 4, now >> 4);
}

void ShapeBoard::refreshAll(int square) {
    SquareInfo& info = info_[square];
    int key[PLAYER_NB] = {};
    for (int d = 0; d < DIRECTION_NB; ++d) {
        const unsigned classes = WINDOW_CLASSES[info.window[d]];
        info.classes[d] = static_cast<std::uint8_t>(classes);
        key[0] += reducedClass(classes & 15) * CLASS_KEY_WEIGHT[d];
        key[1] += reducedClass(classes >> 4) * CLASS_KEY_WEIGHT[d];
    }
    for (int p = 0; p < PLAYER_NB; ++p) {
        info.classKey[p] = static_cast<std::uint16_t>(key[p]);
        setShape(square, p, static_cast<Shape>(SHAPE_TABLE[key[p]]));
    }
}

int ShapeBoard::lineCode(int square, int player, int direction) const {
    return cell_[square] == EMPTY_CELL ? codeOfWindow(info_[square].window[direction], player) : 0;
}

void ShapeBoard::addInPlay(int square) {
    inPlayIndex_[square] = inPlayCount_;
    inPlayList_[inPlayCount_++] = static_cast<std::int16_t>(square);
}

void ShapeBoard::removeInPlay(int square) {
    const int index = inPlayIndex_[square];
    const int moved = inPlayList_[--inPlayCount_];
    inPlayList_[index] = static_cast<std::int16_t>(moved);
    inPlayIndex_[moved] = static_cast<std::int16_t>(index);
    inPlayIndex_[square] = -1;
}

void ShapeBoard::placeStone(int s, int player) {
    cell_[s] = static_cast<std::uint8_t>(player);
    key_ ^= ZOBRIST.stone[player][s];
    ++stones_;
    if (inPlayIndex_[s] >= 0)
        removeInPlay(s);
    SquareInfo& own = info_[s];
    for (int p = 0; p < PLAYER_NB; ++p) {
        setShape(s, p, SHAPE_NONE);
        own.classKey[p] = 0;
    }
    for (int d = 0; d < DIRECTION_NB; ++d)
        own.classes[d] = LINE_DEAD | LINE_DEAD << 4;
    const unsigned field = static_cast<unsigned>(player + 1);
    for (int d = 0; d < DIRECTION_NB; ++d) {
        const int step = DIRECTION_STEP[d];
        // s lies on the low side of the squares above it, on the high side of those below.
        for (int k = 1, t = s + step; k <= REACH.high[s][d]; ++k, t += step) {
            info_[t].window[d] = static_cast<std::uint16_t>(info_[t].window[d] | field << (2 * (k - 1)));
            if (k <= 2 && near_[t]++ == 0 && cell_[t] == EMPTY_CELL)
                addInPlay(t);
            if (cell_[t] == EMPTY_CELL)
                refresh(t, d);
        }
        for (int k = 1, t = s - step; k <= REACH.low[s][d]; ++k, t -= step) {
            info_[t].window[d] = static_cast<std::uint16_t>(info_[t].window[d] | field << (8 + 2 * (k - 1)));
            if (k <= 2 && near_[t]++ == 0 && cell_[t] == EMPTY_CELL)
                addInPlay(t);
            if (cell_[t] == EMPTY_CELL)
                refresh(t, d);
        }
    }
}

void ShapeBoard::removeStone(int s) {
    const int player = cell_[s];
    cell_[s] = EMPTY_CELL;
    key_ ^= ZOBRIST.stone[player][s];
    --stones_;
    for (int d = 0; d < DIRECTION_NB; ++d) {
        const int step = DIRECTION_STEP[d];
        for (int k = 1, t = s + step; k <= REACH.high[s][d]; ++k, t += step) {
            info_[t].window[d] = static_cast<std::uint16_t>(info_[t].window[d] & ~(3u << (2 * (k - 1))));
            if (k <= 2 && --near_[t] == 0 && cell_[t] == EMPTY_CELL)
                removeInPlay(t);
            if (cell_[t] == EMPTY_CELL)
                refresh(t, d);
        }
        for (int k = 1, t = s - step; k <= REACH.low[s][d]; ++k, t -= step) {
            info_[t].window[d] = static_cast<std::uint16_t>(info_[t].window[d] & ~(3u << (8 + 2 * (k - 1))));
            if (k <= 2 && --near_[t] == 0 && cell_[t] == EMPTY_CELL)
                removeInPlay(t);
            if (cell_[t] == EMPTY_CELL)
                refresh(t, d);
        }
    }
    refreshAll(s);
    if (near_[s] > 0)
        addInPlay(s);
}

// ---- The plain recomputation ----

namespace {

// One player's code through the empty square (x, y) in direction d, walked cell
// by cell: up to four cells each side, stopped by the edge or the other
// player's stone; cells ordered from the smaller square index.
int plainCode(const std::uint8_t* cells, std::uint8_t emptyCell, int x, int y, int d, int player) {
    int lowBits[4], highBits[4];
    int low = 0, high = 0;
    for (int k = 1; k <= 4; ++k) {
        const int cx = x - k * DX[d], cy = y - k * DY[d];
        if (!onBoard(cx, cy))
            break;
        const int c = cells[squareOf(cx, cy)];
        if (c != emptyCell && c != player)
            break;
        lowBits[low++] = c == player;
    }
    for (int k = 1; k <= 4; ++k) {
        const int cx = x + k * DX[d], cy = y + k * DY[d];
        if (!onBoard(cx, cy))
            break;
        const int c = cells[squareOf(cx, cy)];
        if (c != emptyCell && c != player)
            break;
        highBits[high++] = c == player;
    }
    int code = 1;
    for (int i = low - 1; i >= 0; --i)
        code = code * 2 + lowBits[i];
    code = code * 2 + 1;
    for (int i = 0; i < high; ++i)
        code = code * 2 + highBits[i];
    return code;
}

} // namespace

const char* ShapeBoard::checkConsistency() const {
    std::uint64_t key = side_ ? ZOBRIST.side : 0;
    int stones = 0;
    int counts[PLAYER_NB][SHAPE_NB] = {};
    int inPlay = 0;
    for (int s = 0; s < SQUARE_NB; ++s) {
        const int x = columnOf(s), y = rowOf(s);
        if (cell_[s] != EMPTY_CELL) {
            if (cell_[s] > 1)
                return "a cell holds neither a stone nor the empty mark";
            key ^= ZOBRIST.stone[cell_[s]][s];
            ++stones;
            if (info_[s].shape[0] != SHAPE_NONE || info_[s].shape[1] != SHAPE_NONE)
                return "a stone has a shape";
            if (inPlayIndex_[s] >= 0)
                return "a stone is in play";
            continue;
        }
        int near = 0;
        for (int d = 0; d < DIRECTION_NB; ++d)
            for (int k = -2; k <= 2; ++k) {
                const int cx = x + k * DX[d], cy = y + k * DY[d];
                if (k != 0 && onBoard(cx, cy) && cell_[squareOf(cx, cy)] != EMPTY_CELL)
                    ++near;
            }
        if ((near > 0) != (inPlayIndex_[s] >= 0))
            return "the in-play mark disagrees with the stones nearby";
        if (inPlayIndex_[s] >= 0) {
            ++inPlay;
            if (inPlayIndex_[s] >= inPlayCount_ || inPlayList_[inPlayIndex_[s]] != s)
                return "the in-play list and its index disagree";
        }
        for (int p = 0; p < PLAYER_NB; ++p) {
            LineClass c[DIRECTION_NB];
            for (int d = 0; d < DIRECTION_NB; ++d) {
                const int code = plainCode(cell_, EMPTY_CELL, x, y, d, p);
                if (lineCode(s, p, d) != code)
                    return "a line code differs from the plain walk";
                c[d] = classOfCode(code);
                if (lineClass(s, p, d) != c[d])
                    return "a line class differs from its code's";
            }
            const Shape shape = combineClasses(c[0], c[1], c[2], c[3]);
            if (info_[s].shape[p] != shape)
                return "a shape differs from its classes'";
            ++counts[p][shape];
            if (shape >= FIRST_LISTED_SHAPE) {
                const int index = shapeIndex_[p][s];
                if (index < 0 || index >= shapeCount_[p][shape] || shapeList_[p][shape][index] != s)
                    return "a shape list and its index disagree";
            } else if (shapeIndex_[p][s] != -1) {
                return "a square of an unlisted shape is listed";
            }
        }
    }
    for (int p = 0; p < PLAYER_NB; ++p)
        for (int sh = SHAPE_NONE + 1; sh < SHAPE_NB; ++sh)
            if (counts[p][sh] != shapeCount_[p][sh])
                return "a shape count differs from the squares of that shape";
    if (inPlay != inPlayCount_)
        return "the in-play count differs from the squares in play";
    if (stones != stones_)
        return "the stone count differs from the stones";
    if (key != key_)
        return "the key differs from the stones and the side";
    return nullptr;
}

} // namespace kelmo
