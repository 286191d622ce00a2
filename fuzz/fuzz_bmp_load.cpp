// Fuzz target: the BMP reader, then extraction, threshold and projection of what it read.
#include "fuzz_target.h"
#include "gapdata/gapdata.h"
#include "program_harness.h"
#include "skyimage/bitmap.h"
#include "skyimage/cells.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    enter_scratch_folder();
    write_file("photo.bmp", data, size);
    skyimage::t_Bitmap bmp{};
    char problem[skyimage::kProblemSize];
    if (skyimage::read_bmp(&bmp, "photo.bmp", problem) == skyimage::LoadStatus::kOk &&
        bmp.width <= 4096 && bmp.height <= 4096) {
        // The circle through three points of the image's frame.
        skyimage::Circle c = skyimage::circle_through(0, bmp.height / 2, bmp.width / 2, 0,
                                                      bmp.width - 1, bmp.height / 2);
        // A thin picture gives a huge circle; large crops are the dialogue target's to fuzz.
        const bool small = c.w <= 512 && c.h <= 512;
        if (!c.collinear && c.usable && small &&
            skyimage::crop(&bmp, c.x0, c.y0, int(c.w), int(c.h))) {
            skyimage::threshold_pixels(&bmp, 128);
            skyimage::Lens lens;
            lens.kind = skyimage::LensKind::kOrthographic;
            gapdata::Counts counts;
            skyimage::count_cells(bmp, lens, 9, 8, 0.0, &counts);
        }
    }
    skyimage::release(&bmp);
    return 0;
}
