// make_test_photo FILE: writes the synthetic 24 Mpx photograph as an 8-bit BMP file.
// Rim points for gapimage: 3000 0, 1000 2000, 5000 2000.
#include <cstdio>

#include "synthetic.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE.bmp\n", argv[0]);
        return 1;
    }
    t_Bitmap bmp;
    bench::make_photo(&bmp);
    const int status = BMPSave(&bmp, argv[1]);
    BMPRelease(&bmp);
    return status;
}
