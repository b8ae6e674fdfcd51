// KBrain: keeps the game board and the search root in step with the protocol
// and asks the search for each reply. Between commands the root is an
// unexpanded node on its own copy of the game position, alone in the search
// context's arena; no tree outlives a move, but the arena's blocks do.
#include "brain/kbrain.h"

#include "errorlog/error_log.h"
#include "search/driver.h"
#include "search/memory_use.h"
#include "search/stopwatch.h"

namespace kelmo {

namespace {

K2Board* newEmptyBoard() {
    K2Board* board = new K2Board();
    board->clear();
    return board;
}

int firstEmptySquare(const K2Board& board) {
    for (int square = 0; square < SQUARE_NB; ++square)
        if (board.isEmpty(square))
            return square;
    return -1;
}

} // namespace

KBrain::KBrain() : root(nullptr), board(nullptr) {
    startGame();
}

KBrain::~KBrain() { delete board; }

// Discards the tree and starts a new one on the game position. The root is
// null only when the arena cannot get a single block; searchMove copes.
void KBrain::renewRoot() {
    searchContext.arena.reset();
    root = newRoot(searchContext, *board);
}

// A fresh game with the opponent to move and the default limits; also the
// state the process starts in.
void KBrain::startGame() {
    delete board;
    board = newEmptyBoard();
    renewRoot();
    // The same limits as at process start: a game begun with START and no INFO
    // gets the usual three seconds a move, not a tenth of one.
    time_left = DEFAULT_TIME_LEFT;
    timeout_turn = DEFAULT_TIMEOUT_TURN;
    max_memory = DEFAULT_MAX_MEMORY;
}

int KBrain::begin() {
    // A board built anew rather than cleared, so no threat list of an earlier
    // game survives into this one.
    delete board;
    board = newEmptyBoard();
    board->sideToMove = 1;
    renewRoot();
    int square = searchMove();
    if (square < 0)
        return -1;
    advance(square);
    return square;
}

int KBrain::turn(int x, int y) {
    advance(squareOf(x, y));
    int square = searchMove();
    if (square < 0)
        return -1;
    advance(square);
    return square;
}

int KBrain::setupBoard(std::span<const Stone> stones) {
    delete board;
    board = setUpPosition(stones, 1);
    renewRoot();
    // The limits stay as INFO set them: managers send their limits before BOARD,
    // and resetting them would overrun a shorter turn limit.
    int square = searchMove();
    if (square >= 0)
        advance(square);
    return square;
}

void KBrain::setTimeLeft(std::int32_t value) { time_left = value < 0 ? 0 : value; }

void KBrain::setTimeoutTurn(std::int32_t value) { timeout_turn = value; }

void KBrain::setMaxMemory(std::int32_t value) { max_memory = value; }

bool KBrain::squareIsEmpty(int square) const { return board->isEmpty(square); }

int KBrain::searchMove() {
    if (!root)
        return firstEmptySquare(*board);
    if (!root->isOrNode())
        appendErrorLog("AndNode search");
    std::int32_t limit = computeBudget(time_left, timeout_turn);
    // The tree gets what max_memory leaves after the rest of the process, as
    // measured now, in whole blocks: the arena maps no block beyond them, so
    // the process's peaks stay under the limit however the search goes. The
    // blocks held now are the search's own, not part of the rest; those beyond
    // the budget (kept from a tree under a higher limit) are given back first.
    // A budget of no block at all leaves the root's block, on which the search
    // stops at once with a move from the root's expansion.
    auto& arena = searchContext.arena;
    const std::int64_t budget = searchBudget(max_memory, arena.bytesHeld());
    const std::size_t blocks = static_cast<std::size_t>(budget / static_cast<std::int64_t>(NodeArena::BLOCK_BYTES));
    const std::int64_t treeLimit = static_cast<std::int64_t>(blocks * NodeArena::BLOCK_BYTES);
    arena.keepAtMost(treeLimit);
    arena.limitBlocks(blocks < searchBlockCap ? blocks : searchBlockCap);
    int square = runSearch(searchContext, root, limit, treeLimit, searchIterationCap);
    // The reply must be playable whatever the search left behind: an answer on
    // a stone loses the game at once, so fall back to any empty square.
    if (square < 0 || square >= SQUARE_NB || !board->isEmpty(square))
        square = firstEmptySquare(*board);
    return square;
}

void KBrain::advance(int square) {
    // Discarding the tree is timed so that the next search keeps enough of its
    // allowance for discarding its own.
    Stopwatch teardown;
    teardown.start();
    const std::int64_t treeBytes = searchContext.arena.bytesInUse();
    searchContext.arena.reset();
    searchContext.teardown.note(treeBytes, teardown.elapsed());
    board->play(square);
    renewRoot();
}

} // namespace kelmo
