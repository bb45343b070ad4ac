#include "tablebases/registry.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "tablebases/decoder.h"

namespace corvina {

namespace {

constexpr int Levels = 10;
constexpr int MenBudget = 3;

// Fatal registry trouble: the message on standard output, then exit status 1.
[[noreturn]] void fatal(const std::string& message) {
    std::fputs(message.c_str(), stdout);
    std::fflush(stdout);
    std::exit(1);
}

// Records a fatal condition for the caller; always false, so that "return failWith(...)"
// ends a registration.
bool failWith(RegistryStatus& status, const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);
    int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(std::size_t(length > 0 ? length : 0) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, again);
    va_end(again);
    text.pop_back();
    status.fatal = true;
    status.message += text;
    return false;
}

// Counts of one table side's men: pawns, knights, bishops, rooks, queens.
void countMen(const char* letters, std::size_t n, int* counts) {
    for (std::size_t i = 0; i < n; ++i) {
        switch (letters[i]) {
            case 'n': ++counts[1]; break;
            case 'b': ++counts[2]; break;
            case 'r': ++counts[3]; break;
            case 'q': ++counts[4]; break;
            default: ++counts[0]; break;
        }
    }
}

void fillRecords(Tablebases& t) {
    for (int id = 0; id < TableSlotCount; ++id) {
        TablebaseRecord& record = t.records[id];
        record.id = id;
        std::strncpy(record.name, tableList[id].name, sizeof record.name - 1);
        for (int side = 0; side < 2; ++side) {
            record.expectedSize[side] = tableList[id].size[side];
            record.index[side] = makeIndexFunction(record.name, side);
        }
    }
}

}  // namespace

void MaterialTree::build() {
    nodes.clear();
    leaves.clear();
    // Breadth first: each level's nodes, with the budget each has left.
    std::vector<int> budget{MenBudget};
    nodes.push_back(Node{});
    std::size_t levelStart = 0;
    for (int level = 0; level < Levels; ++level) {
        std::size_t levelEnd = nodes.size();
        std::vector<int> nextBudget;
        for (std::size_t i = levelStart; i < levelEnd; ++i) {
            int left = budget[i - levelStart];
            nodes[i].maxCount = std::int8_t(left);
            if (level + 1 < Levels) {
                nodes[i].firstChild = std::int32_t(nodes.size());
                for (int c = 0; c <= left; ++c) {
                    nodes.push_back(Node{});
                    nextBudget.push_back(left - c);
                }
            } else {
                nodes[i].firstChild = std::int32_t(leaves.size());
                leaves.insert(leaves.end(), std::size_t(left + 1), 0);
            }
        }
        levelStart = levelEnd;
        budget = std::move(nextBudget);
    }
}

std::int32_t* MaterialTree::leaf(const int counts[10]) {
    if (!built()) {
        return nullptr;
    }
    std::size_t node = 0;
    for (int level = 0; level < Levels; ++level) {
        const Node& n = nodes[node];
        if (counts[level] < 0 || counts[level] > n.maxCount) {
            return nullptr;
        }
        if (level + 1 == Levels) {
            return &leaves[std::size_t(n.firstChild + counts[level])];
        }
        node = std::size_t(n.firstChild + counts[level]);
    }
    return nullptr;
}

void MaterialTree::clearLeaves() {
    std::fill(leaves.begin(), leaves.end(), 0);
}

Tablebases& tablebases() {
    static Tablebases registry;
    return registry;
}

void resetTablebases() {
    Tablebases& t = tablebases();
    setupCache(nullptr, 0);
    releaseTableSides();
    releaseSharedDecoder();
    t.tree.clearLeaves();
    t.cacheMemory.reset();
    t.decoderBytes = 0;
    t.registryBytes = 0;
    t.compressedFiles = 0;
    t.largestMen = 0;
    t.inUse = false;
}

bool checkTableSide(const std::string& directory, int id, int side, RegistryStatus& status) {
    if (id < 1 || id > TableCount || side < 0 || side > 1) {
        return false;
    }
    if (tableSidePresent(id, side)) {
        return true;  // the first directory that holds the side wins
    }
    Tablebases& t = tablebases();
    TablebaseRecord& record = t.records[id];
    const char* suffix = side == 0 ? "nbw" : "nbb";
    std::string stem = directory.empty() ? std::string() : directory + "/";
    stem += record.name;
    std::string path = stem + "." + suffix;

    std::uint32_t size = 0;
    std::unique_ptr<CompressedFileInfo> info;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file != nullptr) {
        long end = std::fseek(file, 0, SEEK_END) == 0 ? std::ftell(file) : -1;
        if (end < 0) {
            std::fclose(file);
            return failWith(status, "*** Seek in %s failed\n", path.c_str());
        }
        size = std::uint32_t(end);
        if (record.expectedSize[side] != 0 && std::uint64_t(end) != record.expectedSize[side]) {
            std::fclose(file);
            return failWith(status, "*** %s corrupted\n", path.c_str());
        }
    } else {
        path += ".emd";
        file = std::fopen(path.c_str(), "rb");
        if (file == nullptr) {
            path = stem + suffix + ".emd";  // the eight-plus-three form, krknbb.emd
            file = std::fopen(path.c_str(), "rb");
        }
        if (file == nullptr) {
            return false;
        }
        ++t.compressedFiles;
        // With the block checksums, the cache can tell a damaged block from table data.
        int code = openCompressedFile(file, true, &info);
        if (code != 0) {
            std::fclose(file);
            failWith(status, "*** Unable to read %s - ", path.c_str());
            switch (errorCategory(code)) {
                case ReadError: return failWith(status, "read error\n");
                case OutOfMemory: return failWith(status, "out of memory\n");
                case FileBroken: return failWith(status, "file broken\n");
                default: return failWith(status, "error %d\n", code);
            }
        }
        if (info->blockSize != CacheBlockSize) {
            std::fclose(file);
            return failWith(status, "*** %s: Unsupported block size %d\n", path.c_str(),
                            int(info->blockSize));
        }
        size = (info->blockCount - 1) * CacheBlockSize + info->lastBlockSize;
        if (record.expectedSize[side] != 0 && size != record.expectedSize[side]) {
            std::fclose(file);
            return failWith(status, "*** %s corrupted\n", path.c_str());
        }
    }
    record.expectedSize[side] = size;
    std::fclose(file);

    // Material: +id with white holding the first side, -id with colours reversed. For
    // equal material the second write wins, so such tables are probed colour-reversed.
    std::string_view name(record.name);
    std::size_t second = name.find('k', 1);
    int first[5] = {0, 0, 0, 0, 0};
    int other[5] = {0, 0, 0, 0, 0};
    countMen(record.name + 1, second - 1, first);
    countMen(record.name + second + 1, name.size() - second - 1, other);
    int counts[10];
    for (int reversed = 0; reversed < 2; ++reversed) {
        for (int i = 0; i < 5; ++i) {
            counts[i] = reversed ? other[i] : first[i];
            counts[5 + i] = reversed ? first[i] : other[i];
        }
        std::int32_t* leaf = t.tree.leaf(counts);
        if (leaf == nullptr) {
            return failWith(status, "*** Unable to register %s\n", path.c_str());
        }
        *leaf = reversed ? -id : id;
    }
    attachTableSide(id, side, path, std::move(info));
    return true;
}

bool registerTableSide(const std::string& directory, int id, int side) {
    RegistryStatus status;
    bool registered = checkTableSide(directory, id, side, status);
    if (status.fatal) {
        fatal(status.message);
    }
    return registered;
}

int checkTablebases(const std::string& directories, RegistryStatus& status) {
    Tablebases& t = tablebases();
    t.decoderBytes = 0;
    t.registryBytes = 0;
    t.compressedFiles = 0;
    closeAllTableFiles();
    enumerationTables();
    if (!t.tree.built()) {
        t.tree.build();
    }
    if (t.records[1].id != 1) {
        fillRecords(t);
    }
    releaseTableSides();
    releaseSharedDecoder();
    for (int id = 1; id <= TableCount; ++id) {
        for (int side = 0; side < 2; ++side) {
            t.records[id].expectedSize[side] = tableList[id].size[side];
        }
    }

    std::vector<std::string> entries(1);
    for (char ch : directories) {
        if (ch == ',' || ch == ';') {
            entries.emplace_back();
        } else {
            entries.back() += ch;
        }
    }
    int largest = 0;
    for (const std::string& entry : entries) {
        for (int id = 1; id <= TableCount; ++id) {
            bool white = checkTableSide(entry, id, 0, status);
            bool black = !status.fatal && checkTableSide(entry, id, 1, status);
            if (status.fatal) {
                return -1;
            }
            if ((white || black) && id > largest) {
                largest = id;
            }
        }
    }
    if (t.compressedFiles > 0) {
        int code = createSharedDecoder();
        if (code != 0) {
            failWith(status, "*** Cannot allocate decode block: error code %d\n", code);
            return -1;
        }
        t.decoderBytes = sharedDecoderBytes();
    }
    t.largestMen = largest >= 36 ? 5 : largest >= 6 ? 4 : largest >= 1 ? 3 : 0;
    t.inUse = false;
    return t.largestMen;
}

int initTablebases(const std::string& directories) {
    RegistryStatus status;
    int men = checkTablebases(directories, status);
    if (status.fatal) {
        fatal(status.message);
    }
    return men;
}

bool startTablebases(const std::string& directories, std::size_t cacheBytes) {
    Tablebases& t = tablebases();
    int men = initTablebases(directories);
    std::printf("egtb: %d\n", men);
    std::fflush(stdout);
    if (men == 0) {
        return false;
    }
    // Without cache memory every read would fail; play without tablebases instead.
    setupCache(nullptr, 0);
    t.cacheMemory.reset();
    bool cacheReady = false;
    if (cacheBytes >= CacheEntrySize) {
        t.cacheMemory.reset(new (std::nothrow) std::uint8_t[cacheBytes]);
        cacheReady = t.cacheMemory != nullptr && setupCache(t.cacheMemory.get(), cacheBytes) &&
                     cacheStats().entries > 0;
    }
    if (!cacheReady) {
        std::printf("egtb: cannot get %zu bytes for the tablebase cache, playing without tablebases\n",
                    cacheBytes);
        std::fflush(stdout);
        setupCache(nullptr, 0);
        t.cacheMemory.reset();
        releaseTableSides();
        return false;
    }
    t.inUse = true;
    return true;
}

bool tablebasesInUse() { return tablebases().inUse; }

int lookupMaterial(const int counts[10]) {
    std::int32_t* leaf = tablebases().tree.leaf(counts);
    return leaf == nullptr ? 0 : *leaf;
}

int scoreOfEntry(std::int8_t entry) {
    if (entry == 0) {
        return 0;
    }
    if (entry == 127) {
        return 32767;
    }
    if (entry > 0) {
        return 32640 + entry;
    }
    if (entry >= -126) {
        return entry - 32640;
    }
    return entry == -127 ? -32640 : 32640;
}

int resultOfScore(int score) {
    if (score > 0) {
        return score - 32767;
    }
    if (score < 0) {
        return score + 32766;
    }
    return 0;
}

std::int8_t entryForMate(int moves) {
    return moves >= 127 ? std::int8_t(-128) : std::int8_t(127 - moves);
}

std::int8_t entryForMated(int moves) {
    return moves >= 126 ? std::int8_t(-127) : std::int8_t(moves - 126);
}

int readTableScore(int id, int side, std::uint32_t index) {
    // Seven kppkp entries hold a mate too long for a byte: mated in 127.
    static constexpr std::uint32_t longMates[] = {56802428, 56811076, 56849992, 56858640,
                                                  59592489, 67775659, 71071628};
    if (id == 36 && side == 1) {
        for (std::uint32_t special : longMates) {
            if (index == special) {
                return -32639;
            }
        }
    }
    return scoreOfEntry(readTableEntry(id, side, index));
}

int probeTablebases(const Position& position) {
    const SideState& white = position.white;
    const SideState& black = position.black;
    const int counts[10] = {white.pawnCount, white.knightCount, white.bishopCount,
                            white.rookCount, white.queenCount, black.pawnCount,
                            black.knightCount, black.bishopCount, black.rookCount,
                            black.queenCount};
    int id = lookupMaterial(counts);
    if (id == 0) {
        return NoTablebaseResult;
    }
    const bool whiteToMove = position.board.state & StateWhiteToMove;
    const bool reversed = id < 0;
    id = reversed ? -id : id;
    const int side = reversed == whiteToMove ? 1 : 0;
    if (!tableSidePresent(id, side)) {
        return NoTablebaseResult;
    }
    // The en passant square counts only when a pawn of the side to move stands beside
    // the pawn that made the double step; otherwise the zone would name another position.
    int epSquare = NoSquare;
    if (position.board.epAvailable()) {
        int file = position.board.epFile();
        int rank = whiteToMove ? 4 : 3;
        PieceCode capturer = makeCode(Pawn, whiteToMove ? White : Black);
        bool beside = (file > 0 && position.board.at(file - 1, rank) == capturer) ||
                      (file < 7 && position.board.at(file + 1, rank) == capturer);
        if (beside) {
            epSquare = file + (whiteToMove ? 40 : 16);
        }
    }
    const TablebaseRecord& record = tablebases().records[id];
    std::uint32_t index = reversed ? record.index[side](black, white, epSquare, 1)
                                   : record.index[side](white, black, epSquare, 0);
    // Beyond the file lie no positions (and stale cache bytes): no information.
    if (index >= record.expectedSize[side]) {
        return NoTablebaseResult;
    }
    int score = readTableScore(id, side, index);
    if (score == 32767) {
        std::printf("probe broken\n");
        std::fflush(stdout);
        return NoTablebaseResult;
    }
    return resultOfScore(score);
}

}  // namespace corvina
