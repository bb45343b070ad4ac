// The command loop fed with fuzz bytes as its standard input, through the entry point's
// own choice of runs: "xboard" one xboard run, "console" the two console runs in a row,
// "uci" one UCI run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iostream>
#include <sstream>
#include <string>

#include "app/frontend.h"
#include "app/settings.h"
#include "app/uci.h"
#include "board/random.h"
#include "board/tables.h"
#include "fuzz_support.h"
#include "search/timecontrol.h"

namespace corvina::fuzz {

// Longer inputs mostly repeat commands; the cap keeps one execution short.
inline constexpr std::size_t MaxLoopInput = 1024;

inline void initCommandLoop() {
    silenceOutput();
    initTables();
    setClockSource(countingClock);
    // A two-game book: the engine answers from it at the start and searches after.
    static const char book[] =
        "[Site \"A00\"]\n[White \"Fuzz\"]\n1. e2e4 e7e5 2. g1f3 *\n"
        "[Site \"A01\"]\n1. d2d4 d7d5 2. c2c4 e7e6 *\n";
    writeFile(scratchFolder() / "book.alg", reinterpret_cast<const std::uint8_t*>(book),
              sizeof book - 1);
}

// hashMegabytes 0 gives the one-entry table, which the console target uses: it is the
// cheaper of the two and an edge of its own.
inline void runCommandLoop(const char* gui, int hashMegabytes, const std::uint8_t* data,
                           std::size_t size) {
    std::istringstream input(
        std::string(reinterpret_cast<const char*>(data), size < MaxLoopInput ? size : MaxLoopInput));
    std::streambuf* keyboard = std::cin.rdbuf(input.rdbuf());
    std::cin.clear();

    // The same input must play the same game: fixed keys, book draws and clock.
    seedRandom(20260101);
    clockReadings() = 0;
    Settings settings;
    settings.gui = gui;
    settings.book = (scratchFolder() / "book.alg").string();
    settings.egtb = (scratchFolder() / "no-tables").string();  // a folder that does not exist
    settings.hashsize = hashMegabytes;
    settings.egtbsize = 1;
    const FrontEndRuns runs = {runXboard, runConsolePositions, runConsoleEndgames, runSelfPlay,
                               runUci};
    startFrontEnd(settings, runs);

    std::cin.rdbuf(keyboard);
    std::cin.clear();
}

}  // namespace corvina::fuzz
