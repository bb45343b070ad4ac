#include "board/random.h"

namespace corvina {

namespace {
// The one process-wide generator state; seedRandom is its reset.
std::uint32_t generatorSeed = 1;
}  // namespace

void seedRandom(std::uint32_t seed) { generatorSeed = seed; }

std::uint32_t randomSeedState() { return generatorSeed; }

std::uint32_t drawRandom15() {
    generatorSeed = generatorSeed * 214013u + 2531011u;
    return (generatorSeed >> 16) & 0x7FFFu;
}

std::uint64_t drawRandom64() {
    // Ten draws in a fixed order; the sum keeps every key table reproducible.
    std::uint64_t r[10];
    for (auto& value : r) value = drawRandom15();
    return ((r[0] * r[1]) * r[2]) * r[3] + (r[4] * r[5]) * r[6] + r[7] * r[8] + r[9];
}

}  // namespace corvina
