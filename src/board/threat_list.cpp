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
inline bool threatBefore(int a, int b) {
    if (movesToFive(a) != movesToFive(b))
        return movesToFive(a) < movesToFive(b);
    if (movesToWin(a) != movesToWin(b))
        return movesToWin(a) < movesToWin(b);
    return lineValue(a) > lineValue(b);
}

} // namespace

void K2Board::insertThreat(int player, LineRecord record) {
    cells[record.square()] |= CELL_LISTED[player];
    // Take the item first: growing the pool moves the items (not their indices).
    const std::uint16_t item = newItem();
    std::uint16_t* link = &threatList[player];
    while (*link != NO_ITEM && !threatBefore(record.code, itemPool[*link].code))
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

struct PlayerLines {
    int leastToFive;
    int fiveDirs;     // directions whose movesToFive equals leastToFive
    int bestLine;     // direction index of the best-line record
};

inline PlayerLines summarise(const SquareLines& lines, int p) {
    PlayerLines r{7, 0, 0};
    for (int d = 0; d < DIRECTION_NB; ++d) {
        int f = movesToFive(lines.code[p][d]);
        if (f < r.leastToFive) {
            r.leastToFive = f;
            r.fiveDirs = DIRECTION_MASK[d];
            r.bestLine = d;
        } else if (f == r.leastToFive) {
            r.fiveDirs |= DIRECTION_MASK[d];
        }
    }
    return r;
}

} // namespace

bool K2Board::evaluateSquare(int s) {
    std::uint8_t cell = cells[s];
    if (!(cell & CELL_EMPTY))
        return false;
    if (!(cell & CELL_ACTIVE)) {
        cells[s] = static_cast<std::uint8_t>(cell | CELL_ACTIVE);
        return false;
    }
    for (int p = 1; p >= 0; --p)
        if (cells[s] & CELL_LISTED[p]) {
            removeEntries(p, s);
            cells[s] &= static_cast<std::uint8_t>(~CELL_SECOND[p]);
        }

    const SquareLines codes = computeLines(*this, s);
    const int mover = sideToMove;
    const int other = 1 - mover;
    PlayerLines lines[PLAYER_NB] = {summarise(codes, 0), summarise(codes, 1)};

    // The mover completes five here: keep the five-square listed so the generator
    // still sees the win should the update stop early on a later board.
    if (lines[mover].leastToFive == 0) {
        insertThreat(mover, codes.record(mover, lines[mover].bestLine));
        return true;
    }

    int counter = 2;
    // The entries of one player at s.
    auto playerBlock = [&](int p) {
        int least = 7, wins1 = 0, fours = 0, twos = 0;
        for (int d = 0; d < DIRECTION_NB; ++d) {
            int code = codes.code[p][d];
            int w = movesToWin(code);
            if (w < least)
                least = w;
            if (w == 1)
                ++wins1;
            int f = movesToFive(code);
            if (f == 1)
                ++fours;
            if (f == 2)
                twos |= DIRECTION_MASK[d];
        }
        const LineRecord best = codes.record(p, lines[p].bestLine);
        if (least == 0) {
            insertThreat(p, best);
        } else if (least == 1) {
            if (wins1 == 1) {
                insertThreat(p, best);
            } else if (fours == 0) {
                insertThreat(p, {CODE_DOUBLE_THREE, packSquareDirs(s, lines[p].fiveDirs)});
            } else if (fours == 1) {
                cells[s] |= CELL_SECOND[p];
                insertThreat(p, best);
                insertThreat(p, {CODE_DOUBLE_THREE, packSquareDirs(s, lines[p].fiveDirs | twos)});
            } else {
                insertThreat(p, {CODE_DOUBLE_FOUR, packSquareDirs(s, lines[p].fiveDirs)});
            }
        } else if (least >= 3) {
            --counter;
        }
    };

    playerBlock(mover);
    if (lines[other].leastToFive == 0) {
        insertThreat(other, codes.record(other, lines[other].bestLine));
        return false;
    }
    playerBlock(other);
    if (counter == 0)
        cells[s] &= static_cast<std::uint8_t>(~CELL_ACTIVE);
    return false;
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
