// Fuzz target: the photograph readers (BMP, JPEG, TIFF, PNG; raw through a raw file name),
// the header probe, and the disc finder on what was read.
#include "fuzz_target.h"
#include "program_harness.h"
#include "skyimage/find_disc.h"
#include "skyimage/photo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    enter_scratch_folder();
    for (const char* name : {"photo.pic", "photo.dng"}) {
        write_file(name, data, size);
        skyimage::PhotoInfo info;
        char problem[skyimage::kPhotoProblemSize];
        const bool probed = skyimage::probe_photo(name, &info, problem);
        skyimage::Photo photo;
        if (!skyimage::read_photo(name, skyimage::Channel::kLuma, &photo, problem)) continue;
        // What the header promised is what was read (a raw file's processing may stretch it).
        if (!probed || info.depth != photo.depth() ||
            (info.format != skyimage::PhotoFormat::kRaw &&
             (info.width != photo.bmp.width || info.height != photo.bmp.height)))
            __builtin_trap();
        if (photo.depth() == 16 &&
            photo.wide.size() != std::size_t(photo.bmp.width) * std::size_t(photo.bmp.height))
            __builtin_trap();
        if (photo.bmp.width <= 1024 && photo.bmp.height <= 1024) {
            skyimage::DiscFit fit;
            skyimage::find_disc(photo, &fit);
        }
    }
    return 0;
}
