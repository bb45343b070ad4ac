#include "app/input.h"

#include <cctype>

namespace corvina {

bool lineHasWord(const std::string& line, const std::string& word) {
    std::size_t i = 0;
    const auto space = [&](std::size_t at) {
        return std::isspace(static_cast<unsigned char>(line[at]));
    };
    while (i < line.size()) {
        while (i < line.size() && space(i)) ++i;
        const std::size_t start = i;
        while (i < line.size() && !space(i)) ++i;
        if (line.compare(start, i - start, word) == 0 && i > start) return true;
    }
    return false;
}

InputReader::InputReader(std::istream& source, ThinkingFilter filter)
    : source_(source), filter_(std::move(filter)) {
    thread_ = std::thread([this] { readLines(); });
}

InputReader::~InputReader() {
    bool finished;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finished = finished_;
    }
    // A run cut short (the loop ended without quit or the end of input) leaves the thread
    // waiting on standard input, where nothing can wake it: the process's end takes it.
    if (finished)
        thread_.join();
    else
        thread_.detach();
}

void InputReader::readLines() {
    for (;;) {
        std::string line;
        const bool got = static_cast<bool>(std::getline(source_, line));
        // A last line without its line feed is left without one, as it came.
        const bool whole = got && !source_.eof();
        const bool last = !got || !whole || lineHasWord(line, "quit");
        std::lock_guard<std::mutex> lock(mutex_);
        if (got) {
            if (whole) line += '\n';
            if (!(thinking_ && filter_ && filter_(line, false))) lines_.push_back(std::move(line));
        }
        if (last) finished_ = true;
        arrived_.notify_one();
        if (last) return;
    }
}

bool InputReader::nextLine(std::string& line) {
    std::unique_lock<std::mutex> lock(mutex_);
    arrived_.wait(lock, [this] { return !lines_.empty() || finished_; });
    if (lines_.empty()) return false;
    line = std::move(lines_.front());
    lines_.pop_front();
    return true;
}

void InputReader::beginThinking() {
    std::lock_guard<std::mutex> lock(mutex_);
    thinking_ = true;
    if (!filter_) return;
    for (auto it = lines_.begin(); it != lines_.end();) {
        if (filter_(*it, true))
            it = lines_.erase(it);
        else
            ++it;
    }
}

void InputReader::endThinking() {
    std::lock_guard<std::mutex> lock(mutex_);
    thinking_ = false;
}

InputReader::Buffer::int_type InputReader::Buffer::underflow() {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    do {
        if (!owner_.nextLine(current_)) return traits_type::eof();
    } while (current_.empty());
    char* data = current_.data();
    setg(data, data, data + current_.size());
    return traits_type::to_int_type(*gptr());
}

}  // namespace corvina
