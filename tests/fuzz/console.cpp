// Fuzz target: bytes as the standard input of the two console runs, one after the other.
#include "command_loop.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    corvina::fuzz::initCommandLoop();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    corvina::fuzz::runCommandLoop("console", 0, data, size);
    return 0;
}
