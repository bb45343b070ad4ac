// The front-end runs that the entry point starts by the gui setting. Each run creates its
// own engine from the settings, plays, and destroys the engine at its end.
#pragma once

#include "app/settings.h"

namespace corvina {

// Prints the protocol's feature lines, then plays under the xboard protocol until "quit".
void runXboard(const Settings& settings);
// Console play from the built-in middlegame and pawn-ending test positions.
void runConsolePositions(const Settings& settings);
// Console play from the built-in small endgames, a second run after the first.
void runConsoleEndgames(const Settings& settings);
// The engine plays both sides until the game has a result.
void runSelfPlay(const Settings& settings);

struct Engine;

// Reads commands and moves until the engine is to move (0) or the input says quit (-1);
// the end of input counts as quit.
int readCommands(Engine& engine, bool xboard, bool& thinkNow, bool& goSeen);
// The command loop: in xboard mode only protocol lines, in console mode diagrams too.
void runGameLoop(Engine& engine, bool xboard);

}  // namespace corvina
