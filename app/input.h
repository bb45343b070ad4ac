// Standard input read on a thread of its own, so that a front end hears its stop words
// while the engine thinks. The thread only reads and queues whole lines; the command loop
// reads them back through stream() exactly as it would read standard input, and the search
// stays on the loop's thread. The thread ends at the end of input or after the first line
// holding the word "quit": the loop can end only after one of the two, so no read is left
// pending when the run is over.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <istream>
#include <mutex>
#include <streambuf>
#include <string>
#include <thread>

namespace corvina {

class InputReader {
  public:
    // Sees each line that arrives while the engine thinks, on the reader thread, and at
    // beginThinking each line already waiting (waiting true), on the caller's, under the
    // queue's lock. It may ask the engine to stop and answer the line itself; true takes
    // the line out of the queue. A waiting line was sent before the engine began to think,
    // maybe long before: a script sends all its lines at once.
    using ThinkingFilter = std::function<bool(const std::string& line, bool waiting)>;

    InputReader(std::istream& source, ThinkingFilter filter);
    ~InputReader();
    InputReader(const InputReader&) = delete;
    InputReader& operator=(const InputReader&) = delete;

    // The queued lines, each with its line feed, as one input stream.
    std::istream& stream() { return stream_; }

    // Between these two the filter sees the lines.
    void beginThinking();
    void endThinking();

  private:
    class Buffer : public std::streambuf {
      public:
        explicit Buffer(InputReader& owner) : owner_(owner) {}

      protected:
        int_type underflow() override;

      private:
        InputReader& owner_;
        std::string current_;
    };

    void readLines();
    // Waits for the next line; false at the end of input.
    bool nextLine(std::string& line);

    std::istream& source_;
    ThinkingFilter filter_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<std::string> lines_;
    bool finished_ = false;
    bool thinking_ = false;
    Buffer buffer_{*this};
    std::istream stream_{&buffer_};
    std::thread thread_;
};

// True when the word stands in the line as a word of its own, as the loop reads words.
bool lineHasWord(const std::string& line, const std::string& word);

}  // namespace corvina
