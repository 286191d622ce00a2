#include "bmp_dialogue.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "answers.h"
#include "gapdata/gapdata.h"
#include "photo_format.h"
#include "skyimage/cells.h"
#include "skyimage/gapsize.h"
#include "skyimage/photo.h"

namespace {

char* copy_name(const char* name) {
    const std::size_t n = std::strlen(name) + 1;
    char* copy = new char[n];
    std::memcpy(copy, name, n);
    return copy;
}

// The photograph must not be the output: one line, 1; otherwise 0.
int check_output_name(const cli::Io& io, const t_Bitmap* bmp, const char* fileName) {
    std::vector<const char*> inputs;
    if (bmp->name != nullptr) inputs.push_back(bmp->name);
    std::fflush(io.out);
    return cli::check_files(io, inputs, fileName) ? 0 : 1;
}

int project(const cli::Io& io, const t_Bitmap* bmp, bool orthographic, int nz, int na,
            double declination, const char* fileName) {
    if (check_output_name(io, bmp, fileName) != 0) return 1;
    if (!orthographic) {
        std::fprintf(io.out, "Polar Projection: %d %d begins...\n", nz, na);
    } else {
        std::fprintf(io.out, "Orthographic Projection: %d %d begins...\n", nz, na);
    }
    skyimage::Lens lens;
    lens.kind = orthographic ? skyimage::LensKind::kOrthographic : skyimage::LensKind::kEquidistant;
    gapdata::Counts counts;
    skyimage::count_cells(*bmp, lens, nz, na, declination, &counts);
    // Written beside the earlier file and renamed over it once complete.
    fileio::AtomicFile out(fileName, io.cleanup);
    if (!out.ok()) {
        std::fflush(io.out);
        std::fprintf(io.err, "Cannot write the file %s...\n", fileName);
        return 1;
    }
    gapdata::write_gap_fraction(out.file(), counts);
    if (cli::commit(io, &out) != 0) return 1;
    if (!orthographic) {
        std::fprintf(io.out, "Polar Projection finished\n");
    } else {
        std::fprintf(io.out, "Orthographic Projection finished\n");
    }
    return 0;
}

int group(const cli::Io& io, const t_Bitmap* bmp, bool orthographic, double minimum,
          double maximum, double step, const char* fileName) {
    if (check_output_name(io, bmp, fileName) != 0) return 1;
    fileio::AtomicFile out(fileName, io.cleanup);
    if (!out.ok()) {
        std::fflush(io.out);
        std::fprintf(io.err, "Cannot open the file %s...\n", fileName);
        return 1;
    }
    skyimage::write_gap_sizes(out.file(), *bmp, orthographic, minimum, maximum, step);
    return cli::commit(io, &out);
}

}  // namespace

int BMPLoad(const cli::Io& io, t_Bitmap* bmp, const char* fileName) {
    std::fprintf(io.out, "Loading BMP: %s\n", fileName);
    // A JPEG, PNG or TIFF file is named as what it is, with the way to analyse it, before its
    // bytes could be taken for a BMP header.
    unsigned char head[30];
    const std::size_t head_size = gapimage::read_head(fileName, head);
    const gapimage::PhotoFormat format = gapimage::photo_format(head, head_size);
    if (format != gapimage::PhotoFormat::kBmp && format != gapimage::PhotoFormat::kUnknown) {
        std::fflush(io.out);
        cli::refuse(io, "gapimage: " + gapimage::unreadable_photo_advice(
                                           fileName, format, -1, skyimage::jpeg_supported()));
        return 1;
    }
    delete[] bmp->name;
    bmp->name = copy_name(fileName);
    char problem[skyimage::kProblemSize] = "";
    switch (skyimage::read_bmp(bmp, bmp->name, problem)) {
        case skyimage::LoadStatus::kOk:
            break;
        case skyimage::LoadStatus::kCannotOpen:
            std::fflush(io.out);
            std::fprintf(io.err, "Cannot open the file %s...\n", fileName);
            return 1;
        case skyimage::LoadStatus::kNot8Bit: {
            std::fprintf(io.out, "\nError message: Image file must be encoded 8-bit greyscale\n");
            const std::string advice = gapimage::unreadable_photo_advice(
                fileName, format, bmp->bitCount, skyimage::jpeg_supported());
            if (!advice.empty()) {
                std::fflush(io.out);
                cli::refuse(io, "gapimage: " + advice);
            }
            return 1;
        }
        case skyimage::LoadStatus::kProblem:
            std::fflush(io.out);
            cli::refuse(io, fileName, "%s", problem);
            return 1;
    }
    std::fprintf(io.out, "\nGeometric distortion of the fish-eye lens: \n");
    std::fprintf(io.out, " 1: Equidistant (or polar)\n");
    std::fprintf(io.out, " 2: Orthographic\n");
    std::fprintf(io.out, "? ");
    bmp->lensType = gapimage::ask_int(io);
    std::fprintf(io.out, "BMP: %s Loaded\n", fileName);
    return 0;
}

int BMPSave(const cli::Io& io, t_Bitmap* bmp, const char* fileName) {
    if (fileName != nullptr) {
        char* copy = copy_name(fileName);  // copied first: FILE_NAME may be the record's own
        delete[] bmp->name;
        bmp->name = copy;
    }
    std::fprintf(io.out, "Saving BMP: %s\n", bmp->name);
    if (!cli::check_files(io, {}, bmp->name)) return 1;
    fileio::AtomicFile out(bmp->name, io.cleanup);
    if (!out.ok()) {
        std::fflush(io.out);
        std::fprintf(io.err, "Cannot create the file %s...\n", bmp->name);
        return 1;
    }
    skyimage::write_bmp(out.file(), *bmp);
    if (cli::commit(io, &out) != 0) return 1;
    std::fprintf(io.out, "BMP: %s Saved\n", bmp->name);
    return 0;
}

int BMPExtract(const cli::Io& io, t_Bitmap* bmp) {
    for (;;) {
        int p[6];
        for (int n = 1; n <= 3; ++n) {
            std::fprintf(io.out, "Point %d (X integer  Y integer): ", n);
            gapimage::ask_point(io, &p[2 * n - 2], &p[2 * n - 1]);
        }
        const skyimage::Circle c = skyimage::circle_through(p[0], p[1], p[2], p[3], p[4], p[5]);
        if (c.collinear) {
            std::fprintf(io.out,
                         "The three points lie on one line: enter three points of the circle.\n");
            continue;
        }
        if (!c.usable) {
            std::fprintf(io.out,
                         "The circle through these points is too small or too large "
                         "(2 to %d pixels across): enter the points again.\n",
                         int(skyimage::kMaxSquare));
            continue;
        }
        std::fprintf(io.out, "Center: %d , %d\n", c.cx, c.cy);
        std::fprintf(io.out, "Radius: %g\n", c.radius);
        if (!skyimage::crop(bmp, c.x0, c.y0, int(c.w), int(c.h))) {
            std::fprintf(io.out,
                         "There is not enough memory for a working image of %d x %d pixels: "
                         "enter the points again.\n",
                         int(c.w), int(c.h));
            continue;
        }
        return 0;
    }
}

int BMPThreshold(const cli::Io& io, t_Bitmap* bmp, int threshold) {
    std::fprintf(io.out, "Thresholding: %d\n", threshold);
    skyimage::threshold_pixels(bmp, threshold);
    std::fprintf(io.out, "Thresholding finished\n");
    return 0;
}

int BMPPolarProjection(const cli::Io& io, const t_Bitmap* bmp, int nz, int na,
                       double declination, const char* fileName) {
    return project(io, bmp, false, nz, na, declination, fileName);
}

int BMPOrthographicProjection(const cli::Io& io, const t_Bitmap* bmp, int nz, int na,
                              double declination, const char* fileName) {
    return project(io, bmp, true, nz, na, declination, fileName);
}

int BMPPolarGrouping(const cli::Io& io, const t_Bitmap* bmp, double minimum, double maximum,
                     double step, const char* fileName) {
    return group(io, bmp, false, minimum, maximum, step, fileName);
}

int BMPOrthographicGrouping(const cli::Io& io, const t_Bitmap* bmp, double minimum,
                            double maximum, double step, const char* fileName) {
    return group(io, bmp, true, minimum, maximum, step, fileName);
}
