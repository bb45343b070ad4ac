#include "app/settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/app/test_support.h"

namespace corvina {
namespace {

using testing::DefaultFileText;
using testing::readFile;
using testing::StreamCapture;
using testing::TempDir;
using testing::WorkingDir;
using testing::writeFile;

bool hasDefaults(const Settings& s) {
    return s.gui == "xboard" && s.book == "eco.alg" && s.egtb == "c:\\egtb" && s.hashsize == 64 &&
           s.egtbsize == 8;
}

// Reads text as the file "corvina.ini" in a fresh working directory; returns stderr.
std::string readFromText(Settings& settings, const std::string& text) {
    TempDir dir;
    EXPECT_TRUE(dir.ok());
    writeFile(dir.file("corvina.ini"), text);
    WorkingDir cwd(dir.path());
    StreamCapture err(std::cerr);
    EXPECT_TRUE(readSettings(settings, nullptr));
    return err.text();
}

TEST(ReadSettings, MissingDefaultFileWarnsTwiceAndWritesTheDefaultFile) {
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    WorkingDir cwd(dir.path());
    Settings settings;
    StreamCapture err(std::cerr);
    EXPECT_TRUE(readSettings(settings, nullptr));
    EXPECT_EQ(err.text(),
              "WARNING: could not find config file 'corvina.ini', opening default config file "
              "'corvina.ini' instead\n"
              "WARNING: could not find config file 'corvina.ini', a default config file "
              "'corvina.ini' will be created and used instead\n");
    EXPECT_TRUE(hasDefaults(settings));
    EXPECT_EQ(readFile(dir.file("corvina.ini")), DefaultFileText);
}

TEST(ReadSettings, MissingNamedFileFallsBackToTheDefaultFile) {
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    writeFile(dir.file("corvina.ini"), "[corvina]\ngui=console\n");
    WorkingDir cwd(dir.path());
    Settings settings;
    StreamCapture err(std::cerr);
    EXPECT_TRUE(readSettings(settings, "absent.ini"));
    EXPECT_EQ(err.text(),
              "WARNING: could not find config file 'absent.ini', opening default config file "
              "'corvina.ini' instead\n"
              "Settings: read gui=console\n");
    EXPECT_EQ(settings.gui, "console");
}

TEST(ReadSettings, NamedFileIsReadInsteadOfTheDefaultOne) {
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    writeFile(dir.file("corvina.ini"), "[corvina]\ngui=console\n");
    writeFile(dir.file("other.ini"), "[corvina]\nhashsize=16\n");
    WorkingDir cwd(dir.path());
    Settings settings;
    StreamCapture err(std::cerr);
    EXPECT_TRUE(readSettings(settings, "other.ini"));
    EXPECT_EQ(err.text(), "Settings: read hashsize=16\n");
    EXPECT_EQ(settings.gui, "xboard");
    EXPECT_EQ(settings.hashsize, 16);
}

TEST(ReadSettings, UncreatableDefaultFileAddsAWarningAndKeepsDefaults) {
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    // A directory of that name can be neither read as a file nor replaced by one.
    std::filesystem::create_directory(dir.file("corvina.ini"));
    WorkingDir cwd(dir.path());
    Settings settings;
    StreamCapture err(std::cerr);
    EXPECT_FALSE(readSettings(settings, "missing.ini"));
    EXPECT_EQ(err.text(),
              "WARNING: could not find config file 'missing.ini', opening default config file "
              "'corvina.ini' instead\n"
              "WARNING: could not find config file 'missing.ini', a default config file "
              "'corvina.ini' will be created and used instead\n"
              "WARNING: could not create config file 'corvina.ini'\n");
    EXPECT_TRUE(hasDefaults(settings));
}

TEST(ReadSettings, WrittenDefaultFileReadsBackToTheSameSettings) {
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    Settings written;
    written.gui = "both";
    written.book = "";
    written.egtb = "/tb/a;/tb/b";
    written.hashsize = 128;
    written.egtbsize = -3;
    ASSERT_TRUE(writeDefaultSettings(written, dir.file("x.ini").c_str()));
    Settings read;
    StreamCapture err(std::cerr);
    EXPECT_TRUE(readSettings(read, dir.file("x.ini").c_str()));
    EXPECT_EQ(read.gui, "both");
    EXPECT_EQ(read.book, "");
    EXPECT_EQ(read.egtb, "/tb/a;/tb/b");
    EXPECT_EQ(read.hashsize, 128);
    EXPECT_EQ(read.egtbsize, -3);
    // Comments and empty lines are skipped silently: only the five read lines appear.
    EXPECT_EQ(err.text(),
              "Settings: read gui=both\nSettings: read book=\nSettings: read egtb=/tb/a;/tb/b\n"
              "Settings: read hashsize=128\nSettings: read egtbsize=-3\n");
}

TEST(ReadSettings, HeaderIsNineCharactersWithTheLastOneUnexamined) {
    struct Case {
        const char* header;
        bool opens;
    };
    const std::vector<Case> cases = {
        {"[corvina]", true},   {"[corvina}", true},   {"[corvinaX", true},
        {"[corvina] ", false}, {"[Corvina]", false},  {" [corvina]", false},
        {"[corvina", false},   {"[corvina]]", false}, {"{corvina]", false},
    };
    for (const Case& c : cases) {
        Settings settings;
        readFromText(settings, std::string(c.header) + "\nhashsize=7\n");
        EXPECT_EQ(settings.hashsize, c.opens ? 7 : 64) << "header '" << c.header << "'";
    }
}

TEST(ReadSettings, OnlyLinesInsideTheSectionAreSettings) {
    Settings settings;
    const std::string err = readFromText(settings,
                                         "gui=console\n"         // before any header
                                         "no equal sign here\n"  // outside: not even a note
                                         "[corvina]\n"
                                         "# comment=ignored\n"
                                         "\n"
                                         "book=first.alg\n"
                                         "[other]\n"
                                         "gui=both\n"  // another section's setting
                                         "[corvina]\n"
                                         "book=second.alg\n");
    EXPECT_EQ(settings.gui, "xboard");
    EXPECT_EQ(settings.book, "second.alg");  // a key read twice keeps the last value
    EXPECT_EQ(err, "Settings: read book=first.alg\nSettings: read book=second.alg\n");
}

TEST(ReadSettings, HeaderInsideTheSectionOnlyEndsIt) {
    Settings settings;
    readFromText(settings,
                 "[corvina]\n"
                 "hashsize=1\n"
                 "[corvina]\n"  // ends the section and is consumed
                 "hashsize=2\n"
                 "[corvina]\n"  // outside again: opens a new section
                 "egtbsize=3\n");
    EXPECT_EQ(settings.hashsize, 1);
    EXPECT_EQ(settings.egtbsize, 3);
}

TEST(ReadSettings, MalformedAndUnknownLinesAreReportedAndSkipped) {
    Settings settings;
    const std::string err = readFromText(settings, "[corvina]\n"
                                                   "hashsize 32\n"
                                                   "colour=white\n"
                                                   "gui =console\n"
                                                   "egtbsize=4\n");
    EXPECT_EQ(err, "NOTE: malformed input, could not find an equal sign (=) in line 'hashsize 32'\n"
                   "NOTE: the setting 'colour' is unknown and will be ignored\n"
                   "NOTE: the setting 'gui ' is unknown and will be ignored\n"
                   "Settings: read egtbsize=4\n");
    EXPECT_EQ(settings.gui, "xboard");
    EXPECT_EQ(settings.hashsize, 64);
    EXPECT_EQ(settings.egtbsize, 4);
}

TEST(ReadSettings, CarriageReturnsOfAWindowsFileAreNotPartOfTheLines) {
    Settings settings;
    const std::string err =
        readFromText(settings, "[corvina]\r\ngui=console\r\n\r\n# note\r\nhashsize=8\r\n");
    EXPECT_EQ(settings.gui, "console");
    EXPECT_EQ(settings.hashsize, 8);
    EXPECT_EQ(err, "Settings: read gui=console\nSettings: read hashsize=8\n");
}

TEST(ReadSettings, LastLineWithoutLineFeedIsRead) {
    Settings settings;
    readFromText(settings, "[corvina]\nbook=last.alg");
    EXPECT_EQ(settings.book, "last.alg");
}

TEST(ReadSettings, ByteOrderMarkIsSkippedAndAFileWithoutTheSectionIsNoted) {
    Settings settings;
    EXPECT_EQ(readFromText(settings, "\xEF\xBB\xBF[corvina]\nhashsize=8\n"),
              "Settings: read hashsize=8\n");
    EXPECT_EQ(settings.hashsize, 8);
    EXPECT_EQ(readFromText(settings, "hashsize=16\n[other]\n"),
              "NOTE: no [corvina] section in config file 'corvina.ini', the settings keep their "
              "defaults\n");
    EXPECT_EQ(settings.hashsize, 8);
}

TEST(ParseSettingLine, StringValuesAreKeptAsWritten) {
    Settings settings;
    StreamCapture err(std::cerr);
    EXPECT_TRUE(parseSettingLine(settings, "egtb= /a b;c=d "));
    EXPECT_EQ(settings.egtb, " /a b;c=d ");
    EXPECT_TRUE(parseSettingLine(settings, "book="));
    EXPECT_EQ(settings.book, "");
    EXPECT_TRUE(parseSettingLine(settings, "gui=Console"));
    EXPECT_EQ(settings.gui, "Console");
    EXPECT_EQ(err.text(),
              "Settings: read egtb= /a b;c=d \nSettings: read book=\nSettings: read gui=Console\n");
}

TEST(ParseSettingLine, NumbersAreTheLeadingDecimalInteger) {
    struct Case {
        const char* value;
        std::int32_t expected;
    };
    const std::vector<Case> cases = {
        {"32MB", 32},
        {"MB", 0},
        {"", 0},
        {"  \t-12x", -12},
        {"+5", 5},
        {"- 5", 0},
        {"0x10", 0},
        {"007", 7},
        {"2147483647", 2147483647},
        {"99999999999999999999", 2147483647},
        {"-99999999999", -2147483647 - 1},
    };
    for (const Case& c : cases) {
        Settings settings;
        StreamCapture err(std::cerr);
        EXPECT_TRUE(parseSettingLine(settings, std::string("hashsize=") + c.value));
        EXPECT_TRUE(parseSettingLine(settings, std::string("egtbsize=") + c.value));
        EXPECT_EQ(settings.hashsize, c.expected) << "value '" << c.value << "'";
        EXPECT_EQ(settings.egtbsize, c.expected) << "value '" << c.value << "'";
        // The read line shows the value as written, not as understood.
        EXPECT_EQ(err.text(), std::string("Settings: read hashsize=") + c.value +
                                  "\nSettings: read egtbsize=" + c.value + "\n");
    }
}

TEST(ParseSettingLine, KeysMatchExactlyAndCaseSensitively) {
    for (const char* line : {"Gui=console", "hashsize =1", " book=x", "=value", "HASHSIZE=1"}) {
        Settings settings;
        StreamCapture err(std::cerr);
        EXPECT_FALSE(parseSettingLine(settings, line)) << line;
        EXPECT_TRUE(hasDefaults(settings)) << line;
        const std::string key = std::string(line).substr(0, std::string(line).find('='));
        EXPECT_EQ(err.text(), "NOTE: the setting '" + key + "' is unknown and will be ignored\n");
    }
}

// The search key takes only the two names; anything else keeps the search as it was.
TEST(ParseSettingLine, SearchIsDesignOrStrongAndNothingElse) {
    Settings settings;
    EXPECT_EQ(settings.search, "design");
    StreamCapture err(std::cerr);
    EXPECT_TRUE(parseSettingLine(settings, "search=strong"));
    EXPECT_EQ(settings.search, "strong");
    for (const char* line : {"search=Strong", "search=strong ", "search="}) {
        EXPECT_FALSE(parseSettingLine(settings, line)) << line;
        EXPECT_EQ(settings.search, "strong") << line;
    }
    EXPECT_TRUE(parseSettingLine(settings, "search=design"));
    EXPECT_EQ(settings.search, "design");
    EXPECT_EQ(err.text(),
              "Settings: read search=strong\n"
              "NOTE: the search 'Strong' is unknown and will be ignored\n"
              "NOTE: the search 'strong ' is unknown and will be ignored\n"
              "NOTE: the search '' is unknown and will be ignored\n"
              "Settings: read search=design\n");
}

TEST(WriteDefaultSettings, ReplacesAnExistingFileAndReportsFailure) {
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    writeFile(dir.file("c.ini"), std::string(5000, 'x'));
    Settings settings;
    EXPECT_TRUE(writeDefaultSettings(settings, dir.file("c.ini").c_str()));
    EXPECT_EQ(readFile(dir.file("c.ini")), DefaultFileText);

    const std::string bad = dir.file("no-such-dir/c.ini").string();
    StreamCapture err(std::cerr);
    EXPECT_FALSE(writeDefaultSettings(settings, bad.c_str()));
    EXPECT_EQ(err.text(), "WARNING: could not create config file '" + bad + "'\n");
}

}  // namespace
}  // namespace corvina
