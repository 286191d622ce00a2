// make_test_photo FILE: writes the synthetic 24 Mpx photograph as an 8-bit BMP file.
// Rim points for gapimage: 3000 0, 1000 2000, 5000 2000.
#include <cstdio>

#include "synthetic.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE.bmp\n", argv[0]);
        return 1;
    }
    skyimage::t_Bitmap bmp;
    bench::make_photo(&bmp);
    std::FILE* f = std::fopen(argv[1], "wb");
    bool ok = f != nullptr && skyimage::write_bmp(f, bmp);
    if (f != nullptr) ok = std::fclose(f) == 0 && ok;
    skyimage::release(&bmp);
    if (!ok) std::fprintf(stderr, "%s: cannot write the file\n", argv[1]);
    return ok ? 0 : 1;
}
