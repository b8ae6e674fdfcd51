// NodeArena: the memory of one search tree (nodes, child arrays, boards with
// their threat items), carved from large blocks that the arena keeps from one
// tree to the next.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kelmo {

class NodeArena {
public:
    // Large enough that taking a block is rare, small enough that the unused
    // tail of the last one is nothing against a memory limit.
    static constexpr std::size_t BLOCK_BYTES = std::size_t{1} << 20;
    // Every piece is a multiple of this, and aligned to it.
    static constexpr std::size_t GRAIN = 16;
    // The largest piece: a child array of one child per square, or a board
    // listing two threats per square and player, fits many times over.
    static constexpr std::size_t MAX_PIECE = 64 * 1024;

    NodeArena();
    ~NodeArena();
    NodeArena(const NodeArena&) = delete;
    NodeArena& operator=(const NodeArena&) = delete;

    // A piece of at least bytes (1..MAX_PIECE), GRAIN-aligned: a released piece
    // of the same size if there is one, else the next bytes of the current
    // block. Null when a new block is needed and cannot be had.
    void* allocate(std::size_t bytes);
    // Gives back a piece of a tree still growing; it serves the next request of
    // the same size. bytes must be what it was allocated with.
    void release(void* piece, std::size_t bytes);
    // Releases the whole tree at once. The blocks stay with the arena, their
    // pages already touched, for the next tree.
    void reset();

    // Bytes carved from the blocks since the last reset, released pieces
    // included: what the tree costs the process.
    std::int64_t bytesInUse() const { return carvedInFullBlocks + static_cast<std::int64_t>(cursor - blockStart); }
    // Bytes of all blocks the arena holds.
    std::int64_t bytesHeld() const { return static_cast<std::int64_t>(blocks.size() * BLOCK_BYTES); }
    // Bytes of the carved ones that wait on the free lists.
    std::int64_t bytesFree() const { return freeBytes; }

    // Gives the system back the blocks beyond those needed for bytes, keeping
    // every block the current tree uses: for a memory limit lowered between
    // moves, which idle blocks kept for reuse would otherwise overrun.
    void keepAtMost(std::int64_t bytes);

    // At most this many blocks are ever held; a request beyond them fails as a
    // failed allocation would. Without a call there is no cap but the system's.
    void limitBlocks(std::size_t count) { blockCap = count; }

private:
    struct FreePiece {
        FreePiece* next;
    };

    bool nextBlock();

    std::vector<char*> blocks;
    std::size_t blockIndex = 0;  // the block being carved
    char* blockStart = nullptr;
    char* cursor = nullptr;
    char* blockEnd = nullptr;
    std::int64_t carvedInFullBlocks = 0;
    std::int64_t freeBytes = 0;
    std::size_t blockCap = SIZE_MAX;
    std::vector<FreePiece*> freePieces;  // one list per size, in GRAINs
};

} // namespace kelmo
