// End-to-end runs of the built corvina executable in a private working directory.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "board/position.h"
#include "tests/app/test_support.h"

namespace corvina {
namespace {

using testing::DefaultFileText;
using testing::readFile;
using testing::TempDir;
using testing::writeFile;

// The engine as a child process: standard input is a pipe the test writes to, standard
// output and error go to files in the working directory.
class EngineProcess {
  public:
    EngineProcess(const TempDir& dir, const std::vector<std::string>& args) : dir_(dir) {
        std::signal(SIGPIPE, SIG_IGN);  // writing to an engine that has already ended
        int fds[2];
        if (pipe(fds) != 0) return;
        const std::string out = dir.file("stdout").string();
        const std::string err = dir.file("stderr").string();
        std::vector<std::string> argv = {CORVINA_BINARY};
        argv.insert(argv.end(), args.begin(), args.end());
        pid_ = fork();
        if (pid_ == 0) {
            std::vector<char*> cargs;
            for (std::string& a : argv) cargs.push_back(a.data());
            cargs.push_back(nullptr);
            dup2(fds[0], 0);
            close(fds[0]);
            close(fds[1]);
            const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (o < 0 || e < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0 ||
                chdir(dir.path().c_str()) != 0)
                _exit(127);
            execv(cargs[0], cargs.data());
            _exit(127);
        }
        close(fds[0]);
        input_ = fds[1];
    }
    ~EngineProcess() {
        closeInput();
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    EngineProcess(const EngineProcess&) = delete;
    EngineProcess& operator=(const EngineProcess&) = delete;

    bool started() const { return pid_ > 0 && input_ >= 0; }

    void send(const std::string& text) {
        // A short write only means the engine has stopped reading; the test then sees it.
        if (input_ >= 0 && write(input_, text.data(), text.size()) < 0) closeInput();
    }
    void closeInput() {
        if (input_ >= 0) close(input_);
        input_ = -1;
    }

    // True when the process ended within the time; its exit status is then in status().
    bool waitForExit(std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!exited_) {
            int raw = 0;
            const pid_t done = waitpid(pid_, &raw, WNOHANG);
            if (done == pid_) {
                exited_ = true;
                status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            } else if (std::chrono::steady_clock::now() > end) {
                return false;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        return true;
    }
    int status() const { return status_; }
    std::string out() const { return readFile(dir_.file("stdout")); }
    std::string err() const { return readFile(dir_.file("stderr")); }

  private:
    const TempDir& dir_;
    pid_t pid_ = -1;
    int input_ = -1;
    bool exited_ = false;
    int status_ = -1;
};

constexpr std::chrono::seconds ExitLimit(60);

TEST(Executable, UnknownGuiExitsWithOne) {
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    writeFile(dir.file("corvina.ini"), "[corvina]\ngui=chess\n");
    EngineProcess engine(dir, {});
    ASSERT_TRUE(engine.started());
    ASSERT_TRUE(engine.waitForExit(ExitLimit));
    EXPECT_EQ(engine.status(), 1);
    EXPECT_EQ(engine.out(), "chess: please specify xboard or console as gui type\n");
    EXPECT_EQ(engine.err(), "Settings: read gui=chess\n");
}

TEST(Executable, FirstArgumentNamesTheConfigFileAndGuiIsCaseSensitive) {
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    writeFile(dir.file("corvina.ini"), "[corvina]\ngui=xboard\n");
    writeFile(dir.file("my.ini"), "[corvina]\ngui=Console\n");
    EngineProcess engine(dir, {"my.ini", "ignored"});
    ASSERT_TRUE(engine.started());
    ASSERT_TRUE(engine.waitForExit(ExitLimit));
    EXPECT_EQ(engine.status(), 1);
    EXPECT_EQ(engine.out(), "chess: please specify xboard or console as gui type\n");
    EXPECT_EQ(engine.err(), "Settings: read gui=Console\n");
}

TEST(Executable, MissingConfigFileIsWrittenAndXboardRunsUntilEndOfInput) {
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    EngineProcess engine(dir, {});
    ASSERT_TRUE(engine.started());
    engine.closeInput();
    ASSERT_TRUE(engine.waitForExit(ExitLimit));
    EXPECT_EQ(engine.status(), 0);
    EXPECT_EQ(readFile(dir.file("corvina.ini")), DefaultFileText);
    const std::string err = engine.err();
    EXPECT_EQ(err.find("WARNING: could not find config file 'corvina.ini', opening default config "
                       "file 'corvina.ini' instead\n"
                       "WARNING: could not find config file 'corvina.ini', a default config file "
                       "'corvina.ini' will be created and used instead\n"),
              0u)
        << err;
}

TEST(Executable, XboardRunEndsAtQuitWithInputStillOpen) {
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    writeFile(dir.file("corvina.ini"), "[corvina]\ngui=xboard\nbook=\negtb=\nhashsize=1\n");
    EngineProcess engine(dir, {});
    ASSERT_TRUE(engine.started());
    engine.send("quit\n");
    ASSERT_TRUE(engine.waitForExit(ExitLimit));
    EXPECT_EQ(engine.status(), 0);
}

std::string diagram(const char* fen) {
    BoardRecord board;
    parseFen(board, fen);
    std::ostringstream out;
    printBoard(out, board);
    return out.str();
}

TEST(Executable, ConsoleMakesTwoRunsEachEndedByItsOwnQuit) {
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    writeFile(dir.file("corvina.ini"), "[corvina]\ngui=console\nbook=\negtb=\nhashsize=1\n");
    EngineProcess engine(dir, {});
    ASSERT_TRUE(engine.started());
    engine.send("quit\n");
    // The first quit ends only the first run: the second one waits for its own.
    EXPECT_FALSE(engine.waitForExit(std::chrono::milliseconds(1500)));
    engine.send("quit\n");
    ASSERT_TRUE(engine.waitForExit(ExitLimit));
    EXPECT_EQ(engine.status(), 0);

    // Each run shows its own starting board: the last test position, then the endgame.
    const std::string out = engine.out();
    const std::size_t positions = out.find(diagram("8/8/1K6/4k3/PP6/8/8/8 w - - 0 1"));
    const std::size_t endgames = out.find(diagram("4k3/4p3/8/8/8/8/3PP3/4K3 w - - 0 1"));
    ASSERT_NE(positions, std::string::npos) << out;
    ASSERT_NE(endgames, std::string::npos) << out;
    EXPECT_LT(positions, endgames);
}

}  // namespace
}  // namespace corvina
