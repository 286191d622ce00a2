// gapimage: gap fractions and gap sizes of a hemispherical canopy photograph.
//
// An interactive program without arguments: it asks for an 8-bit greyscale BMP photograph, the
// lens model, three points on the rim of the sky disc and (for a grey-toned image) a threshold,
// then writes either gapfract.txt (the gap fraction of every zenith ring x azimuth sector) or
// gapsize.txt (sky and canopy run lengths along circles of constant zenith angle) in the current
// folder. The photograph's name is read as a whole line (blanks around it dropped), every other
// answer token by token, so the dialogue can be scripted.
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

// What --help shows.
constexpr char kHelp[] =
    "Usage: gapimage\n"
    "       gapimage --help | --version\n"
    "\n"
    "Gap fractions or gap sizes of a hemispherical canopy photograph. gapimage\n"
    "asks its questions on standard input, one after another; type the answers at\n"
    "the prompts, or pipe them in, one a line:\n"
    "  1  the photograph, an 8-bit greyscale BMP (the whole line is the name)\n"
    "  2  the lens: 1 equidistant (polar), 2 orthographic\n"
    "  3  three points on the rim of the sky disc, each as \"x y\" or \"x,y\", in\n"
    "     pixels from the top left corner\n"
    "  4  c when the photograph is classified already (0 canopy, any other\n"
    "     value sky), or g when it is grey-toned, and then a threshold (grey\n"
    "     levels above it are sky)\n"
    "  5  y for gap sizes, n for gap fractions\n"
    "  6  gap fractions: zenith rings (1 to 90) and azimuth sectors (1 to 360),\n"
    "     then the magnetic declination in degrees (West negative); gap sizes:\n"
    "     the smallest and largest zenith angle and the step, in degrees\n"
    "An answer that cannot be used is asked again, with the reason. Example:\n"
    "    printf 'canopy.bmp\\n1\\n22 2\\n4 20\\n40 20\\ng\\n128\\nn\\n9 8\\n0\\n' | gapimage\n"
    "\n"
    "Written in the current folder, replacing an earlier file:\n"
    "  gapfract.txt  the numbers of zenith rings and azimuth sectors, then one\n"
    "                line per cell: zenith angle, azimuth, gap fraction, pixels\n"
    "                    9   8\n"
    "                    5.000000   337.500000   0.000000   1\n"
    "  gapsize.txt   three lines per zenith angle: the angle, then the lengths in\n"
    "                pixels of the sky runs and of the canopy runs around it\n"
    "                    15.0\n"
    "                    3 1 2\n"
    "The prompts and progress go to standard output. A lens other than 1 or 2\n"
    "writes no file. gapbatch analyses photographs without questions, JPEG and\n"
    "colour BMP too (see gapbatch --help).\n"
    "\n"
    "Exit status: 0 when the file was written; 1, with a line on standard error,\n"
    "when the photograph cannot be read (a BMP of another depth than 8 bits also\n"
    "prints \"Error message: Image file must be encoded 8-bit greyscale\" on\n"
    "standard output), the input ends, a number is asked and something else is\n"
    "typed, or the file cannot be written.\n";

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

// The gap-fraction branch: grid and declination, then the projection of the record's lens.
// Returns the exit status: 1 when the file could not be written.
int gap_fraction_branch(const cli::Io& io, const t_Bitmap* bmp) {
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
    if (bmp->lensType == 1)
        return BMPPolarProjection(io, bmp, nz, na, declination, "gapfract.txt");
    if (bmp->lensType == 2)
        return BMPOrthographicProjection(io, bmp, nz, na, declination, "gapfract.txt");
    return 0;
}

// The gap-size branch: zenith range and step, then the grouping of the record's lens.
// Returns the exit status: 1 when the file could not be written.
int gap_size_branch(const cli::Io& io, const t_Bitmap* bmp) {
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
            skyimage::gapsize_step_problem(bmp->lensType, minimum, maximum, step, bmp->width);
        if (problem == nullptr) break;
        std::fprintf(io.out, "%s: enter the angles and the step again.\n", problem);
    }
    if (bmp->lensType == 1)
        return BMPPolarGrouping(io, bmp, minimum, maximum, step, "gapsize.txt");
    if (bmp->lensType == 2)
        return BMPOrthographicGrouping(io, bmp, minimum, maximum, step, "gapsize.txt");
    return 0;
}

int dialogue(const cli::Io& io, Photo* photo) {
    write_banner(io);
    std::fprintf(io.out, "\nEnter the name of the *.bmp file: ");
    const std::string photo_name = gapimage::ask_line(io);
    if (BMPLoad(io, &photo->bmp, photo_name.c_str()) != 0) return 1;

    std::fprintf(io.out, "\nTo extract the working image from the background\n");
    std::fprintf(io.out,
                 "Enter the coordinates x,y of 3 points on the horizon circle of the image:\n");
    BMPExtract(io, &photo->bmp);

    std::fprintf(io.out, "\n");
    char kind = 0;
    do {
        std::fprintf(io.out, "Is the working image classified or grey-toned (c/g) ? ");
        kind = gapimage::ask_char(io);
    } while (kind != 'c' && kind != 'C' && kind != 'g' && kind != 'G');
    if (kind == 'g' || kind == 'G') {
        std::fprintf(io.out, "Enter a threshold value (integer): ");
        BMPThreshold(io, &photo->bmp, gapimage::ask_int(io));
    }

    std::fprintf(io.out, "\nDo you want to compute gap sizes (y/n) ? ");
    const char sizes = gapimage::ask_char(io);
    const int status = sizes == 'y' || sizes == 'Y' ? gap_size_branch(io, &photo->bmp)
                                                    : gap_fraction_branch(io, &photo->bmp);

    std::fprintf(io.out,
                 "\n**********************************************************************\n");
    return status;
}

}  // namespace

int run_gapimage(int argc, char** argv, const cli::Io& io) {
    const int asked = cli::help_or_version(argc, argv, io, kHelp);
    if (asked >= 0) return asked;
    Photo photo;
    try {
        return dialogue(io, &photo);
    } catch (const gapimage::DialogueEnded& ended) {
        return ended.status;
    }
}
