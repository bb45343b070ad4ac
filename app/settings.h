// Start-up configuration: the Settings record, its ini-style file and the choice of the
// front-end run by the gui setting.
#pragma once

#include <cstdint>
#include <string>

namespace corvina {

// Every field carries the default that applies when the file does not set it.
struct Settings {
    std::string gui = "xboard";     // "xboard", "uci", "console" or "both" (self-play)
    std::string book = "eco.alg";   // opening book file; empty: no book
    std::string egtb = "c:\\egtb";  // tablebase directories separated by ';'; empty: none
    std::int32_t hashsize = 64;     // transposition table in megabytes
    std::int32_t egtbsize = 8;      // tablebase cache in megabytes
    // "design" (the default) or "strong": which of the two searches the engine runs;
    // another value is reported and ignored.
    // The default file does not write it; a file without the key keeps the design's.
    std::string search = "design";
};

// The file used when none is named, or when the named one cannot be opened.
inline constexpr const char* DefaultSettingsFile = "corvina.ini";

// Reads the [corvina] section of the file at path (nullptr: the default name). When
// neither path nor the default file opens, writes the default file and returns that
// result; otherwise returns true. Warnings and notes go to standard error, among them
// one for a file without the section.
bool readSettings(Settings& settings, const char* path);

// Interprets one "key=value" line of the section; true when it set a field.
bool parseSettingLine(Settings& settings, const std::string& line);

// Writes the commented seventeen-line file holding the current values; false when the
// file could not be created.
bool writeDefaultSettings(const Settings& settings, const char* path);

// The front-end runs the entry point chooses from. Kept as a table so that tests can
// drive the choice with runs of their own.
struct FrontEndRuns {
    void (*xboard)(const Settings&);
    void (*consolePositions)(const Settings&);
    void (*consoleEndgames)(const Settings&);
    void (*selfPlay)(const Settings&);
    void (*uci)(const Settings&);
};

// Starts the runs that the gui setting names ("console" makes two, one after the other)
// and returns the process exit status: 1 for an unknown gui or after an exception
// escaping a run (which prints "internal error" on standard output), otherwise 0.
int startFrontEnd(const Settings& settings, const FrontEndRuns& runs);

}  // namespace corvina
