// Fuzz target: bytes as the standard input of a UCI run.
#include <cctype>
#include <string>

#include "command_loop.h"

namespace {

// The largest "Hash" a fuzzed input may ask for, in megabytes. A larger table is mapped in
// whole huge pages, and a short search that touches a few thousand of its slots takes
// gigabytes, past libFuzzer's memory limit; the option's parsing is the same below it.
constexpr long long MaxFuzzHashMegabytes = 64;

// True when a line that names the hash holds a number above the limit: such an input is
// passed over rather than run.
bool asksForLargeTable(const std::uint8_t* data, std::size_t size) {
    std::string line;
    for (std::size_t i = 0; i <= size; ++i) {
        if (i < size && data[i] != '\n') {
            line += char(std::tolower(data[i]));
            continue;
        }
        if (line.find("hash") != std::string::npos) {
            long long number = 0;
            for (const char c : line) {
                if (std::isdigit(static_cast<unsigned char>(c))) {
                    number = number * 10 + (c - '0');
                    if (number > MaxFuzzHashMegabytes) return true;
                } else {
                    number = 0;
                }
            }
        }
        line.clear();
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    corvina::fuzz::initCommandLoop();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using corvina::fuzz::MaxLoopInput;
    if (asksForLargeTable(data, size < MaxLoopInput ? size : MaxLoopInput)) return 0;
    corvina::fuzz::runCommandLoop("uci", 1, data, size);
    return 0;
}
