// The engine's one random source: a 32-bit linear congruential generator with 15-bit
// results. Seeded once at start-up from the time of day; the hash keys and the opening
// book draw from it. Tests seed it to get reproducible tables.
#pragma once

#include <cstdint>

namespace corvina {

void seedRandom(std::uint32_t seed);
std::uint32_t randomSeedState();      // the current seed, for tests
std::uint32_t drawRandom15();         // seed = seed * 214013 + 2531011; (seed >> 16) & 0x7FFF
std::uint64_t drawRandom64();         // ten draws combined into one 64-bit value

}  // namespace corvina
