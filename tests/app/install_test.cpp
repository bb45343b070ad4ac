// cmake --install of this build into a private prefix: the files land in place, and the
// installed engine finds its book however it is started, as xboard's engine list starts
// it or from an unrelated folder with the installed settings.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/settings.h"
#include "tests/app/test_support.h"

namespace corvina {
namespace {

namespace fs = std::filesystem;
using testing::DefaultFileText;
using testing::readFile;
using testing::TempDir;

// Single quotes for the shell; the test's own folders hold none.
std::string shellQuoted(const fs::path& path) { return std::string(1, '\'') + path.string() + "'"; }

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

bool isExecutable(const fs::path& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & S_IXUSR);
}

class Installation : public ::testing::Test {
  protected:
    // One installation for the whole suite: it copies every program of the build.
    static void SetUpTestSuite() {
        prefixDir = new TempDir;
        // Folders given as absolute paths would install outside the private prefix.
        if (!prefixDir->ok() || !relativeFolders()) return;
        const std::string command = std::string("'") + CORVINA_CMAKE_COMMAND + "' --install '" +
                                    CORVINA_BUILD_DIR + "' --prefix " +
                                    shellQuoted(prefixDir->path()) + " > " +
                                    shellQuoted(prefixDir->file("install.log")) + " 2>&1";
        installStatus = std::system(command.c_str());
    }
    static void TearDownTestSuite() {
        delete prefixDir;
        prefixDir = nullptr;
    }
    void SetUp() override {
        if (!relativeFolders()) GTEST_SKIP() << "installation folders are absolute paths";
        ASSERT_TRUE(prefixDir->ok());
        ASSERT_EQ(installStatus, 0) << readFile(prefixDir->file("install.log"));
    }

    static bool relativeFolders() {
        return fs::path(CORVINA_INSTALL_GAMESDIR).is_relative() &&
               fs::path(CORVINA_INSTALL_DATADIR).is_relative() &&
               fs::path(CORVINA_INSTALL_SHAREDIR).is_relative() &&
               fs::path(CORVINA_INSTALL_MANDIR).is_relative();
    }
    static fs::path prefix() { return prefixDir->path(); }
    static fs::path gamesDir() { return prefix() / CORVINA_INSTALL_GAMESDIR; }
    static fs::path dataDir() { return prefix() / CORVINA_INSTALL_DATADIR; }
    static fs::path engineEntry() {
        return prefix() / CORVINA_INSTALL_SHAREDIR / "games/plugins/xboard/corvina.eng";
    }

    // Runs a shell command in a folder with xboard's commands for 1.e4 on standard input; its
    // standard output and error land in the output folder's files "stdout" and "stderr".
    static int runWithXboardInput(const fs::path& dir, const std::string& command,
                                  const fs::path& output) {
        const std::string line = "cd " + shellQuoted(dir) +
                                 " && printf 'xboard\\nnew\\ntime 30000\\ne2e4\\n' | timeout 60 " + command +
                                 " > " + shellQuoted(output / "stdout") + " 2> " +
                                 shellQuoted(output / "stderr");
        return std::system(line.c_str());
    }

    // After 1.e4 the engine, playing Black, answers at once from the installed book.
    static void expectBookAnswer(const fs::path& output) {
        const std::string out = readFile(output / "stdout");
        const std::string err = readFile(output / "stderr");
        const std::size_t book = out.find("\n0 0 0 0 ");
        ASSERT_NE(book, std::string::npos) << out;
        EXPECT_NE(out.find("\nmove ", book), std::string::npos) << out;
        EXPECT_NE(err.find("opening book read from '" + (dataDir() / "eco.alg").string() + "'\n"),
                  std::string::npos)
            << err;
        EXPECT_EQ(err.find("WARNING"), std::string::npos) << err;
    }

    static TempDir* prefixDir;
    static int installStatus;
};

TempDir* Installation::prefixDir = nullptr;
int Installation::installStatus = -1;

TEST_F(Installation, ProgramsAndBookAreInPlace) {
    std::vector<std::string> programs = {"corvina",       "corvina-perft",  "corvina-bench",
                                         "corvina-book",  "corvina-tbbench", "xboard-match"};
#ifdef CORVINA_TBMAKE
    programs.push_back("corvina-tbmake");
#endif
    for (const std::string& name : programs) EXPECT_TRUE(isExecutable(gamesDir() / name)) << name;
    const std::string book = readFile(dataDir() / "eco.alg");
    EXPECT_FALSE(book.empty());
    EXPECT_EQ(book, readFile(fs::path(CORVINA_SOURCE_DIR) / "eco.alg"));
    EXPECT_EQ(readFile(prefix() / CORVINA_INSTALL_MANDIR / "man6/corvina.6"),
              readFile(fs::path(CORVINA_SOURCE_DIR) / "app/corvina.6"));
}

TEST_F(Installation, EngineListEntryRunsCorvinaInTheDataFolder) {
    const std::vector<std::string> entry = lines(readFile(engineEntry()));
    ASSERT_EQ(entry.size(), 3u);
    EXPECT_EQ(entry[0], "plugin spec 0.0");
    EXPECT_EQ(entry[1], "cd " + dataDir().string() + ";corvina");
    EXPECT_EQ(entry[2], "chess");
}

// The installed settings are the engine's default file with the book's full path and no
// tablebases, so a copy works from any folder.
TEST_F(Installation, InstalledSettingsAreTheDefaultsWithTheInstalledBook) {
    const fs::path file = dataDir() / "corvina.ini";
    std::string expected = DefaultFileText;
    const std::string book = "book=eco.alg\n";
    expected.replace(expected.find(book), book.size(), "book=" + (dataDir() / "eco.alg").string() + "\n");
    const std::string egtb = "egtb=c:\\egtb\n";
    expected.replace(expected.find(egtb), egtb.size(), "egtb=\n");
    EXPECT_EQ(readFile(file), expected);

    Settings settings;
    testing::StreamCapture err(std::cerr);
    EXPECT_TRUE(readSettings(settings, file.c_str()));
    EXPECT_EQ(settings.book, (dataDir() / "eco.alg").string());
    EXPECT_EQ(settings.egtb, "");
    EXPECT_EQ(settings.gui, "xboard");
}

TEST_F(Installation, EngineStartedLikeXboardsEngineListAnswersFromTheBook) {
    // "cd DIR;COMMAND": xboard runs COMMAND, found on the PATH, in the folder DIR.
    const std::vector<std::string> entry = lines(readFile(engineEntry()));
    ASSERT_EQ(entry.size(), 3u);
    const std::string& command = entry[1];
    ASSERT_EQ(command.rfind("cd ", 0), 0u);
    const std::size_t semicolon = command.find(';');
    ASSERT_NE(semicolon, std::string::npos);
    const fs::path dir = command.substr(3, semicolon - 3);
    const std::string engine = command.substr(semicolon + 1);

    TempDir output;
    ASSERT_TRUE(output.ok());
    const std::string path = "env PATH=" + shellQuoted(gamesDir()) + ":\"$PATH\" ";
    EXPECT_EQ(runWithXboardInput(dir, path + engine, output.path()), 0);
    expectBookAnswer(output.path());
    // The installed settings were found there, so nothing was written beside them.
    for (const fs::directory_entry& file : fs::directory_iterator(dir)) {
        const std::string name = file.path().filename().string();
        EXPECT_TRUE(name == "eco.alg" || name == "corvina.ini") << name;
    }
}

TEST_F(Installation, EngineStartedElsewhereWithTheInstalledSettingsAnswersFromTheBook) {
    TempDir work;
    ASSERT_TRUE(work.ok());
    EXPECT_EQ(runWithXboardInput(work.path(),
                                 shellQuoted(gamesDir() / "corvina") + " " +
                                     shellQuoted(dataDir() / "corvina.ini"),
                                 work.path()),
              0);
    expectBookAnswer(work.path());
    // The named settings were read: nothing was written in the working folder.
    EXPECT_FALSE(fs::exists(work.file("corvina.ini")));
}

// A configure that cannot see the Gaviota library says why the table maker is missing and
// how to get it, instead of leaving it out without a word.
TEST(Configure, MissingGaviotaLibraryIsExplainedWithItsPackages) {
    TempDir build;
    ASSERT_TRUE(build.ok());
    const std::string command = std::string("'") + CORVINA_CMAKE_COMMAND + "' -S '" +
                                CORVINA_SOURCE_DIR + "' -B " + shellQuoted(build.path()) +
                                " -DCORVINA_TESTS=OFF '-DCMAKE_IGNORE_PATH=" +
                                CORVINA_GAVIOTA_INCLUDE_DIR + ";" + CORVINA_GAVIOTA_LIBRARY_DIR +
                                "' > " +
                                shellQuoted(build.file("configure.log")) + " 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << readFile(build.file("configure.log"));
    const std::string log = readFile(build.file("configure.log"));
    EXPECT_NE(log.find("corvina-tbmake"), std::string::npos) << log;
    EXPECT_NE(log.find("apt-get install libgaviotatb-dev gaviotatb"), std::string::npos) << log;
    EXPECT_NE(log.find("configure again"), std::string::npos) << log;
}

}  // namespace
}  // namespace corvina
