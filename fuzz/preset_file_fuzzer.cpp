// The preset file reader: the bytes become a preset file that "fpre" (or "vpre"
// by path after a codec name) applies to a fresh engine.
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "fuzz/fuzz_support.h"
#include "media/engine/engine.h"

using namespace zorvex;

namespace {

bool OptionNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-';
}

// A syntax error quotes its line only up to the character where it went wrong:
// option-name characters, then at most that one character.
void CheckQuote(const std::string& presetName, const std::string& message) {
    const std::string prefix = presetName + ": Invalid syntax: \"";
    if (message.rfind(prefix, 0) != 0) return;
    std::string quoted = message.substr(prefix.size());
    if (!quoted.empty()) quoted.pop_back();  // the closing quote
    if (!quoted.empty()) quoted.pop_back();  // the character that went wrong
    for (char c : quoted) {
        if (!OptionNameChar(c)) {
            std::fprintf(stderr, "preset syntax error quotes too much: %s\n", message.c_str());
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::LoadConverterLibraries();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = fuzz::ScratchFolder() + "/fuzz.ffpreset";
    fuzz::WriteScratchFile(path, data, size);
    static TCustomFFmpeg engine;
    engine.Reset();
    // The first byte picks the way in: a path given to "vpre" after a codec name
    // tries the built-in names first, "fpre" goes straight to the file.
    const bool video = size > 0 && (data[0] & 1) != 0;
    try {
        if (video) {
            engine.ParseOption("vcodec", "libx264");
            engine.ParseOption("vpre", path);
        } else {
            engine.ParseOption("fpre", path);
        }
    } catch (const std::exception& e) {
        // The preset is called by the last name looked up: with a codec name
        // set, "<codec>-<name>" was tried first.
        CheckQuote(video ? "libx264-" + path : path, e.what());
    }
    Logger().SetLogLevel(llWarning);  // a "debug" key may have raised it
    return 0;
}
