// The converter's option text reader: free-form name=value text (the records'
// ExtOptions) cut into lines. What the lines then do is the ParseOption
// target's business.
#include <cstdio>
#include <cstdlib>

#include "fuzz/fuzz_support.h"
#include "media/converter_tasks.h"

using namespace zorvex;

namespace {

[[noreturn]] void Broken(const char* what) {
    std::fprintf(stderr, "option text reader: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<TOptionLine> lines = ParseOptionText(text);
    size_t bytes = 0;
    for (const TOptionLine& line : lines) {
        for (const std::string* part : {&line.Name, &line.Value}) {
            if (part->find_first_of("\r\n") != std::string::npos) Broken("line break in a line");
            if (part->find("<CRLF>") != std::string::npos) Broken("<CRLF> left in a line");
        }
        if (line.Name.find('=') != std::string::npos) Broken("'=' in a name");
        for (char c : line.Name) {
            if (c >= 'A' && c <= 'Z') Broken("upper case in a name");
        }
        bytes += line.Name.size() + line.Value.size();
    }
    if (bytes > size) Broken("more text out than in");
    return 0;
}
