// gapimage: gap fractions and gap sizes of a hemispherical canopy photograph.
//
// An interactive program without arguments: it asks for an 8-bit greyscale BMP photograph, the
// lens model, three points on the rim of the sky disc and (for a grey-toned image) a threshold,
// then writes either gapfract.txt (the gap fraction of every zenith ring x azimuth sector) or
// gapsize.txt (sky and canopy run lengths along circles of constant zenith angle) in the current
// folder. Answers are read token by token from standard input, so the dialogue can be scripted.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "answers.h"
#include "bitmap.h"
#include "gapdata/gapdata.h"

namespace {

constexpr int kBannerWidth = 72;

// The driver's one image record and the typed file name, owned for the whole run.
t_Bitmap photo{};  // name null: nothing for BMPLoad to release
char* photo_name = nullptr;

void release_photo() {
    BMPRelease(&photo);
    delete[] photo_name;
    photo_name = nullptr;
}

void write_banner() {
    std::printf("\n");
    std::printf("**********************************************************************\n");
    std::printf("***                                                                ***\n");
    std::printf("***         G A P    F R A C T I O N    A N A L Y S I S            ***\n");
    std::printf("***                                                                ***\n");
    std::printf("**********************************************************************\n");
    const int left = (kBannerWidth - int(std::strlen(gapdata::kBanner))) / 2;
    const int right = kBannerWidth - int(std::strlen(gapdata::kBanner)) - left;
    std::printf("%*s%s%*s\n", left, "", gapdata::kBanner, right, "");
}

// The gap-fraction branch: grid and declination, then the projection of the record's lens.
// Returns the exit status: 1 when the file could not be written.
int gap_fraction_branch(const t_Bitmap* bmp) {
    std::printf("\nExtracting Gap Fraction\n");
    int nz = 0, na = 0;
    for (;;) {
        std::printf("Enter the number of zenith and azimuth divisions (integer integer): ");
        nz = gapimage::ask_int();
        na = gapimage::ask_int();
        if (nz >= 1 && nz <= gapdata::kMaxWriteAnnuli && na >= 1 && na <= gapdata::kMaxWriteSectors)
            break;
        std::printf("The zenith divisions must be 1 to 90 and the azimuth divisions 1 to 360.\n");
    }
    double declination = 0;
    for (;;) {
        std::printf("Enter the magnetic declination in degrees (float: - West, + East): ");
        declination = gapimage::ask_double();
        if (std::fabs(declination) <= 180) break;
        std::printf("The declination must lie between -180 and 180 degrees.\n");
    }
    if (bmp->lensType == 1) return BMPPolarProjection(bmp, nz, na, declination, "gapfract.txt");
    if (bmp->lensType == 2)
        return BMPOrthographicProjection(bmp, nz, na, declination, "gapfract.txt");
    return 0;
}

// The gap-size branch: zenith range and step, then the grouping of the record's lens.
// Returns the exit status: 1 when the file could not be written.
int gap_size_branch(const t_Bitmap* bmp) {
    std::printf("\nExtracting Gap Size\n");
    double minimum = 0, maximum = 0, step = 0;
    for (;;) {
        std::printf("Min. zenith angle, degrees (float): ");
        minimum = gapimage::ask_double();
        std::printf("Max. zenith angle, degrees (float): ");
        maximum = gapimage::ask_double();
        std::printf("Step, degrees (float): ");
        step = gapimage::ask_double();
        const char* problem =
            gapimage::gapsize_step_problem(bmp->lensType, minimum, maximum, step, bmp->width);
        if (problem == nullptr) break;
        std::printf("%s: enter the angles and the step again.\n", problem);
    }
    if (bmp->lensType == 1) return BMPPolarGrouping(bmp, minimum, maximum, step, "gapsize.txt");
    if (bmp->lensType == 2)
        return BMPOrthographicGrouping(bmp, minimum, maximum, step, "gapsize.txt");
    return 0;
}

}  // namespace

int main() {
    write_banner();
    std::printf("\nEnter the name of the *.bmp file: ");
    photo_name = gapimage::ask_word();
    BMPLoad(&photo, photo_name);

    std::printf("\nTo extract the working image from the background\n");
    std::printf("Enter the coordinates x,y of 3 points on the horizon circle of the image:\n");
    BMPExtract(&photo);

    std::printf("\n");
    char kind = 0;
    do {
        std::printf("Is the working image classified or grey-toned (c/g) ? ");
        kind = gapimage::ask_char();
    } while (kind != 'c' && kind != 'C' && kind != 'g' && kind != 'G');
    if (kind == 'g' || kind == 'G') {
        std::printf("Enter a threshold value (integer): ");
        BMPThreshold(&photo, gapimage::ask_int());
    }

    std::printf("\nDo you want to compute gap sizes (y/n) ? ");
    const char sizes = gapimage::ask_char();
    const int status = sizes == 'y' || sizes == 'Y' ? gap_size_branch(&photo)
                                                    : gap_fraction_branch(&photo);

    std::printf("\n**********************************************************************\n");
    release_photo();
    return status;
}
