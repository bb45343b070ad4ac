#include "search/hashtable.h"

#include <algorithm>
#include <bit>
#include <new>

namespace corvina {

namespace {

// File in bits 0..2, rank in bits 3..5; the -1 of "no move" becomes 7/7.
std::uint8_t packSquare(std::int8_t file, std::int8_t rank) {
    return std::uint8_t((file & 7) | (rank & 7) << 3);
}

constexpr std::uint8_t SquareBits = 0x3F;

}  // namespace

HashEntry packHashEntry(std::uint32_t lock, int depth, const Move& move, int lower, int upper) {
    HashEntry entry{};
    entry.lock = lock;
    entry.depth = std::uint8_t(depth);
    entry.from = packSquare(move.fromFile, move.fromRank);
    entry.to = packSquare(move.toFile, move.toRank);
    entry.setLower(lower);
    entry.setUpper(upper);
    return entry;
}

void boundsOfResult(int v, int alpha, int beta, int& lower, int& upper) {
    lower = -ScoreInfinity;
    upper = ScoreInfinity;
    if (v > alpha) {
        lower = v;
        if (v < beta) upper = v;
    } else {
        upper = v;
    }
}

std::uint32_t hashEntryCountFor(std::int64_t memoryBytes) {
    const std::int64_t n = memoryBytes / std::int64_t(sizeof(HashEntry));
    if (n < 1) return 1;
    return std::uint32_t(std::bit_floor(std::uint64_t(std::min<std::int64_t>(n, MaxHashEntries))));
}

bool HashTable::allocate(std::uint32_t count) {
    entries.reset(new (std::nothrow) HashEntry[count]());
    entryCount = entries ? count : 0;
    return entries != nullptr;
}

void storeHashEntry(HashTable& table, const Position& position, const HashEntry& entry,
                    bool force) {
    HashEntry& slot = table.slot(position);
    if (force || slot.lock != entry.lock || entry.depth > slot.depth) {
        slot = entry;
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
