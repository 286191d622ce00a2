// Fuzz target: the BMP reader, then extraction, threshold and projection of what it read; the
// counts taken straight from the photograph must equal those of the cut working image.
#include <cstdlib>
#include <vector>

#include "fuzz_target.h"
#include "gapdata/gapdata.h"
#include "program_harness.h"
#include "skyimage/bitmap.h"
#include "skyimage/cells.h"
#include "skyimage/stretches.h"

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
        const std::vector<std::uint8_t> photo(
            bmp.data, bmp.data + std::size_t(bmp.width) * std::size_t(bmp.height));
        skyimage::WorkingView view;
        view.photo = photo.data();
        view.photo_w = bmp.width;
        view.photo_h = bmp.height;
        view.x0 = c.x0;
        view.y0 = c.y0;
        view.w = int(c.w);
        view.h = int(c.h);
        view.binarised = true;
        view.threshold = 128;
        if (!c.collinear && c.usable && small &&
            skyimage::crop(&bmp, c.x0, c.y0, int(c.w), int(c.h))) {
            skyimage::threshold_pixels(&bmp, 128);
            skyimage::Lens lens;
            for (const auto kind :
                 {skyimage::LensKind::kOrthographic, skyimage::LensKind::kEquidistant}) {
                lens.kind = kind;
                const int nz = kind == skyimage::LensKind::kOrthographic ? 9 : 90;
                const int na = kind == skyimage::LensKind::kOrthographic ? 8 : 360;
                gapdata::Counts counts, by_stretches;
                skyimage::count_cells(bmp, lens, nz, na, 0.0, &counts);
                skyimage::count_by_stretches(view, lens, nz, na, 0.0, &by_stretches);
                if (counts.pixels != by_stretches.pixels || counts.gaps != by_stretches.gaps)
                    std::abort();
            }
        }
    }
    skyimage::release(&bmp);
    return 0;
}
