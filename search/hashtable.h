// The transposition table: 16-byte entries, one slot per position, no buckets.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "board/types.h"

namespace corvina {

inline constexpr int RepetitionDepth = 99;  // depth of a repetition mark: answers any depth
inline constexpr int ScoreInfinity = 30000;
inline constexpr int MateThreshold = 10000;  // |score| at or above this is a mate

// The search counts a mate from its root (10101 - ply of the mate); the table counts it
// from the node, since the same position is met at other plies and at the roots of later
// moves. Infinity and every score short of a mate (evaluations, draws, contempt) pass
// unchanged.
inline int scoreToTable(int score, int ply) {
    if (score >= MateThreshold && score < ScoreInfinity) return score + ply;
    if (score <= -MateThreshold && score > -ScoreInfinity) return score - ply;
    return score;
}
inline int scoreFromTable(int score, int ply) {
    if (score >= MateThreshold && score < ScoreInfinity) return score - ply;
    if (score <= -MateThreshold && score > -ScoreInfinity) return score + ply;
    return score;
}

// One slot. The bounds are 20-bit two's-complement fields in the low bits of their
// words; the move keeps only its squares, 3 bits of file then 3 bits of rank each.
struct HashEntry {
    std::uint32_t lock;  // hashLockKey of the position stored here
    std::uint8_t depth;  // remaining depth of the result; 0 a leaf
    std::uint8_t from;
    std::uint8_t to;
    std::uint8_t spare;  // aligns the bound words; never written
    std::uint32_t lowerWord;
    std::uint32_t upperWord;

    static constexpr std::uint32_t BoundMask = (1u << 20) - 1;

    // Sign extension of the 20 stored bits.
    static int readBound(std::uint32_t word) { return std::int32_t(word << 12) >> 12; }
    static void writeBound(std::uint32_t& word, int value) {
        word = (word & ~BoundMask) | (std::uint32_t(value) & BoundMask);
    }

    int lower() const { return readBound(lowerWord); }
    int upper() const { return readBound(upperWord); }
    void setLower(int value) { writeBound(lowerWord, value); }
    void setUpper(int value) { writeBound(upperWord, value); }

    // False for "no move" (h8-h8): a repetition mark, a mate or stalemate, a leaf.
    bool hasMove() const { return (from & 0x3F) != 0x3F || (to & 0x3F) != 0x3F; }

    // The stored squares as a quiet queen-promotion move; "no move" reads back as h8-h8,
    // which the generator never produces.
    Move move() const {
        return Move{std::int8_t(from & 7),
                    std::int8_t((from >> 3) & 7),
                    std::int8_t(to & 7),
                    std::int8_t((to >> 3) & 7),
                    KindQuiet,
                    2};
    }
};
static_assert(sizeof(HashEntry) == 16, "the table is sized in 16-byte entries");

// File in bits 0..2, rank in bits 3..5; the -1 of "no move" becomes 7/7.
inline std::uint8_t packSquare(std::int8_t file, std::int8_t rank) {
    return std::uint8_t((file & 7) | (rank & 7) << 3);
}
inline constexpr std::uint8_t SquareBits = 0x3F;

inline HashEntry packHashEntry(std::uint32_t lock, int depth, const Move& move, int lower,
                               int upper) {
    HashEntry entry{};
    entry.lock = lock;
    entry.depth = std::uint8_t(depth);
    entry.from = packSquare(move.fromFile, move.fromRank);
    entry.to = packSquare(move.toFile, move.toRank);
    entry.setLower(lower);
    entry.setUpper(upper);
    return entry;
}

// Bounds of a result v found with the window (alpha, beta) as narrowed at the node:
// above alpha it is a lower bound, below beta also an upper bound; at or below alpha
// only an upper bound.
inline void boundsOfResult(int v, int alpha, int beta, int& lower, int& upper) {
    lower = -ScoreInfinity;
    upper = ScoreInfinity;
    if (v > alpha) {
        lower = v;
        if (v < beta) upper = v;
    } else {
        upper = v;
    }
}

// The largest power of two of 16-byte entries that fits in the memory, at least one
// entry and at most MaxHashEntries (the keys are drawn below a signed 32-bit modulus).
inline constexpr std::uint32_t MaxHashEntries = 1u << 30;
std::uint32_t hashEntryCountFor(std::int64_t memoryBytes);

// A large table is mapped in whole huge pages and goes back by munmap; the rest comes
// from the C allocator and goes back by free.
struct HashMemoryRelease {
    std::size_t mappedBytes = 0;  // 0: from the C allocator
    void operator()(void* memory) const;
};

struct HashTable {
    std::unique_ptr<HashEntry[], HashMemoryRelease> entries;
    // One bit per slot, clear when the slot holds no result of depth 1 or more. Most
    // children an interior node looks up for a cut-off were only ever leaves: this
    // 128th of the table, which stays in the cache, rules them out without a trip to
    // memory. Entries are written through storeHashEntry, which keeps it; a bit may
    // stay set after its slot has gone shallow, never the other way round.
    std::unique_ptr<std::uint64_t[], HashMemoryRelease> deepSlots;
    std::uint32_t entryCount = 0;

    // Zero-filled array of count entries; false (and an empty table) when it cannot be had.
    bool allocate(std::uint32_t count);

    // The index keys are drawn below entryCount; the mask only guards against keys of
    // an older, larger table.
    HashEntry& slot(const Position& position) {
        return entries[position.hashIndexKey & (entryCount - 1)];
    }
    const HashEntry& slot(const Position& position) const {
        return entries[position.hashIndexKey & (entryCount - 1)];
    }
    // The slot when it belongs to the position, else nullptr.
    const HashEntry* probe(const Position& position) const {
        return probe(position.hashIndexKey, position.hashLockKey);
    }
    const HashEntry* probe(std::uint32_t indexKey, std::uint32_t lockKey) const {
        const HashEntry& entry = entries[indexKey & (entryCount - 1)];
        return entry.lock == lockKey ? &entry : nullptr;
    }
    // The slot when it belongs to the position and holds a result of at least depth.
    const HashEntry* probeDeep(std::uint32_t indexKey, std::uint32_t lockKey, int depth) const {
        const std::uint32_t i = indexKey & (entryCount - 1);
        if (depth > 0 && !((deepSlots[i >> 6] >> (i & 63)) & 1)) return nullptr;
        const HashEntry* entry = probe(indexKey, lockKey);
        return entry && entry->depth >= depth ? entry : nullptr;
    }
};

// Another position's slot is taken over; a deeper result replaces, a shallower one is
// dropped, one of equal depth narrows the bounds and takes the new move. force
// overwrites whatever the slot holds (repetition marks).
inline void storeHashEntry(HashTable& table, const Position& position, const HashEntry& entry,
                           bool force) {
    const std::uint32_t i = position.hashIndexKey & (table.entryCount - 1);
    HashEntry& slot = table.entries[i];
    if (force || slot.lock != entry.lock || entry.depth > slot.depth) {
        slot = entry;
        const std::uint64_t bit = std::uint64_t(1) << (i & 63);
        std::uint64_t& word = table.deepSlots[i >> 6];
        word = entry.depth > 0 ? word | bit : word & ~bit;
        return;
    }
    if (entry.depth < slot.depth) return;

    // Same position, same depth: both results hold, so keep the narrower window.
    slot.setLower(std::max(slot.lower(), entry.lower()));
    slot.setUpper(std::min(slot.upper(), entry.upper()));
    slot.from = std::uint8_t((slot.from & ~SquareBits) | (entry.from & SquareBits));
    slot.to = std::uint8_t((slot.to & ~SquareBits) | (entry.to & SquareBits));
}

}  // namespace corvina
