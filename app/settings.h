// Start-up configuration: the Settings record and its ini-style file.
#pragma once

#include <cstdint>
#include <string>

namespace corvina {

struct Settings {
    std::string gui = "xboard";
    std::string book = "eco.alg";
    std::string egtb = "c:\\egtb";
    std::int32_t hashsize = 64;
    std::int32_t egtbsize = 8;
};

}  // namespace corvina
