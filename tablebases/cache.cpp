// Tablebase block cache: an LRU of 8192-byte blocks in one memory area, with
// 32 hash chains per table side, and the lazily opened table files.
#include "tablebases/cache.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace corvina {

namespace {

constexpr std::int32_t None = -1;

struct BlockCache {
    TableSideFiles sides[TableSlotCount][2];
    std::uint8_t* memory = nullptr;
    std::uint32_t entryCount = 0;  // 0: cache off
    std::int32_t oldest = None;
    std::int32_t newest = None;
    std::int32_t firstFree = None;
    std::unique_ptr<BlockDecoder> decoder;
    std::uint64_t hits = 0;
    std::uint64_t misses = 0;

    CacheEntry& entry(std::int32_t i) { return reinterpret_cast<CacheEntry*>(memory)[i]; }
    std::uint8_t* data(const CacheEntry& e) { return memory + e.dataOffset; }
};

BlockCache& cache() {
    static BlockCache instance;
    return instance;
}

bool validSide(int id, int side) { return id > 0 && id < TableSlotCount && (side == 0 || side == 1); }

void closeFiles(BlockCache& c) {
    for (auto& record : c.sides) {
        for (auto& s : record) {
            if (s.file != nullptr) {
                std::fclose(s.file);
                s.file = nullptr;
            }
        }
    }
}

void unlinkRecency(BlockCache& c, std::int32_t i) {
    CacheEntry& e = c.entry(i);
    if (e.older != None) {
        c.entry(e.older).newer = e.newer;
    } else {
        c.oldest = e.newer;
    }
    if (e.newer != None) {
        c.entry(e.newer).older = e.older;
    } else {
        c.newest = e.older;
    }
}

void linkNewest(BlockCache& c, std::int32_t i) {
    CacheEntry& e = c.entry(i);
    e.older = c.newest;
    e.newer = None;
    if (c.newest != None) {
        c.entry(c.newest).newer = i;
    } else {
        c.oldest = i;
    }
    c.newest = i;
}

void unlinkChain(BlockCache& c, std::int32_t i, std::int32_t& head) {
    CacheEntry& e = c.entry(i);
    if (e.chainPrev != None) {
        c.entry(e.chainPrev).chainNext = e.chainNext;
    } else {
        head = e.chainNext;
    }
    if (e.chainNext != None) {
        c.entry(e.chainNext).chainPrev = e.chainPrev;
    }
}

void linkChainHead(BlockCache& c, std::int32_t i, std::int32_t& head) {
    CacheEntry& e = c.entry(i);
    e.chainPrev = None;
    e.chainNext = head;
    if (head != None) {
        c.entry(head).chainPrev = i;
    }
    head = i;
}

std::int32_t& bucketHead(TableSideFiles& s, std::uint32_t start) {
    return s.bucketHeads[(start / CacheBlockSize) % CacheBucketCount];
}

// Reads block `block` of a side into data. False on any failure.
bool fillBlock(BlockCache& c, TableSideFiles& s, std::uint32_t block, std::uint8_t* data) {
    if (s.file == nullptr) {
        if (s.fileName.empty()) {
            return false;
        }
        s.file = std::fopen(s.fileName.c_str(), "rb");
        if (s.file == nullptr) {
            // Perhaps too many open files: give all of them back and try once more.
            closeFiles(c);
            s.file = std::fopen(s.fileName.c_str(), "rb");
            if (s.file == nullptr) {
                return false;
            }
        }
    }
    if (s.info) {
        const CompressedFileInfo& info = *s.info;
        if (!c.decoder || info.blockSize != CacheBlockSize) {
            return false;
        }
        // With the checksums of the block loaded, a damaged block is an error here
        // instead of bytes that would be taken for results.
        return initBlockDecoder(c.decoder.get(), data) == 0 &&
               readBlock(c.decoder.get(), info, s.file, block) == 0 &&
               decodeBlock(c.decoder.get(), info, info.decompressedSize(block), true) == 0;
    }
    const std::uint64_t start = std::uint64_t(block) * CacheBlockSize;
    if (std::fseek(s.file, long(start), SEEK_SET) != 0) {
        return false;
    }
    std::clearerr(s.file);
    // A short read at the end of the file is fine; no valid index lies past it. But a
    // file cut after it was attached must not leave stale bytes to be read as results.
    const std::size_t needed =
        s.length > start ? std::size_t(std::min<std::uint64_t>(CacheBlockSize, s.length - start)) : 0;
    std::size_t got = std::fread(data, 1, CacheBlockSize, s.file);
    return got >= needed && (got == CacheBlockSize || !std::ferror(s.file));
}

}  // namespace

TableSideFiles& tableSideFiles(int id, int side) { return cache().sides[id][side]; }

bool tableSidePresent(int id, int side) {
    return validSide(id, side) && !cache().sides[id][side].fileName.empty();
}

void attachTableSide(int id, int side, const std::string& path,
                     std::unique_ptr<CompressedFileInfo> info) {
    BlockCache& c = cache();
    TableSideFiles& s = c.sides[id][side];
    if (s.hasBuckets) {
        // Blocks cached for an earlier file of this side must not be found again.
        resetCache();
    }
    if (s.file != nullptr) {
        std::fclose(s.file);
        s.file = nullptr;
    }
    s.fileName = path;
    std::error_code error;
    const std::uintmax_t length = info ? 0 : std::filesystem::file_size(path, error);
    s.length = error ? 0 : std::uint64_t(length);
    s.info = std::move(info);
    s.hasBuckets = true;
    s.bucketHeads.fill(None);
}

void withdrawTableSide(int id, int side) {
    if (validSide(id, side)) {
        cache().sides[id][side].fileName.clear();
    }
}

void releaseTableSides() {
    BlockCache& c = cache();
    closeFiles(c);
    for (auto& record : c.sides) {
        for (auto& s : record) {
            s.fileName.clear();
            s.info.reset();
            s.length = 0;
            s.hasBuckets = false;
            s.bucketHeads.fill(None);
        }
    }
    resetCache();
}

int createSharedDecoder() {
    BlockCache& c = cache();
    c.decoder.reset();
    return createBlockDecoder(CacheBlockSize, &c.decoder);
}

void releaseSharedDecoder() { cache().decoder.reset(); }

std::size_t sharedDecoderBytes() {
    const BlockCache& c = cache();
    return c.decoder ? blockDecoderBytes(*c.decoder) : 0;
}

bool setupCache(std::uint8_t* memory, std::size_t size) {
    BlockCache& c = cache();
    closeFiles(c);
    c.entryCount = 0;
    c.newest = None;
    c.oldest = None;
    c.firstFree = None;
    c.memory = nullptr;
    if (memory == nullptr || size < sizeof(CacheEntry)) {
        return false;
    }
    // Entry headers hold 32-bit fields; start them on a 4-byte boundary.
    std::size_t skew = (alignof(CacheEntry) - reinterpret_cast<std::uintptr_t>(memory) % alignof(CacheEntry)) %
                       alignof(CacheEntry);
    if (skew != 0) {
        memory += skew;
        size -= skew;
    }
    c.memory = memory;
    // A header finds its data area by a 32-bit offset: a cache beyond 4 GiB would wrap
    // it onto other entries, so the rest of a larger area stays unused.
    constexpr std::size_t MaxEntries = std::size_t(0xFFFFFFFFu) / CacheEntrySize;
    c.entryCount = std::uint32_t(std::min(size / CacheEntrySize, MaxEntries));
    resetCache();
    return true;
}

void resetCache() {
    BlockCache& c = cache();
    if (c.entryCount == 0) {
        return;
    }
    closeFiles(c);
    const std::uint32_t headers = c.entryCount * std::uint32_t(sizeof(CacheEntry));
    for (std::uint32_t i = 0; i < c.entryCount; ++i) {
        CacheEntry& e = c.entry(std::int32_t(i));
        e.tableId = 0;
        e.side = 0;
        e.start = 0;
        e.older = i + 1 < c.entryCount ? std::int32_t(i + 1) : None;
        e.newer = None;
        e.chainNext = None;
        e.chainPrev = None;
        e.dataOffset = headers + CacheDataSize * i;
    }
    c.firstFree = 0;
    for (auto& record : c.sides) {
        for (auto& s : record) {
            s.bucketHeads.fill(None);
        }
    }
    c.oldest = None;
    c.newest = None;
    c.hits = 0;
    c.misses = 0;
}

void closeAllTableFiles() { closeFiles(cache()); }

std::int8_t readTableEntry(int id, int side, std::uint32_t index) {
    BlockCache& c = cache();
    if (c.entryCount == 0 || !validSide(id, side) || !c.sides[id][side].hasBuckets) {
        return BrokenEntry;
    }
    TableSideFiles& s = c.sides[id][side];
    const std::uint32_t block = index / CacheBlockSize;
    const std::uint32_t start = block * CacheBlockSize;
    std::int32_t& head = bucketHead(s, start);

    for (std::int32_t i = head; i != None; i = c.entry(i).chainNext) {
        CacheEntry& e = c.entry(i);
        if (e.start == start) {
            ++c.hits;
            if (i != c.newest) {
                unlinkRecency(c, i);
                linkNewest(c, i);
            }
            if (i != head) {
                unlinkChain(c, i, head);
                linkChainHead(c, i, head);
            }
            return std::int8_t(c.data(e)[index - start]);
        }
    }

    ++c.misses;
    std::int32_t i = c.firstFree;
    if (i != None) {
        c.firstFree = c.entry(i).older;
    } else {
        i = c.oldest;
        unlinkRecency(c, i);
        CacheEntry& victim = c.entry(i);
        TableSideFiles& owner = c.sides[victim.tableId][victim.side];
        unlinkChain(c, i, bucketHead(owner, victim.start));
    }
    CacheEntry& e = c.entry(i);
    e.tableId = id;
    e.side = side;
    e.start = start;
    std::uint8_t* data = c.data(e);
    if (!fillBlock(c, s, block, data)) {
        s.fileName.clear();
        e.older = c.firstFree;
        e.newer = None;
        e.chainNext = None;
        e.chainPrev = None;
        c.firstFree = i;
        return BrokenEntry;
    }
    linkNewest(c, i);
    linkChainHead(c, i, head);
    return std::int8_t(data[index - start]);
}

CacheStats cacheStats() {
    const BlockCache& c = cache();
    return CacheStats{c.entryCount, c.hits, c.misses};
}

}  // namespace corvina
