// The engine's entry point: random source, static tables, settings, then the front end.
#include <cstdint>
#include <ctime>

#include "app/frontend.h"
#include "app/settings.h"
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

    const FrontEndRuns runs = {runXboard, runConsolePositions, runConsoleEndgames, runSelfPlay};
    return startFrontEnd(settings, runs);
}
