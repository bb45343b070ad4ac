// Writer of compressed tablebase files: the uncompressed bytes of a table side
// become a file that the block decoder reads back bit for bit.
//
// Each block is compressed on its own with matches against earlier bytes of
// the same block (distances from a 24-entry table chosen for the file) and one
// canonical Huffman code for the whole file; a block that does not get smaller
// is stored raw.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace corvina {

// The 58 characters at the start of every file this engine writes; then come
// carriage return, line feed and four zero bytes.
inline constexpr char CorvinaSignatureText[] =
    "corvina compressed endgame tablebase, 8 KiB blocks, v1    ";
static_assert(sizeof(CorvinaSignatureText) == 59);

struct CompressionStats {
    std::uint64_t inputBytes = 0;
    std::uint64_t outputBytes = 0;  // the whole file, header included
    std::uint32_t blocks = 0;
    std::uint32_t rawBlocks = 0;
};

// The whole compressed file in memory; empty when size is 0 or blockBits is
// outside 1..16.
std::vector<std::uint8_t> compressTableData(const std::uint8_t* data, std::size_t size,
                                            int blockBits = 13, CompressionStats* stats = nullptr);

// Compresses and writes to path; false when the file cannot be written.
bool writeCompressedTable(const std::string& path, const std::uint8_t* data, std::size_t size,
                          CompressionStats* stats = nullptr);

}  // namespace corvina
