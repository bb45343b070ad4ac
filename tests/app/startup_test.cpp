// The choice of front-end runs, driven with recording runs instead of the real ones.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "app/settings.h"
#include "tests/app/test_support.h"

namespace corvina {
namespace {

using testing::StreamCapture;

std::string runLog;
std::string throwingRun;  // the run that throws, if any

void record(const char* name) {
    runLog += runLog.empty() ? "" : " ";
    runLog += name;
    if (throwingRun == name) throw std::runtime_error("run failed");
}

const FrontEndRuns recordingRuns = {
    [](const Settings&) { record("xboard"); },
    [](const Settings&) { record("positions"); },
    [](const Settings&) { record("endgames"); },
    [](const Settings&) { record("selfplay"); },
};

struct Started {
    int status;
    std::string runs;
    std::string out;
};

Started start(const std::string& gui, const std::string& throwing = "") {
    runLog.clear();
    throwingRun = throwing;
    Settings settings;
    settings.gui = gui;
    StreamCapture out(std::cout);
    const int status = startFrontEnd(settings, recordingRuns);
    return {status, runLog, out.text()};
}

TEST(StartFrontEnd, EachGuiValueStartsItsRuns) {
    const Started xboard = start("xboard");
    EXPECT_EQ(xboard.status, 0);
    EXPECT_EQ(xboard.runs, "xboard");
    EXPECT_EQ(xboard.out, "");

    // Two console runs, the test positions first.
    const Started console = start("console");
    EXPECT_EQ(console.status, 0);
    EXPECT_EQ(console.runs, "positions endgames");

    const Started both = start("both");
    EXPECT_EQ(both.status, 0);
    EXPECT_EQ(both.runs, "selfplay");
}

TEST(StartFrontEnd, UnknownGuiStartsNothingAndExitsWithOne) {
    for (const char* gui : {"Console", "XBOARD", "", "console ", "chess"}) {
        const Started started = start(gui);
        EXPECT_EQ(started.status, 1) << "gui '" << gui << "'";
        EXPECT_EQ(started.runs, "") << "gui '" << gui << "'";
        EXPECT_EQ(started.out, "chess: please specify xboard or console as gui type\n");
    }
}

TEST(StartFrontEnd, EscapingExceptionPrintsInternalErrorAndExitsWithOne) {
    for (const char* gui : {"xboard", "both"}) {
        const Started started = start(gui, gui == std::string("xboard") ? "xboard" : "selfplay");
        EXPECT_EQ(started.status, 1);
        EXPECT_EQ(started.out, "internal error\n");
    }
    const Started second = start("console", "endgames");
    EXPECT_EQ(second.status, 1);
    EXPECT_EQ(second.runs, "positions endgames");
    EXPECT_EQ(second.out, "internal error\n");

    // A failing first console run is caught too, and the second run does not start.
    const Started first = start("console", "positions");
    EXPECT_EQ(first.status, 1);
    EXPECT_EQ(first.runs, "positions");
    EXPECT_EQ(first.out, "internal error\n");
}

}  // namespace
}  // namespace corvina
