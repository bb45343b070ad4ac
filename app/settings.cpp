#include "app/settings.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <string>

namespace corvina {

namespace {

// The leading decimal integer of text, as atoi reads it (white space skipped, optional
// sign, digits up to the first other character, none gives 0), but saturating at the
// 32-bit limits instead of overflowing on a long row of digits.
std::int32_t leadingInteger(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const std::int64_t limit = negative ? -std::int64_t(std::numeric_limits<std::int32_t>::min())
                                        : std::int64_t(std::numeric_limits<std::int32_t>::max());
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > limit) value = limit;
    }
    return std::int32_t(negative ? -value : value);
}

// A directory opens as a stream on Linux but reads nothing; it is no config file.
bool openConfig(std::ifstream& in, const char* path) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) return false;
    in.open(path);
    return in.is_open();
}

bool isSectionHeader(const std::string& line) {
    // The ninth character is deliberately not examined.
    return line.size() == 9 && line[0] == '[' && line.compare(1, 7, "corvina") == 0;
}

}  // namespace

bool parseSettingLine(Settings& settings, const std::string& line) {
    const std::size_t equal = line.find('=');
    if (equal == std::string::npos) {
        std::cerr << "NOTE: malformed input, could not find an equal sign (=) in line '" << line
                  << "'\n";
        return false;
    }
    // Nothing is trimmed: "gui = x" has the key "gui " and is not recognised.
    const std::string key = line.substr(0, equal);
    const std::string value = line.substr(equal + 1);
    if (key == "gui") {
        settings.gui = value;
    } else if (key == "book") {
        settings.book = value;
    } else if (key == "egtb") {
        settings.egtb = value;
    } else if (key == "hashsize") {
        settings.hashsize = leadingInteger(value);
    } else if (key == "egtbsize") {
        settings.egtbsize = leadingInteger(value);
    } else if (key == "search") {
        if (value != "design" && value != "strong") {
            std::cerr << "NOTE: the search '" << value
                      << "' is unknown and will be ignored\n";
            return false;
        }
        settings.search = value;
    } else {
        std::cerr << "NOTE: the setting '" << key << "' is unknown and will be ignored\n";
        return false;
    }
    std::cerr << "Settings: read " << key << '=' << value << '\n';
    return true;
}

bool readSettings(Settings& settings, const char* path) {
    const char* name = path ? path : DefaultSettingsFile;
    const char* opened = name;
    std::ifstream in;
    if (!openConfig(in, name)) {
        std::cerr << "WARNING: could not find config file '" << name
                  << "', opening default config file '" << DefaultSettingsFile << "' instead\n";
        if (!openConfig(in, DefaultSettingsFile)) {
            std::cerr << "WARNING: could not find config file '" << name
                      << "', a default config file '" << DefaultSettingsFile
                      << "' will be created and used instead\n";
            return writeDefaultSettings(settings, DefaultSettingsFile);
        }
        opened = DefaultSettingsFile;
    }

    bool inSection = false;
    bool sectionSeen = false;
    bool firstLine = true;
    std::string line;
    while (std::getline(in, line)) {
        // A file written on Windows still reads the same: its carriage returns are not
        // part of the lines, nor is the byte-order mark its editors put in front.
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (firstLine && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
        firstLine = false;
        if (!inSection) {
            inSection = isSectionHeader(line);
            sectionSeen = sectionSeen || inSection;
            continue;
        }
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            // Any bracket line ends the section, even "[corvina]" itself: it is consumed
            // here and does not open a new one.
            inSection = false;
            continue;
        }
        parseSettingLine(settings, line);
    }
    // Otherwise a file of the wrong shape would pass without a word.
    if (!sectionSeen)
        std::cerr << "NOTE: no [corvina] section in config file '" << opened
                  << "', the settings keep their defaults\n";
    return true;
}

bool writeDefaultSettings(const Settings& settings, const char* path) {
    std::ofstream out(path, std::ios::out | std::ios::trunc);
    if (!out.is_open()) {
        std::cerr << "WARNING: could not create config file '" << path << "'\n";
        return false;
    }
    out << "[corvina]\n"
        << "# gui: xboard or console\n"
        << "gui=" << settings.gui << "\n"
        << "\n"
        << "# book: opening book file, empty for no book\n"
        << "book=" << settings.book << "\n"
        << "\n"
        << "# egtb: directory of compressed Nalimov tables (egtb), empty for no egtbs,\n"
        << "#       multiple directories may be supplied semi-colon separated\n"
        << "egtb=" << settings.egtb << "\n"
        << "\n"
        << "# hashsize: transposition table size in Mbytes,\n"
        << "#           will be rounded to nearest lower power of two\n"
        << "hashsize=" << settings.hashsize << "\n"
        << "\n"
        << "# egtbsize: Nalimov egtb cache size in Mbytes,\n"
        << "egtbsize=" << settings.egtbsize << "\n";
    out.close();
    if (out.fail()) {
        std::cerr << "WARNING: could not create config file '" << path << "'\n";
        return false;
    }
    return true;
}

int startFrontEnd(const Settings& settings, const FrontEndRuns& runs) {
    try {
        // Two separate tests: "console" runs the test positions first and then, as a
        // second run with a fresh engine, the endgames.
        if (settings.gui == "console") runs.consolePositions(settings);
        if (settings.gui == "xboard") {
            runs.xboard(settings);
        } else if (settings.gui == "console") {
            runs.consoleEndgames(settings);
        } else if (settings.gui == "uci") {
            runs.uci(settings);
        } else if (settings.gui == "both") {
            runs.selfPlay(settings);
        } else {
            std::cout << "chess: please specify xboard or console as gui type" << std::endl;
            return 1;
        }
    } catch (...) {
        // The first console run is guarded as well: an escaping exception would
        // otherwise abort the process.
        std::cout << "internal error" << std::endl;
        return 1;
    }
    return 0;
}

}  // namespace corvina
