#include "tablebases/cache.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <list>
#include <string>
#include <vector>

#include "file_builder.h"
#include "tablebases/writer.h"

namespace corvina {
namespace {

using testing::tempPath;
using testing::writeTemp;

constexpr int Krk = 4;
constexpr int Kqk = 5;

// Table-like bytes that differ from block to block and never equal 127.
std::vector<std::uint8_t> tableBytes(std::size_t n) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        v[i] = std::uint8_t((i / 8192 * 13 + i % 251 + (i % 7 == 0 ? 60 : 0)) % 120);
    }
    return v;
}

class CacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        releaseTableSides();
        releaseSharedDecoder();
    }
    void TearDown() override {
        setupCache(nullptr, 0);
        releaseTableSides();
        releaseSharedDecoder();
    }
    void useEntries(std::size_t entries) {
        memory_.assign(entries * CacheEntrySize, 0);
        ASSERT_TRUE(setupCache(memory_.data(), memory_.size()));
        ASSERT_EQ(cacheStats().entries, entries);
    }
    std::string plainSide(int id, int side, const std::vector<std::uint8_t>& bytes, const std::string& name) {
        std::string path = writeTemp(name, bytes);
        attachTableSide(id, side, path, nullptr);
        return path;
    }

    std::vector<std::uint8_t> memory_;
};

TEST_F(CacheTest, SizeGivesTheEntryCount) {
    std::vector<std::uint8_t> area(8u << 20);
    EXPECT_TRUE(setupCache(area.data(), area.size()));
    EXPECT_EQ(cacheStats().entries, 1015u);
    EXPECT_TRUE(setupCache(area.data(), 8260));
    EXPECT_EQ(cacheStats().entries, 1u);
    EXPECT_TRUE(setupCache(area.data(), 8259));
    EXPECT_EQ(cacheStats().entries, 0u);
    EXPECT_FALSE(setupCache(area.data(), 31));
    EXPECT_EQ(cacheStats().entries, 0u);
}

TEST_F(CacheTest, NoEntriesReadBrokenWithoutOpeningAFile) {
    plainSide(Krk, 0, tableBytes(100), "nocache.nbw");
    std::vector<std::uint8_t> area(8259);
    for (std::size_t size : {std::size_t(0), area.size()}) {
        setupCache(area.data(), size);
        EXPECT_EQ(readTableEntry(Krk, 0, 5), BrokenEntry);
        EXPECT_EQ(tableSideFiles(Krk, 0).file, nullptr);
        EXPECT_TRUE(tableSidePresent(Krk, 0));
    }
    useEntries(1);
    EXPECT_EQ(readTableEntry(Krk, 0, 5), std::int8_t(tableBytes(100)[5]));
    EXPECT_EQ(readTableEntry(Krk, 1, 5), BrokenEntry);  // never registered
    EXPECT_EQ(readTableEntry(0, 0, 5), BrokenEntry);
}

TEST_F(CacheTest, OneEntryMissesOnAlternatingBlocks) {
    const std::vector<std::uint8_t> bytes = tableBytes(3 * 8192);
    plainSide(Krk, 0, bytes, "alternate.nbw");
    useEntries(1);
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(readTableEntry(Krk, 0, 10), std::int8_t(bytes[10]));
        EXPECT_EQ(readTableEntry(Krk, 0, 8192 + 10), std::int8_t(bytes[8192 + 10]));
    }
    EXPECT_EQ(cacheStats().misses, 6u);
    EXPECT_EQ(cacheStats().hits, 0u);
}

TEST_F(CacheTest, TwoIndicesOfOneBlockAreReadOnce) {
    std::vector<std::uint8_t> bytes = tableBytes(2 * 8192);
    const std::string path = plainSide(Krk, 0, bytes, "sameblock.nbw");
    useEntries(4);
    EXPECT_EQ(readTableEntry(Krk, 0, 8192 + 1), std::int8_t(bytes[8192 + 1]));
    // Change the file: the second index of the block comes from the cache.
    std::vector<std::uint8_t> changed(bytes.size(), 33);
    writeTemp("sameblock.nbw", changed);
    EXPECT_EQ(readTableEntry(Krk, 0, 8192 + 8191), std::int8_t(bytes[8192 + 8191]));
    EXPECT_EQ(cacheStats().misses, 1u);
    EXPECT_EQ(cacheStats().hits, 1u);
    // After a reset the block is read again, from a newly opened file.
    EXPECT_NE(tableSideFiles(Krk, 0).file, nullptr);
    resetCache();
    EXPECT_EQ(tableSideFiles(Krk, 0).file, nullptr);
    EXPECT_EQ(readTableEntry(Krk, 0, 8192 + 8191), 33);
}

TEST_F(CacheTest, BlocksThirtyTwoApartShareABucketButNotAnEntry) {
    const std::vector<std::uint8_t> bytes = tableBytes(65 * 8192);
    plainSide(Krk, 0, bytes, "bucket.nbw");
    plainSide(Kqk, 1, bytes, "bucket.nbb");
    useEntries(8);
    const std::uint32_t indices[] = {3, 32 * 8192 + 3, 64 * 8192 + 3};
    for (int round = 0; round < 3; ++round) {
        for (std::uint32_t index : indices) {
            ASSERT_EQ(readTableEntry(Krk, 0, index), std::int8_t(bytes[index])) << index;
        }
    }
    EXPECT_EQ(cacheStats().misses, 3u);
    EXPECT_EQ(cacheStats().hits, 6u);
    // The same block number of another side is another entry.
    EXPECT_EQ(readTableEntry(Kqk, 1, 3), std::int8_t(bytes[3]));
    EXPECT_EQ(cacheStats().misses, 4u);
}

// Random reads against a model of a least-recently-used cache: every value and
// the number of misses must agree.
TEST_F(CacheTest, EvictsTheLeastRecentlyUsedBlock) {
    const std::vector<std::uint8_t> bytes = tableBytes(6 * 32 * 8192 + 2 * 8192);
    plainSide(Krk, 0, bytes, "lru.nbw");
    plainSide(Krk, 1, bytes, "lru.nbb");
    const std::size_t entries = 5;
    useEntries(entries);
    std::list<std::pair<int, std::uint32_t>> model;  // newest first
    std::uint64_t misses = 0;
    std::uint32_t seed = 11;
    for (int i = 0; i < 3000; ++i) {
        seed = seed * 1664525u + 1013904223u;
        // Few blocks, many sharing buckets, so that hits, chain moves and evictions all occur.
        const std::uint32_t block = ((seed >> 16) % 7) * 32 + (seed >> 28) % 2;
        const int side = (seed >> 12) & 1;
        const std::uint32_t index = block * 8192 + (seed >> 3) % 8192;
        ASSERT_EQ(readTableEntry(Krk, side, index), std::int8_t(bytes[index])) << i;
        auto it = std::find(model.begin(), model.end(), std::make_pair(side, block));
        if (it != model.end()) {
            model.erase(it);
        } else {
            ++misses;
            if (model.size() == entries) {
                model.pop_back();
            }
        }
        model.emplace_front(side, block);
        ASSERT_EQ(cacheStats().misses, misses) << i;
    }
    EXPECT_GT(cacheStats().hits, 100u);
}

TEST_F(CacheTest, ShortReadAtTheEndOfAPlainFileIsFine) {
    const std::vector<std::uint8_t> bytes = tableBytes(8192 + 100);
    plainSide(Krk, 0, bytes, "short.nbw");
    useEntries(2);
    EXPECT_EQ(readTableEntry(Krk, 0, 8192 + 99), std::int8_t(bytes[8192 + 99]));
    EXPECT_EQ(readTableEntry(Krk, 0, 8192), std::int8_t(bytes[8192]));
    EXPECT_TRUE(tableSidePresent(Krk, 0));
}

TEST_F(CacheTest, DeletedFileWithdrawsItsSide) {
    const std::vector<std::uint8_t> bytes = tableBytes(8192);
    const std::string gone = plainSide(Krk, 0, bytes, "deleted.nbw");
    plainSide(Kqk, 0, bytes, "kept.nbw");
    useEntries(1);
    std::remove(gone.c_str());
    EXPECT_EQ(readTableEntry(Krk, 0, 7), BrokenEntry);
    EXPECT_FALSE(tableSidePresent(Krk, 0));
    EXPECT_EQ(readTableEntry(Krk, 0, 7), BrokenEntry);
    // The failed fill gave its entry back: the one entry still serves another side.
    EXPECT_EQ(readTableEntry(Kqk, 0, 7), std::int8_t(bytes[7]));
    EXPECT_TRUE(tableSidePresent(Kqk, 0));
}

TEST_F(CacheTest, CompressedSidesReadThroughTheDecoder) {
    const std::vector<std::uint8_t> bytes = tableBytes(5 * 8192 + 1234);
    std::vector<std::uint8_t> file = compressTableData(bytes.data(), bytes.size());
    auto attach = [&](int id, const std::vector<std::uint8_t>& image, const std::string& name) {
        std::string path = writeTemp(name, image);
        std::FILE* f = std::fopen(path.c_str(), "rb");
        std::unique_ptr<CompressedFileInfo> info;
        ASSERT_EQ(openCompressedFile(f, false, &info), 0);
        std::fclose(f);
        attachTableSide(id, 0, path, std::move(info));
    };
    attach(Krk, file, "compressed.nbw.emd");
    useEntries(3);
    // Without the shared decoder a compressed side cannot be read.
    EXPECT_EQ(readTableEntry(Krk, 0, 0), BrokenEntry);
    EXPECT_FALSE(tableSidePresent(Krk, 0));

    attach(Krk, file, "compressed.nbw.emd");
    ASSERT_EQ(createSharedDecoder(), 0);
    EXPECT_GT(sharedDecoderBytes(), 8192u);
    for (std::uint32_t index = 0; index < bytes.size(); index += 997) {
        ASSERT_EQ(readTableEntry(Krk, 0, index), std::int8_t(bytes[index])) << index;
    }
    EXPECT_EQ(readTableEntry(Krk, 0, std::uint32_t(bytes.size() - 1)), std::int8_t(bytes.back()));
    // An index past the last block fails and withdraws the side.
    EXPECT_EQ(readTableEntry(Krk, 0, 6 * 8192), BrokenEntry);
    EXPECT_FALSE(tableSidePresent(Krk, 0));

    // A file cut short inside its last block: that block cannot be read.
    std::vector<std::uint8_t> cut(file.begin(), file.end() - 3);
    attach(Kqk, cut, "cut.nbw.emd");
    EXPECT_EQ(readTableEntry(Kqk, 0, 0), std::int8_t(bytes[0]));
    EXPECT_EQ(readTableEntry(Kqk, 0, 5 * 8192 + 5), BrokenEntry);
    EXPECT_FALSE(tableSidePresent(Kqk, 0));
}

// The lowest free descriptor: the next file opened gets it.
int lowestFreeDescriptor() {
    int fd = dup(0);
    close(fd);
    return fd;
}

TEST_F(CacheTest, OpenFailureClosesAllFilesAndRetries) {
    const std::vector<std::uint8_t> bytes = tableBytes(8192);
    plainSide(Krk, 0, bytes, "limit.nbw");
    plainSide(Krk, 1, bytes, "limit.nbb");
    useEntries(4);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit tight = saved;
    tight.rlim_cur = rlim_t(lowestFreeDescriptor() + 1);  // room for one table file
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    const std::int8_t first = readTableEntry(Krk, 0, 1);
    const bool firstOpen = tableSideFiles(Krk, 0).file != nullptr;
    const std::int8_t second = readTableEntry(Krk, 1, 2);
    const bool firstClosed = tableSideFiles(Krk, 0).file == nullptr;
    setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(first, std::int8_t(bytes[1]));
    EXPECT_TRUE(firstOpen);
    EXPECT_EQ(second, std::int8_t(bytes[2]));
    EXPECT_TRUE(firstClosed);
    EXPECT_TRUE(tableSidePresent(Krk, 1));
}

TEST_F(CacheTest, ReleasingSidesForgetsTheirBlocks) {
    const std::vector<std::uint8_t> bytes = tableBytes(8192);
    plainSide(Krk, 0, bytes, "old.nbw");
    useEntries(2);
    EXPECT_EQ(readTableEntry(Krk, 0, 9), std::int8_t(bytes[9]));
    releaseTableSides();
    EXPECT_FALSE(tableSidePresent(Krk, 0));
    EXPECT_EQ(readTableEntry(Krk, 0, 9), BrokenEntry);
    // Registered again with another file, the side must not see the old block.
    plainSide(Krk, 0, std::vector<std::uint8_t>(8192, 77), "new.nbw");
    EXPECT_EQ(readTableEntry(Krk, 0, 9), 77);
}

}  // namespace
}  // namespace corvina
