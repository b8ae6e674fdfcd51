// Threat bookkeeping: the per-player sorted lists of threat squares, kept up to
// date after every stone by re-evaluating the empty squares whose lines it changed.
#include <bit>

#include "board/k2board.h"
#include "board/reach.h"
#include "board/threat_tables.h"

namespace kelmo {

namespace {

// Order of a list: fewer moves to five first, then fewer moves to a win, then the
// higher value; equal entries keep their age order.
inline bool threatBefore(int a, int b) { return listOrder(a) < listOrder(b); }

} // namespace

void K2Board::insertThreat(int player, LineRecord record) {
    cells[record.square()] |= CELL_LISTED[player];
    // Take the item first: growing the pool moves the items (not their indices).
    const std::uint16_t item = newItem();
    const std::uint32_t order = listOrder(record.code);
    std::uint16_t* link = &threatList[player];
    while (*link != NO_ITEM && listOrder(itemPool[*link].code) <= order)
        link = &itemPool[*link].next;
    itemPool[item] = {record.code, record.squareDirs, *link};
    *link = item;
}

void K2Board::removeEntries(int player, int square) {
    std::uint16_t* link = &threatList[player];
    while (*link != NO_ITEM && itemPool[*link].square() != square)
        link = &itemPool[*link].next;
    if (*link != NO_ITEM) {
        std::uint16_t gone = *link;
        *link = itemPool[gone].next;
        releaseItem(gone);
        if (cells[square] & CELL_SECOND[player]) {
            cells[square] &= static_cast<std::uint8_t>(~CELL_SECOND[player]);
            while (*link != NO_ITEM && itemPool[*link].square() != square)
                link = &itemPool[*link].next;
            if (*link != NO_ITEM) {
                gone = *link;
                *link = itemPool[gone].next;
                releaseItem(gone);
            }
        }
    }
    cells[square] &= static_cast<std::uint8_t>(~CELL_LISTED[player]);
}

namespace {

// The least movesToFive and movesToWin over one player's four lines.
struct Distances {
    int toFive;
    int toWin;
};

inline Distances leastDistances(const SquareLines& lines, int p) {
    const unsigned bits = distanceBits(lines.code[p][0]) | distanceBits(lines.code[p][1]) |
                          distanceBits(lines.code[p][2]) | distanceBits(lines.code[p][3]);
    return {std::countr_zero(bits & 0xFFu), std::countr_zero(bits >> 8)};
}

// The directions of one player whose movesToFive equals the given one.
inline int directionsAt(const SquareLines& lines, int p, int toFive) {
    int dirs = 0;
    for (int d = 0; d < DIRECTION_NB; ++d)
        if (movesToFive(lines.code[p][d]) == toFive)
            dirs |= DIRECTION_MASK[d];
    return dirs;
}

// The first line of the least movesToFive: the entry a single-line threat lists.
inline LineRecord bestLine(const SquareLines& lines, int p, int toFive) {
    const unsigned dirs = static_cast<unsigned>(directionsAt(lines, p, toFive));
    return lines.record(p, 4 - static_cast<int>(std::bit_width(dirs)));
}

// The evaluation of an active empty square, kept out of line so that the
// far more frequent stones and inactive squares cost no more than a test.
[[gnu::noinline]] bool evaluateActive(K2Board& board, int s) {
    std::uint8_t* const cells = board.cells;
    for (int p = 1; p >= 0; --p)
        if (cells[s] & CELL_LISTED[p]) {
            board.removeEntries(p, s);
            cells[s] &= static_cast<std::uint8_t>(~CELL_SECOND[p]);
        }

    const SquareLines codes = computeLines(board, s);
    const int mover = board.sideToMove;
    const int other = 1 - mover;
    const Distances least[PLAYER_NB] = {leastDistances(codes, 0), leastDistances(codes, 1)};

    // The mover completes five here: keep the five-square listed so the generator
    // still sees the win should the update stop early on a later board.
    if (least[mover].toFive == 0) {
        board.insertThreat(mover, bestLine(codes, mover, 0));
        return true;
    }

    // Players whose every line is three or more moves from a win; when both
    // are, the square goes inactive.
    int far = 0;
    // The entries of one player at s.
    auto playerBlock = [&](int p) {
        const Distances& own = least[p];
        if (own.toWin >= 2) {
            far += own.toWin >= 3;
            return;
        }
        int wins1 = 0, fours = 0, twos = 0;
        for (int d = 0; d < DIRECTION_NB; ++d) {
            const int code = codes.code[p][d];
            wins1 += movesToWin(code) == 1;
            fours += movesToFive(code) == 1;
            if (movesToFive(code) == 2)
                twos |= DIRECTION_MASK[d];
        }
        if (own.toWin == 0 || wins1 == 1) {
            board.insertThreat(p, bestLine(codes, p, own.toFive));
            return;
        }
        const int fiveDirs = directionsAt(codes, p, own.toFive);
        if (fours == 0) {
            board.insertThreat(p, {CODE_DOUBLE_THREE, packSquareDirs(s, fiveDirs)});
        } else if (fours == 1) {
            cells[s] |= CELL_SECOND[p];
            board.insertThreat(p, bestLine(codes, p, own.toFive));
            board.insertThreat(p, {CODE_DOUBLE_THREE, packSquareDirs(s, fiveDirs | twos)});
        } else {
            board.insertThreat(p, {CODE_DOUBLE_FOUR, packSquareDirs(s, fiveDirs)});
        }
    };

    playerBlock(mover);
    if (least[other].toFive == 0) {
        board.insertThreat(other, bestLine(codes, other, 0));
        return false;
    }
    playerBlock(other);
    if (far == 2)
        cells[s] &= static_cast<std::uint8_t>(~CELL_ACTIVE);
    return false;
}

} // namespace

bool K2Board::evaluateSquare(int s) {
    const std::uint8_t cell = cells[s];
    if (!(cell & CELL_EMPTY))
        return false;
    if (!(cell & CELL_ACTIVE)) {
        cells[s] = static_cast<std::uint8_t>(cell | CELL_ACTIVE);
        return false;
    }
    return evaluateActive(*this, s);
}

bool K2Board::updateAround(int s) {
    for (int sense = 0; sense < SENSE_NB; ++sense) {
        const int step = SENSE_STEP[sense];
        const int bound = reach[sense][s];
        int seenColour = -1;
        for (int c = s; c != bound;) {
            c += step;
            std::uint8_t cell = cells[c];
            if (cell & CELL_EMPTY) {
                if (evaluateSquare(c))
                    return true;
            } else {
                int colour = cell & CELL_COLOUR;
                if (seenColour >= 0 && seenColour != colour)
                    break;
                seenColour = colour;
            }
        }
    }
    return false;
}

bool K2Board::rescan() {
    for (int s = 0; s < SQUARE_NB; ++s)
        if ((cells[s] & CELL_EMPTY) && evaluateSquare(s))
            return true;
    return false;
}

void K2Board::estimate(int& first, int& second) const {
    auto winningHead = [this](const ThreatListItem* item) {
        int n = 1;
        for (; item && movesToWin(item->code) == 0; item = nextThreat(item))
            ++n;
        return n;
    };
    first = winningHead(threatHead(1 - sideToMove));
    second = winningHead(threatHead(sideToMove));
}

const char* K2Board::checkConsistency() const {
    int entries[PLAYER_NB][SQUARE_NB] = {};
    for (int p = 0; p < PLAYER_NB; ++p) {
        const ThreatListItem* prev = nullptr;
        for (const ThreatListItem* it = threatHead(p); it; prev = it, it = nextThreat(it)) {
            int sq = it->square();
            if (sq >= SQUARE_NB)
                return "entry square out of range";
            if (!(cells[sq] & CELL_EMPTY))
                return "entry on a stone";
            if (prev && threatBefore(it->code, prev->code))
                return "list out of order";
            if (std::popcount(static_cast<unsigned>(it->directions())) == 0)
                return "entry without direction";
            ++entries[p][sq];
        }
    }
    int stones = 0;
    for (int sq = 0; sq < SQUARE_NB; ++sq) {
        std::uint8_t cell = cells[sq];
        if (!(cell & CELL_EMPTY)) {
            ++stones;
            continue;
        }
        if (cell & CELL_CANDIDATE)
            return "candidate bit left behind";
        for (int p = 0; p < PLAYER_NB; ++p) {
            bool listed = cell & CELL_LISTED[p];
            bool second = cell & CELL_SECOND[p];
            if (listed != (entries[p][sq] > 0))
                return "listed bit disagrees with the list";
            if (second != (entries[p][sq] == 2))
                return "second-entry bit disagrees with the list";
            if (entries[p][sq] > 2)
                return "more than two entries for a square";
            if (entries[p][sq] && !(cell & CELL_ACTIVE))
                return "inactive square with entries";
        }
    }
    if (stones != moveCount)
        return "move count disagrees with the stones";
    std::uint32_t items = 0;
    for (int p = 0; p < PLAYER_NB; ++p)
        for (const ThreatListItem* it = threatHead(p); it; it = nextThreat(it))
            ++items;
    if (items != liveItems)
        return "item count disagrees with the lists";
    return nullptr;
}

} // namespace kelmo
