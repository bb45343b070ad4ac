// Fuzz target: table-side registration on folders of garbage files, then reads through
// the block cache from whatever registered. The fatal conditions that end the engine
// ("*** " messages) are taken from the checking form of the registry, which reports
// them instead of exiting.
//
// Input: one byte of cache size, then records of
//   table byte (id 1 + b % 110), form byte, two bytes of length (little-endian), content.
// Form bit 0: the side (white or black to move); bits 1-2: the file name (plain, ".emd",
// the eight-plus-three ".emd", or a folder of the plain name); bit 3: repeat the content
// up to the table's expected size (3-man tables only, so files stay small); bit 4: the
// second folder of the list.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "tablebases/cache.h"
#include "tablebases/registry.h"

using namespace corvina;
namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t MaxPaddedSize = 128 * 1024;
constexpr int MaxCacheEntries = 4;

// Writes the file unless an earlier record made a folder of that name.
bool writeIfFree(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    if (fs::is_directory(path)) return false;
    fuzz::writeFile(path, bytes.data(), bytes.size());
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::silenceOutput();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const fs::path folders[2] = {fuzz::scratchFolder() / "a", fuzz::scratchFolder() / "b"};
    for (const fs::path& folder : folders) {
        fs::remove_all(folder);
        fs::create_directory(folder);
    }
    const int cacheEntries = 1 + data[0] % MaxCacheEntries;
    // The plain files by path, to compare the cache's reads with.
    std::map<std::string, std::vector<std::uint8_t>> plain;
    for (std::size_t at = 1; at + 4 <= size;) {
        const int id = 1 + data[at] % TableCount;
        const int form = data[at + 1];
        std::size_t length = data[at + 2] | std::size_t(data[at + 3]) << 8;
        at += 4;
        length = std::min(length, size - at);
        const int side = form & 1;
        const std::string name = tableList[id].name;
        const std::string suffix = side ? "nbb" : "nbw";
        const fs::path& folder = folders[(form >> 4) & 1];
        std::vector<std::uint8_t> bytes(data + at, data + at + length);
        at += length;
        const std::uint32_t expected = tableList[id].size[side];
        if ((form & 8) && !bytes.empty() && expected <= MaxPaddedSize) {
            const std::size_t pattern = bytes.size();
            bytes.resize(expected);
            for (std::size_t i = pattern; i < expected; ++i) bytes[i] = bytes[i - pattern];
        }
        switch ((form >> 1) & 3) {
            case 0: {
                const fs::path path = folder / (name + "." + suffix);
                if (writeIfFree(path, bytes)) plain[path.string()] = bytes;
                break;
            }
            case 1: writeIfFree(folder / (name + "." + suffix + ".emd"), bytes); break;
            case 2: writeIfFree(folder / (name + suffix + ".emd"), bytes); break;
            default: {
                std::error_code taken;  // a file of that name already: keep the file
                fs::create_directory(folder / (name + "." + suffix), taken);
                break;
            }
        }
    }

    RegistryStatus status;
    const int men = checkTablebases(folders[0].string() + ";" + folders[1].string(), status);
    if (status.fatal != (men == -1)) __builtin_trap();
    if (status.fatal && status.message.rfind("*** ", 0) != 0) __builtin_trap();
    if (men > 0) {
        static std::uint8_t cache[MaxCacheEntries * CacheEntrySize];
        setupCache(cache, std::size_t(cacheEntries) * CacheEntrySize);
        for (int id = 1; id <= TableCount; ++id) {
            for (int side = 0; side < 2; ++side) {
                if (!tableSidePresent(id, side)) continue;
                const std::uint32_t n = tablebases().records[id].expectedSize[side];
                // Each block of the first few, its ends, and the middle of the side.
                const std::uint32_t probes[] = {0, 1, 8191, 8192, 20000, n / 2, n - 1, 0};
                for (std::uint32_t index : probes) {
                    if (index >= n || !tableSidePresent(id, side)) continue;
                    const std::int8_t entry = readTableEntry(id, side, index);
                    // A plain file reads as written while its side stays registered.
                    const auto found = plain.find(tableSideFiles(id, side).fileName);
                    if (found != plain.end() && tableSidePresent(id, side) &&
                        entry != std::int8_t(found->second.at(index)))
                        __builtin_trap();
                }
            }
        }
    }
    resetTablebases();
    return 0;
}
