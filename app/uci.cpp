// The UCI run: options, positions given whole by the GUI, go with its limits, and the
// answers to isready and stop while the engine thinks.
#include "app/uci.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "app/engine.h"
#include "app/frontend.h"
#include "app/input.h"
#include "board/notation.h"
#include "board/position.h"

namespace corvina {

namespace {

// An option a GUI may set, each overriding one field of the settings. A new option is one
// row of the table below.
struct UciOption {
    const char* name;
    const char* type;                    // "spin", "string" or "combo"
    std::int32_t Settings::*number;      // spin
    std::string Settings::*text;         // string and combo
    std::int32_t min;                    // spin
    std::int32_t max;
    const char* choices;                 // combo: its values, separated by blanks
};

const UciOption Options[] = {
    {"Hash", "spin", &Settings::hashsize, nullptr, 0, 4096, ""},
    {"Book", "string", nullptr, &Settings::book, 0, 0, ""},
    {"EGTB Path", "string", nullptr, &Settings::egtb, 0, 0, ""},
    {"EGTB Cache", "spin", &Settings::egtbsize, nullptr, 0, 1024, ""},
    {"Search", "combo", nullptr, &Settings::search, 0, 0, "design strong"},
};

bool sameName(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return i == a.size() && !b[i];
}

// UCI writes an empty string default as "<empty>".
std::string shownText(const std::string& text) { return text.empty() ? "<empty>" : text; }

std::string optionLine(const UciOption& option, const Settings& settings) {
    std::ostringstream line;
    line << "option name " << option.name << " type " << option.type << " default ";
    if (option.number) {
        const std::int32_t value = settings.*option.number;
        line << (value < option.min ? option.min : value > option.max ? option.max : value)
             << " min " << option.min << " max " << option.max;
    } else {
        line << shownText(settings.*option.text);
        std::istringstream choices(option.choices);
        for (std::string choice; choices >> choice;) line << " var " << choice;
    }
    return line.str();
}

// A number from the GUI, in milliseconds or a count; garbage reads as 0.
long long numberWord(std::istringstream& words) {
    std::string word;
    if (!(words >> word)) return 0;
    return std::atoll(word.c_str());
}

class UciSession {
  public:
    UciSession(const Settings& settings, std::ostream& out) : settings_(settings), out_(out) {}

    // One protocol line, whole, even when the input thread and the search both print.
    void say(const std::string& line) {
        std::lock_guard<std::mutex> hold(outLock_);
        out_ << line << std::endl;
    }

    // The loop; returns at quit or the end of input.
    void run(InputReader& reader);
    // A line seen by the input thread while the engine thinks.
    bool lineWhileThinking(const std::string& line);

  private:
    // The engine for the current options, made (again) when they changed.
    Engine& engine();
    void setOption(std::istringstream& words);
    void setPosition(const std::string& description);
    // False when the input said quit or ended while the engine held back its move.
    bool go(std::istringstream& words, InputReader& reader);
    void reportPass(const PassReport& report);

    Settings settings_;
    std::ostream& out_;
    std::mutex outLock_;
    std::unique_ptr<Engine> engine_;
    bool stale_ = true;              // an option changed since the engine was made
    std::string position_ = "startpos";  // the last position, set again on a new engine
    std::atomic<bool> released_{false};  // stop, ponderhit or quit came during this go
};

Engine& UciSession::engine() {
    if (stale_ || !engine_) {
        engine_.reset();  // one table in memory at a time
        engine_ = std::make_unique<Engine>(settings_.book, settings_.egtb, settings_.hashsize,
                                           settings_.egtbsize);
        engine_->searcher.kind = searchKindNamed(settings_.search.c_str());
        engine_->onPass = [this](const PassReport& report) { reportPass(report); };
        stale_ = false;
        setPosition(position_);
    }
    return *engine_;
}

void UciSession::setOption(std::istringstream& words) {
    // setoption name NAME value VALUE: the name may hold blanks, the value is the rest of
    // the line as sent (a path may hold blanks too).
    std::string word;
    words >> word;
    if (word != "name") return;
    std::string name;
    while (words >> word && word != "value") name += (name.empty() ? "" : " ") + word;
    std::string value;
    std::getline(words >> std::ws, value);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
    for (const UciOption& option : Options) {
        if (!sameName(name, option.name)) continue;
        if (option.number) {
            long long number = std::atoll(value.c_str());
            number = number < option.min ? option.min : number > option.max ? option.max : number;
            settings_.*option.number = std::int32_t(number);
        } else {
            settings_.*option.text = value == "<empty>" ? std::string() : value;
        }
        stale_ = true;
        return;
    }
    say("info string unknown option " + name);
}

void UciSession::setPosition(const std::string& description) {
    position_ = description;
    if (!engine_ || stale_) return;  // set when the engine is made
    Engine& e = *engine_;
    std::istringstream words(description);
    std::string word;
    words >> word;
    // A new game each time: the history for repetitions is the moves given, nothing older.
    e.newGame();
    if (word == "fen") {
        std::string fen;
        while (words >> word && word != "moves") fen += (fen.empty() ? "" : " ") + word;
        BoardRecord record{};
        std::string why;
        if (!readFenChecked(record, fen, why)) {
            say("info string illegal position: " + why);
            return;
        }
        e.setBoard(record);
    } else if (word == "startpos") {
        words >> word;
    } else {
        return;
    }
    if (word != "moves") return;
    while (words >> word) {
        const Move move = readMove(word, e.board);
        if (move.isNone()) {
            say("info string illegal move " + word);
            return;
        }
        e.applyMove(move);
    }
}

void UciSession::reportPass(const PassReport& report) {
    std::ostringstream line;
    line << "info depth " << report.depth << " score ";
    // The side mated at ply p scores 10101 - p against it; UCI counts mates in moves.
    const std::int32_t score = report.sideScore;
    if (score >= 10000 || score <= -10000) {
        const int moves = (10101 - std::abs(score) + 1) / 2;
        line << "mate " << (score > 0 ? moves : -moves);
    } else {
        line << "cp " << score;
    }
    line << " time " << std::llround(report.seconds * 1000) << " nodes " << report.nodes
         << " nps " << report.nodesPerSecond;
    if (report.pv.count > 0) {
        line << " pv";
        for (int i = 0; i < report.pv.count; ++i) line << ' ' << xboardMove(report.pv.moves[i]);
    }
    say(line.str());
}

bool UciSession::go(std::istringstream& words, InputReader& reader) {
    Engine& e = engine();
    const bool white = e.board.sideToMove() == 1;
    SearchLimits limits;
    // infinite and ponder hold the answer back until the GUI says stop (or ponderhit:
    // there is no pondering, the search is an ordinary one).
    bool hold = false;
    for (std::string word; words >> word;) {
        if (word == (white ? "wtime" : "btime")) limits.clockSeconds = numberWord(words) * 0.001;
        else if (word == (white ? "btime" : "wtime"))
            limits.opponentSeconds = numberWord(words) * 0.001;
        else if (word == (white ? "winc" : "binc"))
            limits.incrementSeconds = numberWord(words) * 0.001;
        else if (word == "movestogo") limits.movesToGo = std::int32_t(numberWord(words));
        else if (word == "movetime") limits.moveSeconds = numberWord(words) * 0.001;
        else if (word == "depth") limits.depth = std::int32_t(numberWord(words));
        else if (word == "nodes") limits.nodes = std::uint32_t(numberWord(words));
        else if (word == "infinite") limits.infinite = hold = true;
        else if (word == "ponder") hold = true;
    }
    // Nonsense from the GUI falls back to no limit of that kind.
    if (limits.clockSeconds < 0 && limits.clockSeconds != -1.0) limits.clockSeconds = 0;
    if (limits.moveSeconds < 0) limits.moveSeconds = 0;
    if (limits.incrementSeconds < 0) limits.incrementSeconds = 0;
    if (limits.depth < 0) limits.depth = 0;
    if (limits.movesToGo < 0) limits.movesToGo = 0;
    e.limits = limits;

    released_ = false;
    e.clearStop();
    reader.beginThinking();
    const Move move = e.think();
    reader.endThinking();
    bool goOn = true;
    // Finished early (a mate, the deepest pass): the GUI still waits for its stop.
    std::string line;
    while (hold && !released_) {
        if (!std::getline(reader.stream(), line)) {
            goOn = false;
            break;
        }
        std::istringstream lineWords(line);
        std::string word;
        lineWords >> word;
        if (word == "isready") say("readyok");
        else if (word == "stop" || word == "ponderhit") released_ = true;
        else if (word == "quit") released_ = true, goOn = false;
    }
    say("bestmove " + (move.isNone() ? std::string("0000") : xboardMove(move)));
    return goOn;
}

bool UciSession::lineWhileThinking(const std::string& line) {
    std::istringstream words(line);
    std::string word;
    words >> word;
    if (word == "isready") {
        say("readyok");
        return true;
    }
    if (word == "stop") {
        engine_->requestStop();
        released_ = true;
        return true;
    }
    if (word == "ponderhit") {
        released_ = true;
        return true;
    }
    if (word == "quit") {
        engine_->requestStop();
        released_ = true;
        return false;  // the loop ends on it after the answer
    }
    return false;
}

void UciSession::run(InputReader& reader) {
    std::string line;
    while (std::getline(reader.stream(), line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream words(line);
        std::string command;
        words >> command;
        if (command == "uci") {
            say("id name corvina");
            say("id author the corvina developers");
            for (const UciOption& option : Options) say(optionLine(option, settings_));
            say("uciok");
        } else if (command == "isready") {
            engine();  // the book, the table and the tablebases are ready when it answers
            say("readyok");
        } else if (command == "setoption") {
            setOption(words);
        } else if (command == "ucinewgame") {
            position_ = "startpos";
            if (engine_ && !stale_) engine_->newGame();
        } else if (command == "position") {
            std::string rest;
            std::getline(words >> std::ws, rest);
            engine();
            setPosition(rest);
        } else if (command == "go") {
            if (!go(words, reader)) return;
        } else if (command == "quit") {
            return;
        }
        // stop and ponderhit with nothing to stop, debug, register and unknown words: nothing.
    }
}

// Protocol lines written straight to a file descriptor, a line at a time.
class DescriptorBuffer : public std::streambuf {
  public:
    explicit DescriptorBuffer(int fd) : fd_(fd) {}

  protected:
    int_type overflow(int_type c) override {
        if (!traits_type::eq_int_type(c, traits_type::eof())) pending_ += char(c);
        return traits_type::not_eof(c);
    }
    int sync() override {
        std::size_t done = 0;
        while (done < pending_.size()) {
            const ssize_t n = ::write(fd_, pending_.data() + done, pending_.size() - done);
            if (n <= 0) break;  // the GUI is gone; nothing to tell it
            done += std::size_t(n);
        }
        pending_.clear();
        return 0;
    }

  private:
    int fd_;
    std::string pending_;
};

}  // namespace

void runUci(const Settings& settings) {
    // The engine's reports and debugging lines, whether through the streams or stdio, go
    // to the null device for the run; the protocol lines keep the real standard output.
    std::cout.flush();
    std::fflush(stdout);
    const int real = ::dup(1);
    const int null = ::open("/dev/null", O_WRONLY);
    if (real < 0 || null < 0 || ::dup2(null, 1) < 0) {
        std::cerr << "UCI: cannot set standard output aside" << std::endl;
        return;
    }
    ::close(null);
    DescriptorBuffer protocol(real);
    std::ostream out(&protocol);
    {
        // The input thread starts first, as in the xboard run, so that every line of a
        // script is waiting when the first search starts.
        UciSession* session = nullptr;
        InputReader reader(std::cin, [&session](const std::string& line, bool) {
            // "go infinite" and "stop" sent together must stop: waiting lines count alike.
            return session && session->lineWhileThinking(line);
        });
        UciSession uci(settings, out);
        session = &uci;
        uci.run(reader);
    }
    out.flush();
    std::cout.flush();
    std::fflush(stdout);
    ::dup2(real, 1);
    ::close(real);
}

bool FirstWord::isUci() const {
    std::size_t start = read_.find_first_not_of(" \t\r\n\f\v");
    return start != std::string::npos && read_.compare(start, std::string::npos, "uci") == 0;
}

std::string FirstWord::readWord(std::streambuf* source) {
    std::string read;
    using Traits = std::streambuf::traits_type;
    if (!source) return read;
    // Blanks first, then the word up to the next blank, which stays unread.
    for (int c = source->sgetc(); c != Traits::eof(); c = source->snextc()) {
        if (!std::isspace(c)) break;
        read += char(c);
    }
    for (int c = source->sgetc(); c != Traits::eof(); c = source->snextc()) {
        if (std::isspace(c)) break;
        read += char(c);
    }
    return read;
}

FirstWord::FirstWord(std::istream& in)
    : in_(in), original_(in.rdbuf()), read_(readWord(original_)), buffer_(read_, original_) {
    in_.rdbuf(&buffer_);
}

FirstWord::~FirstWord() { in_.rdbuf(original_); }

FirstWord::Buffer::int_type FirstWord::Buffer::underflow() {
    if (!textRead_) {
        textRead_ = true;
        if (!text_.empty()) {
            setg(text_.data(), text_.data(), text_.data() + text_.size());
            return traits_type::to_int_type(text_[0]);
        }
    }
    // Then the rest, a character at a time: the source keeps its own buffer.
    const int_type c = rest_ ? rest_->sbumpc() : traits_type::eof();
    if (traits_type::eq_int_type(c, traits_type::eof())) return c;
    current_ = traits_type::to_char_type(c);
    setg(&current_, &current_, &current_ + 1);
    return c;
}

}  // namespace corvina
