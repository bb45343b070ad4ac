// The UCI run through the real executable: handshake, positions, limits and the answers
// that must come while the engine thinks.
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/app/engine_process.h"
#include "tests/app/test_support.h"

namespace corvina {
namespace {

using testing::EngineProcess;
using testing::TempDir;
using testing::writeFile;
using Clock = std::chrono::steady_clock;

void writeSettings(const TempDir& dir, const std::string& gui, const std::string& book = "") {
    writeFile(dir.file("corvina.ini"), "[corvina]\ngui=" + gui + "\nbook=" + book + "\negtb=" +
                                           dir.path().string() +
                                           "/none\nhashsize=1\negtbsize=1\n");
}

// The whole output of a run fed all its input at once.
std::string runScript(const std::string& input, const std::string& gui = "xboard",
                      const std::string& book = "") {
    TempDir dir;
    if (!dir.ok()) return "";
    writeSettings(dir, gui, book);
    EngineProcess engine(dir, {});
    engine.send(input);
    engine.closeInput();
    if (!engine.waitForExit(std::chrono::seconds(60))) return "(no exit)";
    return engine.out();
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool hasLineStarting(const std::string& text, const std::string& prefix) {
    for (const std::string& line : linesOf(text))
        if (line.rfind(prefix, 0) == 0) return true;
    return false;
}

// Waits until the output holds a line starting with prefix; the milliseconds it took, or
// -1 after the limit.
long long millisecondsUntil(const EngineProcess& engine, const std::string& prefix,
                            int limitMilliseconds) {
    const auto start = Clock::now();
    for (;;) {
        const auto waited =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        if (hasLineStarting(engine.out(), prefix)) return waited;
        if (waited > limitMilliseconds) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

TEST(Uci, FirstWordUciOrTheSettingStartsItAndOnlyProtocolLinesAreWritten) {
    // No quit: sent with the go it would stop the search at once, as a GUI's quit must.
    const std::string search = "position startpos moves e2e4\ngo depth 3\n";
    for (const auto& [gui, input] : {std::pair<std::string, std::string>{"xboard", "uci\n"},
                                     {"uci", "uci\n"}, {"uci", "isready\n"}}) {
        const std::string out = runScript(input + "isready\n" + search, gui);
        const std::vector<std::string> lines = linesOf(out);
        ASSERT_FALSE(lines.empty()) << gui << ": " << input;
        for (const std::string& line : lines) {
            bool known = false;
            for (const char* word : {"id ", "option ", "uciok", "readyok", "info ", "bestmove "})
                known = known || line.rfind(word, 0) == 0;
            EXPECT_TRUE(known) << "not a protocol line: " << line;
        }
        if (input == "uci\n") {
            EXPECT_EQ(lines[0], "id name corvina");
            EXPECT_TRUE(hasLineStarting(out, "option name EGTB Path type string"));
            EXPECT_TRUE(hasLineStarting(out, "uciok"));
        }
        EXPECT_TRUE(hasLineStarting(out, "readyok"));
        EXPECT_TRUE(hasLineStarting(out, "info depth 3 score cp ")) << out;
        EXPECT_TRUE(hasLineStarting(out, "bestmove ")) << out;
    }
    // Another first word keeps the xboard run.
    const std::string xboard = runScript("xboard\nuci\nquit\n");
    EXPECT_EQ(xboard.rfind("feature setboard=1\n", 0), 0u) << xboard;
    EXPECT_FALSE(hasLineStarting(xboard, "uciok"));
}

TEST(Uci, PositionMovesPlayCastlingEnPassantAndPromotionAsUciWritesThem) {
    // Each list goes on with moves that are legal only if the special move did its whole
    // job: the rook beside the castled king, the pawn taken en passant gone, the new piece.
    const struct {
        const char* position;
        bool legal;
    } rows[] = {
        {"startpos moves e2e4 e7e5 g1f3 b8c6 f1c4 g8f6 e1g1 f8c5 f1e1 d7d6 g1h1", true},
        {"startpos moves e2e4 d7d5 e4e5 f7f5 e5f6 g8h6 f6g7 h6f5 g7h8q b8c6 h8g8", true},
        {"fen 4k3/1P6/8/8/8/8/8/4K3 w - - 0 1 moves b7b8n e8e7 b8c6", true},
        {"fen r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1 moves e8c8 e1g1 d8d1 f1d1", true},
        {"startpos moves e2e4 e7e5 e1g1", false},
        {"fen 4k3/8/8/8/8/8/8/4K3 w - - 0 1 moves e1e3", false},
    };
    for (const auto& row : rows) {
        const std::string out =
            runScript(std::string("uci\nposition ") + row.position + "\ngo depth 1\n");
        EXPECT_EQ(hasLineStarting(out, "info string illegal move"), !row.legal)
            << row.position << "\n" << out;
        EXPECT_TRUE(hasLineStarting(out, "bestmove ")) << row.position;
    }
}

TEST(Uci, MatesAreCountedInMovesAndABookMoveStillGetsItsBestmove) {
    const std::string mate =
        runScript("uci\nposition fen 7k/8/6K1/8/8/8/8/R7 w - - 0 1\ngo depth 3\n");
    EXPECT_NE(mate.find(" score mate 1 "), std::string::npos) << mate;
    EXPECT_TRUE(hasLineStarting(mate, "bestmove a1a8"));
    // Mated: no move at all is "0000".
    const std::string mated =
        runScript("uci\nposition fen R6k/8/6K1/8/8/8/8/8 b - - 0 1\ngo depth 3\n");
    EXPECT_TRUE(hasLineStarting(mated, "bestmove 0000")) << mated;

    const std::string book = runScript(
        "uci\nsetoption name Book value " + std::string(CORVINA_SOURCE_DIR) +
        "/eco.alg\nucinewgame\nposition startpos\ngo wtime 60000 btime 60000\nquit\n");
    EXPECT_FALSE(hasLineStarting(book, "info ")) << book;
    EXPECT_TRUE(hasLineStarting(book, "bestmove ")) << book;
}

// Generous beside the 50 ms the GUIs expect: a loaded test machine delays the child too.
constexpr int AnswerLimitMilliseconds = 250;

TEST(Uci, IsreadyAndStopAreAnsweredWhileTheEngineThinks) {
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    writeSettings(dir, "xboard");
    EngineProcess engine(dir, {});
    ASSERT_TRUE(engine.started());
    engine.send("uci\nposition startpos moves e2e4\ngo infinite\n");
    ASSERT_GE(millisecondsUntil(engine, "info depth 3", 5000), 0) << engine.out();
    engine.send("isready\n");
    const long long ready = millisecondsUntil(engine, "readyok", 2000);
    EXPECT_GE(ready, 0);
    EXPECT_LE(ready, AnswerLimitMilliseconds);
    EXPECT_FALSE(hasLineStarting(engine.out(), "bestmove"));  // infinite: not before stop
    engine.send("stop\n");
    const long long stopped = millisecondsUntil(engine, "bestmove ", 2000);
    EXPECT_GE(stopped, 0);
    EXPECT_LE(stopped, AnswerLimitMilliseconds);

    // A search that ends by itself under infinite still waits for its stop.
    engine.send("position startpos\ngo infinite depth 2\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::string before = engine.out();
    EXPECT_EQ(before.find("bestmove "), before.rfind("bestmove ")) << before;
    engine.send("stop\nquit\n");
    ASSERT_TRUE(engine.waitForExit(std::chrono::seconds(10)));
    const std::string after = engine.out();
    EXPECT_NE(after.find("bestmove "), after.rfind("bestmove ")) << after;
    EXPECT_EQ(engine.status(), 0);
}

}  // namespace
}  // namespace corvina
