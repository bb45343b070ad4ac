// Helpers shared by the fuzz targets: silenced output, a scratch folder, files from
// bytes, and a clock that bounds every search by the number of its readings.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <streambuf>
#include <string>

namespace corvina::fuzz {

// Takes every character and keeps none, so that the formatting code still runs.
class NullBuffer : public std::streambuf {
  protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

inline NullBuffer& nullBuffer() {
    static NullBuffer buffer;
    return buffer;
}

// The engine prints a great deal; libFuzzer and the sanitizers write to file
// descriptor 2 directly, so their reports still show.
inline void silenceOutput() {
    std::cout.rdbuf(&nullBuffer());
    std::cerr.rdbuf(&nullBuffer());
    if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
}

// A folder of this process, removed at exit. Memory-backed when the system has one.
inline const std::filesystem::path& scratchFolder() {
    static const std::filesystem::path folder = [] {
        std::string pattern = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        pattern += "/corvina-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        std::atexit([] {
            std::error_code error;
            std::filesystem::remove_all(scratchFolder(), error);
        });
        return std::filesystem::path(pattern);
    }();
    return folder;
}

inline void writeFile(const std::filesystem::path& path, const std::uint8_t* data,
                      std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    if (!out) std::abort();
}

// Fuzz-run time: each reading advances the clock by a microsecond, every 256th by a
// day as well, past any budget the time rules can give (at most three times 10000 s).
// So a search polls the clock at most 256 times after its first pass, whatever the
// "time" words said, and the same input always searches the same nodes.
inline std::uint64_t& clockReadings() {
    static std::uint64_t readings = 0;
    return readings;
}

inline double countingClock() {
    const std::uint64_t n = ++clockReadings();
    return double(n) * 0.001 + double(n / 256) * 86400e3;
}

}  // namespace corvina::fuzz
