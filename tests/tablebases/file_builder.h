// Test helpers: hand-made compressed files, bit by bit, so that the decoder can
// be fed exactly the symbols and header fields a test needs.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tablebases/decoder.h"

namespace corvina::testing {

// MSB-first bit sink.
struct Bits {
    std::vector<std::uint8_t> bytes;
    std::uint64_t acc = 0;
    int count = 0;

    void put(std::uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) {
            acc = acc << 1 | ((value >> i) & 1);
            if (++count == 8) {
                bytes.push_back(std::uint8_t(acc));
                acc = 0;
                count = 0;
            }
        }
    }
    std::vector<std::uint8_t> finish() {
        if (count > 0) {
            put(0, 8 - count);
        }
        return bytes;
    }
};

// Canonical code values for code lengths (shorter first, then symbol order).
inline std::vector<std::uint32_t> canonical(const std::vector<std::uint8_t>& lengths) {
    int perLength[33] = {};
    for (std::uint8_t l : lengths) {
        if (l != 0) {
            ++perLength[l];
        }
    }
    std::uint32_t next[33] = {};
    std::uint32_t code = 0;
    for (int len = 1; len <= 32; ++len) {
        code = (code + std::uint32_t(len > 1 ? perLength[len - 1] : 0)) << 1;
        next[len] = code;
    }
    std::vector<std::uint32_t> codes(lengths.size());
    for (std::size_t s = 0; s < lengths.size(); ++s) {
        codes[s] = lengths[s] != 0 ? next[lengths[s]]++ : 0;
    }
    return codes;
}

// The main code's lengths in the plainest form the format allows: auxiliary
// code A gives its symbols 0..31 five-bit codes (so a length is written as its
// own 5-bit value), code B is empty.
inline std::vector<std::uint8_t> plainCodeLengths(const std::vector<std::uint8_t>& lengths) {
    Bits b;
    b.put(0, 1);  // not the empty code
    b.put(0, 1);  // auxiliary lengths in the direct form
    b.put(3, 5);  // three bits per auxiliary length
    for (int s = 0; s < 32; ++s) {
        b.put(5, 3);
    }
    for (int run = 0; run < 6; ++run) {  // 96 zeros: a zero and 15 more, six times
        b.put(0, 3);
        b.put(15, 4);
    }
    for (std::uint8_t l : lengths) {
        b.put(l, 5);
    }
    return b.finish();
}

// A compressed file put together field by field.
struct HandFile {
    std::string signature =  // 58 characters
        "a tablebase file for tests, with 58 printable characters..";
    int blockBits = 13;
    int distanceCount = DistanceCount;
    std::uint32_t tag = FormatTag;
    std::vector<std::vector<std::uint8_t>> stored;  // per block
    std::vector<std::uint32_t> checksums;            // 2 per block, zeros when empty
    std::uint32_t lastSizeField = 0;
    std::vector<std::uint32_t> distances = std::vector<std::uint32_t>(DistanceCount, 1);
    std::vector<std::uint8_t> streamB;

    std::vector<std::uint8_t> build() const {
        std::vector<std::uint8_t> f(80, 0);
        for (int i = 0; i < 58; ++i) {
            f[std::size_t(i)] = std::uint8_t(signature[std::size_t(i)]);
        }
        f[58] = '\r';
        f[59] = '\n';
        f[70] = std::uint8_t(blockBits);
        f[71] = std::uint8_t(distanceCount);
        put32(f, 72, std::uint32_t(stored.size()));
        put32(f, 76, tag);
        for (std::size_t i = 0; i < 2 * stored.size(); ++i) {
            f.resize(f.size() + 4);
            put32(f, f.size() - 4, i < checksums.size() ? checksums[i] : 0);
        }
        Bits a;
        const std::uint32_t full = std::uint32_t(1) << blockBits;
        for (const auto& s : stored) {
            a.put(s.size() == full ? 0 : std::uint32_t(s.size()), blockBits);
        }
        a.put(lastSizeField, blockBits);
        for (std::uint32_t d : distances) {
            a.put(d, blockBits);
        }
        std::vector<std::uint8_t> streamA = a.finish();
        f.insert(f.end(), streamA.begin(), streamA.end());
        f.insert(f.end(), streamB.begin(), streamB.end());
        f.resize(f.size() + 4);
        put32(f, 64, std::uint32_t(f.size()));
        put32(f, f.size() - 4, blockChecksum(f.data(), f.size() - 4, 0));
        for (const auto& s : stored) {
            f.insert(f.end(), s.begin(), s.end());
        }
        return f;
    }

    static void put32(std::vector<std::uint8_t>& f, std::size_t at, std::uint32_t v) {
        f[at] = std::uint8_t(v >> 24);
        f[at + 1] = std::uint8_t(v >> 16);
        f[at + 2] = std::uint8_t(v >> 8);
        f[at + 3] = std::uint8_t(v);
    }
};

inline std::uint32_t headerSizeOf(const std::vector<std::uint8_t>& f) {
    return std::uint32_t(f[64]) << 24 | std::uint32_t(f[65]) << 16 | std::uint32_t(f[66]) << 8 | f[67];
}

// Recomputes the header checksum after a test changed header bytes.
inline void resealHeader(std::vector<std::uint8_t>& f) {
    std::uint32_t h = headerSizeOf(f);
    HandFile::put32(f, h - 4, blockChecksum(f.data(), h - 4, 0));
}

inline std::string tempPath(const std::string& name) { return ::testing::TempDir() + "corvina_" + name; }

inline std::string writeTemp(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    std::string path = tempPath(name);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr) << path;
    if (f != nullptr) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    return path;
}

// Opens bytes as a compressed file; the handle stays open for block reads.
struct OpenedFile {
    std::FILE* file = nullptr;
    std::unique_ptr<CompressedFileInfo> info;
    int code = -1;

    OpenedFile(const std::string& name, const std::vector<std::uint8_t>& bytes, bool verify = false) {
        std::string path = writeTemp(name, bytes);
        file = std::fopen(path.c_str(), "rb");
        code = file != nullptr ? openCompressedFile(file, verify, &info) : -1;
    }
    ~OpenedFile() {
        if (file != nullptr) {
            std::fclose(file);
        }
    }
    OpenedFile(const OpenedFile&) = delete;
    OpenedFile& operator=(const OpenedFile&) = delete;
};

}  // namespace corvina::testing
