// Fuzz target: the opening book loader on a file of fuzz bytes. Every stored move must
// be a legal move of the position it is stored under, and every position must answer.
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <string>

#include "board/notation.h"
#include "board/position.h"
#include "board/random.h"
#include "board/tables.h"
#include "book/book.h"
#include "fuzz_support.h"

using namespace corvina;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::silenceOutput();
    initTables();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = (fuzz::scratchFolder() / "book.alg").string();
    fuzz::writeFile(path, data, size);
    seedRandom(99);
    OpeningBook book(path);
    for (const auto& [key, entry] : book.entries()) {
        const Move& m = entry.move;
        const std::string text = {char('a' + m.fromFile), char('1' + m.fromRank),
                                  char('a' + m.toFile), char('1' + m.toRank)};
        const Move again = readMove(text, key);
        if (again.isNone() || again.from() != m.from() || again.toFile != m.toFile ||
            again.toRank != m.toRank)
            __builtin_trap();
        if (book.lookupBookMove(key).move.isNone()) __builtin_trap();
        writeCoordinate(std::cout, m);
    }
    return 0;
}
