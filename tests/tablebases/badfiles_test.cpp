// Damaged and foreign table files: registration ends the program with its "*** " line
// and status 1, or a side registers and is withdrawn at its first unreadable block.
// Either way no probe reports a value that the file does not hold.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "board/position.h"
#include "board/tables.h"
#include "file_builder.h"
#include "tablebases/registry.h"
#include "tablebases/writer.h"

namespace corvina {
namespace {

namespace fs = std::filesystem;

constexpr int Krk = 4;

// Bytes that read as results (never 127), varied enough that a wrong block shows.
// Block 1 is noise, which the writer stores raw; the others compress.
std::vector<std::uint8_t> krkBytes(int side) {
    std::vector<std::uint8_t> v(tableList[Krk].size[side]);
    std::uint32_t seed = 5;
    for (std::size_t i = 0; i < v.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        const std::uint32_t x = i / 8192 == 1 ? seed >> 24 : std::uint32_t(i * 37 + i / 8192 * 11);
        v[i] = std::uint8_t(int(x % 253) - 126);
    }
    return v;
}

void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// King and rook against king as FEN; squares in tablebase numbering (rank * 8 + file).
std::string krkFen(int whiteKing, int rook, int blackKing, bool whiteToMove) {
    char board[8][8];
    for (auto& rank : board) {
        for (char& c : rank) c = '.';
    }
    board[whiteKing / 8][whiteKing % 8] = 'K';
    board[rook / 8][rook % 8] = 'R';
    board[blackKing / 8][blackKing % 8] = 'k';
    std::string fen;
    for (int rank = 7; rank >= 0; --rank) {
        int empty = 0;
        for (int file = 0; file < 8; ++file) {
            if (board[rank][file] == '.') {
                ++empty;
                continue;
            }
            if (empty > 0) fen += char('0' + empty);
            empty = 0;
            fen += board[rank][file];
        }
        if (empty > 0) fen += char('0' + empty);
        if (rank > 0) fen += '/';
    }
    return fen + (whiteToMove ? " w - - 0 1" : " b - - 0 1");
}

Position positionOf(const std::string& fen) {
    BoardRecord board;
    parseFen(board, fen.c_str());
    Position position;
    expandPosition(position, board);
    return position;
}

struct Probe {
    Position position;
    std::uint32_t index = 0;
};

// One white-to-move position per block of the krk file, found through the index the
// probe itself uses.
std::vector<Probe> onePositionPerBlock() {
    const std::uint32_t size = tableList[Krk].size[0];
    const std::uint32_t blocks = (size + 8191) / 8192;
    std::vector<Probe> found(blocks);
    std::vector<bool> have(blocks, false);
    const IndexFunction index = makeIndexFunction("krk", 0);
    std::uint32_t missing = blocks;
    for (int n = 0; n < 64 * 64 * 64 && missing > 0; ++n) {
        const int k = n / 4096;
        const int r = n / 64 % 64;
        const int b = n % 64;
        const bool apart = std::abs(k % 8 - b % 8) > 1 || std::abs(k / 8 - b / 8) > 1;
        // The rook off the black king's lines, so that black is surely not in check.
        const bool inLine = r % 8 == b % 8 || r / 8 == b / 8;
        if (k == r || !apart || inLine) continue;
        Position p = positionOf(krkFen(k, r, b, true));
        const std::uint32_t i = index(p.white, p.black, NoSquare, 0);
        if (i >= size || have[i / 8192]) continue;
        have[i / 8192] = true;
        found[i / 8192] = Probe{p, i};
        --missing;
    }
    EXPECT_EQ(missing, 0u);
    return found;
}

// The value a probe must give for a stored byte.
int resultOf(std::uint8_t byte) { return resultOfScore(scoreOfEntry(std::int8_t(byte))); }

std::uint32_t bigEndian32(const std::vector<std::uint8_t>& f, std::size_t at) {
    return std::uint32_t(f[at]) << 24 | std::uint32_t(f[at + 1]) << 16 | std::uint32_t(f[at + 2]) << 8 |
           f[at + 3];
}

// Writes value into an MSB-first bit field of the file image.
void putBits(std::vector<std::uint8_t>& f, std::size_t bitPos, std::uint32_t value, int bits) {
    for (int i = 0; i < bits; ++i) {
        const std::size_t at = bitPos + std::size_t(i);
        const std::uint8_t mask = std::uint8_t(0x80 >> (at % 8));
        if ((value >> (bits - 1 - i)) & 1) {
            f[at / 8] |= mask;
        } else {
            f[at / 8] &= std::uint8_t(~mask);
        }
    }
}

class BadTableFiles : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        initTables();
        plain = krkBytes(0);
        compressed = compressTableData(plain.data(), plain.size());
        probes = onePositionPerBlock();
    }
    void SetUp() override {
        resetTablebases();
        char pattern[] = "/tmp/corvina-badfiles-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        ASSERT_FALSE(compressed.empty());
    }
    void TearDown() override {
        resetTablebases();
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }

    // A fresh folder holding one file (or folder) under the given name.
    std::string folderWith(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        fs::path dir = root / "d";
        dir += std::to_string(++folders);
        fs::create_directories(dir);
        writeBytes((dir / name).string(), bytes);
        return dir.string();
    }

    struct Outcome {
        int status = -1;
        std::string out;
    };

    // Registration in a child process, which the fatal errors end; its standard output
    // goes to a file that the parent reads.
    Outcome registerInChild(const std::string& directories) {
        const std::string outPath = (root / "child.out").string();
        std::fflush(stdout);
        const pid_t pid = fork();
        if (pid == 0) {
            if (std::freopen(outPath.c_str(), "w", stdout) == nullptr) _exit(125);
            const int men = initTablebases(directories);
            std::printf("registered %d\n", men);
            std::fflush(stdout);
            _exit(0);
        }
        Outcome outcome;
        int raw = 0;
        if (pid < 0 || waitpid(pid, &raw, 0) != pid) return outcome;
        outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        outcome.out = readText(outPath);
        return outcome;
    }

    // Starts the tables in this process; the file must pass registration.
    void start(const std::string& dir) {
        ::testing::internal::CaptureStdout();
        const bool ok = startTablebases(dir, 1 << 20);
        const std::string out = ::testing::internal::GetCapturedStdout();
        ASSERT_TRUE(ok) << out;
        ASSERT_EQ(out, "egtb: 3\n");
    }

    static int probeQuietly(const Position& position, std::string& out) {
        ::testing::internal::CaptureStdout();
        const int result = probeTablebases(position);
        out = ::testing::internal::GetCapturedStdout();
        return result;
    }

    static inline std::vector<std::uint8_t> plain;
    static inline std::vector<std::uint8_t> compressed;
    static inline std::vector<Probe> probes;
    fs::path root;
    int folders = 0;
};

TEST_F(BadTableFiles, IntactFilesRegisterAndProbeTheirBytes) {
    // The baseline the damaged files are measured against.
    const std::pair<const char*, const std::vector<std::uint8_t>*> files[] = {
        {"krk.nbw", &plain}, {"krk.nbw.emd", &compressed}};
    for (const auto& [name, bytes] : files) {
        const std::string dir = folderWith(name, *bytes);
        const Outcome outcome = registerInChild(dir);
        EXPECT_EQ(outcome.status, 0) << name;
        EXPECT_EQ(outcome.out, "registered 3\n") << name;
        start(dir);
        for (const Probe& p : probes) {
            std::string out;
            EXPECT_EQ(probeQuietly(p.position, out), resultOf(plain[p.index])) << name << " " << p.index;
            EXPECT_EQ(out, "") << name;
        }
        resetTablebases();
    }
}

TEST_F(BadTableFiles, PlainFilesOfAnotherLengthAreFatal) {
    const std::size_t size = plain.size();
    for (std::size_t length : {std::size_t(0), std::size_t(1), std::size_t(8192), size - 1, size + 1, 2 * size}) {
        std::vector<std::uint8_t> bytes = plain;
        bytes.resize(length, 0);
        const std::string dir = folderWith("krk.nbw", bytes);
        const Outcome outcome = registerInChild(dir);
        EXPECT_EQ(outcome.status, 1) << length;
        EXPECT_EQ(outcome.out, "*** " + dir + "/krk.nbw corrupted\n") << length;
    }
}

TEST_F(BadTableFiles, PlainFileLongerByFourGibibytesIsNotTakenForTheRightSize) {
    // The length in 32 bits would match; the file is sparse, so this costs no disk.
    const std::string dir = folderWith("krk.nbw", plain);
    fs::resize_file(dir + "/krk.nbw", (std::uintmax_t(1) << 32) + plain.size());
    const Outcome outcome = registerInChild(dir);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.out, "*** " + dir + "/krk.nbw corrupted\n");
}

TEST_F(BadTableFiles, FilesThatAreNoTablesAreFatal) {
    std::vector<std::uint8_t> noise(5000);
    std::uint32_t seed = 77;
    for (auto& b : noise) {
        seed = seed * 1664525u + 1013904223u;
        b = std::uint8_t(seed >> 24);
    }
    const std::string text = "[corvina]\ngui=xboard\nThis is a text file, not an endgame table at all.\n";
    const std::vector<std::vector<std::uint8_t>> contents = {
        {},                                     // empty
        std::vector<std::uint8_t>(text.begin(), text.end()),
        std::vector<std::uint8_t>(1000, 0),     // zeros
        noise,
        plain,                                  // a plain table under the compressed name
        std::vector<std::uint8_t>(compressed.begin(), compressed.begin() + 64),  // a signature only
    };
    for (std::size_t c = 0; c < contents.size(); ++c) {
        const std::string plainDir = folderWith("krk.nbb", contents[c]);
        if (contents[c].size() != tableList[Krk].size[1]) {
            const Outcome outcome = registerInChild(plainDir);
            EXPECT_EQ(outcome.status, 1) << c;
            EXPECT_EQ(outcome.out, "*** " + plainDir + "/krk.nbb corrupted\n") << c;
        }
        const std::string emdDir = folderWith("krknbb.emd", contents[c]);
        const Outcome outcome = registerInChild(emdDir);
        EXPECT_EQ(outcome.status, 1) << c;
        EXPECT_EQ(outcome.out, "*** Unable to read " + emdDir + "/krknbb.emd - read error\n") << c;
    }
}

TEST_F(BadTableFiles, FoldersNamedLikeTablesAreFatal) {
    // A folder opens for reading on Linux. Its end lies where the file system puts it:
    // either the seek fails or the length is wrong.
    const fs::path plainDir = root / "p";
    fs::create_directories(plainDir / "krk.nbw");
    Outcome outcome = registerInChild(plainDir.string());
    EXPECT_EQ(outcome.status, 1);
    const std::string path = (plainDir / "krk.nbw").string();
    EXPECT_TRUE(outcome.out == "*** Seek in " + path + " failed\n" || outcome.out == "*** " + path + " corrupted\n")
        << outcome.out;

    const fs::path emdDir = root / "e";
    fs::create_directories(emdDir / "krk.nbw.emd");
    outcome = registerInChild(emdDir.string());
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.out, "*** Unable to read " + (emdDir / "krk.nbw.emd").string() + " - read error\n");
}

TEST_F(BadTableFiles, CompressedFilesCutInsideTheHeaderAreFatal) {
    const std::uint32_t header = testing::headerSizeOf(compressed);
    const std::uint32_t blocks = bigEndian32(compressed, 72);
    const std::size_t cuts[] = {
        0, 40, 79,                   // the fixed part
        80, 80 + 4 * blocks,         // the block checksums
        80 + 8 * blocks + 3,         // the stored sizes and distances
        header - 10, header - 1,     // the code lengths and the header checksum
    };
    for (std::size_t cut : cuts) {
        const std::string dir =
            folderWith("krk.nbw.emd", std::vector<std::uint8_t>(compressed.begin(), compressed.begin() + long(cut)));
        const Outcome outcome = registerInChild(dir);
        EXPECT_EQ(outcome.status, 1) << cut;
        EXPECT_EQ(outcome.out, "*** Unable to read " + dir + "/krk.nbw.emd - read error\n") << cut;
    }
}

TEST_F(BadTableFiles, EveryFlippedHeaderBitIsCaught) {
    // The header checksum covers everything before it, so no single flip passes.
    const std::uint32_t header = testing::headerSizeOf(compressed);
    for (std::uint32_t at = 0; at < header; ++at) {
        for (int bit = 0; bit < 8; ++bit) {
            std::vector<std::uint8_t> damaged = compressed;
            damaged[at] ^= std::uint8_t(1 << bit);
            testing::OpenedFile f("flipped.emd", damaged);
            ASSERT_NE(f.code, 0) << at << " bit " << bit;
            const int category = errorCategory(f.code);
            ASSERT_TRUE(category == ReadError || category == FileBroken) << at << " bit " << bit << ": " << f.code;
        }
    }
}

TEST_F(BadTableFiles, FlippedHeaderBitsEndRegistrationWithTheirReason) {
    const std::uint32_t header = testing::headerSizeOf(compressed);
    const std::uint32_t blocks = bigEndian32(compressed, 72);
    struct Flip {
        std::size_t at;
        int bit;
        const char* reason;
    };
    const Flip flips[] = {
        {3, 7, "read error"},              // signature: not a printable character
        {3, 0, "file broken"},             // signature: still printable, the checksum differs
        {67, 0, "file broken"},            // header size
        {64, 0, "read error"},             // header size beyond the end of the file
        {70, 4, "file broken"},            // block bits 29
        {71, 1, "file broken"},            // distance count
        {75, 2, "file broken"},            // block count
        {78, 0, "file broken"},            // format tag
        {80 + 8 * blocks - 1, 5, "file broken"},  // a block checksum
        {80 + 8 * blocks + 1, 6, "file broken"},  // a stored block size
        {header - 8, 3, "file broken"},    // code lengths
        {header - 1, 0, "file broken"},    // the header checksum itself
    };
    for (const Flip& flip : flips) {
        std::vector<std::uint8_t> damaged = compressed;
        damaged[flip.at] ^= std::uint8_t(1 << flip.bit);
        const std::string dir = folderWith("krk.nbw.emd", damaged);
        const Outcome outcome = registerInChild(dir);
        EXPECT_EQ(outcome.status, 1) << flip.at;
        EXPECT_EQ(outcome.out, "*** Unable to read " + dir + "/krk.nbw.emd - " + flip.reason + "\n") << flip.at;
    }
}

TEST_F(BadTableFiles, WellFormedHeadersWithTheWrongTotalOrBlockSizeAreFatal) {
    for (long delta : {-1L, 1L, 8192L}) {
        std::vector<std::uint8_t> data = plain;
        data.resize(std::size_t(long(data.size()) + delta), 3);
        const std::string dir = folderWith("krk.nbw.emd", compressTableData(data.data(), data.size()));
        const Outcome outcome = registerInChild(dir);
        EXPECT_EQ(outcome.status, 1) << delta;
        EXPECT_EQ(outcome.out, "*** " + dir + "/krk.nbw.emd corrupted\n") << delta;
    }

    // The last block's size rewritten and the header sealed again: the total is off by one.
    std::vector<std::uint8_t> resized = compressed;
    const std::uint32_t blocks = bigEndian32(resized, 72);
    const std::uint32_t last = std::uint32_t(plain.size() % 8192);
    putBits(resized, (80 + 8 * std::size_t(blocks)) * 8 + std::size_t(blocks) * 13, last - 1, 13);
    testing::resealHeader(resized);
    std::string dir = folderWith("krk.nbw.emd", resized);
    Outcome outcome = registerInChild(dir);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.out, "*** " + dir + "/krk.nbw.emd corrupted\n");

    const std::vector<std::uint8_t> smallBlocks = compressTableData(plain.data(), plain.size(), 12);
    dir = folderWith("krk.nbw.emd", smallBlocks);
    outcome = registerInChild(dir);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.out, "*** " + dir + "/krk.nbw.emd: Unsupported block size 4096\n");
}

TEST_F(BadTableFiles, FlippedBlockBitWithdrawsTheSideAtItsFirstProbe) {
    std::unique_ptr<CompressedFileInfo> info;
    {
        testing::OpenedFile f("intact.emd", compressed);
        ASSERT_EQ(f.code, 0);
        info = std::move(f.info);
    }
    ASSERT_EQ(probes.size(), info->blockCount);
    for (std::uint32_t block = 0; block < info->blockCount; ++block) {
        const std::uint32_t from = info->blockOffsets[block];
        const std::uint32_t to = info->blockOffsets[block + 1];
        // The first and last stored bytes (the last may be only padding bits) and one between.
        for (std::uint32_t at : {from, from + (to - from) / 2, to - 1}) {
            for (int bit : {0, 7}) {
                std::vector<std::uint8_t> damaged = compressed;
                damaged[at] ^= std::uint8_t(1 << bit);
                resetTablebases();
                start(folderWith("krk.nbw.emd", damaged));
                std::string out;
                EXPECT_EQ(probeQuietly(probes[block].position, out), NoTablebaseResult)
                    << "block " << block << " byte " << at << " bit " << bit;
                EXPECT_EQ(out, "probe broken\n") << "block " << block << " byte " << at;
                EXPECT_FALSE(tableSidePresent(Krk, 0));
                // Withdrawn: the intact blocks give no value either, and say nothing.
                const Probe& other = probes[(block + 1) % probes.size()];
                EXPECT_EQ(probeQuietly(other.position, out), NoTablebaseResult);
                EXPECT_EQ(out, "");
            }
        }
    }
}

TEST_F(BadTableFiles, CompressedFileCutInsideABlockWithdrawsTheSideThere) {
    std::unique_ptr<CompressedFileInfo> info;
    {
        testing::OpenedFile f("intact.emd", compressed);
        ASSERT_EQ(f.code, 0);
        info = std::move(f.info);
    }
    for (std::uint32_t block = 1; block < info->blockCount; ++block) {
        const std::uint32_t cut = (info->blockOffsets[block] + info->blockOffsets[block + 1]) / 2;
        resetTablebases();
        start(folderWith("krk.nbw.emd", std::vector<std::uint8_t>(compressed.begin(), compressed.begin() + cut)));
        std::string out;
        // The blocks before the cut are whole.
        for (std::uint32_t before = 0; before < block; ++before) {
            EXPECT_EQ(probeQuietly(probes[before].position, out), resultOf(plain[probes[before].index]));
            EXPECT_EQ(out, "");
        }
        EXPECT_EQ(probeQuietly(probes[block].position, out), NoTablebaseResult) << block;
        EXPECT_EQ(out, "probe broken\n") << block;
        EXPECT_EQ(probeQuietly(probes[0].position, out), NoTablebaseResult);
        EXPECT_EQ(out, "");
    }
}

TEST_F(BadTableFiles, PlainFileCutAfterRegistrationGivesNoValueFromItsMissingPart) {
    // Cut behind the registry's back: the bytes that are gone must not be taken from
    // whatever the cache entry held before.
    const std::string dir = folderWith("krk.nbw", plain);
    start(dir);
    std::string out;
    EXPECT_EQ(probeQuietly(probes[1].position, out), resultOf(plain[probes[1].index]));
    fs::resize_file(dir + "/krk.nbw", 2 * 8192 + 100);
    EXPECT_EQ(probeQuietly(probes[2].position, out), NoTablebaseResult);
    EXPECT_EQ(out, "probe broken\n");
    EXPECT_FALSE(tableSidePresent(Krk, 0));
}

TEST_F(BadTableFiles, PlainFileByteTurnedBrokenGivesNoValue) {
    // A damaged byte of a plain file is another well-formed byte, which nothing can tell
    // from the true one; only 127 is known to be broken. It is reported, not withdrawn.
    std::vector<std::uint8_t> damaged = plain;
    const Probe& hit = probes[2];
    damaged[hit.index] = 127;
    start(folderWith("krk.nbw", damaged));
    std::string out;
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(probeQuietly(hit.position, out), NoTablebaseResult);
        EXPECT_EQ(out, "probe broken\n");
    }
    EXPECT_EQ(probeQuietly(probes[3].position, out), resultOf(plain[probes[3].index]));
    EXPECT_EQ(out, "");
}

// An egtbsize beyond 4 GiB: the entries the cache lays out must keep their data areas
// apart, which 32-bit offsets allow only below 4 GiB. The area is reserved, not touched
// beyond the headers.
TEST(OversizedCache, EntriesStayWhereThirtyTwoBitOffsetsReach) {
    const std::size_t size = std::size_t(8) << 30;
    void* area = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (area == MAP_FAILED) GTEST_SKIP() << "no 8 GiB of address space";
    ASSERT_TRUE(setupCache(static_cast<std::uint8_t*>(area), size));
    const std::uint64_t entries = cacheStats().entries;
    EXPECT_GT(entries, 500000u);
    EXPECT_LE(entries * CacheEntrySize, std::uint64_t(1) << 32);
    setupCache(nullptr, 0);
    munmap(area, size);
}

}  // namespace
}  // namespace corvina
