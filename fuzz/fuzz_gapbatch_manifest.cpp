// Fuzz target: gapbatch's manifest. The fuzz input is the manifest, naming (or not) the two
// small photographs written beside it; every cell is read as a setting of its column.
#include <string>
#include <vector>

#include "fuzz_target.h"
#include "gapbatch.h"
#include "program_harness.h"

namespace {

// A 16 x 16 grey photograph: a bright square (sky) in a dark one.
std::string small_photo() {
    std::string b = "BM";
    auto put = [&](unsigned v, int bytes) {
        for (int k = 0; k < bytes; ++k) b += char((v >> (8 * k)) & 0xff);
    };
    const int w = 16, h = 16;
    put(14 + 40 + 1024 + w * h, 4);
    put(0, 4);
    put(14 + 40 + 1024, 4);
    put(40, 4);
    put(w, 4);
    put(h, 4);
    put(1, 2);
    put(8, 2);
    put(0, 4);
    put(w * h, 4);
    put(2835, 4);
    put(2835, 4);
    put(256, 4);
    put(0, 4);
    for (int i = 0; i < 256; ++i) put(unsigned(i | i << 8 | i << 16), 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b += char(x > 4 && x < 11 && y > 4 && y < 11 ? 220 : 30);
    return b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    enter_scratch_folder();
    static const std::string photo = small_photo();
    write_file("a.bmp", photo);
    write_file("b.bmp", photo);
    write_file("m.csv", data, size);
    run_program(run_gapbatch,
                {"gapbatch", "--jobs", "1", "--quiet", "--out", "out", "--manifest", "m.csv"}, "");
    return 0;
}
