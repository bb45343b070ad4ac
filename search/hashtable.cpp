#include "search/hashtable.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace corvina {

std::uint32_t hashEntryCountFor(std::int64_t memoryBytes) {
    const std::int64_t n = memoryBytes / std::int64_t(sizeof(HashEntry));
    if (n < 1) return 1;
    return std::uint32_t(std::bit_floor(std::uint64_t(std::min<std::int64_t>(n, MaxHashEntries))));
}

void HashMemoryRelease::operator()(void* memory) const {
#if defined(__linux__)
    if (mappedBytes) {
        munmap(memory, mappedBytes);
        return;
    }
#endif
    std::free(memory);
}

namespace {

constexpr std::size_t HugePage = std::size_t(2) << 20;

// Whole 2 MiB pages, aligned to one, that arrive zero-filled and are only faulted in as
// the search touches them; nullptr when they cannot be had.
void* mapHugePages(std::size_t bytes) {
#if defined(__linux__)
    const std::size_t span = bytes + HugePage;
    void* mapped = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return nullptr;
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + HugePage - 1) & ~std::uintptr_t(HugePage - 1);
    if (aligned > start) munmap(mapped, aligned - start);
    if (const std::size_t tail = start + span - (aligned + bytes)) {
        munmap(reinterpret_cast<void*>(aligned + bytes), tail);
    }
    void* memory = reinterpret_cast<void*>(aligned);
#if defined(MADV_HUGEPAGE)
    madvise(memory, bytes, MADV_HUGEPAGE);
#endif
    return memory;
#else
    void* memory = std::aligned_alloc(HugePage, bytes);
    if (memory) std::memset(memory, 0, bytes);
    return memory;
#endif
}

}  // namespace

bool HashTable::allocate(std::uint32_t count) {
    entries.reset();
    deepSlots.reset();
    entryCount = 0;
    // Every probe reads one random slot: in 4 KiB pages nearly each one also misses the
    // page-table cache. A table of whole 2 MiB pages asks for huge pages before anything
    // touches it; a system without them just ignores the advice.
    const std::size_t bytes = std::size_t(count) * sizeof(HashEntry);
    const bool huge = bytes >= HugePage;  // then a multiple of it: count is a power of two
    void* memory = huge ? mapHugePages(bytes) : std::calloc(count, sizeof(HashEntry));
    if (!memory) return false;
    entries = std::unique_ptr<HashEntry[], HashMemoryRelease>(static_cast<HashEntry*>(memory),
                                                              HashMemoryRelease{huge ? bytes : 0});
    deepSlots.reset(static_cast<std::uint64_t*>(std::calloc((count + 63) / 64, 8)));
    if (!deepSlots) {
        entries.reset();
        return false;
    }
    entryCount = count;
    return true;
}

}  // namespace corvina
