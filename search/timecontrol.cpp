#include "search/timecontrol.h"

#include <chrono>
#include <iostream>

#include "search/searcher.h"

namespace corvina {

namespace {

double steadyClockMilliseconds() {
    using namespace std::chrono;
    static const steady_clock::time_point start = steady_clock::now();
    return duration<double, std::milli>(steady_clock::now() - start).count();
}

// The one replaceable clock of the process.
ClockSource& clockSource() {
    static ClockSource source = steadyClockMilliseconds;
    return source;
}

}  // namespace

double clockMilliseconds() { return clockSource()(); }

void setClockSource(ClockSource source) {
    clockSource() = source ? source : steadyClockMilliseconds;
}

double elapsedSeconds(const Searcher& searcher) {
    return (clockMilliseconds() - searcher.startTime) * 0.001;
}

bool softTimeExceeded(Searcher& searcher, bool quiet) {
    double elapsed = elapsedSeconds(searcher);
    if (elapsed <= searcher.timeBudget) return false;
    if (!quiet) std::cout << "aborting at time: " << elapsed << std::endl;
    searcher.aborted = true;
    return true;
}

bool hardTimeExceeded(Searcher& searcher, bool quiet) {
    double elapsed = elapsedSeconds(searcher);
    if (elapsed <= 3.0 * searcher.timeBudget) return false;
    if (!quiet) std::cout << "really aborting at time: " << elapsed << std::endl;
    searcher.aborted = true;
    searcher.hardAborted = true;
    return true;
}

bool shouldStopBeforePass(Searcher& searcher) {
    if (searcher.bestMove.isNone()) return false;
    if (stopRequested(searcher)) return true;
    if (searcher.acceptable) return searcher.aborted || softTimeExceeded(searcher, false);
    return hardTimeExceeded(searcher, false);
}

}  // namespace corvina
