// Helpers for the app tests: a private working directory and captured standard streams.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace corvina::testing {

// A fresh directory under the system's temporary folder, removed with its contents.
class TempDir {
  public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "corvina-XXXXXX").string();
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TempDir() {
        std::error_code error;
        if (!path_.empty()) std::filesystem::remove_all(path_, error);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    bool ok() const { return !path_.empty(); }
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path file(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

// Makes a directory the working directory for the life of the object; the settings
// reader falls back to "corvina.ini" relative to it.
class WorkingDir {
  public:
    explicit WorkingDir(const std::filesystem::path& dir)
        : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~WorkingDir() {
        std::error_code error;
        std::filesystem::current_path(previous_, error);
    }
    WorkingDir(const WorkingDir&) = delete;
    WorkingDir& operator=(const WorkingDir&) = delete;

  private:
    std::filesystem::path previous_;
};

// Sends everything written to a standard stream into a string until destroyed.
class StreamCapture {
  public:
    explicit StreamCapture(std::ostream& stream)
        : stream_(stream), saved_(stream.rdbuf(text_.rdbuf())) {}
    ~StreamCapture() { stream_.rdbuf(saved_); }
    StreamCapture(const StreamCapture&) = delete;
    StreamCapture& operator=(const StreamCapture&) = delete;

    std::string text() const { return text_.str(); }

  private:
    std::ostream& stream_;
    std::ostringstream text_;
    std::streambuf* saved_;
};

inline void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The default configuration file, byte for byte.
inline const char* const DefaultFileText =
    "[corvina]\n"
    "# gui: xboard or console\n"
    "gui=xboard\n"
    "\n"
    "# book: opening book file, empty for no book\n"
    "book=eco.alg\n"
    "\n"
    "# egtb: directory of compressed Nalimov tables (egtb), empty for no egtbs,\n"
    "#       multiple directories may be supplied semi-colon separated\n"
    "egtb=c:\\egtb\n"
    "\n"
    "# hashsize: transposition table size in Mbytes,\n"
    "#           will be rounded to nearest lower power of two\n"
    "hashsize=64\n"
    "\n"
    "# egtbsize: Nalimov egtb cache size in Mbytes,\n"
    "egtbsize=8\n";

}  // namespace corvina::testing
