// Fuzz target: gapbatch as a whole, its options and its photograph both from the fuzz input.
// The bytes before the first NUL are the options, split at blanks; the bytes after it are the
// photograph photo.bmp, named last on the command line. The run stays on one thread.
#include <string>
#include <vector>

#include "fuzz_target.h"
#include "gapbatch.h"
#include "program_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    enter_scratch_folder();
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = bytes.find('\0');
    const std::string options = bytes.substr(0, nul);
    const std::string photo = nul == std::string::npos ? std::string() : bytes.substr(nul + 1);
    write_file("photo.bmp", photo);
    std::vector<std::string> args = {"gapbatch"};
    std::string word;
    for (char c : options) {
        if (c == ' ' || c == '\n' || c == '\t') {
            if (!word.empty()) args.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) args.push_back(word);
    for (const char* fixed : {"--jobs", "1", "--quiet", "photo.bmp"}) args.push_back(fixed);
    run_program(run_gapbatch, args, "");
    return 0;
}
