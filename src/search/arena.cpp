// NodeArena: bump allocation in blocks, one free list per piece size, and a
// reset that keeps the blocks. Blocks are mapped from the system directly, not
// taken from the C library's heap: a block then adds exactly its own bytes to
// the process's resident and committed figures (the heap would add a header
// page to each, or keep a freed one mapped), which is what lets the memory
// budget be spent to the block.
#include "search/arena.h"

#include <algorithm>
#include <cstring>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <sys/mman.h>
#endif

namespace kelmo {

namespace {

std::size_t grainsOf(std::size_t bytes) { return (bytes + NodeArena::GRAIN - 1) / NodeArena::GRAIN; }

// A block of BLOCK_BYTES, page-aligned, or null. It is written whole at once,
// so that it is resident from the start: the bytes the arena holds then count
// in every figure of the process (the working set as well as the committed or
// virtual size), and the budget, which takes them off a reading as the
// search's own, is exact for each. The search would touch them soon anyway.
char* mapBlock() {
#if defined(_WIN32)
    auto* block = static_cast<char*>(VirtualAlloc(nullptr, NodeArena::BLOCK_BYTES, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
#else
    void* mapped = mmap(nullptr, NodeArena::BLOCK_BYTES, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    char* block = mapped == MAP_FAILED ? nullptr : static_cast<char*>(mapped);
#endif
    if (block)
        std::memset(block, 0, NodeArena::BLOCK_BYTES);
    return block;
}

void unmapBlock(char* block) {
#if defined(_WIN32)
    VirtualFree(block, 0, MEM_RELEASE);
#else
    munmap(block, NodeArena::BLOCK_BYTES);
#endif
}

} // namespace

NodeArena::NodeArena() : freePieces(MAX_PIECE / GRAIN + 1, nullptr) {}

NodeArena::~NodeArena() {
    for (char* block : blocks)
        unmapBlock(block);
}

bool NodeArena::nextBlock() {
    const std::size_t next = blockStart ? blockIndex + 1 : 0;
    if (next == blocks.size()) {
        if (blocks.size() >= blockCap)
            return false;
        char* block = mapBlock();
        if (!block)
            return false;
        blocks.push_back(block);
    }
    if (blockStart) {
        // The tail left behind is too small for the request at hand but may
        // serve a smaller one later. It is below MAX_PIECE, as every request is.
        const std::size_t tail = static_cast<std::size_t>(blockEnd - cursor) / GRAIN * GRAIN;
        if (tail > 0) {
            auto* free = reinterpret_cast<FreePiece*>(cursor);
            free->next = freePieces[tail / GRAIN];
            freePieces[tail / GRAIN] = free;
            freeBytes += static_cast<std::int64_t>(tail);
        }
        carvedInFullBlocks += static_cast<std::int64_t>(BLOCK_BYTES);
    }
    blockIndex = next;
    blockStart = cursor = blocks[next];
    blockEnd = blockStart + BLOCK_BYTES;
    return true;
}

void* NodeArena::allocate(std::size_t bytes) {
    if (bytes == 0 || bytes > MAX_PIECE)
        return nullptr;
    const std::size_t grains = grainsOf(bytes);
    if (FreePiece* piece = freePieces[grains]) {
        freePieces[grains] = piece->next;
        freeBytes -= static_cast<std::int64_t>(grains * GRAIN);
        return piece;
    }
    const std::size_t size = grains * GRAIN;
    // A failed step to a new block leaves the arena as it was: the tree it
    // holds stays whole, and the search stops on it.
    if (static_cast<std::size_t>(blockEnd - cursor) < size && !nextBlock())
        return nullptr;
    void* piece = cursor;
    cursor += size;
    return piece;
}

void NodeArena::release(void* piece, std::size_t bytes) {
    const std::size_t grains = grainsOf(bytes);
    auto* free = static_cast<FreePiece*>(piece);
    free->next = freePieces[grains];
    freePieces[grains] = free;
    freeBytes += static_cast<std::int64_t>(grains * GRAIN);
}

void NodeArena::keepAtMost(std::int64_t bytes) {
    std::size_t keep = bytes <= 0 ? 0 : static_cast<std::size_t>((bytes + BLOCK_BYTES - 1) / BLOCK_BYTES);
    if (blockStart && keep < blockIndex + 1)
        keep = blockIndex + 1;
    while (blocks.size() > keep) {
        unmapBlock(blocks.back());
        blocks.pop_back();
    }
}

void NodeArena::reset() {
    std::fill(freePieces.begin(), freePieces.end(), nullptr);
    blockIndex = 0;
    blockStart = cursor = blockEnd = nullptr;
    carvedInFullBlocks = 0;
    freeBytes = 0;
}

} // namespace kelmo
