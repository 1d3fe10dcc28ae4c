// The engine's option handlers: name/value pairs through ParseOption, on an
// engine reset before every input. The input is a list of records separated by
// NUL bytes; each record is a name, "=", and a value that may hold any other
// byte, line breaks included.
#include <exception>

#include "fuzz/fuzz_support.h"
#include "media/engine/engine.h"

using namespace zorvex;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::LoadConverterLibraries();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static TCustomFFmpeg engine;
    engine.Reset();
    fuzz::ByteReader reader(data, size);
    while (!reader.Empty()) {
        const std::string record = reader.Text('\0');
        const size_t eq = record.find('=');
        const std::string name = record.substr(0, eq);
        const std::string value = eq == std::string::npos ? std::string() : record.substr(eq + 1);
        // A plug-in named by "vhook" would be loaded and run.
        if (name == "vhook") continue;
        try {
            engine.ParseOption(name, value);
        } catch (const std::exception&) {
            // Rejected values fail with the handler's message; the next record
            // still runs, as options after a failed one would in a preset.
        }
    }
    Logger().SetLogLevel(llWarning);
    return 0;
}
