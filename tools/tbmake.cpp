// corvina-tbmake: writes endgame tables in this engine's format from Gaviota tables.
//
//   corvina-tbmake [--compress] TABLE GAVIOTA_DIR OUT_DIR
//
// TABLE is a name of the table list (krk, kbnk, kqpkr, ...) or "all" for every table
// whose Gaviota file is in GAVIOTA_DIR. Both sides to move are written: NAME.nbw and
// NAME.nbb, or NAME.nbw.emd and NAME.nbb.emd with --compress. Every legal position of
// the material is visited, en passant positions included, and stored at the index the
// engine's probe computes; a byte no legal position reaches holds 0.
#include <gtb-probe.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tablebases/indexing.h"
#include "tablebases/registry.h"
#include "tablebases/writer.h"
#include "tools/gaviota.h"

using namespace corvina;

namespace {

const char* const gaviotaSuffixes[] = {".gtb.cp4", ".gtb.cp2", ".gtb.cp1", ".gtb.cp3", ".gtb"};
const int gaviotaSchemes[] = {tb_CP4, tb_CP2, tb_CP1, tb_CP3, tb_UNCOMPRESSED};

bool fileExists(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f != nullptr) {
        std::fclose(f);
    }
    return f != nullptr;
}

// The Gaviota compression scheme of a table in the directory, or -1 when it is absent.
int gaviotaScheme(const std::string& dir, const char* name) {
    for (int i = 0; i < 5; ++i) {
        if (fileExists(dir + "/" + name + gaviotaSuffixes[i])) {
            return gaviotaSchemes[i];
        }
    }
    return -1;
}

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "corvina-tbmake: %s\n", message.c_str());
    std::exit(1);
}

// The stored byte of a position, from Gaviota's result.
std::int8_t gaviotaEntry(const TableMen& men, const TablePosition& p) {
    int moves = 0;
    switch (probeGaviota(men, p, moves)) {
    case GaviotaVerdict::NoAnswer:
        fail("Gaviota has no result for " + describeTablePosition(men, p));
    case GaviotaVerdict::Illegal:
        fail("Gaviota calls this position illegal: " + describeTablePosition(men, p));
    case GaviotaVerdict::Draw:
        return 0;
    case GaviotaVerdict::MoverWins:
        return entryForMate(moves);
    case GaviotaVerdict::MoverLoses:
        break;
    }
    return entryForMated(moves);
}

bool makeSide(int id, int side, bool compress, const std::string& outDir) {
    const TableListEntry& entry = tableList[id];
    const TableMen men = parseTableMen(entry.name);
    const IndexFunction index = makeIndexFunction(entry.name, side);
    const std::uint32_t size = entry.size[side];
    std::vector<std::int8_t> data(size, 0);
    std::vector<std::uint8_t> reached((size + 7) / 8, 0);
    std::uint64_t positions = 0;
    forEachTablePosition(men, side, [&](const TablePosition& p) {
        std::uint32_t at = index(p.sides[0], p.sides[1], p.epSquare, 0);
        if (at >= size) {
            fail(std::string(entry.name) + ": index " + std::to_string(at) + " past the size " +
                 std::to_string(size) + " for " + describeTablePosition(men, p));
        }
        std::int8_t value = gaviotaEntry(men, p);
        std::uint8_t bit = std::uint8_t(1u << (at & 7));
        if (reached[at / 8] & bit) {
            if (data[at] != value) {
                fail(std::string(entry.name) + ": index " + std::to_string(at) +
                     " holds two values, " + std::to_string(data[at]) + " and " +
                     std::to_string(value) + " (the second for " + describeTablePosition(men, p) + ")");
            }
        } else {
            reached[at / 8] |= bit;
            data[at] = value;
        }
        ++positions;
    });

    std::string path = outDir + "/" + entry.name + (side == 0 ? ".nbw" : ".nbb");
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
    if (compress) {
        path += ".emd";
        CompressionStats stats;
        if (!writeCompressedTable(path, bytes, size, &stats)) {
            std::fprintf(stderr, "corvina-tbmake: cannot write %s\n", path.c_str());
            return false;
        }
    } else {
        std::FILE* out = std::fopen(path.c_str(), "wb");
        bool ok = out != nullptr && std::fwrite(bytes, 1, size, out) == size;
        if (out != nullptr && std::fclose(out) != 0) {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "corvina-tbmake: cannot write %s\n", path.c_str());
            return false;
        }
    }
    std::printf("%s: %llu positions, %u bytes\n", path.c_str(),
                static_cast<unsigned long long>(positions), size);
    std::fflush(stdout);
    return true;
}

int usage() {
    std::fprintf(stderr,
                 "usage: corvina-tbmake [--compress] TABLE GAVIOTA_DIR OUT_DIR\n"
                 "  TABLE: a table name such as krk or kbnk, or all\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    bool compress = false;
    if (!args.empty() && args[0] == "--compress") {
        compress = true;
        args.erase(args.begin());
    }
    if (args.size() != 3) {
        return usage();
    }
    const std::string& table = args[0];
    const std::string& gaviotaDir = args[1];
    const std::string& outDir = args[2];

    std::vector<int> ids;
    for (int id = 1; id <= TableCount; ++id) {
        bool wanted = table == "all" ? gaviotaScheme(gaviotaDir, tableList[id].name) >= 0
                                     : table == tableList[id].name;
        if (wanted) {
            ids.push_back(id);
        }
    }
    if (ids.empty()) {
        std::fprintf(stderr, table == "all" ? "corvina-tbmake: no Gaviota tables in %s\n"
                                            : "corvina-tbmake: %s is not a table of the list\n",
                     table == "all" ? gaviotaDir.c_str() : table.c_str());
        return 1;
    }
    int scheme = gaviotaScheme(gaviotaDir, tableList[ids[0]].name);
    if (scheme < 0) {
        std::fprintf(stderr, "corvina-tbmake: %s has no Gaviota file in %s\n", table.c_str(),
                     gaviotaDir.c_str());
        return 1;
    }

    const char** paths = tbpaths_init();
    paths = tbpaths_add(paths, gaviotaDir.c_str());
    tb_init(0, scheme, paths);
    tbcache_init(64 * 1024 * 1024, 0);
    int status = 0;
    for (int id : ids) {
        for (int side = 0; side < 2 && status == 0; ++side) {
            if (!makeSide(id, side, compress, outDir)) {
                status = 1;
            }
        }
    }
    tbcache_done();
    tb_done();
    tbpaths_done(paths);
    return status;
}
