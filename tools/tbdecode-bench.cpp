// corvina-tbbench: speed of the compressed tablebase format.
//
//   corvina-tbbench [TABLE_FILE ...]
//
// Each uncompressed table file (or, with none given, synthetic king-and-pawn
// bytes) is compressed with the writer; the tool prints the compression ratio,
// the block decoder's speed in MB/s of decompressed bytes, and the cost of a
// cache probe that hits and of one that misses (read and decode a block).
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tablebases/cache.h"
#include "tablebases/decoder.h"
#include "tablebases/writer.h"

using namespace corvina;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// King and pawn against king, laid out pawn square, white king, black king:
// wins where the black king is outside the pawn's square, broken positions
// where kings touch or squares coincide, draws elsewhere.
std::vector<std::uint8_t> syntheticKpk() {
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
                int b = 0;
                if (wk == pawn || bk == pawn || wk == bk || distance(wk, bk) < 2) {
                    b = -128;
                } else if (distance(bk, queening) > steps + 1) {
                    b = 127 - (steps + 2 + distance(wk, pawn) / 2);
                } else if (distance(wk, pawn) <= 1 && wk / 8 > pawn / 8 && pawn % 8 != 0) {
                    b = 127 - (steps + 8 + distance(bk, pawn));
                }
                v.push_back(std::uint8_t(std::int8_t(b)));
            }
        }
    }
    v.resize(81664);
    return v;
}

bool readWhole(const std::string& path, std::vector<std::uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return false;
    }
    std::fseek(f, 0, SEEK_END);
    long size = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    bytes.resize(std::size_t(size > 0 ? size : 0));
    bool ok = std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
    std::fclose(f);
    return ok && !bytes.empty();
}

std::uint32_t nextRandom(std::uint32_t& seed) {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 1;
}

void measure(const std::string& label, const std::vector<std::uint8_t>& data) {
    std::printf("%s: %zu bytes\n", label.c_str(), data.size());

    Clock::time_point start = Clock::now();
    CompressionStats stats;
    std::vector<std::uint8_t> file = compressTableData(data.data(), data.size(), 13, &stats);
    const double compressSeconds = secondsSince(start);
    std::printf("  compressed to %llu bytes, ratio %.2f:1 (%.1f%%), %u of %u blocks raw, %.2f s\n",
                static_cast<unsigned long long>(stats.outputBytes), double(stats.inputBytes) / double(stats.outputBytes),
                100.0 * double(stats.outputBytes) / double(stats.inputBytes), stats.rawBlocks, stats.blocks,
                compressSeconds);

    const std::string path = "/tmp/corvina-tbbench.emd";
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr || std::fwrite(file.data(), 1, file.size(), out) != file.size()) {
        std::printf("  cannot write %s\n", path.c_str());
        return;
    }
    std::fclose(out);

    std::FILE* in = std::fopen(path.c_str(), "rb");
    std::unique_ptr<CompressedFileInfo> info;
    std::unique_ptr<BlockDecoder> decoder;
    if (openCompressedFile(in, false, &info) != 0 || createBlockDecoder(8192, &decoder) != 0) {
        std::printf("  cannot read back %s\n", path.c_str());
        return;
    }

    // Decoder speed: every block, from the stored bytes in the input buffer
    // (readBlock's file read is timed separately by the miss cost below).
    std::vector<std::uint8_t> output(8192 + 36);
    std::vector<std::vector<std::uint8_t>> stored(info->blockCount);
    for (std::uint32_t k = 0; k < info->blockCount; ++k) {
        initBlockDecoder(decoder.get(), output.data());
        if (readBlock(decoder.get(), *info, in, k) != 0) {
            std::printf("  block %u unreadable\n", k);
            return;
        }
        stored[k].assign(decoder->input.get(), decoder->input.get() + decoder->storedSize);
    }
    std::uint64_t decoded = 0;
    std::uint64_t mismatches = 0;
    start = Clock::now();
    int rounds = 0;
    while (secondsSince(start) < 1.0 || rounds < 2) {
        for (std::uint32_t k = 0; k < info->blockCount; ++k) {
            const std::uint32_t size = info->decompressedSize(k);
            initBlockDecoder(decoder.get(), output.data());
            // What readBlock does after its file read.
            std::copy(stored[k].begin(), stored[k].end(), decoder->input.get());
            decoder->block = k;
            decoder->blockSize = size;
            decoder->storedSize = std::uint32_t(stored[k].size());
            if (stored[k].size() == size) {
                std::copy(stored[k].begin(), stored[k].end(), output.begin());
                decoder->outputPos = size;
            }
            if (decodeBlock(decoder.get(), *info, size, false) != 0) {
                std::printf("  block %u does not decode\n", k);
                return;
            }
            mismatches += output[size - 1] != data[std::size_t(k) * 8192 + size - 1];
            decoded += size;
        }
        ++rounds;
    }
    const double decodeSeconds = secondsSince(start);
    std::printf("  decoder: %.1f MB/s of decompressed bytes (%llu bytes in %.2f s%s)\n",
                double(decoded) / decodeSeconds / 1e6, static_cast<unsigned long long>(decoded), decodeSeconds,
                mismatches != 0 ? ", MISMATCH" : "");
    std::fclose(in);

    // Probes through the cache: table id 1, side 0, this file.
    std::vector<std::uint8_t> memory(std::size_t(info->blockCount + 1) * CacheEntrySize);
    releaseTableSides();
    if (createSharedDecoder() != 0) {
        return;
    }
    std::unique_ptr<CompressedFileInfo> cacheInfo;
    in = std::fopen(path.c_str(), "rb");
    openCompressedFile(in, false, &cacheInfo);
    std::fclose(in);
    attachTableSide(1, 0, path, std::move(cacheInfo));

    setupCache(memory.data(), memory.size());
    const std::uint32_t size = std::uint32_t(data.size());
    std::uint32_t seed = 12345;
    for (std::uint32_t k = 0; k * 8192 < size; ++k) {
        readTableEntry(1, 0, k * 8192);  // every block cached
    }
    const int hitProbes = 20000000;
    std::int64_t sum = 0;
    start = Clock::now();
    for (int i = 0; i < hitProbes; ++i) {
        sum += readTableEntry(1, 0, nextRandom(seed) % size);
    }
    const double hitSeconds = secondsSince(start);

    // One entry: probes alternating between two blocks miss every time.
    setupCache(memory.data(), CacheEntrySize);
    const int missProbes = 20000;
    const std::uint32_t blocks = (size + 8191) / 8192;
    start = Clock::now();
    for (int i = 0; i < missProbes; ++i) {
        const std::uint32_t block = blocks > 1 ? (i % 2 == 0 ? 0 : blocks / 2) : 0;
        sum += readTableEntry(1, 0, block * 8192 + nextRandom(seed) % 8192 % (size - block * 8192));
    }
    const double missSeconds = secondsSince(start);
    const CacheStats after = cacheStats();
    std::printf("  probe hit: %.1f ns, miss (file read + decode of one block): %.2f us (%llu misses, checksum %lld)\n",
                hitSeconds / hitProbes * 1e9, missSeconds / missProbes * 1e6,
                static_cast<unsigned long long>(after.misses), static_cast<long long>(sum));
    setupCache(nullptr, 0);
    releaseTableSides();
    releaseSharedDecoder();
    std::remove(path.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        measure("synthetic king-and-pawn bytes", syntheticKpk());
        return 0;
    }
    for (int i = 1; i < argc; ++i) {
        std::vector<std::uint8_t> data;
        if (!readWhole(argv[i], data)) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
        measure(argv[i], data);
    }
    return 0;
}
