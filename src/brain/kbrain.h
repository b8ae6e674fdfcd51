// KBrain: the game in progress (game board and search root), the manager's
// limits, and one operation per protocol command that changes or asks about the
// game. It takes stones and plain values and returns squares: the wording of the
// protocol is the front end's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "board/k2board.h"
#include "board/position_setup.h"
#include "brain/brain.h"
#include "search/search_context.h"
#include "search/stat_node.h"

namespace kelmo {

class KBrain final : public Brain {
public:
    StatNode* root;   // in searchContext's arena; null only if the arena had no room
    K2Board* board;
    std::int32_t time_left;
    std::int32_t timeout_turn;
    std::int32_t max_memory;
    // Iterations one search may run at most, 0 for no cap. The protocol never
    // sets it; tests set it to make searches short and repeatable.
    std::uint64_t searchIterationCap = 0;
    // Arena blocks one search may hold at most on top of the memory budget's
    // own cap. The protocol never sets it; tests set it to run out of blocks.
    std::size_t searchBlockCap = SIZE_MAX;
    // The node counter starts with the brain and runs on across moves and games.
    SearchContext searchContext;

    KBrain();
    ~KBrain() override;
    KBrain(const KBrain&) = delete;
    KBrain& operator=(const KBrain&) = delete;

    // Handlers (see Brain). Moves are returned as square indices; -1 means no
    // move exists (the board is full), and then nothing is played.
    BrainIdentity identity() const override { return BrainIdentity::Exact; }
    void startGame() override;
    int begin() override;
    int turn(int x, int y) override;
    int setupBoard(std::span<const Stone> stones) override;
    void setTimeLeft(std::int32_t value) override;
    void setTimeoutTurn(std::int32_t value) override;
    void setMaxMemory(std::int32_t value) override;
    bool squareIsEmpty(int square) const override;

    // Search.
    int searchMove();
    void advance(int square);

private:
    void renewRoot();
};

} // namespace kelmo
