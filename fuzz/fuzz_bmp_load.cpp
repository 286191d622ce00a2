// Fuzz target: the BMP reader, then extraction, threshold and projection of what it read.
#include "bitmap.h"
#include "fuzz_target.h"
#include "program_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    enter_scratch_folder();
    write_file("photo.bmp", data, size);
    t_Bitmap bmp{};
    char problem[gapimage::kProblemSize];
    if (gapimage::read_bmp(&bmp, "photo.bmp", problem) == gapimage::LoadStatus::kOk &&
        bmp.width <= 4096 && bmp.height <= 4096) {
        // The circle through three points of the image's frame.
        gapimage::Circle c = gapimage::circle_through(0, bmp.height / 2, bmp.width / 2, 0,
                                                      bmp.width - 1, bmp.height / 2);
        // A thin picture gives a huge circle; large crops are the dialogue target's to fuzz.
        const bool small = c.w <= 512 && c.h <= 512;
        if (!c.collinear && c.usable && small &&
            gapimage::crop(&bmp, c.x0, c.y0, int(c.w), int(c.h))) {
            gapimage::threshold_pixels(&bmp, 128);
            static gapdata::CountTable pixels, gaps;
            gapimage::count_cells(&bmp, gapimage::Lens::kOrthographic, 9, 8, 0.0, pixels, gaps);
        }
    }
    BMPRelease(&bmp);
    return 0;
}
