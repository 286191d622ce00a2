// Fuzz target: canopylight as a whole. The fuzz input holds the option words, one a line, up to
// the first empty line, and then the gap-fraction file, which the program reads from its input
// stream ("-"). A site and a short period come first, so that most inputs reach the model; the
// input's own options may override them.
#include <string>
#include <vector>

#include "canopylight.h"
#include "fuzz_target.h"
#include "program_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> args = {"canopylight", "--lat", "45", "--lon", "7", "--days", "1-3"};
    std::size_t at = 0;
    int words = 0;
    while (at < text.size() && words < 32) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        if (end == at) {  // the empty line: the gap-fraction file follows
            ++at;
            break;
        }
        args.push_back(text.substr(at, end - at));
        ++words;
        at = end + 1;
    }
    args.push_back("-");
    run_program(run_canopylight, args, at < text.size() ? text.substr(at) : std::string());
    return 0;
}
