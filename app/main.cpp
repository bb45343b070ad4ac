// The engine's entry point: random source, static tables, settings, then the front end.
#include <cstdint>
#include <ctime>
#include <iostream>

#include "app/frontend.h"
#include "app/settings.h"
#include "app/uci.h"
#include "board/random.h"
#include "board/tables.h"

int main(int argc, char** argv) {
    using namespace corvina;
    // The hash keys and the opening book draw from this source.
    seedRandom(std::uint32_t(std::time(nullptr)));
    initTables();

    Settings settings;
    // Without a readable file the defaults stay; whether one was written changes nothing.
    readSettings(settings, argc > 1 ? argv[1] : nullptr);

    const FrontEndRuns runs = {runXboard, runConsolePositions, runConsoleEndgames, runSelfPlay,
                               runUci};
    // A UCI GUI says "uci" first, whatever the settings file expects. Only the xboard run
    // waits for its input before it prints; the console runs show their board first.
    if (settings.gui != "xboard") return startFrontEnd(settings, runs);
    const FirstWord first(std::cin);
    if (first.isUci()) settings.gui = "uci";
    return startFrontEnd(settings, runs);
}
