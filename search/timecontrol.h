// Time control: a soft limit (the budget) tested between passes and a hard limit
// (three times the budget) tested inside the search. Both are polled, never signalled.
#pragma once

#include "search/searcher.h"

namespace corvina {

// The engine's monotonic clock, in milliseconds. Only differences matter.
double clockMilliseconds();

// Tests replace the clock with their own; nullptr restores the steady clock.
using ClockSource = double (*)();
void setClockSource(ClockSource source);

// Elapsed seconds since the Searcher's startTime.
double elapsedSeconds(const Searcher& searcher);

// Past the budget: unless quiet prints "aborting at time: ", sets aborted.
bool softTimeExceeded(Searcher& searcher, bool quiet);
// Past three times the budget: unless quiet prints "really aborting at time: ",
// sets aborted and hardAborted.
bool hardTimeExceeded(Searcher& searcher, bool quiet);

// A stop asked for from outside or the node limit reached: sets aborted, quietly, so that
// the pass is thrown away as after the hard limit. Only worth asking once a best move exists.
inline bool stopRequested(Searcher& searcher) {
    const bool stop =
        (searcher.stopRequest && searcher.stopRequest->load(std::memory_order_relaxed)) ||
        (searcher.nodeLimit != 0 && searcher.nodeCount >= searcher.nodeLimit);
    if (stop) searcher.aborted = true;
    return stop;
}

// The hard-limit check the search makes after every searched move. The clock is read at
// every HardLimitPollInterval-th check only, each check being a few microseconds of
// search at most, so the limit is still noticed within a millisecond or so; once the
// search has given up, every check reads it, so the abort unwinds at once.
inline constexpr int HardLimitPollInterval = 64;
inline bool pollHardTime(Searcher& searcher, bool quiet) {
    if (!searcher.hardAborted && ++searcher.pollCount < HardLimitPollInterval) return false;
    searcher.pollCount = 0;
    return hardTimeExceeded(searcher, quiet);
}

// The check both searches make after every searched move: the first pass of a move never
// aborts; later ones give up past the hard limit or on a stop request, and the driver
// throws the pass away.
inline bool searchMustAbort(Searcher& searcher, int ply) {
    return !searcher.bestMove.isNone() &&
           (pollHardTime(searcher, ply != 0) || stopRequested(searcher));
}

// Called before every pass: the first pass of a move always runs; after an acceptable
// move the soft limit decides, otherwise the hard one; a stop request ends it too.
bool shouldStopBeforePass(Searcher& searcher);

}  // namespace corvina
