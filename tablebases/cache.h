// Tablebase block cache: recently used 8192-byte blocks of table data in one
// memory area, and the table files it reads them from.
//
// The registry attaches each table side it finds (file name, compressed-file
// information) here; the cache opens the files lazily on a miss and withdraws a
// side (clears its file name) when reading from it fails. All of this state is
// process-wide: one cache, one set of table sides, one shared decoder.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "tablebases/decoder.h"

namespace corvina {

inline constexpr int TableSlotCount = 111;  // table ids 0..110; id 0 ("kk") is never used
inline constexpr int CacheBucketCount = 32;
inline constexpr std::uint32_t CacheBlockSize = 8192;
inline constexpr std::uint32_t CacheDataSize = 8228;   // a block plus room for the decoder's overrun
inline constexpr std::uint32_t CacheEntrySize = 8260;  // header plus data area
inline constexpr std::int8_t BrokenEntry = 127;

// Header of one cache entry. Links are entry numbers (-1 for none), so that a
// header takes 32 bytes whatever the width of a pointer.
struct CacheEntry {
    std::int32_t tableId;
    std::int32_t side;
    std::uint32_t start;  // index of the block's first byte
    std::int32_t older;   // recency list; on the free list: the next free entry
    std::int32_t newer;
    std::int32_t chainNext;
    std::int32_t chainPrev;
    std::uint32_t dataOffset;  // of the data area, from the start of the memory area
};
static_assert(sizeof(CacheEntry) == 32);

// One table side as the cache sees it. Present exactly when fileName is set.
struct TableSideFiles {
    std::string fileName;
    std::FILE* file = nullptr;                 // null until the first miss opens it
    std::unique_ptr<CompressedFileInfo> info;  // null for a plain file
    std::uint64_t length = 0;                  // of a plain file when attached; 0 unknown
    bool hasBuckets = false;
    std::array<std::int32_t, CacheBucketCount> bucketHeads{};
};

struct CacheStats {
    std::uint32_t entries = 0;
    std::uint64_t hits = 0;
    std::uint64_t misses = 0;
};

// The side's record; id 0..110, side 0 (white to move) or 1.
TableSideFiles& tableSideFiles(int id, int side);
bool tableSidePresent(int id, int side);
// Registers a side: sets its file name and info and gives it empty buckets.
void attachTableSide(int id, int side, const std::string& path,
                     std::unique_ptr<CompressedFileInfo> info);
// Clears the side's file name; later probes see no table.
void withdrawTableSide(int id, int side);
// Closes every file and frees every side's name, info and buckets. Cached
// blocks belong to the released sides, so the cache is emptied too.
void releaseTableSides();

// The decoder shared by all compressed sides. Returns an error code.
int createSharedDecoder();
void releaseSharedDecoder();
std::size_t sharedDecoderBytes();  // 0 when there is none

// Hands the cache its memory area (not owned; it must stay valid until the next
// setupCache). Fewer than 32 bytes turn the cache off and return false.
bool setupCache(std::uint8_t* memory, std::size_t size);
void resetCache();
void closeAllTableFiles();
// The byte at index of a table side; 127 when it cannot be read.
std::int8_t readTableEntry(int id, int side, std::uint32_t index);

CacheStats cacheStats();

}  // namespace corvina
