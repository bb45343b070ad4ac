// The UCI protocol: the run that today's chess GUIs and tools drive, chosen by the first
// word of the input or by the gui setting.
#pragma once

#include <istream>
#include <streambuf>
#include <string>

#include "app/settings.h"

namespace corvina {

// Plays under UCI until "quit" or the end of input. Only protocol lines reach standard
// output: the engine's own reports are silenced for the run.
void runUci(const Settings& settings);

// Reads the first word of the stream and puts it back in front of the rest of the input,
// so that whichever run follows reads it as its own. True when the word is "uci".
class FirstWord {
  public:
    explicit FirstWord(std::istream& in);
    ~FirstWord();
    FirstWord(const FirstWord&) = delete;
    FirstWord& operator=(const FirstWord&) = delete;

    bool isUci() const;

  private:
    class Buffer : public std::streambuf {
      public:
        Buffer(std::string text, std::streambuf* rest) : text_(std::move(text)), rest_(rest) {}

      protected:
        int_type underflow() override;

      private:
        std::string text_;
        std::streambuf* rest_;
        bool textRead_ = false;
        char current_ = 0;
    };

    // The blanks and the word, as read.
    static std::string readWord(std::streambuf* source);

    std::istream& in_;
    std::streambuf* original_;
    std::string read_;
    Buffer buffer_;
};

}  // namespace corvina
