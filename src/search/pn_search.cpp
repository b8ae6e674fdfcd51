// Proof-number search: expansion from the generator's candidates, backing up the
// proof and disproof numbers, and descent to the most-proving leaf. The children's
// order is the generator's order and breaks every tie.
#include "search/pn_search.h"

#include <cstdint>
#include <new>

#include "board/candidates.h"

namespace kelmo {

namespace {

void setProven(StatNode* node) {
    node->proofNum = 0;
    node->disproofNum = PN_INFINITE;
}

void setDisproven(StatNode* node) {
    node->proofNum = PN_INFINITE;
    node->disproofNum = 0;
}

// A sum of positive estimates that stops short of the encodings 0 and -1.
std::int32_t saturatingAdd(std::int32_t a, std::int32_t b) {
    std::int64_t sum = static_cast<std::int64_t>(a) + b;
    return sum > PN_SATURATED ? PN_SATURATED : static_cast<std::int32_t>(sum);
}

// A fresh child on the board its move was just played on: decided when the
// player now to move can complete five, and then won for whoever that is;
// otherwise the estimate of that board.
void initChild(StatNode* child, const K2Board& board, bool decided) {
    if (decided) {
        if (board.sideToMove == 1)
            setProven(child);
        else
            setDisproven(child);
        return;
    }
    int first, second;
    board.estimate(first, second);
    child->proofNum = first;
    child->disproofNum = second;
}

} // namespace

bool expand(SearchContext& context, StatNode* node) {
    // The node's position on the work board: the root's own board, a leaf's copy
    // kept since its parent's expansion, or else rebuilt from the parent's board
    // with the leaf's move.
    K2Board& work = context.work;
    LeafBoards& leafBoards = context.leafBoards;
    if (node->board) {
        work.copyFrom(*node->board);
    } else if (const K2Board* kept = leafBoards.find(node, node->leafSlot)) {
        work.copyFrom(*kept);
        ++leafBoards.hits;
    } else {
        work.copyFrom(*node->parent->board);
        work.play(node->move);
        ++leafBoards.misses;
    }
    int verdict = generateCandidates(work, context.candidates);
    int n = context.candidates.count;
    if (verdict != VERDICT_OPEN) {
        // A verdict for the side to move: a win at an OR node proves it, at an AND
        // node disproves it, and a loss the other way round.
        if ((verdict == VERDICT_WIN) == node->isOrNode())
            setProven(node);
        else
            setDisproven(node);
        return true;
    }
    if (n <= 0) {
        // No empty square left: nobody can win, so the brain cannot force a win.
        setDisproven(node);
        return true;
    }

    // An expanded node keeps its position: its children are rebuilt from it.
    NodeArena& arena = context.arena;
    PackedPosition* packed = nullptr;
    if (!node->board) {
        void* memory = arena.allocate(work.positionBytes());
        if (!memory)
            return false;
        packed = work.packPosition(memory);
    }
    const std::int16_t* squares = context.candidates.squares;
    if (!node->attachChildren(context, squares, n)) {
        if (packed)
            arena.release(packed, packed->bytes());
        return false;
    }
    if (packed)
        node->board = packed;
    // The children start from the work board, which holds the position unpacked
    // (the generator leaves no flag of its own behind), rather than unpacking it
    // once per child.
    K2Board& probe = context.probe;
    for (int i = 0; i < n - 1; ++i) {
        probe.copyFrom(work);
        bool decided = probe.play(squares[i]);
        initChild(node->child(i), probe, decided);
        if (!decided)
            node->child(i)->leafSlot = leafBoards.keep(node->child(i), probe);
    }
    // The work board still holds the node's position: the last child is played on it.
    bool decided = work.play(squares[n - 1]);
    initChild(node->child(n - 1), work, decided);
    if (!decided)
        node->child(n - 1)->leafSlot = leafBoards.keep(node->child(n - 1), work);
    return true;
}

void updateValues(StatNode* node) {
    if (node->proofNum == 0 || node->disproofNum == 0)
        return;
    if (!node->isExpanded()) {
        if (node->board) {
            int first, second;
            node->board->estimate(first, second);
            node->proofNum = first;
            node->disproofNum = second;
        }
        return;
    }
    const StatNode* children = node->children;
    const unsigned n = node->childrenCnt;
    std::int32_t P = children[0].proofNum;
    std::int32_t D = children[0].disproofNum;
    if (node->isOrNode()) {
        if (P != 0) {
            for (unsigned i = 1; i < n; ++i) {
                std::int32_t p = children[i].proofNum;
                if (p > 0) {
                    if (p < P || P < 0)
                        P = p;
                    D = saturatingAdd(D, children[i].disproofNum);
                } else if (p == 0) {
                    P = 0;
                    D = PN_INFINITE;
                    break;
                }
            }
        }
    } else {
        if (D != 0) {
            for (unsigned i = 1; i < n; ++i) {
                std::int32_t d = children[i].disproofNum;
                if (d > 0) {
                    if (d < D || D < 0)
                        D = d;
                    P = saturatingAdd(P, children[i].proofNum);
                } else if (d == 0) {
                    D = 0;
                    P = PN_INFINITE;
                    break;
                }
            }
        }
    }
    node->proofNum = P;
    node->disproofNum = D;
}

StatNode* selectMostProving(SearchContext& context, StatNode* start) {
    StatNode* node = start;
    node->stamp(context.nodeCounter);
    while (node->isExpanded()) {
        const bool orNode = node->isOrNode();
        StatNode* children = node->children;
        const unsigned n = node->childrenCnt;
        StatNode* chosen = children;
        std::int32_t best = 2147483647;
        for (unsigned i = 0; i < n; ++i) {
            std::int32_t v = orNode ? children[i].proofNum : children[i].disproofNum;
            if (v != PN_INFINITE && v < best) {
                best = v;
                chosen = children + i;
            }
        }
        node = chosen;
        node->stamp(context.nodeCounter);
    }
    return node;
}

StatNode* updateAncestors(SearchContext& context, StatNode* leaf) {
    StatNode* node = leaf;
    if (leaf->isSolved()) {
        leaf->credit(context.nodeCounter);
        if (!leaf->parent)
            return leaf;
        node = leaf->parent;
    }
    StatNode* last = node;
    bool changed = true;
    while (node && changed) {
        node->credit(context.nodeCounter);
        std::int32_t p = node->proofNum;
        std::int32_t d = node->disproofNum;
        updateValues(node);
        changed = p != node->proofNum || d != node->disproofNum;
        // Newly solved below the root: nothing under it is read again.
        if (changed && node->parent && node->isSolved() && context.releaseSolved) {
            const std::int64_t freeBefore = context.arena.bytesFree();
            context.releasedNodes += node->releaseSubtree(context.arena);
            context.releasedBytes += context.arena.bytesFree() - freeBefore;
        }
        last = node;
        node = node->parent;
    }
    return last;
}

} // namespace kelmo
