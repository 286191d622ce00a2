// gapimage: gap fractions and gap sizes of a hemispherical canopy photograph.
//
// An interactive program without arguments: it asks for an 8-bit greyscale BMP photograph, the
// lens model, three points on the rim of the sky disc and (for a grey-toned image) a threshold,
// then writes either gapfract.txt (the gap fraction of every zenith ring x azimuth sector) or
// gapsize.txt (sky and canopy run lengths along circles of constant zenith angle) in the current
// folder. Answers are read token by token from the input, so the dialogue can be scripted.
#include "gapimage.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "answers.h"
#include "bmp_dialogue.h"
#include "gapdata/gapdata.h"
#include "gapreport/gapreport.h"
#include "skyimage/gapsize.h"

namespace {

constexpr int kBannerWidth = 72;

// The driver's one image record, released however the dialogue ends.
struct Photo {
    t_Bitmap bmp{};  // name null: nothing for BMPLoad to release
    ~Photo() { skyimage::release(&bmp); }
};

void write_banner(const cli::Io& io) {
    std::fprintf(io.out, "\n");
    std::fprintf(io.out, "**********************************************************************\n");
    std::fprintf(io.out, "***                                                                ***\n");
    std::fprintf(io.out, "***         G A P    F R A C T I O N    A N A L Y S I S            ***\n");
    std::fprintf(io.out, "***                                                                ***\n");
    std::fprintf(io.out, "**********************************************************************\n");
    const int left = (kBannerWidth - int(std::strlen(gapreport::kBanner))) / 2;
    const int right = kBannerWidth - int(std::strlen(gapreport::kBanner)) - left;
    std::fprintf(io.out, "%*s%s%*s\n", left, "", gapreport::kBanner, right, "");
}

// The gap-fraction branch: grid and declination, then the projection of the photograph's lens
// (LENS_TYPE). Returns the exit status: 1 when the file could not be written.
int gap_fraction_branch(const cli::Io& io, int lensType, const WorkingView& working) {
    std::fprintf(io.out, "\nExtracting Gap Fraction\n");
    int nz = 0, na = 0;
    for (;;) {
        std::fprintf(io.out,
                     "Enter the number of zenith and azimuth divisions (integer integer): ");
        nz = gapimage::ask_int(io);
        na = gapimage::ask_int(io);
        if (nz >= 1 && nz <= gapdata::kMaxWriteAnnuli && na >= 1 && na <= gapdata::kMaxWriteSectors)
            break;
        std::fprintf(io.out,
                     "The zenith divisions must be 1 to 90 and the azimuth divisions 1 to 360.\n");
    }
    double declination = 0;
    for (;;) {
        std::fprintf(io.out, "Enter the magnetic declination in degrees (float: - West, + East): ");
        declination = gapimage::ask_double(io);
        if (std::fabs(declination) <= 180) break;
        std::fprintf(io.out, "The declination must lie between -180 and 180 degrees.\n");
    }
    if (lensType == 1) return BMPPolarProjection(io, working, nz, na, declination, "gapfract.txt");
    if (lensType == 2)
        return BMPOrthographicProjection(io, working, nz, na, declination, "gapfract.txt");
    return 0;
}

// The gap-size branch: zenith range and step, then the grouping of the photograph's lens
// (LENS_TYPE). Returns the exit status: 1 when the file could not be written.
int gap_size_branch(const cli::Io& io, int lensType, const WorkingView& working) {
    std::fprintf(io.out, "\nExtracting Gap Size\n");
    double minimum = 0, maximum = 0, step = 0;
    for (;;) {
        std::fprintf(io.out, "Min. zenith angle, degrees (float): ");
        minimum = gapimage::ask_double(io);
        std::fprintf(io.out, "Max. zenith angle, degrees (float): ");
        maximum = gapimage::ask_double(io);
        std::fprintf(io.out, "Step, degrees (float): ");
        step = gapimage::ask_double(io);
        const char* problem =
            skyimage::gapsize_step_problem(lensType, minimum, maximum, step, working.w);
        if (problem == nullptr) break;
        std::fprintf(io.out, "%s: enter the angles and the step again.\n", problem);
    }
    if (lensType == 1) return BMPPolarGrouping(io, working, minimum, maximum, step, "gapsize.txt");
    if (lensType == 2)
        return BMPOrthographicGrouping(io, working, minimum, maximum, step, "gapsize.txt");
    return 0;
}

int dialogue(const cli::Io& io, Photo* photo) {
    write_banner(io);
    std::fprintf(io.out, "\nEnter the name of the *.bmp file: ");
    const std::string photo_name = gapimage::ask_word(io);
    if (BMPLoad(io, &photo->bmp, photo_name.c_str()) != 0) return 1;

    std::fprintf(io.out, "\nTo extract the working image from the background\n");
    std::fprintf(io.out,
                 "Enter the coordinates x,y of 3 points on the horizon circle of the image:\n");
    // The working image is the photograph seen through the square of the sky disc, with the
    // threshold applied as its pixels are read: no copy is cut and no pass made over it.
    WorkingView working;
    BMPExtract(io, &photo->bmp, &working);

    std::fprintf(io.out, "\n");
    char kind = 0;
    do {
        std::fprintf(io.out, "Is the working image classified or grey-toned (c/g) ? ");
        kind = gapimage::ask_char(io);
    } while (kind != 'c' && kind != 'C' && kind != 'g' && kind != 'G');
    if (kind == 'g' || kind == 'G') {
        std::fprintf(io.out, "Enter a threshold value (integer): ");
        BMPThreshold(io, &working, gapimage::ask_int(io));
    }

    std::fprintf(io.out, "\nDo you want to compute gap sizes (y/n) ? ");
    const char sizes = gapimage::ask_char(io);
    const int lens = photo->bmp.lensType;
    const int status = sizes == 'y' || sizes == 'Y' ? gap_size_branch(io, lens, working)
                                                    : gap_fraction_branch(io, lens, working);

    std::fprintf(io.out,
                 "\n**********************************************************************\n");
    return status;
}

}  // namespace

int run_gapimage(int /*argc*/, char** /*argv*/, const cli::Io& io) {
    Photo photo;
    try {
        return dialogue(io, &photo);
    } catch (const gapimage::DialogueEnded& ended) {
        return ended.status;
    }
}
