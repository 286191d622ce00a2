// Fuzz target: the gap-fraction reader with every program's reading parameters. The first byte
// chooses the reader; the rest is the file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz_target.h"
#include "gapdata/gapdata.h"

namespace {

template <typename T>
void read_as(const gapdata::Reading& reading, const uint8_t* data, size_t size) {
    gapdata::Grid<T> grid;
    std::FILE* in = fmemopen(const_cast<uint8_t*>(data), size, "r");
    if (in == nullptr) return;
    int nz = 0, na = 0;
    std::string why;
    if (gapdata::read_header(in, "fuzz", reading, &nz, &na, &why) == gapdata::Status::kOk &&
        gapdata::check_grid("fuzz", reading, nz, na, &why) == gapdata::Status::kOk &&
        gapdata::read_records(in, "fuzz", reading, nz, na, &grid, &why) ==
            gapdata::Status::kOk) {
        const auto o = gapdata::openness_summary(grid, gapdata::OpennessStyle::kSuits,
                                                 gapdata::Terrain<T>{});
        (void)o;
    }
    std::fclose(in);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    switch (data[0] % 4) {
        case 0:  // table printer
            read_as<double>({20, 40, false}, data + 1, size - 1);
            break;
        case 1:  // single-precision leaf-angle inversion
            read_as<float>({20, 40, false}, data + 1, size - 1);
            break;
        case 2:  // double-precision LAI programs
            read_as<double>({40, 150, false}, data + 1, size - 1);
            break;
        default:  // single-precision point program, with pixel counts
            read_as<float>({40, 150, true}, data + 1, size - 1);
            break;
    }
    return 0;
}
