// The front-end runs that the entry point starts by the gui setting. Each run creates its
// own engine from the settings, plays, and destroys the engine at its end.
#pragma once

#include <atomic>
#include <istream>
#include <string>

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
class InputReader;
struct Move;

// A move as xboard and UCI write it: from and to squares, then the promotion letter.
std::string xboardMove(const Move& move);

// The command loop's state. In console mode only the first four matter.
struct CommandLoop {
    CommandLoop(std::istream& input, bool xboardMode) : in(input), xboard(xboardMode) {}

    std::istream& in;
    bool xboard;
    bool thinkNow = false;  // a time (or m, or xboard's go) asks for the engine's move
    bool goSeen = false;    // console: go counts once per game

    // xboard protocol 2.
    bool forceMode = false;  // moves are played, the engine does not answer
    // The side go or playother gave the engine, -1 none: then, as in protocol 1, a move
    // is answered only after a time in the same read.
    int playing = -1;
    bool post = true;                    // thinking lines
    InputReader* reader = nullptr;       // the input thread, which stops a search
    std::atomic<bool> abandoned{false};  // the game changed while the engine thought
};

// Reads commands and moves until the engine may be to move (0) or the input says quit
// (-1); the end of input counts as quit.
int readCommands(Engine& engine, CommandLoop& loop);
// The command loop: in xboard mode only protocol lines, in console mode diagrams too.
void runGameLoop(Engine& engine, CommandLoop& loop);

}  // namespace corvina
