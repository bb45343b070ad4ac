// The built corvina executable as a child process with scripted standard input.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "tests/app/test_support.h"

namespace corvina::testing {

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

}  // namespace corvina::testing
