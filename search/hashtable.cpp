#include "search/hashtable.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#endif

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

void HashMemoryRelease::operator()(void* memory) const { std::free(memory); }

bool HashTable::allocate(std::uint32_t count) {
    entries.reset();
    deepSlots.reset();
    entryCount = 0;
    // Every probe reads one random slot: in 4 KiB pages nearly each one also misses the
    // page-table cache. A table of whole 2 MiB pages asks for huge pages before the
    // zero-fill touches it; a system without them just ignores the advice.
    constexpr std::size_t HugePage = std::size_t(2) << 20;
    const std::size_t bytes = std::size_t(count) * sizeof(HashEntry);
    const bool huge = bytes >= HugePage;  // then a multiple of it: count is a power of two
    void* memory = huge ? std::aligned_alloc(HugePage, bytes) : std::malloc(bytes);
    if (!memory) return false;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (huge) madvise(memory, bytes, MADV_HUGEPAGE);
#endif
    std::memset(memory, 0, bytes);
    entries.reset(static_cast<HashEntry*>(memory));
    deepSlots.reset(static_cast<std::uint64_t*>(std::calloc((count + 63) / 64, 8)));
    if (!deepSlots) {
        entries.reset();
        return false;
    }
    entryCount = count;
    return true;
}

void storeHashEntry(HashTable& table, const Position& position, const HashEntry& entry,
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
