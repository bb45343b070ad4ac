// Fuzz target: the compressed-file header reader and the block decoder on a file of
// fuzz bytes. Bytes 68 and 69 of the header are not interpreted by the reader; here
// bit 0 of byte 68 asks for the header checksum to be put right (so that mutations get
// past it to the code lengths and the blocks) and bit 0 of byte 69 turns on the
// verification of block checksums.
#include <stdio.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "tablebases/decoder.h"

using namespace corvina;

namespace {

constexpr std::uint32_t MaxBlocksDecoded = 4;

void putBigEndian32(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v >> 24);
    p[1] = std::uint8_t(v >> 16);
    p[2] = std::uint8_t(v >> 8);
    p[3] = std::uint8_t(v);
}

std::uint32_t bigEndian32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < FixedHeaderSize) return 0;  // the reader's first read fails, nothing more
    std::vector<std::uint8_t> file(data, data + size);
    const std::uint32_t headerSize = bigEndian32(file.data() + 64);
    if ((file[68] & 1) && headerSize >= MinHeaderSize && headerSize <= size)
        putBigEndian32(file.data() + headerSize - 4, blockChecksum(file.data(), headerSize - 4, 0));
    const bool verify = file[69] & 1;

    std::FILE* stream = fmemopen(file.data(), file.size(), "rb");
    if (stream == nullptr) return 0;
    std::unique_ptr<CompressedFileInfo> info;
    if (openCompressedFile(stream, verify, &info) == 0) {
        if (info->blockCount == 0 || info->lastBlockSize > info->blockSize) __builtin_trap();
        for (std::uint32_t i = 0; i < info->blockCount; ++i)
            if (info->blockOffsets[i + 1] < info->blockOffsets[i]) __builtin_trap();

        std::unique_ptr<BlockDecoder> decoder;
        if (createBlockDecoder(std::max<std::uint32_t>(info->blockSize, 8192), &decoder) != 0)
            __builtin_trap();
        // Exactly the room the decoder asks for, so that ASan sees any write beyond it.
        std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[info->blockSize + OutputOverrun]);
        const std::uint32_t blocks = std::min(info->blockCount, MaxBlocksDecoded);
        for (std::uint32_t k = 0; k < blocks; ++k) {
            initBlockDecoder(decoder.get(), out.get());
            if (readBlock(decoder.get(), *info, stream, k) != 0) continue;
            // Part of the block first, then the rest: the cut copy must resume.
            const std::uint32_t blockBytes = info->decompressedSize(k);
            const std::uint32_t part = 1 + file[(70 + k) % file.size()] * 37u % blockBytes;
            if (decodeBlock(decoder.get(), *info, part, false) != 0) continue;
            decodeBlock(decoder.get(), *info, blockBytes, verify);
        }
    }
    std::fclose(stream);
    return 0;
}
