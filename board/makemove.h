// Making moves on a Position: the fast incremental path and the rebuild fallback.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "board/tables.h"
#include "board/types.h"

namespace corvina {

// The move must come from the generator for this position. Does not set the hash keys.
void makeMove(Position& position, const Move& move);
// The rebuild path alone, also used to check the fast path.
void makeMoveByRebuild(Position& position, const Move& move);
// Slots addressed by index keys, such as the search's table: the key pass can start
// loading each child's slot into the cache as soon as the child's key is known.
struct SlotArray {
    static constexpr std::size_t SlotBytes = 16;  // four slots to a cache line

    const char* base = nullptr;  // nullptr: nothing to load
    std::uint32_t mask = 0;      // an index key addresses slot key & mask
};

// The two keys of the positions the moves lead to, from the parent's keys and board
// alone: the children need not be made. Each child's slot in slots is prefetched as its
// keys are found: spread over the pass, the loads overlap the work instead of queuing up
// behind each other in a burst after it.
void keysAfterMoves(const Position& parent, const Move* moves, int count,
                    std::uint32_t* indexKeys, std::uint32_t* lockKeys,
                    const SlotArray& slots = SlotArray{});

// Castling rights as four bits in the order of the castle keys.
inline unsigned castleRights(const BoardRecord& board) {
    return ((board.state >> 6) & 1) | ((board.state >> 4) & 2) | ((board.state2 & 1) << 2) |
           ((board.state >> 4) & 8);
}

// The right a move from or to the square ends when its rook stands or stood there.
inline constexpr std::array<std::uint8_t, 64> cornerRight = [] {
    std::array<std::uint8_t, 64> table{};
    table[squareIndex(0, 0)] = 1;
    table[squareIndex(7, 0)] = 2;
    table[squareIndex(0, 7)] = 4;
    table[squareIndex(7, 7)] = 8;
    return table;
}();

// The keys of a parent's children written as the generator lists the moves, the same as
// keysAfterMoves gives: the generator names each piece once, then tells each of its moves
// by kind, so what the piece and its square decide is found once for all its moves. Each
// child's slot is prefetched as its keys are known.
struct ChildKeyWriter {
    const Position* parent;
    const HashKeys* k;
    std::uint64_t base;  // the parent's keys, the other side to move, no en passant file
    std::uint64_t* out;  // where the next child's keys go: index key low, lock key high
    SlotArray slots;
    unsigned rights;    // the parent's castling rights
    unsigned kingLost;  // the rights a king move ends
    // Of the piece moving now:
    std::uint64_t fromKeys;       // base with the piece taken off its square
    const std::uint64_t* toKeys;  // its key pairs, by square * 12
    unsigned fromLost;            // the rights any of its moves ends

    void piece(int from, PieceCode p) {
        fromKeys = base ^ k->piecePair[from * 12 + p];
        toKeys = &k->piecePair[p];
        const int type = typeOf(p);
        fromLost = (type == Rook ? cornerRight[from] : 0u) | (type == King ? kingLost : 0u);
    }
    // A move to an empty square, not a double step, promotion or castling.
    void plain(int to) { put(moved(to)); }
    void capture(int to, PieceCode target) { put(moved(to) ^ k->piecePair[to * 12 + target]); }
    void doubleStep(int to, int file) { put(moved(to) ^ k->epPair[file]); }
    // Castling, en passant, a promotion: the whole move is read.
    void rare(const Move& move);

    std::uint64_t moved(int to) const {
        std::uint64_t keys = fromKeys ^ toKeys[to * 12];
        // The rights applyMoveToBoard takes: a king's both, a rook's own corner, and the
        // corner moved to.
        if (rights) keys ^= k->castlePair[rights & (fromLost | cornerRight[to])];
        return keys;
    }
    void put(std::uint64_t keys) {
        *out++ = keys;
        const std::size_t slot = std::uint32_t(keys) & slots.mask;
        if (slots.base) __builtin_prefetch(slots.base + slot * SlotArray::SlotBytes);
    }
};

// A writer of the children's key pairs to out, from the first move on.
ChildKeyWriter childKeyWriter(const Position& parent, std::uint64_t* out, const SlotArray& slots);

// Sets child's two keys from parent's and the move, without rescanning the board.
void updateKeysAfterMove(Position& child, const Position& parent, const Move& move);

}  // namespace corvina
