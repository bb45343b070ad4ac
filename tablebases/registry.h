// Tablebase registry and probe: the built-in list of tables, the files found for them,
// the material of a position mapped to its table, and the probe that turns a table's
// byte into a distance to mate.
//
// All of this state is process-wide (one registry beside the one cache and decoder).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "board/types.h"
#include "tablebases/cache.h"
#include "tablebases/indexing.h"

namespace corvina {

inline constexpr int TableCount = 110;  // ids 1..110
inline constexpr int NoTablebaseResult = 32767;

struct TableListEntry {
    const char* name;
    std::uint32_t size[2];  // bytes of the white-to-move and the black-to-move file
};

// Table-white is the first side of the name, table-black the second.
inline constexpr TableListEntry tableList[TableSlotCount] = {
    {"kk", {0, 0}},
    {"kpk", {81664, 84012}},
    {"knk", {26282, 28644}},
    {"kbk", {27243, 28644}},
    {"krk", {27030, 28644}},
    {"kqk", {25629, 28644}},
    {"kpkp", {3863492, 3863492}},
    {"knkp", {4931904, 4981504}},
    {"knkn", {1603202, 1603202}},
    {"kbkp", {5112000, 4981504}},
    {"kbkn", {1661823, 1603202}},
    {"kbkb", {1661823, 1661823}},
    {"krkp", {5072736, 4981504}},
    {"krkn", {1649196, 1603202}},
    {"krkb", {1649196, 1661823}},
    {"krkr", {1649196, 1649196}},
    {"kqkp", {4810080, 4981504}},
    {"kqkn", {1563735, 1603202}},
    {"kqkb", {1563735, 1661823}},
    {"kqkr", {1563735, 1649196}},
    {"kqkq", {1563735, 1563735}},
    {"kppk", {1806671, 1912372}},
    {"knpk", {4648581, 5124732}},
    {"knnk", {735304, 873642}},
    {"kbpk", {4817128, 5124732}},
    {"kbnk", {1550620, 1747284}},
    {"kbbk", {789885, 873642}},
    {"krpk", {4779530, 5124732}},
    {"krnk", {1538479, 1747284}},
    {"krbk", {1594560, 1747284}},
    {"krrk", {777300, 873642}},
    {"kqpk", {4533490, 5124732}},
    {"kqnk", {1459616, 1747284}},
    {"kqbk", {1512507, 1747284}},
    {"kqrk", {1500276, 1747284}},
    {"kqqk", {698739, 873642}},
    {"kppkp", {84219361, 89391280}},
    {"kppkn", {108400260, 115899744}},
    {"kppkb", {108400260, 120132000}},
    {"kppkr", {108400260, 119209296}},
    {"kppkq", {108400260, 113036880}},
    {"knpkp", {219921779, 231758952}},
    {"knpkn", {278914860, 295914240}},
    {"knpkb", {278914860, 306720000}},
    {"knpkr", {278914860, 304369920}},
    {"knpkq", {278914860, 288610560}},
    {"knnkp", {137991648, 149445120}},
    {"knnkn", {44118240, 48096060}},
    {"knnkb", {44118240, 49854690}},
    {"knnkr", {44118240, 49475880}},
    {"knnkq", {44118240, 46912050}},
    {"kbpkp", {227896016, 231758952}},
    {"kbpkn", {289027680, 295914240}},
    {"kbpkb", {289027680, 306720000}},
    {"kbpkr", {289027680, 304369920}},
    {"kbpkq", {289027680, 288610560}},
    {"kbnkp", {290989584, 298890240}},
    {"kbnkn", {93037200, 96192120}},
    {"kbnkb", {93037200, 99709380}},
    {"kbnkr", {93037200, 98951760}},
    {"kbnkq", {93037200, 93824100}},
    {"kbbkp", {148223520, 149445120}},
    {"kbbkn", {47393100, 48096060}},
    {"kbbkb", {47393100, 49854690}},
    {"kbbkr", {47393100, 49475880}},
    {"kbbkq", {47393100, 46912050}},
    {"krpkp", {226121876, 231758952}},
    {"krpkn", {286777440, 295914240}},
    {"krpkb", {286777440, 306720000}},
    {"krpkr", {286777440, 304369920}},
    {"krpkq", {286777440, 288610560}},
    {"krnkp", {288692928, 298890240}},
    {"krnkn", {92308740, 96192120}},
    {"krnkb", {92308740, 99709380}},
    {"krnkr", {92308740, 98951760}},
    {"krnkq", {92308740, 93824100}},
    {"krbkp", {299203200, 298890240}},
    {"krbkn", {95673600, 96192120}},
    {"krbkb", {95673600, 99709380}},
    {"krbkr", {95673600, 98951760}},
    {"krbkq", {95673600, 93824100}},
    {"krrkp", {145901232, 149445120}},
    {"krrkn", {46658340, 48096060}},
    {"krrkb", {46658340, 49854690}},
    {"krrkr", {46658340, 49475880}},
    {"krrkq", {46658340, 46912050}},
    {"kqpkp", {214481388, 231758952}},
    {"kqpkn", {272015040, 295914240}},
    {"kqpkb", {272015040, 306720000}},
    {"kqpkr", {272015040, 304369920}},
    {"kqpkq", {272015040, 288610560}},
    {"kqnkp", {273904512, 298890240}},
    {"kqnkn", {87576960, 96192120}},
    {"kqnkb", {87576960, 99709380}},
    {"kqnkr", {87576960, 98951760}},
    {"kqnkq", {87576960, 93824100}},
    {"kqbkp", {283818240, 298890240}},
    {"kqbkn", {90750420, 96192120}},
    {"kqbkb", {90750420, 99709380}},
    {"kqbkr", {90750420, 98951760}},
    {"kqbkq", {90750420, 93824100}},
    {"kqrkp", {281568240, 298890240}},
    {"kqrkn", {90038460, 96192120}},
    {"kqrkb", {90038460, 99709380}},
    {"kqrkr", {90038460, 98951760}},
    {"kqrkq", {90038460, 93824100}},
    {"kqqkp", {131170128, 149445120}},
    {"kqqkn", {41944320, 48096060}},
    {"kqqkb", {41944320, 49854690}},
    {"kqqkr", {41944320, 49475880}},
    {"kqqkq", {41944320, 46912050}},
};

struct TablebaseRecord {
    std::int32_t id = 0;
    IndexFunction index[2];
    char name[6] = {};
    std::uint32_t expectedSize[2] = {0, 0};
};

// Maps the ten piece counts (white pawns, knights, bishops, rooks, queens, then black's)
// to a signed table id: +id when white holds the table's first side, -id when black
// does, 0 for no table. It holds exactly the materials with at most three men besides
// the kings: each level's node allows counts up to the budget left.
struct MaterialTree {
    struct Node {
        std::int8_t maxCount = 0;
        std::int32_t firstChild = 0;  // node number, or leaf number at the last level
    };
    std::vector<Node> nodes;  // levels 0..9; node 0 is the root
    std::vector<std::int32_t> leaves;

    void build();
    bool built() const { return !nodes.empty(); }
    // The leaf of the counts, or nullptr when a count leaves the tree.
    std::int32_t* leaf(const int counts[10]);
    void clearLeaves();
};

struct Tablebases {
    TablebaseRecord records[TableSlotCount];
    MaterialTree tree;
    std::uint64_t decoderBytes = 0;   // allocation counters, zeroed by initTablebases
    std::uint64_t registryBytes = 0;
    int compressedFiles = 0;
    int largestMen = 0;
    bool inUse = false;               // started with tables found and a working cache
    std::unique_ptr<std::uint8_t[]> cacheMemory;
};

// The one registry.
Tablebases& tablebases();
// Back to the unstarted state: sides released, cache off, material tree cleared.
void resetTablebases();

// Registers the tables found in a list of directories (split at ',' and ';', an empty
// entry is the current directory, the first directory holding a side wins). Returns the
// most men of a registered table: 5, 4, 3, or 0 when none was found.
int initTablebases(const std::string& directories);
// True when the side is (now or already) registered. Ends the program with status 1 on
// a corrupt or unreadable file.
bool registerTableSide(const std::string& directory, int id, int side);

// A fatal registration condition and its "*** " message, for callers that must see it
// without the program ending (tests, fuzzing).
struct RegistryStatus {
    bool fatal = false;
    std::string message;
};
// registerTableSide that reports a fatal file in status (and returns false) instead of
// ending the program.
bool checkTableSide(const std::string& directory, int id, int side, RegistryStatus& status);
// initTablebases that stops at the first fatal condition, reports it in status and
// returns -1. The sides registered until then stay; resetTablebases releases them.
int checkTablebases(const std::string& directories, RegistryStatus& status);
// initTablebases, the "egtb: " line, and the cache. True when tables are in use.
bool startTablebases(const std::string& directories, std::size_t cacheBytes);
bool tablebasesInUse();

// Signed table id of the ten counts, 0 when there is none.
int lookupMaterial(const int counts[10]);

// The distance to mate of the position: -n the side to move mates in n moves, +n it is
// mated in n, 0 a draw (or mate on the board), NoTablebaseResult when there is no table,
// the side is not registered, or its file cannot be read.
int probeTablebases(const Position& position);

// The entry of a table side on the 16-bit score scale; 32767 when it cannot be read.
int readTableScore(int id, int side, std::uint32_t index);
int scoreOfEntry(std::int8_t entry);
int resultOfScore(int score);
// The byte that stores a result (inverse of the two above; mated in 0 is -126).
std::int8_t entryForMate(int moves);   // the side to move mates in 1..127 moves
std::int8_t entryForMated(int moves);  // the side to move is mated in 0..126 moves

}  // namespace corvina
