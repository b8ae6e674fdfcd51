// ProBrain: keeps the game as a list of stones, turns the manager's limits into
// a turn budget and a table size, and asks ProSearch for each reply. The tables
// are made once, before the first search, and made again only when a changed
// max_memory or timeout_turn asks for another size.
#include "brain/pro_brain.h"

#include <algorithm>
#include <cstdlib>

#include "errorlog/error_log.h"
#include "search/stopwatch.h"

namespace kelmo {

TurnBudget proTurnBudget(std::int32_t timeLeft, std::int32_t timeoutTurn, int stones) {
    // 64-bit throughout: no limit a manager can send overflows.
    const std::int64_t turnCap = std::int64_t{timeoutTurn} * 95 / 100 - REPLY_MARGIN_MS;
    const int movesLeft = std::max(MIN_MOVES_LEFT, (GAME_STONES - stones) / 2);
    const std::int64_t gameShare = (std::int64_t{std::max(timeLeft, 0)} - REPLY_MARGIN_MS) / movesLeft;
    TurnBudget budget;
    budget.hardMs = std::max<std::int64_t>(1, std::min(turnCap, gameShare));
    budget.softMs = std::max<std::int64_t>(1, budget.hardMs * SOFT_PERCENT / 100);
    return budget;
}

TurnBudget afterSpending(TurnBudget budget, std::int64_t spentMs) {
    spentMs = std::max<std::int64_t>(0, spentMs);
    budget.softMs = std::max<std::int64_t>(1, budget.softMs - spentMs);
    budget.hardMs = std::max<std::int64_t>(1, budget.hardMs - spentMs);
    return budget;
}

std::size_t proTableBytes(std::int32_t maxMemory, std::int32_t timeoutTurn) {
    const std::int64_t limit = maxMemory == 0 ? UNLIMITED_MEMORY_CAP : std::int64_t{maxMemory};
    const std::int64_t turnReach = std::int64_t{std::max(timeoutTurn, 0)} * TABLE_BYTES_PER_TURN_MS;
    const std::int64_t tables = std::min({limit / 2, limit - OTHER_MEMORY_BYTES, turnReach});
    constexpr std::int64_t MIB = 1024 * 1024;
    const std::int64_t whole = tables / MIB * MIB;
    return std::max(MIN_TABLE_BYTES, static_cast<std::size_t>(std::max<std::int64_t>(0, whole)));
}

namespace {

// The empty square nearest the centre: a legal answer whatever went wrong, -1
// on a full board.
int nearestEmptyToCentre(const std::array<std::int8_t, SQUARE_NB>& owner) {
    int best = -1, bestDistance = BOARD_SIZE;
    for (int square = 0; square < SQUARE_NB; ++square) {
        if (owner[static_cast<std::size_t>(square)] >= 0)
            continue;
        const int d = std::max(std::abs(columnOf(square) - columnOf(CENTRE)), std::abs(rowOf(square) - rowOf(CENTRE)));
        if (d < bestDistance) {
            bestDistance = d;
            best = square;
        }
    }
    return best;
}

} // namespace

ProBrain::ProBrain() {
    // A game never holds more stones than squares: no growth during a game.
    game.reserve(SQUARE_NB);
    clearGame();
}

ProBrain::~ProBrain() = default;

void ProBrain::clearGame() {
    game.clear();
    owner.fill(-1);
}

void ProBrain::place(int square, int player) {
    game.push_back({square, player});
    owner[static_cast<std::size_t>(square)] = static_cast<std::int8_t>(player);
}

void ProBrain::startGame() {
    clearGame();
    if (search)
        search->clear();
    // As for the exact brain: a game begun with START and no INFO gets the usual
    // three seconds a move.
    timeLeft_ = DEFAULT_TIME_LEFT;
    timeoutTurn_ = DEFAULT_TIMEOUT_TURN;
    maxMemory_ = DEFAULT_MAX_MEMORY;
}

int ProBrain::begin() {
    clearGame();
    if (search)
        search->clear();
    return reply();
}

int ProBrain::turn(int x, int y) {
    place(squareOf(x, y), 0);
    return reply();
}

int ProBrain::setupBoard(std::span<const Stone> stones) {
    // The limits stay as INFO set them (managers send them before BOARD), and so
    // do the tables: a position met in an earlier game is still the same position.
    clearGame();
    for (const Stone& stone : stones)
        if (owner[static_cast<std::size_t>(stone.square)] < 0)
            place(stone.square, stone.player);
    return reply();
}

void ProBrain::setTimeLeft(std::int32_t value) { timeLeft_ = value < 0 ? 0 : value; }

void ProBrain::setTimeoutTurn(std::int32_t value) { timeoutTurn_ = value; }

void ProBrain::setMaxMemory(std::int32_t value) { maxMemory_ = value; }

bool ProBrain::squareIsEmpty(int square) const { return owner[static_cast<std::size_t>(square)] < 0; }

int ProBrain::reply() {
    // The turn's clock starts here, so that sizing the tables is paid from it.
    Stopwatch clock;
    clock.start();
    if (game.size() >= static_cast<std::size_t>(SQUARE_NB))
        return -1;
    std::size_t bytes = proTableBytes(maxMemory_, timeoutTurn_);
    if (tableBytesCap != 0)
        bytes = std::min(bytes, tableBytesCap);
    if (!search)
        search = std::make_unique<ProSearch>(bytes);
    else if (bytes != tablesAskedFor)
        search->resize(bytes);
    tablesAskedFor = bytes;

    ProLimits limits;
    if (nodeCap != 0) {
        // Stopped on nodes alone, never on the clock, so that it repeats exactly.
        limits.nodeCap = nodeCap;
    } else {
        const TurnBudget budget =
            afterSpending(proTurnBudget(timeLeft_, timeoutTurn_, static_cast<int>(game.size())), clock.elapsed());
        limits.softMs = budget.softMs;
        limits.hardMs = budget.hardMs;
    }
    last = search->search(game, 1, limits, progress);
    // A win the threat search proves ends the search before any iteration: its
    // line is reported as the search's last word (mate in its length).
    if (progress && last.provenWin)
        progress->iterationDone(last.last);
    int square = last.square;
    // The answer must be playable whatever the search left behind: a stone on a
    // stone loses the game at once.
    if (square < 0 || square >= SQUARE_NB || owner[static_cast<std::size_t>(square)] >= 0) {
        appendErrorLog("pro search answered no empty square");
        square = nearestEmptyToCentre(owner);
    }
    place(square, 1);
    return square;
}

} // namespace kelmo
