// KBrain: keeps the game board and the search root in step with the protocol
// and asks the search for each reply. Between commands the root is an
// unexpanded node on its own copy of the game position; no tree outlives a move.
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
    nodeCounter = 0;
    startGame();
}

KBrain::~KBrain() {
    delete root;
    delete board;
}

// A fresh game with the opponent to move and the default limits; also the
// state the process starts in.
void KBrain::startGame() {
    delete root;
    delete board;
    K2Board* fresh = newEmptyBoard();
    board = fresh->clone();
    root = new StatNode(fresh, nullptr);
    // The same limits as at process start: a game begun with START and no INFO
    // gets the usual three seconds a move, not a tenth of one.
    time_left = DEFAULT_TIME_LEFT;
    timeout_turn = DEFAULT_TIMEOUT_TURN;
    max_memory = DEFAULT_MAX_MEMORY;
}

int KBrain::begin() {
    // A board built anew rather than cleared, so no threat list of an earlier
    // game survives into this one.
    delete root;
    delete board;
    root = new StatNode(newEmptyBoard(), nullptr);
    root->setOrNode(true);
    board = root->board->clone();
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
    delete root;
    delete board;
    K2Board* fresh = setUpPosition(stones, 1);
    board = fresh->clone();
    root = new StatNode(fresh, nullptr);
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
    if (!root->isOrNode())
        appendErrorLog("AndNode search");
    std::int32_t limit = computeBudget(time_left, timeout_turn);
    std::int64_t memoryLimit = max_memory == 0 ? UNLIMITED_MEMORY_CAP : std::int64_t{max_memory};
    int square = runSearch(root, limit, memoryLimit, searchIterationCap);
    // The reply must be playable whatever the search left behind: an answer on
    // a stone loses the game at once, so fall back to any empty square.
    if (square < 0 || square >= SQUARE_NB || !board->isEmpty(square))
        square = firstEmptySquare(*board);
    return square;
}

void KBrain::advance(int square) {
    // The teardown is timed so that the next search keeps enough of its
    // allowance for discarding its own tree.
    Stopwatch teardown;
    teardown.start();
    const std::int64_t before = processMemoryUse();
    delete root;
    root = nullptr;
    // Where the platform needs it, give the freed tree back so that the next
    // search's memory reading starts from the game's own footprint.
    releaseFreedMemory();
    noteTeardown(before - processMemoryUse(), teardown.elapsed());
    board->play(square);
    root = new StatNode(board->clone(), nullptr);
}

} // namespace kelmo
