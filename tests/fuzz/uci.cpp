// Fuzz target: bytes as the standard input of a UCI run.
#include "command_loop.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    corvina::fuzz::initCommandLoop();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    corvina::fuzz::runCommandLoop("uci", 1, data, size);
    return 0;
}
