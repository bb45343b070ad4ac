#include "tablebases/decoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "file_builder.h"

namespace corvina {
namespace {

using testing::Bits;
using testing::HandFile;
using testing::OpenedFile;
using testing::canonical;
using testing::plainCodeLengths;

constexpr int code(int location, int category) { return location * 256 + category; }

// Main-code lengths giving exactly the listed symbols (in increasing order)
// the listed lengths.
std::vector<std::uint8_t> mainLengths(const std::vector<std::pair<int, int>>& symbolLengths) {
    std::vector<std::uint8_t> lengths(MainSymbolCount, 0);
    for (auto [symbol, length] : symbolLengths) {
        lengths[std::size_t(symbol)] = std::uint8_t(length);
    }
    return lengths;
}

// One block of 21 bytes: the literal 'x', then a distance-1 match of length 20
// (length code 16 with extra bits 2: 4 + 2 + 14).
HandFile runOfTwentyOne() {
    HandFile f;
    f.streamB = plainCodeLengths(mainLengths({{'x', 1}, {256 + 16, 1}}));
    Bits block;
    block.put(0, 1);  // 'x'
    block.put(1, 1);  // match, distance index 0, length code 16
    block.put(2, 2);
    f.stored = {block.finish()};
    f.lastSizeField = 21;
    return f;
}

struct Decoded {
    int code = -1;
    std::vector<std::uint8_t> bytes;
};

// Reads and decodes block k of an opened file into a buffer with room past its end.
Decoded decodeWhole(OpenedFile& f, std::uint32_t k, bool verify = false) {
    Decoded d;
    std::unique_ptr<BlockDecoder> decoder;
    EXPECT_EQ(createBlockDecoder(1u << 16, &decoder), 0);
    const std::uint32_t size = f.info->decompressedSize(k);
    std::vector<std::uint8_t> out(size + OutputOverrun + 1, 0xEE);
    d.code = initBlockDecoder(decoder.get(), out.data());
    if (d.code == 0) {
        d.code = readBlock(decoder.get(), *f.info, f.file, k);
    }
    if (d.code == 0) {
        d.code = decodeBlock(decoder.get(), *f.info, size, verify);
    }
    out.resize(size);
    d.bytes = out;
    return d;
}

TEST(BlockChecksum, MatchesTheFormatsTableAndKnownValue) {
    const std::uint8_t zero = 0;
    const std::uint8_t ff = 0xFF;
    EXPECT_EQ(blockChecksum(&zero, 1, 0), 0x2D02EF8Du);  // T[0]
    EXPECT_EQ(blockChecksum(&ff, 1, 0), 0u);             // T[255]
    EXPECT_EQ(blockChecksum(reinterpret_cast<const std::uint8_t*>("abc"), 3, 0), 0xCADBBEC2u);
    EXPECT_EQ(blockChecksum(nullptr, 0, 1234), 1234u);
}

TEST(Signature, IsRecognisedByItsForm) {
    std::uint8_t sig[64];
    std::memset(sig, 'A', 58);
    sig[58] = '\r';
    sig[59] = '\n';
    std::memset(sig + 60, 0, 4);
    EXPECT_TRUE(isSignature(sig));
    sig[0] = ' ';
    sig[57] = '~';
    EXPECT_TRUE(isSignature(sig));

    auto broken = [&](int at, std::uint8_t value) {
        std::uint8_t copy[64];
        std::memcpy(copy, sig, 64);
        copy[at] = value;
        return !isSignature(copy);
    };
    EXPECT_TRUE(broken(10, 0x01));   // control character in the text
    EXPECT_TRUE(broken(20, 0x80));   // not ASCII
    EXPECT_TRUE(broken(57, '\r'));   // text one character short
    EXPECT_TRUE(broken(58, '\n'));
    EXPECT_TRUE(broken(59, '\r'));
    EXPECT_TRUE(broken(60, 1));
    EXPECT_TRUE(broken(63, ' '));
}

TEST(DecodeTable, RejectsBadCodesAndDecodesLongCodes) {
    std::int16_t table[(1 << 8) + 2 * 64];
    auto build = [&](std::vector<std::uint8_t> lengths) {
        return buildDecodeTable(table, lengths.data(), int(lengths.size()), 8);
    };
    EXPECT_EQ(errorCategory(build({1, 2})), FileBroken);        // incomplete
    EXPECT_EQ(errorCategory(build({1, 1, 1})), FileBroken);     // over-full
    EXPECT_EQ(errorCategory(build({1, 2, 3, 3, 3})), FileBroken);
    EXPECT_EQ(errorCategory(build({0, 2, 0})), FileBroken);     // a lone code must have length 1
    EXPECT_EQ(errorCategory(build({32, 1})), FileBroken);       // longer than 31
    EXPECT_EQ(build({0, 0, 0}), 0);
    EXPECT_EQ(build({1, 2, 3, 3}), 0);

    // Lengths 1, 2, ..., 19, 20, 20 spread over the symbols: codes up to 12 bits
    // beyond the 8-bit first level go through the overflow tree.
    std::vector<std::uint8_t> lengths(64, 0);
    const int symbolOf[21] = {40, 3, 63, 17, 0, 22, 9, 55, 31, 12, 48, 5, 60, 27, 36, 1, 44, 19, 58, 7, 50};
    for (int k = 0; k < 21; ++k) {
        lengths[std::size_t(symbolOf[k])] = std::uint8_t(k < 20 ? k + 1 : 20);
    }
    ASSERT_EQ(build(lengths), 0);
    std::vector<std::uint32_t> codes = canonical(lengths);
    Bits stream;
    std::vector<int> message;
    for (int round = 0; round < 3; ++round) {
        for (int k = 20; k >= 0; --k) {
            message.push_back(symbolOf[k]);
        }
    }
    for (int s : message) {
        stream.put(codes[std::size_t(s)], lengths[std::size_t(s)]);
    }
    std::vector<std::uint8_t> bytes = stream.finish();
    BitReader reader;
    reader.start(bytes.data(), bytes.data() + bytes.size());
    for (int s : message) {
        ASSERT_EQ(decodeSymbol(reader, table, 8), s);
    }
    EXPECT_FALSE(reader.exhausted());
}

TEST(CodeLengths, DirectFormRunsAndLimits) {
    std::uint8_t out[10];
    {
        Bits b;
        b.put(0, 1);
        b.put(3, 5);
        b.put(4, 3);
        b.put(0, 3);
        b.put(2, 4);  // zero, then two more zeros
        for (int i = 0; i < 6; ++i) {
            b.put(i + 1, 3);
        }
        std::vector<std::uint8_t> bytes = b.finish();
        BitReader r;
        r.start(bytes.data(), bytes.data() + bytes.size());
        ASSERT_EQ(readCodeLengths(r, out, 10), 0);
        const std::uint8_t expected[10] = {4, 0, 0, 0, 1, 2, 3, 4, 5, 6};
        EXPECT_EQ(std::memcmp(out, expected, 10), 0);
    }
    {
        Bits b;  // a run of zeros that passes the end
        b.put(0, 1);
        b.put(3, 5);
        b.put(0, 3);
        b.put(15, 4);
        std::vector<std::uint8_t> bytes = b.finish();
        BitReader r;
        r.start(bytes.data(), bytes.data() + bytes.size());
        EXPECT_EQ(errorCategory(readCodeLengths(r, out, 10)), FileBroken);
    }
    {
        Bits b;  // the empty code
        b.put(1, 1);
        std::vector<std::uint8_t> bytes = b.finish();
        std::memset(out, 9, sizeof out);
        BitReader r;
        r.start(bytes.data(), bytes.data() + bytes.size());
        ASSERT_EQ(readCodeLengths(r, out, 10), 0);
        for (std::uint8_t l : out) {
            EXPECT_EQ(l, 0);
        }
    }
}

TEST(CodeLengths, MainAlphabetRepeatCounts) {
    // Code A: symbol 3 (length 3), 32 + 5 (length 5 repeated), 32 + 0 (zeros
    // repeated); code B: 4 (count 6) and 32 + 9 (count 2^9 + x + 33).
    std::vector<std::uint8_t> a(64, 0);
    std::vector<std::uint8_t> b(64, 0);
    a[3] = 2;
    a[32 + 5] = 2;
    a[32 + 0] = 1;
    b[4] = 1;
    b[32 + 9] = 1;
    const std::vector<std::uint32_t> codeA = canonical(a);
    const std::vector<std::uint32_t> codeB = canonical(b);
    // Lengths: 3, then 5 six times, then zeros for 2^9 + tailExtra + 33 symbols.
    auto stream = [&](std::uint32_t tailExtra) {
        Bits bits;
        bits.put(0, 1);
        bits.put(0, 1);
        bits.put(2, 5);
        for (int i = 0; i < 128; ++i) {
            std::uint8_t l = i < 64 ? a[std::size_t(i)] : b[std::size_t(i - 64)];
            bits.put(l, 2);
            if (l == 0) {
                bits.put(0, 4);
            }
        }
        auto symA = [&](int s) { bits.put(codeA[std::size_t(s)], a[std::size_t(s)]); };
        auto symB = [&](int s) { bits.put(codeB[std::size_t(s)], b[std::size_t(s)]); };
        symA(3);
        symA(32 + 5);
        symB(4);
        symA(32 + 0);
        symB(32 + 9);
        bits.put(tailExtra, 9);
        return bits.finish();
    };
    std::uint8_t out[MainSymbolCount];
    std::vector<std::uint8_t> exact = stream(1024 - 7 - 512 - 33);
    BitReader r;
    r.start(exact.data(), exact.data() + exact.size());
    ASSERT_EQ(readCodeLengths(r, out, MainSymbolCount), 0);
    EXPECT_EQ(out[0], 3);
    for (int i = 1; i <= 6; ++i) {
        EXPECT_EQ(out[i], 5) << i;
    }
    for (int i = 7; i < MainSymbolCount; ++i) {
        ASSERT_EQ(out[i], 0) << i;
    }

    // One more would run past the alphabet.
    std::vector<std::uint8_t> over = stream(1024 - 7 - 512 - 33 + 1);
    r.start(over.data(), over.data() + over.size());
    EXPECT_EQ(errorCategory(readCodeLengths(r, out, MainSymbolCount)), FileBroken);
}

TEST(BlockDecoder, DistanceOneMatchOfTwentyRepeatsTheByte) {
    OpenedFile f("run21.emd", runOfTwentyOne().build());
    ASSERT_EQ(f.code, 0);
    EXPECT_EQ(f.info->blockCount, 1u);
    EXPECT_EQ(f.info->lastBlockSize, 21u);
    Decoded d = decodeWhole(f, 0);
    ASSERT_EQ(d.code, 0);
    EXPECT_EQ(d.bytes, std::vector<std::uint8_t>(21, 'x'));
}

TEST(BlockDecoder, ResumesACutMatchOnTheNextCall) {
    OpenedFile f("run21b.emd", runOfTwentyOne().build());
    ASSERT_EQ(f.code, 0);
    std::unique_ptr<BlockDecoder> decoder;
    ASSERT_EQ(createBlockDecoder(8192, &decoder), 0);
    std::vector<std::uint8_t> out(64, 0);
    ASSERT_EQ(initBlockDecoder(decoder.get(), out.data()), 0);
    ASSERT_EQ(readBlock(decoder.get(), *f.info, f.file, 0), 0);
    ASSERT_EQ(decodeBlock(decoder.get(), *f.info, 5, false), 0);
    // The 20-byte copy was cut at 5 bytes of output: 4 copied, 16 pending.
    EXPECT_EQ(decoder->outputPos, 5u);
    EXPECT_EQ(decoder->pendingLength, 16u);
    EXPECT_EQ(std::string(out.begin(), out.begin() + 5), "xxxxx");
    ASSERT_EQ(decodeBlock(decoder.get(), *f.info, 21, false), 0);
    EXPECT_EQ(std::string(out.begin(), out.begin() + 21), std::string(21, 'x'));
    EXPECT_EQ(decoder->pendingLength, 0u);
    EXPECT_EQ(errorCategory(decodeBlock(decoder.get(), *f.info, 22, false)), InvalidCall);
    EXPECT_EQ(decodeBlock(decoder.get(), *f.info, 0, false), code(0x392, 7));
}

TEST(BlockDecoder, LengthCodeFifteenReadsOneExtraBit) {
    HandFile h;
    // 'a' length 1 (code 0), 'b' length 2 (10), match code 15 length 2 (11).
    h.streamB = plainCodeLengths(mainLengths({{'a', 1}, {'b', 2}, {256 + 15, 2}}));
    Bits block;
    block.put(0, 1);
    block.put(3, 2);
    block.put(0, 1);  // length 16
    block.put(2, 2);
    block.put(3, 2);
    block.put(1, 1);  // length 17
    h.stored = {block.finish()};
    h.lastSizeField = 35;
    OpenedFile f("code15.emd", h.build());
    ASSERT_EQ(f.code, 0);
    Decoded d = decodeWhole(f, 0);
    ASSERT_EQ(d.code, 0);
    EXPECT_EQ(std::string(d.bytes.begin(), d.bytes.end()), std::string(17, 'a') + std::string(18, 'b'));
}

TEST(BlockDecoder, LengthCodeThirtyOneReadsSeventeenExtraBits) {
    // A full block of 65536 bytes (S = 16): 'a' and one match far longer than
    // the block, cut at its end with the rest pending.
    HandFile h;
    h.blockBits = 16;
    h.streamB = plainCodeLengths(mainLengths({{'a', 1}, {256 + 31, 1}}));
    const std::uint32_t extra = 0x1ABCD;  // 17 bits, lowest bit set
    Bits block;
    block.put(0, 1);
    block.put(1, 1);
    block.put(extra, 17);
    h.stored = {block.finish()};
    h.lastSizeField = 0;
    OpenedFile f("code31.emd", h.build());
    ASSERT_EQ(f.code, 0);
    EXPECT_EQ(f.info->blockSize, 65536u);
    EXPECT_EQ(f.info->lastBlockSize, 65536u);
    std::unique_ptr<BlockDecoder> decoder;
    ASSERT_EQ(createBlockDecoder(65536, &decoder), 0);
    std::vector<std::uint8_t> out(65536 + OutputOverrun);
    ASSERT_EQ(initBlockDecoder(decoder.get(), out.data()), 0);
    ASSERT_EQ(readBlock(decoder.get(), *f.info, f.file, 0), 0);
    ASSERT_EQ(decodeBlock(decoder.get(), *f.info, 65536, false), 0);
    const std::uint32_t length = (1u << 17) + extra + 14;
    EXPECT_EQ(decoder->pendingLength, length - 65535);
    for (std::uint32_t i = 0; i < 65536; ++i) {
        ASSERT_EQ(out[i], 'a') << i;
    }
}

TEST(BlockDecoder, EmptyCodeYieldsZerosWithoutReadingBits) {
    HandFile h;
    Bits b;
    b.put(1, 1);
    h.streamB = b.finish();
    h.stored = {{0xAB}};
    h.lastSizeField = 100;
    OpenedFile f("emptycode.emd", h.build());
    ASSERT_EQ(f.code, 0);
    Decoded d = decodeWhole(f, 0);
    ASSERT_EQ(d.code, 0);
    EXPECT_EQ(d.bytes, std::vector<std::uint8_t>(100, 0));
}

TEST(BlockDecoder, StoredSizeZeroIsARawFullBlockAndLastSizeZeroAFullLastBlock) {
    // S = 4: blocks of 16. Block 0 is stored raw (field 0), block 1 is one
    // stored byte of the empty code decoding to 16 zeros (last size field 0).
    HandFile h;
    h.blockBits = 4;
    Bits b;
    b.put(1, 1);
    h.streamB = b.finish();
    std::vector<std::uint8_t> raw;
    for (int i = 0; i < 16; ++i) {
        raw.push_back(std::uint8_t(200 + i));
    }
    h.stored = {raw, {0x55}};
    h.lastSizeField = 0;
    std::vector<std::uint8_t> bytes = h.build();
    OpenedFile f("rawblock.emd", bytes);
    ASSERT_EQ(f.code, 0);
    const std::uint32_t header = testing::headerSizeOf(bytes);
    EXPECT_EQ(f.info->blockOffsets[0], header);
    EXPECT_EQ(f.info->blockOffsets[1], header + 16);
    EXPECT_EQ(f.info->blockOffsets[2], header + 17);
    EXPECT_EQ(f.info->lastBlockSize, 16u);
    Decoded d0 = decodeWhole(f, 0);
    ASSERT_EQ(d0.code, 0);
    EXPECT_EQ(d0.bytes, raw);
    Decoded d1 = decodeWhole(f, 1);
    ASSERT_EQ(d1.code, 0);
    EXPECT_EQ(d1.bytes, std::vector<std::uint8_t>(16, 0));
}

TEST(BlockDecoder, MatchReachingBeforeTheBlockIsRejected) {
    HandFile h;
    h.streamB = plainCodeLengths(mainLengths({{'x', 1}, {256 + 3, 1}}));
    Bits block;
    block.put(1, 1);  // a match of 4 with nothing decoded yet
    h.stored = {block.finish()};
    h.lastSizeField = 8;
    OpenedFile f("baddistance.emd", h.build());
    ASSERT_EQ(f.code, 0);
    EXPECT_EQ(errorCategory(decodeWhole(f, 0).code), FileBroken);
}

TEST(CompressedHeader, EveryCheckFailsWithItsCode) {
    const std::vector<std::uint8_t> good = runOfTwentyOne().build();
    const std::uint32_t h = testing::headerSizeOf(good);
    auto open = [](const std::vector<std::uint8_t>& bytes) {
        OpenedFile f("header.emd", bytes);
        return f.code;
    };
    auto changed = [&](std::size_t at, std::uint8_t value) {
        std::vector<std::uint8_t> b = good;
        b[at] = value;
        return b;
    };
    ASSERT_EQ(open(good), 0);

    EXPECT_EQ(open(changed(10, 0x01)), code(0x2D2, 2));
    EXPECT_EQ(open(changed(58, ' ')), code(0x2D2, 2));
    EXPECT_EQ(open(changed(62, 0x20)), code(0x2D2, 2));
    std::vector<std::uint8_t> otherText = changed(3, 'Q');  // still a signature by form
    testing::resealHeader(otherText);
    EXPECT_EQ(open(otherText), 0);

    EXPECT_EQ(open(changed(70, 17)), code(0x2DB, 6));
    std::vector<std::uint8_t> tiny = good;  // H = 83
    tiny[64] = tiny[65] = tiny[66] = 0;
    tiny[67] = 83;
    EXPECT_EQ(open(tiny), code(0x2DB, 6));
    EXPECT_EQ(open(changed(71, 23)), code(0x2DE, 6));
    EXPECT_EQ(open(changed(79, 0xF6)), code(0x2E1, 6));
    EXPECT_EQ(open(std::vector<std::uint8_t>(good.begin(), good.begin() + 79)), code(0x2CF, 2));
    EXPECT_EQ(open(std::vector<std::uint8_t>(good.begin(), good.begin() + h - 1)), code(0x2E8, 2));
    EXPECT_EQ(open(changed(h - 6, good[h - 6] ^ 0x10)), code(0x2EE, 6));

    std::FILE* file = std::fopen(testing::writeTemp("header2.emd", good).c_str(), "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(openCompressedFile(file, false, nullptr), code(0x2C8, 7));
    std::fclose(file);
}

TEST(CompressedHeader, SizeFieldBeyondTheFileIsAShortReadWithoutTheAllocation) {
    std::vector<std::uint8_t> huge = runOfTwentyOne().build();
    huge[64] = 0xFF;  // H near 4 GiB in a file of a few hundred bytes
    huge[65] = huge[66] = huge[67] = 0xF0;
    EXPECT_EQ(OpenedFile("huge.emd", huge).code, code(0x2E8, 2));
    const std::vector<std::uint8_t> good = runOfTwentyOne().build();
    std::vector<std::uint8_t> oneShort(good.begin(), good.begin() + testing::headerSizeOf(good) - 1);
    EXPECT_EQ(OpenedFile("short.emd", oneShort).code, code(0x2E8, 2));
}

TEST(CompressedHeader, BlockBitsSixteenPassesTheHeaderCheck) {
    HandFile h;
    h.blockBits = 16;
    Bits b;
    b.put(1, 1);
    h.streamB = b.finish();
    h.stored = {{0}};
    h.lastSizeField = 300;
    OpenedFile f("s16.emd", h.build());
    EXPECT_EQ(f.code, 0);
    EXPECT_EQ(f.info->blockSize, 65536u);
}

TEST(CompressedHeader, InvalidCodesAreReportedAsBrokenFile) {
    HandFile incomplete = runOfTwentyOne();
    incomplete.streamB = plainCodeLengths(mainLengths({{'x', 1}, {300, 2}}));
    OpenedFile a("incomplete.emd", incomplete.build());
    EXPECT_EQ(a.code, code(0x327, 6));

    HandFile overfull = runOfTwentyOne();
    overfull.streamB = plainCodeLengths(mainLengths({{'x', 1}, {300, 1}, {301, 1}}));
    OpenedFile b("overfull.emd", overfull.build());
    EXPECT_EQ(b.code, code(0x327, 6));

    HandFile badLengths = runOfTwentyOne();
    Bits bits;
    bits.put(0, 1);
    bits.put(0, 1);
    bits.put(3, 5);
    bits.put(5, 3);
    for (int i = 0; i < 8; ++i) {
        bits.put(0, 3);
        bits.put(15, 4);  // 1 + 128 lengths in an alphabet of 128
    }
    badLengths.streamB = bits.finish();
    OpenedFile c("badlengths.emd", badLengths.build());
    EXPECT_EQ(c.code, code(0x322, 6));
}

TEST(BlockRead, ErrorsCarryTheirCodes) {
    HandFile h = runOfTwentyOne();
    h.checksums = {blockChecksum(std::vector<std::uint8_t>(21, 'x').data(), 21, 0),
                   blockChecksum(h.stored[0].data(), h.stored[0].size(), 0)};
    const std::vector<std::uint8_t> good = h.build();

    {
        OpenedFile f("verified.emd", good, true);
        ASSERT_EQ(f.code, 0);
        Decoded d = decodeWhole(f, 0, true);
        EXPECT_EQ(d.code, 0);
        EXPECT_EQ(d.bytes, std::vector<std::uint8_t>(21, 'x'));
    }
    {
        OpenedFile f("blocktoolarge.emd", good);
        EXPECT_EQ(decodeWhole(f, 1).code, code(0x36D, 7));
    }
    {
        std::vector<std::uint8_t> truncated(good.begin(), good.end() - 1);
        OpenedFile f("shortblock.emd", truncated);
        ASSERT_EQ(f.code, 0);
        EXPECT_EQ(decodeWhole(f, 0).code, code(0x379, 2));
    }
    {
        std::vector<std::uint8_t> corrupt = good;
        corrupt.back() ^= 0x01;  // a padding bit: decodes the same, stored checksum differs
        OpenedFile f("storedsum.emd", corrupt, true);
        ASSERT_EQ(f.code, 0);
        EXPECT_EQ(decodeWhole(f, 0, true).code, code(0x37B, 6));
        OpenedFile g("storedsum2.emd", corrupt, false);
        EXPECT_EQ(decodeWhole(g, 0, true).code, 0);  // without verification nothing is checked
    }
    {
        HandFile wrongSum = h;
        wrongSum.checksums[0] ^= 1;
        OpenedFile f("decodedsum.emd", wrongSum.build(), true);
        ASSERT_EQ(f.code, 0);
        EXPECT_EQ(decodeWhole(f, 0, false).code, 0);  // only a whole-block decode is checked
        EXPECT_EQ(decodeWhole(f, 0, true).code, code(0x3A0, 6));
    }
    {
        OpenedFile f("invalid.emd", good);
        std::unique_ptr<BlockDecoder> decoder;
        EXPECT_EQ(createBlockDecoder(8192, nullptr), code(0x354, 7));
        ASSERT_EQ(createBlockDecoder(8192, &decoder), 0);
        EXPECT_EQ(initBlockDecoder(nullptr, nullptr), code(0x343, 7));
        decoder->tag = 0;
        EXPECT_EQ(readBlock(decoder.get(), *f.info, f.file, 0), code(0x36A, 7));
        EXPECT_EQ(decodeBlock(decoder.get(), *f.info, 1, false), code(0x38F, 7));
        EXPECT_EQ(readBlock(nullptr, *f.info, f.file, 0), code(0x36A, 7));
    }
}

}  // namespace
}  // namespace corvina
