// Compressed tablebase files: header checks and the block decoder.
//
// A compressed file is a header followed by independently compressed blocks of
// 2^S decompressed bytes (S = 13 for tablebases). The header holds the stored
// sizes of the blocks, a table of 24 match distances and the code lengths of one
// canonical Huffman code over 1024 symbols (256 literals, 768 length/distance
// pairs) shared by every block. All integers are big-endian.
//
// Every operation returns 0 or an error code = location * 256 + category.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace corvina {

// Error categories, the low byte of an error code.
enum ErrorCategory : int {
    ReadError = 2,
    OutOfMemory = 5,
    FileBroken = 6,
    InvalidCall = 7,
};

constexpr int errorCode(int location, int category) { return location * 256 + category; }
constexpr int errorCategory(int code) { return code & 0xFF; }

inline constexpr int SignatureSize = 64;
inline constexpr int FixedHeaderSize = 80;   // signature, H, S, distance count, N, tag
inline constexpr int MinHeaderSize = 84;     // the fixed part plus the trailing checksum
inline constexpr int MaxBlockBits = 16;
inline constexpr int DistanceCount = 24;
inline constexpr std::uint32_t FormatTag = 0x004001F5;
inline constexpr int MainSymbolCount = 1024;
inline constexpr int MainTableBits = 13;
inline constexpr int MainTableSize = (1 << MainTableBits) + 2 * MainSymbolCount;
inline constexpr std::uint32_t DecoderTag = 0x79A3F29D;
// The bit reader may look this far past the last stored byte.
inline constexpr int InputLookahead = 4;
// A decoded block may be overwritten this far past the requested length.
inline constexpr int OutputOverrun = 15;

// What the decoder needs of one compressed file, read from its header.
struct CompressedFileInfo {
    std::int16_t decodeTable[MainTableSize];
    std::uint32_t distances[DistanceCount];
    // Per block: checksum of the decompressed bytes, then of the stored bytes.
    // Loaded only when verification was asked for.
    std::unique_ptr<std::uint32_t[]> checksums;
    // blockCount + 1 file offsets; offset[blockCount] is the end of the data.
    std::unique_ptr<std::uint32_t[]> blockOffsets;
    int blockBits = 0;
    std::uint32_t blockSize = 0;
    std::uint32_t lastBlockSize = 0;
    std::uint32_t blockCount = 0;
    bool verify = false;

    std::uint32_t decompressedSize(std::uint32_t block) const {
        return block + 1 == blockCount ? lastBlockSize : blockSize;
    }
};

// MSB-first bit reader: a 32-bit window refilled two bytes at a time.
// It may read up to four bytes past the last bit it uses; reads past `end`
// yield zero bits and set `overrun`, so corrupt data cannot run off the buffer.
struct BitReader {
    const std::uint8_t* begin = nullptr;
    const std::uint8_t* next = nullptr;
    const std::uint8_t* end = nullptr;
    std::uint32_t window = 0;
    int used = 0;  // bits of the window already consumed, 0..15 between calls
    bool overrun = false;

    void start(const std::uint8_t* bytes, const std::uint8_t* limit);
    std::uint32_t peek(int count) const {  // 1..16 bits
        return (window << used) >> (32 - count);
    }
    void skip(int count) {  // 0..16 bits
        used += count;
        if (used >= 16) {
            refill();
        }
    }
    std::uint32_t read(int count) {  // 0..16 bits
        if (count == 0) {
            return 0;
        }
        std::uint32_t value = peek(count);
        skip(count);
        return value;
    }
    void refill();
    // True once more bits were consumed than lie between begin and end.
    bool exhausted() const;
};

// The one decoder of the system: a block's stored bytes and the state that
// lets decoding stop at any output length and resume.
struct BlockDecoder {
    std::uint32_t tag = 0;
    std::uint8_t* outputStart = nullptr;
    std::uint32_t outputPos = 0;      // bytes produced so far
    std::uint32_t blockSize = 0;      // decompressed size of the current block
    std::int64_t block = -1;          // current block number, -1 when none
    std::unique_ptr<std::uint8_t[]> input;
    std::uint32_t inputCapacity = 0;
    std::uint32_t storedSize = 0;
    bool started = false;             // bit reader loaded for this block
    BitReader reader;
    std::uint32_t pendingDistance = 0;  // a cut match copy still to finish
    std::uint32_t pendingLength = 0;
};

// Checksum over bytes, table-driven; files of this format carry it.
std::uint32_t blockChecksum(const std::uint8_t* bytes, std::size_t length, std::uint32_t initial);

// The signature is recognised by its form: 58 printable ASCII characters,
// carriage return, line feed, four zero bytes.
bool isSignature(const std::uint8_t* bytes);

// Reads and checks the header of a file positioned at its start.
int openCompressedFile(std::FILE* file, bool verify, std::unique_ptr<CompressedFileInfo>* result);

int createBlockDecoder(std::uint32_t inputSize, std::unique_ptr<BlockDecoder>* result);
std::size_t blockDecoderBytes(const BlockDecoder& decoder);
int initBlockDecoder(BlockDecoder* decoder, std::uint8_t* outputStart);
int readBlock(BlockDecoder* decoder, const CompressedFileInfo& info, std::FILE* file,
              std::uint32_t block);
// Produces the first n bytes of the current block (with verify: all of it).
// The output needs OutputOverrun bytes of room past the target.
int decodeBlock(BlockDecoder* decoder, const CompressedFileInfo& info, std::uint32_t n,
                bool verify);

int readCodeLengths(BitReader& reader, std::uint8_t* lengths, int count);
// table needs 2^bits + 2 * count entries.
int buildDecodeTable(std::int16_t* table, const std::uint8_t* lengths, int count, int bits);

// Decodes one symbol with a table built by buildDecodeTable.
inline int decodeSymbol(BitReader& reader, const std::int16_t* table, int bits) {
    int entry = table[reader.peek(bits)];
    if (entry >= 0) {
        reader.skip(entry & 31);
        return entry >> 5;
    }
    reader.skip(bits);
    do {
        entry = table[-entry + int(reader.read(1))];
    } while (entry < 0);
    return entry;
}

}  // namespace corvina
