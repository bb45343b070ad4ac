// Fuzz target: the configuration reader on a file of fuzz bytes. Whatever it reads,
// the default file written from those settings must read back as the same settings.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/settings.h"
#include "fuzz_support.h"

using namespace corvina;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::silenceOutput();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = (fuzz::scratchFolder() / "corvina-fuzz.ini").string();
    const std::string copy = (fuzz::scratchFolder() / "corvina-copy.ini").string();
    fuzz::writeFile(path, data, size);
    Settings settings;
    if (!readSettings(settings, path.c_str())) __builtin_trap();
    if (!writeDefaultSettings(settings, copy.c_str())) __builtin_trap();
    // A value that ends in a carriage return (a line ending "\r\r\n") is written back
    // as a line end of its own and reads back without it; the file cannot hold it.
    for (const std::string* value : {&settings.gui, &settings.book, &settings.egtb})
        if (!value->empty() && value->back() == '\r') return 0;
    Settings again;
    again.gui = again.book = again.egtb = "unset";
    again.hashsize = again.egtbsize = -12345;
    if (!readSettings(again, copy.c_str())) __builtin_trap();
    if (again.gui != settings.gui || again.book != settings.book || again.egtb != settings.egtb ||
        again.hashsize != settings.hashsize || again.egtbsize != settings.egtbsize)
        __builtin_trap();
    return 0;
}
