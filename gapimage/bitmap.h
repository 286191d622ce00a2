// The bitmap unit of gapimage: one 8-bit greyscale BMP image in memory, and every operation on
// it, from loading the photograph to the gap-fraction and gap-size analyses of its sky disc.
//
// Image coordinates: column x from the left edge, row y from the top edge of the picture as
// displayed, both from 0; pixel (x, y) is byte y * width + x of `data`. After BMPExtract the
// record holds the working image: the sky disc is centred on column width/2 and row height/2
// (integer halving) with a radius of width/2 pixels; a pixel of value 0 is canopy, any other
// value sky (gap).
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "gapdata/gapdata.h"

extern const double pi;

// An 8-bit BMP image with its header fields as the file holds them (little-endian on disk).
struct t_Bitmap {
    char* name;  // copy of the file name last loaded or saved, or null
    std::int32_t lensType;  // 1 equidistant (polar), 2 orthographic; anything else: no analysis
    std::FILE* file;        // open only inside BMPLoad and BMPSave
    std::uint16_t fileType;
    std::uint32_t fileSize;
    std::uint16_t reserved1;
    std::uint16_t reserved2;
    std::uint32_t pixelOffset;
    std::uint32_t headerSize;
    std::int32_t width;
    std::int32_t height;  // kept positive in memory; a top-down file is read into the same order
    std::uint16_t planes;
    std::uint16_t bitCount;
    std::uint32_t compression;
    std::uint32_t imageSize;
    std::int32_t xPixelsPerMetre;
    std::int32_t yPixelsPerMetre;
    std::uint32_t coloursUsed;
    std::uint32_t coloursImportant;
    std::uint32_t* palette;  // coloursUsed entries as read, or null
    std::uint8_t* data;      // width x height bytes, top row first, no fill bytes
};

// Reads FILE_NAME into the record, then asks the lens model on the terminal. Ends the program
// with status 1 when the image is not 8-bit (message on standard output), or when the file
// cannot be opened, is too short, or has no usable dimensions (one line on standard error).
// Returns 0.
int BMPLoad(t_Bitmap* bmp, const char* fileName);

// Writes the record as a BMP file with a 40-byte info header, the palette and bottom-up rows
// padded with zero bytes to a multiple of 4 (to FILE_NAME, or to the record's own name when
// FILE_NAME is null). Returns 0, or 1 after a line on standard error when the file cannot be
// created or written.
int BMPSave(t_Bitmap* bmp, const char* fileName);

// Asks three points on the rim of the sky disc and crops the record to the bounding square of
// the circle through them (pixels outside the photograph become 0). Returns 0.
int BMPExtract(t_Bitmap* bmp);

// Pixels strictly above THRESHOLD become 255 (sky), all others 0 (canopy). Returns 0.
int BMPThreshold(t_Bitmap* bmp, int threshold);

// Gap fraction per cell of nz zenith rings by na azimuth sectors, written to FILE_NAME.
// Equidistant lens: zenith angle 90 degrees x r / R; orthographic: arcsine(r / R). Azimuth 0
// points to the top of the picture turned by the magnetic declination (degrees, East positive)
// and grows counter-clockwise. nz in 1..90, na in 1..360, |declination| <= 180.
// Returns 0, or 1 after a line on standard error when the file cannot be written.
int BMPPolarProjection(const t_Bitmap* bmp, int nz, int na, double declination,
                       const char* fileName);
int BMPOrthographicProjection(const t_Bitmap* bmp, int nz, int na, double declination,
                              const char* fileName);

// Lengths of the sky and canopy runs along the digital circle of every zenith angle from
// MINIMUM to MAXIMUM (degrees) in steps of STEP, written to FILE_NAME. Equidistant: circle
// radius R x theta / (pi/2), a step of 0 meaning one pixel of radius; orthographic:
// sin(theta) x R. The caller checks the step with gapsize_step_problem first.
// Returns 0, or 1 after a line on standard error when the file cannot be written.
int BMPPolarGrouping(const t_Bitmap* bmp, double minimum, double maximum, double step,
                     const char* fileName);
int BMPOrthographicGrouping(const t_Bitmap* bmp, double minimum, double maximum, double step,
                            const char* fileName);

// Releases the name, palette and pixels of the record and sets them to null.
void BMPRelease(t_Bitmap* bmp);

// ---------------------------------------------------------------------------------------------
// The pure parts of the operations above, for tests and benchmarks.
namespace gapimage {

enum class Lens { kEquidistant, kOrthographic };

// Reads a BMP file into the record without any terminal dialogue. The pixel rows are read
// from pixelOffset (directly behind the palette when pixelOffset points into the headers), so
// longer info headers and unlisted palettes are skipped correctly; a top-down file (negative
// height) is stored top row first like any other, with a positive height. On kProblem the
// problem is written to PROBLEM as a short phrase. The record's palette and pixels are
// replaced only on success.
enum class LoadStatus { kOk, kCannotOpen, kNot8Bit, kProblem };
constexpr int kProblemSize = 160;
LoadStatus read_bmp(t_Bitmap* bmp, const char* path, char (&problem)[kProblemSize]);

// The circle through three typed points, and its bounding square in source coordinates.
struct Circle {
    bool collinear = false;  // det = 0: no circle
    bool usable = false;     // a square of 2 to kMaxSquare pixels a side
    int cx = 0, cy = 0;      // centre, truncated toward zero
    double radius = 0;
    std::int64_t x0 = 0, y0 = 0;  // top-left corner of the square
    std::int64_t w = 0, h = 0;    // its width and height
};
constexpr std::int64_t kMaxSquare = 32768;
constexpr int kMaxPointCoordinate = 1 << 24;
Circle circle_through(int x1, int y1, int x2, int y2, int x3, int y3);
// Sets the bounding square of C's centre and radius (bounds truncated toward zero) and usable.
void square_around(Circle* c);

// Replaces the record's pixels with the W x H square whose top-left corner is source column X0,
// row Y0 (pixels outside the source become 0) and updates width, height, imageSize, fileSize.
// Returns false, leaving the record unchanged, when the buffer cannot be allocated.
bool crop(t_Bitmap* bmp, std::int64_t x0, std::int64_t y0, int w, int h);

// Binarises the pixels: above THRESHOLD 255, otherwise 0.
void threshold_pixels(t_Bitmap* bmp, int threshold);

// Ring of a pixel at distance r from the centre of a disc of radius R (r <= R): equidistant
// lens nz * (r / R), orthographic nz * (arcsine(r / R) / (pi / 2)), truncated; nz on the rim.
inline int ring_index(Lens lens, int nz, double r, double R) {
    return lens == Lens::kEquidistant ? int(nz * (r / R)) : int(nz * (std::asin(r / R) / (pi / 2)));
}

// The angle subtracted from a pixel's picture angle to give its azimuth: azimuth 0 points to the
// top of the picture, turned by the magnetic declination (degrees, East positive).
inline double azimuth_turn(double declination) { return pi * declination / 180 + pi / 2; }

// Sector of the pixel at DX columns right of and DY rows above the disc centre, for na sectors
// and the TURN of azimuth_turn; the azimuth grows counter-clockwise on the displayed picture.
inline int sector_index(int dx, int dy, int na, double turn) {
    const double two_pi = 2 * pi;
    double phi = 0;  // the centre pixel has picture angle 0
    if (dx != 0 || dy != 0) {
        phi = std::atan2(double(dy), double(dx));
        if (phi < 0) phi += two_pi;
    }
    phi = phi - turn;
    if (phi < 0) phi += two_pi;
    if (phi >= two_pi) phi -= two_pi;
    const int ia = int(na * (phi / two_pi));
    return ia < na ? ia : na - 1;  // guard for the table; phi < 2 pi keeps it below na
}

// Counts all pixels and sky pixels per cell (rings 0..nz-1, sectors 0..na-1; the rest of the
// tables is left alone).
void count_cells(const t_Bitmap* bmp, Lens lens, int nz, int na, double declination,
                 gapdata::CountTable& pixels, gapdata::CountTable& gaps);

// The reason a gap-size step cannot be used with this lens and range, or null.
const char* gapsize_step_problem(int lensType, double minimum, double maximum, double step,
                                 int width);

// Working storage for tracing circles up to a fixed radius, allocated once.
class RingWalker {
  public:
    explicit RingWalker(const t_Bitmap* bmp);
    ~RingWalker();
    RingWalker(const RingWalker&) = delete;
    RingWalker& operator=(const RingWalker&) = delete;

    // Builds the clockwise walk of the digital circle of radius L around the disc centre, from
    // its top pixel. Circles beyond the image's reach, and negative radii, give an empty walk
    // when every pixel would lie outside (their runs are the same: none).
    void walk(int l);
    // The walk built last: pixel positions relative to the centre, and pixel values.
    int size() const { return n_; }
    int row(int k) const { return rows_[k]; }
    int col(int k) const { return cols_[k]; }
    std::uint8_t value(int k) const { return values_[k]; }
    const std::uint8_t* values() const { return values_; }
    // Largest radius whose circle can touch the image.
    int reach() const { return reach_; }

  private:
    void trace(int l, bool shifted, int list);
    const t_Bitmap* bmp_;
    int reach_;
    int cap_;  // capacity of one octant list
    int* oct_rows_[8];
    int* oct_cols_[8];
    int oct_n_[8];
    int* rows_;
    int* cols_;
    std::uint8_t* values_;
    int n_ = 0;
    int last_x_ = 0, last_y_ = 0;
};

// Cuts walk values into runs of equal value and closes the circle: lengths of the sky runs
// (non-zero values) and of the canopy runs (0), in walk order. Returns the counts through
// N_GAPS and N_CANOPY; the arrays hold at least N entries each.
void cut_runs(const std::uint8_t* values, int n, int* gaps, int* n_gaps, int* canopy,
              int* n_canopy);

}  // namespace gapimage
