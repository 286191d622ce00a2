// Fuzz target: gapimage's whole dialogue on a small fixed photograph, the answers after the
// photograph's name taken from the fuzz input.
#include <string>

#include "fuzz_target.h"
#include "gapimage.h"
#include "program_harness.h"

namespace {

// A 48 x 40 grey photograph with a bright disc, as an 8-bit BMP with a grey palette.
std::string sample_photo() {
    const int w = 48, h = 40;
    std::string s(54, '\0');
    auto put = [&s](size_t pos, unsigned v, int bytes) {
        for (int b = 0; b < bytes; ++b) s[pos + b] = char((v >> (8 * b)) & 0xff);
    };
    s[0] = 'B';
    s[1] = 'M';
    put(10, 54 + 1024, 4);
    put(14, 40, 4);
    put(18, w, 4);
    put(22, h, 4);
    put(26, 1, 2);
    put(28, 8, 2);
    put(46, 256, 4);
    for (int c = 0; c < 256; ++c) s += std::string{char(c), char(c), char(c), 0};
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c)
            s += char(((r - 20) * (r - 20) + (c - 24) * (c - 24) < 300) ? 40 + (r * c) % 200 : 10);
    put(2, unsigned(s.size()), 4);
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    enter_scratch_folder();
    static const bool photo = [] {
        write_file("photo.bmp", sample_photo());
        return true;
    }();
    (void)photo;
    std::string answers = "photo.bmp\n";
    answers.append(reinterpret_cast<const char*>(data), size);
    run_program(run_gapimage, {"gapimage"}, answers);
    return 0;
}
