#include "tablebases/writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "file_builder.h"
#include "tablebases/decoder.h"

namespace corvina {
namespace {

using testing::OpenedFile;

std::vector<std::uint8_t> randomBytes(std::size_t n, std::uint32_t seed) {
    std::vector<std::uint8_t> v(n);
    for (auto& b : v) {
        seed = seed * 1664525u + 1013904223u;
        b = std::uint8_t(seed >> 24);
    }
    return v;
}

std::vector<std::uint8_t> longRuns(std::size_t n) {
    std::vector<std::uint8_t> v(n);
    std::uint32_t seed = 7;
    for (std::size_t i = 0; i < n;) {
        seed = seed * 1664525u + 1013904223u;
        std::size_t run = 200 + (seed >> 20) % 5000;
        std::uint8_t value = std::uint8_t(seed >> 8);
        for (std::size_t k = 0; k < run && i < n; ++k) {
            v[i++] = value;
        }
    }
    return v;
}

std::vector<std::uint8_t> shortPeriods(std::size_t n) {
    std::vector<std::uint8_t> v(n);
    const int periods[] = {2, 3, 5, 7, 13, 64};
    for (std::size_t i = 0; i < n; ++i) {
        int p = periods[(i / 3000) % 6];
        v[i] = std::uint8_t((i % std::size_t(p)) * 37 + p);
    }
    return v;
}

// Bytes shaped like a king-and-pawn table: for each pawn square, white king
// and black king square a distance byte (positive: the side to move wins in
// 127 - b), a draw (0) or a broken position (-128), laid out by squares so
// that neighbouring indices differ in the black king's square.
std::vector<std::uint8_t> kpkLike() {
    std::vector<std::uint8_t> v;
    auto distance = [](int a, int b) {
        return std::max(std::abs(a % 8 - b % 8), std::abs(a / 8 - b / 8));
    };
    for (int pawn = 8; pawn < 56; ++pawn) {
        if (pawn % 8 > 3) {
            continue;
        }
        const int queening = 56 + pawn % 8;
        const int steps = 7 - pawn / 8 - (pawn / 8 == 1 ? 1 : 0);
        for (int wk = 0; wk < 64; ++wk) {
            for (int bk = 0; bk < 64; ++bk) {
                std::int8_t b;
                if (wk == pawn || bk == pawn || wk == bk || distance(wk, bk) < 2) {
                    b = -128;
                } else if (distance(bk, queening) > steps + 1) {
                    b = std::int8_t(127 - (steps + 2 + distance(wk, pawn) / 2));
                } else if (distance(wk, pawn) <= 1 && wk / 8 > pawn / 8 && pawn % 8 != 0) {
                    b = std::int8_t(127 - (steps + 8 + distance(bk, pawn)));
                } else {
                    b = 0;
                }
                v.push_back(std::uint8_t(b));
            }
        }
    }
    v.resize(81664);
    return v;
}

// Compresses, reads the file back with verification and checks every block.
void expectRoundTrip(const std::vector<std::uint8_t>& data, int blockBits, const std::string& name) {
    CompressionStats stats;
    std::vector<std::uint8_t> file = compressTableData(data.data(), data.size(), blockBits, &stats);
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(stats.outputBytes, file.size());
    OpenedFile f(name, file, true);
    ASSERT_EQ(f.code, 0) << name;
    const std::uint32_t blockSize = 1u << blockBits;
    ASSERT_EQ(f.info->blockCount, (data.size() + blockSize - 1) / blockSize);
    EXPECT_EQ((f.info->blockCount - 1) * blockSize + f.info->lastBlockSize, data.size());
    std::unique_ptr<BlockDecoder> decoder;
    ASSERT_EQ(createBlockDecoder(blockSize, &decoder), 0);
    std::vector<std::uint8_t> out(blockSize + OutputOverrun);
    for (std::uint32_t k = 0; k < f.info->blockCount; ++k) {
        ASSERT_EQ(initBlockDecoder(decoder.get(), out.data()), 0);
        ASSERT_EQ(readBlock(decoder.get(), *f.info, f.file, k), 0) << name << " block " << k;
        const std::uint32_t size = f.info->decompressedSize(k);
        ASSERT_EQ(decodeBlock(decoder.get(), *f.info, size, true), 0) << name << " block " << k;
        ASSERT_EQ(std::memcmp(out.data(), data.data() + std::size_t(k) * blockSize, size), 0)
            << name << " block " << k;
    }
}

TEST(Writer, FileStartsWithTheEnginesSignature) {
    std::vector<std::uint8_t> data = shortPeriods(100);
    std::vector<std::uint8_t> file = compressTableData(data.data(), data.size());
    ASSERT_GE(file.size(), 64u);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 58), std::string(CorvinaSignatureText));
    EXPECT_TRUE(isSignature(file.data()));
    EXPECT_TRUE(compressTableData(data.data(), 0).empty());
    EXPECT_TRUE(compressTableData(data.data(), data.size(), 17).empty());
}

TEST(Writer, RoundTripsVariedData) {
    expectRoundTrip(randomBytes(3 * 8192 + 100, 1), 13, "random.emd");
    expectRoundTrip(longRuns(70000), 13, "runs.emd");
    expectRoundTrip(shortPeriods(50000), 13, "periods.emd");
    expectRoundTrip(kpkLike(), 13, "kpklike.emd");
    expectRoundTrip(std::vector<std::uint8_t>(2 * 8192, 0), 13, "zeros.emd");
    expectRoundTrip(std::vector<std::uint8_t>(1, 42), 13, "onebyte.emd");
    expectRoundTrip(std::vector<std::uint8_t>(8193, 9), 13, "fullplusone.emd");
}

TEST(Writer, RoundTripsOtherBlockSizes) {
    expectRoundTrip(kpkLike(), 4, "kpk4.emd");
    expectRoundTrip(shortPeriods(20000), 8, "periods8.emd");
    expectRoundTrip(longRuns(200000), 16, "runs16.emd");
    expectRoundTrip(randomBytes(70000, 5), 16, "random16.emd");
}

TEST(Writer, StoresIncompressibleBlocksRawAndCompressesTableData) {
    CompressionStats random;
    std::vector<std::uint8_t> noise = randomBytes(5 * 8192, 3);
    compressTableData(noise.data(), noise.size(), 13, &random);
    // Noise does not shrink: most blocks go raw and the file is the data plus its header.
    EXPECT_GE(random.rawBlocks, 1u);
    EXPECT_LE(random.outputBytes, noise.size() + 400);

    CompressionStats zeros;
    std::vector<std::uint8_t> blank(4 * 8192, 0);
    compressTableData(blank.data(), blank.size(), 13, &zeros);
    EXPECT_EQ(zeros.rawBlocks, 0u);
    EXPECT_LT(zeros.outputBytes, 200u);

    CompressionStats table;
    std::vector<std::uint8_t> kpk = kpkLike();
    compressTableData(kpk.data(), kpk.size(), 13, &table);
    EXPECT_EQ(table.rawBlocks, 0u);
    EXPECT_LT(table.outputBytes * 5, kpk.size());  // better than 5:1
}

TEST(Writer, BlocksDecodeInPiecesAsWhole) {
    std::vector<std::uint8_t> data = kpkLike();
    std::vector<std::uint8_t> file = compressTableData(data.data(), data.size());
    OpenedFile f("pieces.emd", file);
    ASSERT_EQ(f.code, 0);
    std::unique_ptr<BlockDecoder> decoder;
    ASSERT_EQ(createBlockDecoder(8192, &decoder), 0);
    std::vector<std::uint8_t> out(8192 + OutputOverrun);
    for (std::uint32_t k = 0; k < f.info->blockCount; k += 3) {
        ASSERT_EQ(initBlockDecoder(decoder.get(), out.data()), 0);
        ASSERT_EQ(readBlock(decoder.get(), *f.info, f.file, k), 0);
        const std::uint32_t size = f.info->decompressedSize(k);
        for (std::uint32_t n = 1; n < size; n += 1 + n / 3) {
            ASSERT_EQ(decodeBlock(decoder.get(), *f.info, n, false), 0);
            ASSERT_EQ(std::memcmp(out.data(), data.data() + std::size_t(k) * 8192, n), 0)
                << "block " << k << " first " << n;
        }
        ASSERT_EQ(decodeBlock(decoder.get(), *f.info, size, false), 0);
        ASSERT_EQ(std::memcmp(out.data(), data.data() + std::size_t(k) * 8192, size), 0);
    }
}

// Damaged block data must give a wrong block or a broken-file code, never a
// read or write outside the buffers (the sanitizer build checks the latter).
TEST(Writer, DamagedBlocksFailSafely) {
    std::vector<std::uint8_t> data = kpkLike();
    const std::vector<std::uint8_t> file = compressTableData(data.data(), data.size());
    const std::uint32_t header = testing::headerSizeOf(file);
    std::unique_ptr<BlockDecoder> decoder;
    ASSERT_EQ(createBlockDecoder(8192, &decoder), 0);
    std::vector<std::uint8_t> out(8192 + OutputOverrun);
    std::uint32_t seed = 99;
    int broken = 0;
    for (int trial = 0; trial < 40; ++trial) {
        std::vector<std::uint8_t> damaged = file;
        for (int k = 0; k < 1 + trial % 4; ++k) {
            seed = seed * 1664525u + 1013904223u;
            damaged[header + (seed >> 8) % (damaged.size() - header)] ^= std::uint8_t(1 + (seed >> 3) % 255);
        }
        OpenedFile f("damaged.emd", damaged);
        ASSERT_EQ(f.code, 0);
        for (std::uint32_t k = 0; k < f.info->blockCount; ++k) {
            ASSERT_EQ(initBlockDecoder(decoder.get(), out.data()), 0);
            ASSERT_EQ(readBlock(decoder.get(), *f.info, f.file, k), 0);
            int code = decodeBlock(decoder.get(), *f.info, f.info->decompressedSize(k), false);
            ASSERT_TRUE(code == 0 || errorCategory(code) == FileBroken) << code;
            broken += code != 0;
        }
    }
    EXPECT_GT(broken, 0);
}

}  // namespace
}  // namespace corvina
