// The corvina-book executable: output, messages and the all-or-nothing write.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

class BookBuilder : public ::testing::Test {
  protected:
    void SetUp() override {
        // One folder per test, so that tests run side by side do not meet.
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        dir_ = fs::path(::testing::TempDir()) / ("corvina_bookbuild_" + name);
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    void write(const std::string& name, const std::string& text) {
        std::ofstream(dir_ / name) << text;
    }
    std::string read(const std::string& name) {
        std::ifstream in(dir_ / name);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    // Runs the builder in the test folder; returns its exit status.
    int run(const std::string& arguments) {
        std::string command = "cd '" + dir_.string() + "' && '" + CORVINA_BOOK_TOOL + "' " +
                              arguments + " >stdout.txt 2>stderr.txt";
        int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    fs::path dir_;
};

TEST_F(BookBuilder, ConvertsGoodLinesAndReportsBadOnesByLineNumber) {
    write("lines.tsv", "eco\tname\tpgn\n"
                       "C20\tKing's Pawn Game\t1. e4 e5\n"
                       "C20\tBroken\t1. e4 e5 2. Ke3\n"
                       "no tabs here\n"
                       "B01\tScandinavian Defense\t1. e4 d5 2. exd5\n");
    EXPECT_EQ(run("-o book.alg lines.tsv"), 0);
    EXPECT_EQ(read("book.alg"),
              "[Site \"C20\"]\n[White \"King's Pawn Game\"]\n1. e2e4 e7e5 *\n\n"
              "[Site \"B01\"]\n[White \"Scandinavian Defense\"]\n1. e2e4 d7d5 2. e4d5 *\n\n");
    std::string messages = read("stderr.txt");
    EXPECT_NE(messages.find("lines.tsv: line 3: move 2. Ke3: no such legal move, skipped"),
              std::string::npos)
        << messages;
    EXPECT_NE(messages.find("lines.tsv: line 4: expected eco, name and moves, skipped"),
              std::string::npos)
        << messages;
    EXPECT_NE(messages.find("2 lines converted, 2 skipped"), std::string::npos) << messages;
    EXPECT_EQ(read("stdout.txt"), "");
}

TEST_F(BookBuilder, WritesToStandardOutputWithoutAnOutputFile) {
    write("game.pgn", "[ECO \"A10\"]\n[Opening \"English Opening\"]\n\n1. c4 e5 2. Nc3 *\n");
    EXPECT_EQ(run("game.pgn"), 0);
    EXPECT_EQ(read("stdout.txt"),
              "[Site \"A10\"]\n[White \"English Opening\"]\n1. c2c4 e7e5 2. b1c3 *\n\n");
}

TEST_F(BookBuilder, RebuildsTheShippedBookUnchanged) {
    // A book file read back in gives the same book: books can be merged and extended.
    fs::copy_file(fs::path(CORVINA_SOURCE_DIR) / "eco.alg", dir_ / "eco.alg");
    EXPECT_EQ(run("-o again.alg eco.alg"), 0);
    std::string rebuilt = read("again.alg");
    EXPECT_GT(rebuilt.size(), 10000u);
    EXPECT_EQ(rebuilt, read("eco.alg"));
}

TEST_F(BookBuilder, FailedRunLeavesTheOldBookAlone) {
    write("book.alg", "old book\n");
    write("lines.tsv", "eco\tname\tpgn\nA00\tTest\t1. e4\n");
    EXPECT_EQ(run("-o book.alg lines.tsv missing.tsv"), 1);
    EXPECT_EQ(read("book.alg"), "old book\n");
    EXPECT_FALSE(fs::exists(dir_ / "book.alg.tmp"));
    EXPECT_NE(read("stderr.txt").find("missing.tsv: cannot open"), std::string::npos);

    EXPECT_EQ(run(""), 2);
    EXPECT_NE(read("stderr.txt").find("usage: corvina-book [-o OUT] FILE..."), std::string::npos);
}

}  // namespace
