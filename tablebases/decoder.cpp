// Compressed tablebase files: header checks and the block decoder.
#include "tablebases/decoder.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace corvina {

namespace {

// Locations of the error codes. Those that reach a message are fixed by the
// file format's tools; the others only need to be distinct.
enum Location : int {
    OpenNoResult = 0x2C8,
    OpenShortFixedPart = 0x2CF,
    OpenBadSignature = 0x2D2,
    OpenBadBlockBits = 0x2DB,
    OpenBadDistanceCount = 0x2DE,
    OpenBadTag = 0x2E1,
    OpenNoHeaderMemory = 0x2E4,
    OpenShortHeader = 0x2E8,
    OpenHeaderTooSmall = 0x2EB,
    OpenBadHeaderChecksum = 0x2EE,
    OpenNoInfoMemory = 0x2F5,
    OpenDataTooLarge = 0x31D,
    OpenBadCodeLengths = 0x322,
    OpenBadDecodeTable = 0x327,
    InitNoDecoder = 0x343,
    CreateNoResult = 0x354,
    CreateNoMemory = 0x357,
    CreateInitFailed = 0x35A,
    ReadInvalidDecoder = 0x36A,
    ReadBlockTooLarge = 0x36D,
    ReadSeekFailed = 0x377,
    ReadShort = 0x379,
    ReadBadStoredChecksum = 0x37B,
    ReadStoredTooLarge = 0x37D,
    DecodeInvalidDecoder = 0x38F,
    DecodeBadLength = 0x392,
    DecodeBadChecksum = 0x3A0,
    DecodeBadDistance = 0x3A4,
    DecodeInputOverrun = 0x3A6,
    LengthsRunTooLong = 0x3B1,
    LengthsBadAuxCode = 0x3B4,
    LengthsInputOverrun = 0x3B7,
    TableLengthTooLarge = 0x3C1,
    TableSingleNotOne = 0x3C4,
    TableIncomplete = 0x3C7,
    TableNoRoom = 0x3CA,
};

// The polynomial is applied when the low bit is 0: T[0] = 0x2D02EF8D, T[255] = 0.
constexpr std::array<std::uint32_t, 256> makeChecksumTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t v = 0; v < 256; ++v) {
        std::uint32_t c = v;
        for (int k = 0; k < 8; ++k) {
            c = (c & 1) ? c >> 1 : (c >> 1) ^ 0xEDB88320u;
        }
        table[v] = c;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> checksumTable = makeChecksumTable();
static_assert(checksumTable[0] == 0x2D02EF8D && checksumTable[255] == 0);

std::uint32_t bigEndian32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 |
           std::uint32_t(p[3]);
}

// Reads up to 32 bits; the reader takes at most 16 at a time.
std::uint32_t readWide(BitReader& reader, int count) {
    if (count <= 16) {
        return reader.read(count);
    }
    std::uint32_t high = reader.read(16);
    return high << (count - 16) | reader.read(count - 16);
}

// Copies a match of length bytes from distance back, byte by byte in effect,
// so that an overlapping copy repeats the recent bytes. May write up to 15
// bytes past the end of the copy.
void copyMatch(std::uint8_t* out, std::uint32_t pos, std::uint32_t distance, std::uint32_t length) {
    std::uint8_t* dst = out + pos;
    const std::uint8_t* src = dst - distance;
    if (length <= 4 && distance >= 4) {
        std::memcpy(dst, src, 4);
        return;
    }
    if (distance >= 16) {
        for (std::uint32_t done = 0; done < length; done += 16) {
            std::memcpy(dst + done, src + done, 16);
        }
        return;
    }
    // A short period: the output repeats with period distance, so any multiple
    // of it reads the same bytes. Copy single bytes until a multiple of at least
    // 16 lies behind, then whole 16-byte pieces.
    std::uint32_t period = distance * ((16 + distance - 1) / distance);
    std::uint32_t lead = period - distance;
    if (lead >= length) {
        for (std::uint32_t i = 0; i < length; ++i) {
            dst[i] = src[i];
        }
        return;
    }
    for (std::uint32_t i = 0; i < lead; ++i) {
        dst[i] = src[i];
    }
    for (std::uint32_t done = lead; done < length; done += 16) {
        std::memcpy(dst + done, dst + done - period, 16);
    }
}

}  // namespace

void BitReader::start(const std::uint8_t* bytes, const std::uint8_t* limit) {
    begin = bytes;
    next = bytes;
    end = limit;
    window = 0;
    for (int i = 0; i < 4; ++i) {
        window = window << 8 | (next < end ? *next : 0u);
        ++next;
    }
    used = 0;
}

void BitReader::refill() {
    std::uint32_t high = next < end ? next[0] : 0u;
    std::uint32_t low = next + 1 < end ? next[1] : 0u;
    window = window << 16 | high << 8 | low;
    next += 2;
    used -= 16;
}

bool BitReader::exhausted() const {
    std::int64_t consumed = std::int64_t(next - begin) * 8 - 32 + used;
    return consumed > std::int64_t(end - begin) * 8;
}

std::uint32_t blockChecksum(const std::uint8_t* bytes, std::size_t length, std::uint32_t initial) {
    std::uint32_t c = initial;
    for (std::size_t i = 0; i < length; ++i) {
        c = checksumTable[(c ^ bytes[i]) & 0xFF] ^ (c >> 8);
    }
    return c;
}

bool isSignature(const std::uint8_t* bytes) {
    for (int i = 0; i < 58; ++i) {
        if (bytes[i] < 0x20 || bytes[i] > 0x7E) {
            return false;
        }
    }
    return bytes[58] == '\r' && bytes[59] == '\n' && bytes[60] == 0 && bytes[61] == 0 &&
           bytes[62] == 0 && bytes[63] == 0;
}

int readCodeLengths(BitReader& reader, std::uint8_t* lengths, int count) {
    if (reader.read(1) == 1) {
        std::memset(lengths, 0, std::size_t(count));
        return 0;
    }
    if (count <= 128) {
        int width = int(reader.read(5));
        for (int i = 0; i < count;) {
            std::uint32_t length = readWide(reader, width);
            // Lengths above 31 are kept as 32 so that the table builder rejects them.
            lengths[i++] = std::uint8_t(length > 31 ? 32 : length);
            if (length == 0) {
                int zeros = int(reader.read(4));
                if (i + zeros > count) {
                    return errorCode(LengthsRunTooLong, FileBroken);
                }
                std::memset(lengths + i, 0, std::size_t(zeros));
                i += zeros;
            }
        }
        return reader.exhausted() ? errorCode(LengthsInputOverrun, FileBroken) : 0;
    }

    // The main alphabet: its lengths are coded with two small codes, A for the
    // lengths themselves and B for repeat counts.
    std::uint8_t auxLengths[128];
    int code = readCodeLengths(reader, auxLengths, 128);
    if (code != 0) {
        return code;
    }
    std::int16_t codeA[256 + 2 * 64];
    std::int16_t codeB[256 + 2 * 64];
    code = buildDecodeTable(codeA, auxLengths, 64, 8);
    if (code != 0) {
        return code;
    }
    code = buildDecodeTable(codeB, auxLengths + 64, 64, 8);
    if (code != 0) {
        return code;
    }
    for (int i = 0; i < count;) {
        int a = decodeSymbol(reader, codeA, 8);
        if (a < 32) {
            lengths[i++] = std::uint8_t(a);
            continue;
        }
        int c = decodeSymbol(reader, codeB, 8);
        std::int64_t repeat;
        if (c <= 31) {
            repeat = c + 2;
        } else {
            int e = c - 32;
            repeat = (std::int64_t(1) << e) + readWide(reader, e) + 33;
        }
        if (i + repeat > count) {
            return errorCode(LengthsRunTooLong, FileBroken);
        }
        std::memset(lengths + i, a - 32, std::size_t(repeat));
        i += int(repeat);
        if (reader.exhausted()) {
            return errorCode(LengthsInputOverrun, FileBroken);
        }
    }
    return reader.exhausted() ? errorCode(LengthsInputOverrun, FileBroken) : 0;
}

int buildDecodeTable(std::int16_t* table, const std::uint8_t* lengths, int count, int bits) {
    int perLength[32] = {};
    int nonZero = 0;
    int single = 0;
    for (int s = 0; s < count; ++s) {
        if (lengths[s] > 31) {
            return errorCode(TableLengthTooLarge, FileBroken);
        }
        if (lengths[s] != 0) {
            ++perLength[lengths[s]];
            ++nonZero;
            single = s;
        }
    }
    const int firstLevel = 1 << bits;
    if (nonZero == 0) {
        std::fill(table, table + firstLevel, std::int16_t(0));
        return 0;
    }
    if (nonZero == 1) {
        // One symbol: it is decoded without using any bits.
        if (lengths[single] != 1) {
            return errorCode(TableSingleNotOne, FileBroken);
        }
        std::fill(table, table + firstLevel, std::int16_t(single * 32));
        return 0;
    }
    std::uint32_t carry = 0;
    for (int len = 31; len >= 1; --len) {
        std::uint32_t sum = carry + std::uint32_t(perLength[len]);
        if (sum & 1) {
            return errorCode(TableIncomplete, FileBroken);
        }
        carry = sum / 2;
    }
    if (carry != 1) {
        return errorCode(TableIncomplete, FileBroken);
    }

    // Canonical codes: firstCode[len] is the code of the first symbol of that
    // length; the codes of one length are consecutive in symbol order. For a
    // complete code the nodes at depth d are exactly the values firstCode[d]
    // up to 2^d - 1, leaves first, so each depth of the overflow tree is one
    // contiguous run of positions.
    std::uint64_t firstCode[33] = {};
    std::uint64_t nextCode[33] = {};
    std::uint64_t value = 0;
    for (int len = 1; len <= 32; ++len) {
        if (len > 1) {
            value = (value + std::uint64_t(perLength[len - 1])) << 1;
        }
        firstCode[len] = value;
        nextCode[len] = value;
    }
    int maxLength = 0;
    for (int len = 1; len <= 31; ++len) {
        if (perLength[len] != 0) {
            maxLength = len;
        }
    }
    // base[d]: position of the node with value firstCode[d] at depth d > bits.
    std::int64_t base[33] = {};
    std::int64_t position = firstLevel;
    for (int depth = bits + 1; depth <= maxLength; ++depth) {
        base[depth] = position;
        position += std::int64_t((std::uint64_t(1) << depth) - firstCode[depth]);
    }
    if (position > firstLevel + 2 * std::int64_t(count)) {
        return errorCode(TableNoRoom, FileBroken);
    }
    auto pairOf = [&](int depth, std::uint64_t v) {  // position of v's children
        return base[depth + 1] + std::int64_t(2 * v - firstCode[depth + 1]);
    };
    // Inner entries: the first level above the leaves of length bits, and the
    // inner nodes of each deeper level.
    if (maxLength > bits) {
        std::uint64_t innerFrom = firstCode[bits] + std::uint64_t(perLength[bits]);
        for (std::uint64_t v = innerFrom; v < (std::uint64_t(1) << bits); ++v) {
            table[v] = std::int16_t(-pairOf(bits, v));
        }
        for (int depth = bits + 1; depth < maxLength; ++depth) {
            std::uint64_t from = firstCode[depth] + std::uint64_t(perLength[depth]);
            for (std::uint64_t v = from; v < (std::uint64_t(1) << depth); ++v) {
                table[base[depth] + std::int64_t(v - firstCode[depth])] =
                    std::int16_t(-pairOf(depth, v));
            }
        }
    }
    for (int s = 0; s < count; ++s) {
        int len = lengths[s];
        if (len == 0) {
            continue;
        }
        std::uint64_t c = nextCode[len]++;
        if (len <= bits) {
            std::int16_t entry = std::int16_t(s * 32 + len);
            std::uint64_t from = c << (bits - len);
            std::fill(table + from, table + from + (std::uint64_t(1) << (bits - len)), entry);
        } else {
            table[base[len] + std::int64_t(c - firstCode[len])] = std::int16_t(s);
        }
    }
    return 0;
}

int openCompressedFile(std::FILE* file, bool verify, std::unique_ptr<CompressedFileInfo>* result) {
    if (result == nullptr) {
        return errorCode(OpenNoResult, InvalidCall);
    }
    std::uint8_t fixed[FixedHeaderSize];
    if (std::fread(fixed, 1, FixedHeaderSize, file) != FixedHeaderSize) {
        return errorCode(OpenShortFixedPart, ReadError);
    }
    if (!isSignature(fixed)) {
        return errorCode(OpenBadSignature, ReadError);
    }
    const std::uint32_t headerSize = bigEndian32(fixed + 64);
    const int blockBits = fixed[70];
    const std::uint32_t blockCount = bigEndian32(fixed + 72);
    if (blockBits > MaxBlockBits || headerSize < MinHeaderSize) {
        return errorCode(OpenBadBlockBits, FileBroken);
    }
    if (fixed[71] != DistanceCount) {
        return errorCode(OpenBadDistanceCount, FileBroken);
    }
    if (bigEndian32(fixed + 76) != FormatTag) {
        return errorCode(OpenBadTag, FileBroken);
    }
    // The checksum pairs and both bit streams must fit before the header's own checksum.
    const std::uint64_t streamA = FixedHeaderSize + 8 * std::uint64_t(blockCount);
    const std::uint64_t streamB = streamA + ((std::uint64_t(blockCount) + 25) * blockBits + 7) / 8;
    if (blockCount == 0 || streamB >= headerSize - 4) {
        return errorCode(OpenHeaderTooSmall, FileBroken);
    }

    // A broken size field could ask for gigabytes: a header longer than the rest of the
    // file is the short read it would come to, found before any memory is taken.
    const long here = std::ftell(file);
    if (here >= 0 && std::fseek(file, 0, SEEK_END) == 0) {
        const long end = std::ftell(file);
        if (std::fseek(file, here, SEEK_SET) != 0) {
            return errorCode(OpenShortHeader, ReadError);
        }
        if (end >= here && std::uint64_t(end - here) < headerSize - FixedHeaderSize) {
            return errorCode(OpenShortHeader, ReadError);
        }
    }
    std::unique_ptr<std::uint8_t[]> header(new (std::nothrow)
                                               std::uint8_t[std::size_t(headerSize) + InputLookahead]);
    if (!header) {
        return errorCode(OpenNoHeaderMemory, OutOfMemory);
    }
    std::memcpy(header.get(), fixed, FixedHeaderSize);
    std::memset(header.get() + headerSize, 0, InputLookahead);
    const std::size_t rest = headerSize - FixedHeaderSize;
    if (std::fread(header.get() + FixedHeaderSize, 1, rest, file) != rest) {
        return errorCode(OpenShortHeader, ReadError);
    }
    if (blockChecksum(header.get(), headerSize - 4, 0) != bigEndian32(header.get() + headerSize - 4)) {
        return errorCode(OpenBadHeaderChecksum, FileBroken);
    }

    std::unique_ptr<CompressedFileInfo> info(new (std::nothrow) CompressedFileInfo);
    if (!info) {
        return errorCode(OpenNoInfoMemory, OutOfMemory);
    }
    info->blockOffsets.reset(new (std::nothrow) std::uint32_t[std::size_t(blockCount) + 1]);
    if (!info->blockOffsets) {
        return errorCode(OpenNoInfoMemory, OutOfMemory);
    }
    if (verify) {
        info->checksums.reset(new (std::nothrow) std::uint32_t[2 * std::size_t(blockCount)]);
        if (!info->checksums) {
            return errorCode(OpenNoInfoMemory, OutOfMemory);
        }
        for (std::uint32_t i = 0; i < 2 * blockCount; ++i) {
            info->checksums[i] = bigEndian32(header.get() + FixedHeaderSize + 4 * i);
        }
    }
    info->verify = verify;
    info->blockBits = blockBits;
    info->blockSize = std::uint32_t(1) << blockBits;
    info->blockCount = blockCount;

    // Stream A: stored sizes, the last block's size (0 meaning a full block),
    // then the distances. Stored sizes become file offsets.
    const std::uint8_t* headerEnd = header.get() + headerSize - 4;
    BitReader reader;
    reader.start(header.get() + streamA, headerEnd);
    std::uint64_t offset = headerSize;
    for (std::uint32_t i = 0; i < blockCount; ++i) {
        info->blockOffsets[i] = std::uint32_t(offset);
        std::uint32_t stored = reader.read(blockBits);
        offset += stored == 0 ? info->blockSize : stored;
    }
    if (offset > 0xFFFFFFFFu) {
        return errorCode(OpenDataTooLarge, FileBroken);
    }
    info->blockOffsets[blockCount] = std::uint32_t(offset);
    std::uint32_t last = reader.read(blockBits);
    info->lastBlockSize = last == 0 ? info->blockSize : last;
    for (int i = 0; i < DistanceCount; ++i) {
        info->distances[i] = reader.read(blockBits);
    }

    // Stream B: the code of the main alphabet.
    reader.start(header.get() + streamB, headerEnd);
    std::uint8_t lengths[MainSymbolCount];
    if (readCodeLengths(reader, lengths, MainSymbolCount) != 0) {
        return errorCode(OpenBadCodeLengths, FileBroken);
    }
    if (buildDecodeTable(info->decodeTable, lengths, MainSymbolCount, MainTableBits) != 0) {
        return errorCode(OpenBadDecodeTable, FileBroken);
    }
    *result = std::move(info);
    return 0;
}

int createBlockDecoder(std::uint32_t inputSize, std::unique_ptr<BlockDecoder>* result) {
    if (result == nullptr) {
        return errorCode(CreateNoResult, InvalidCall);
    }
    std::unique_ptr<BlockDecoder> decoder(new (std::nothrow) BlockDecoder);
    if (!decoder) {
        return errorCode(CreateNoMemory, OutOfMemory);
    }
    decoder->input.reset(new (std::nothrow) std::uint8_t[std::size_t(inputSize) + InputLookahead]);
    if (!decoder->input) {
        return errorCode(CreateNoMemory, OutOfMemory);
    }
    std::memset(decoder->input.get(), 0, std::size_t(inputSize) + InputLookahead);
    decoder->inputCapacity = inputSize;
    if (initBlockDecoder(decoder.get(), nullptr) != 0) {
        return errorCode(CreateInitFailed, InvalidCall);
    }
    *result = std::move(decoder);
    return 0;
}

std::size_t blockDecoderBytes(const BlockDecoder& decoder) {
    return sizeof(BlockDecoder) + decoder.inputCapacity + InputLookahead;
}

int initBlockDecoder(BlockDecoder* decoder, std::uint8_t* outputStart) {
    if (decoder == nullptr) {
        return errorCode(InitNoDecoder, InvalidCall);
    }
    decoder->outputStart = outputStart;
    decoder->outputPos = 0;
    decoder->blockSize = 0;
    decoder->block = -1;
    decoder->storedSize = 0;
    decoder->started = false;
    decoder->pendingDistance = 0;
    decoder->pendingLength = 0;
    decoder->tag = DecoderTag;
    return 0;
}

int readBlock(BlockDecoder* decoder, const CompressedFileInfo& info, std::FILE* file,
              std::uint32_t block) {
    if (decoder == nullptr || decoder->tag != DecoderTag) {
        return errorCode(ReadInvalidDecoder, InvalidCall);
    }
    if (block >= info.blockCount) {
        return errorCode(ReadBlockTooLarge, InvalidCall);
    }
    const std::uint32_t size = info.decompressedSize(block);
    const std::uint32_t stored = info.blockOffsets[block + 1] - info.blockOffsets[block];
    if (stored > decoder->inputCapacity || stored > info.blockSize) {
        return errorCode(ReadStoredTooLarge, FileBroken);
    }
    decoder->block = -1;
    decoder->blockSize = 0;
    if (std::fseek(file, long(info.blockOffsets[block]), SEEK_SET) != 0) {
        return errorCode(ReadSeekFailed, ReadError);
    }
    if (std::fread(decoder->input.get(), 1, stored, file) != stored) {
        return errorCode(ReadShort, ReadError);
    }
    if (info.verify && blockChecksum(decoder->input.get(), stored, 0) != info.checksums[2 * block + 1]) {
        return errorCode(ReadBadStoredChecksum, FileBroken);
    }
    decoder->block = block;
    decoder->blockSize = size;
    decoder->storedSize = stored;
    decoder->started = false;
    decoder->pendingDistance = 0;
    decoder->pendingLength = 0;
    if (stored == size) {
        std::memcpy(decoder->outputStart, decoder->input.get(), size);
        decoder->outputPos = size;
    } else {
        decoder->outputPos = 0;
    }
    return 0;
}

int decodeBlock(BlockDecoder* decoder, const CompressedFileInfo& info, std::uint32_t n, bool verify) {
    if (decoder == nullptr || decoder->tag != DecoderTag) {
        return errorCode(DecodeInvalidDecoder, InvalidCall);
    }
    if (n < 1 || n > decoder->blockSize) {
        return errorCode(DecodeBadLength, InvalidCall);
    }
    const std::uint32_t target = verify ? decoder->blockSize : n;
    std::uint8_t* const out = decoder->outputStart;
    std::uint32_t pos = decoder->outputPos;
    if (pos < target) {
        if (!decoder->started) {
            decoder->reader.start(decoder->input.get(), decoder->input.get() + decoder->storedSize);
            decoder->started = true;
        }
        // A local copy of the reader: the byte stores to the output could alias
        // its fields and would force them through memory on every symbol.
        BitReader reader = decoder->reader;
        const std::uint32_t* const distances = info.distances;
        if (decoder->pendingLength != 0) {
            std::uint32_t length = decoder->pendingLength;
            if (pos + length > target) {
                length = target - pos;
            }
            copyMatch(out, pos, decoder->pendingDistance, length);
            pos += length;
            decoder->pendingLength -= length;
        }
        const std::int16_t* table = info.decodeTable;
        while (pos < target) {
            int symbol = decodeSymbol(reader, table, MainTableBits);
            if (symbol < 256) {
                out[pos++] = std::uint8_t(symbol);
                continue;
            }
            int m = symbol - 256;
            int lengthCode = m & 31;
            std::uint32_t distance = distances[m >> 5];
            std::uint32_t length;
            if (lengthCode < 15) {
                length = std::uint32_t(lengthCode) + 1;
            } else {
                int extra = lengthCode - 14;
                length = (std::uint32_t(1) << extra) + readWide(reader, extra) + 14;
            }
            if (distance == 0 || distance > pos) {
                decoder->outputPos = pos;
                decoder->reader = reader;
                return errorCode(DecodeBadDistance, FileBroken);
            }
            if (length > 16 && pos + length > target) {
                decoder->pendingDistance = distance;
                decoder->pendingLength = length - (target - pos);
                length = target - pos;
            }
            copyMatch(out, pos, distance, length);
            pos += length;
        }
        decoder->outputPos = pos;
        decoder->reader = reader;
        if (reader.exhausted()) {
            return errorCode(DecodeInputOverrun, FileBroken);
        }
    }
    if (verify && info.verify &&
        blockChecksum(out, decoder->blockSize, 0) != info.checksums[2 * decoder->block]) {
        return errorCode(DecodeBadChecksum, FileBroken);
    }
    return 0;
}

}  // namespace corvina
