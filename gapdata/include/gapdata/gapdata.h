// gapdata: the gap-fraction file and sky grid shared by every skygap program.
//
// A hemispherical photograph is divided into nz zenith annuli of equal width (90/nz degrees,
// counted outward from the zenith) crossed by na azimuth sectors (360/na degrees). The
// gap-fraction file holds, per cell, the fraction of its pixels that show sky and its pixel
// count. This header offers
//   - writing that file from pixel counts, and reading it back into a fixed-capacity grid;
//   - the selection of the zenith annuli an LAI method uses, and its report lines;
//   - the orographic mask for sloping ground;
//   - the openness summary (total gap, canopy and site openness, closure), cells weighted by
//     solid angle;
//   - logarithmic azimuthal averaging of one annulus (Lang and Xiang 1986).
// Programs that hold their data in single precision use the float instances, the others double.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace gapdata {

// The suite's one-line banner, without line feed. Every program prints this same wording.
extern const char kBanner[];

constexpr double kDegToRad = 0.017453292519943295;  // pi / 180
constexpr double kRadToDeg = 57.29577951308232;     // 180 / pi
constexpr double kHalfPi = 1.5707963267948966;

// Writes one line "PATH: PROBLEM" to standard error (printf-style problem text, no line feed).
void refuse(const char* path, const char* problem_format, ...)
    __attribute__((format(printf, 2, 3)));

// Flushes and closes a report file. Returns the exit status: 0 when every byte reached the
// file, otherwise 1 after a line on standard error naming the file.
int close_report(std::FILE* out, const char* path);

// ---------------------------------------------------------------------------------------------
// Writing the gap-fraction file.

constexpr int kMaxWriteAnnuli = 90;
constexpr int kMaxWriteSectors = 360;
using CountTable = std::int64_t[kMaxWriteAnnuli][kMaxWriteSectors];

// Creates or truncates PATH and writes the header "nz   na" and one record per cell: ring by
// ring from the zenith outward, and inside a ring the sectors in decreasing azimuth. A record
// holds the ring-centre zenith angle, the sector-centre azimuth, gaps/pixels (0 for a cell
// without pixels) and the pixel count. Returns false when the file could not be created or
// completely written. nz and na must lie in 1..90 and 1..360.
bool write_gap_fraction_file(const char* path, int nz, int na, const CountTable& pixels,
                             const CountTable& gaps);

// ---------------------------------------------------------------------------------------------
// Reading the gap-fraction file.

// How one program reads the file: its header format, its grid capacity (the record capacity is
// the product) and whether it keeps the pixel counts.
struct Reading {
    bool header_spaced;  // header read with "%d %d" rather than "%d%d"
    int max_annuli;
    int max_sectors;
    bool want_pixels;
};

// A reader's tables, zero at start. Record k of the file lands in annulus k / na, column
// k % na; column c is the writer's sector na - 1 - c.
template <typename T, int kAnnuli, int kSectors>
struct Grid {
    static constexpr int kMaxAnnuli = kAnnuli;
    static constexpr int kMaxSectors = kSectors;
    static constexpr int kMaxRecords = kAnnuli * kSectors;
    int nz = 0;
    int na = 0;
    T w{};       // annulus width, degrees
    T half_w{};  // w / 2
    T s{};       // sector width, degrees
    T half_s{};  // s / 2
    T tableau[kMaxRecords][4] = {};
    T fract_open[kAnnuli][kSectors] = {};
    T pixel_nbr[kAnnuli][kSectors] = {};  // filled only when the reading asks for it
};

// Opens PATH for reading and update ("r+", so a write-protected file is refused like a missing
// one). On failure writes "Cannot open the file PATH...\n" to standard error and returns null.
std::FILE* open_input(const char* path);

// Reads nz and na with the reading's header format. Refuses (one line on standard error,
// returns false) a header that cannot be read.
bool read_header(std::FILE* in, const char* path, const Reading& reading, int* nz, int* na);

// Refuses a grid the reader cannot hold: nz or na not positive, or beyond the capacity.
bool check_grid(const char* path, const Reading& reading, int nz, int na);

// Sets nz and na and the widths derived from them in the grid's number type: w = 90/nz, w/2,
// s = 360/na and s/2. The reader does this after the header; a grid built in memory likewise.
template <typename T, int A, int S>
void set_shape(Grid<T, A, S>* grid, int nz, int na);

// Reads every record the tables hold, one number at a time; the end of the file or an
// unreadable token leaves the remaining entries at 0. Then fills the grid in record order and
// computes w, w/2, s, s/2 in the grid's number type. nz, na must have passed check_grid.
template <typename T, int A, int S>
void read_records(std::FILE* in, const Reading& reading, int nz, int na, Grid<T, A, S>* grid);

// open_input, read_header, check_grid and read_records in one; closes the file.
template <typename T, int A, int S>
bool load_grid(const char* path, const Reading& reading, Grid<T, A, S>* grid);

// ---------------------------------------------------------------------------------------------
// Sky-region selection and its report lines.

// Reads the first N whole numbers of the parameter file PATH into VALUES. The file is opened
// like every input ("Cannot open the file PATH..." when it cannot be); a file with fewer
// readable integers is refused with a line naming what NAMES lists.
bool read_int_params(const char* path, int n, int* values, const char* names);

// read_int_params for a parameter file whose first two integers are the zenith and horizon
// rings discarded, then check_discards on them.
bool read_discard_params(const char* path, int n, int* values, const char* names,
                         int max_annuli);

// Refuses negative discard counts, and counts beyond the annuli a grid can hold (discarding
// more annuli than the grid has is defined: no annulus is used; counts beyond any grid would
// only overflow the report's arithmetic).
bool check_discards(const char* path, int zr, int hr, int max_annuli = kMaxWriteAnnuli);

// Which program's wording the grid and selection block takes.
enum class BlockStyle {
    kSuits,   // bravik and quinda: degrees with one decimal
    kZephor,  // as kSuits, but the angular range in whole degrees
    kTessor,  // its own grid lines; ring lines in whole degrees
};

// The two (kTessor: two, without the terrain lines) grid lines.
template <typename T>
void write_grid_lines(std::FILE* out, BlockStyle style, int nz, int na, T w, T s);
// The ring lines chosen by zr and hr: horizon and field of view when zr = 0, the zenith rings
// discarded and the angular range otherwise; nothing for negative counts.
template <typename T>
void write_ring_lines(std::FILE* out, BlockStyle style, T w, int zr, int hr);
// kSuits and kZephor: grid lines, ring lines and "Sky Divisions Used".
void write_selection_block(std::FILE* out, BlockStyle style, int nz, int na, int zr, int hr);

// ---------------------------------------------------------------------------------------------
// Orographic mask.

// Slope beta and aspect A of the ground (radians) with cos/sin of the slope.
template <typename T>
struct Terrain {
    T slope_rad{};
    T aspect_rad{};
    T cos_beta = 1;
    T sin_beta = 0;
};

template <typename T>
Terrain<T> make_terrain(T slope_deg, T aspect_deg) {
    Terrain<T> t;
    t.slope_rad = slope_deg * kDegToRad;
    t.aspect_rad = aspect_deg * kDegToRad;
    t.cos_beta = std::cos(double(t.slope_rad));
    t.sin_beta = std::sin(double(t.slope_rad));
    return t;
}

// Cosine of the angle between the view direction (zenith angle z, azimuth phi) and the normal
// of the sloping ground: cos I = cos b cos z + sin b sin z cos(phi - A). A cell is below the
// ground, and masked, when it is negative. Evaluated as the double expression it is, then
// stored in T.
template <typename T>
T cos_incidence(const Terrain<T>& t, T cos_z, T sin_z, T phi_deg) {
    return t.cos_beta * cos_z + t.sin_beta * sin_z * std::cos(phi_deg * kDegToRad - t.aspect_rad);
}

// ---------------------------------------------------------------------------------------------
// Openness summary over the whole grid, discarded annuli included. Cell weight of annulus i:
// (cos(inner edge) - cos(outer edge)) / na, the weights adding up to 1.

enum class OpennessStyle {
    kSuits,   // bravik, quinda: all cells; canopy openness divided by the hemisphere weight
    kZephor,  // all cells; canopy openness not divided
    kTessor,  // visible cells; canopy openness over the visible weight; site openness
    kKeldro,  // as kTessor, canopy openness summing the visible cells with a gap only
};

template <typename T>
struct Openness {
    T total_gap{};
    T canopy_openness{};
    T site_openness{};
    T canopy_closure{};
};

template <typename T, int A, int S>
Openness<T> openness_summary(const Grid<T, A, S>& grid, OpennessStyle style,
                             const Terrain<T>& terrain);

// "Hemispherical" and its lines for bravik, quinda and zephor.
void write_openness(std::FILE* out, const Openness<double>& o);

// ---------------------------------------------------------------------------------------------
// Logarithmic azimuthal averaging (Lang and Xiang 1986).

struct AnnulusMean {
    bool has_value = false;  // false when every window sums to 0
    double mu = 0;           // mean of ln(window mean) over the non-null windows
    int null_windows = 0;    // windows whose gap fractions sum to exactly 0
};

// Averages one annulus of na gap fractions over the na - m + 1 windows of m adjacent columns
// (no wrapping from the last column to the first). 1 <= m <= na.
AnnulusMean average_annulus(const double* row, int na, int m);

// The number of window widths an annulus of na sectors offers: the divisors of na.
int count_divisors(int na);

// Averages each used annulus zr .. nz - hr - 1 with window width m, in increasing zenith angle,
// and calls visit(zenith_deg, mu) for every annulus that yields a value; the zenith angle is the
// annulus centre, a running sum from zr * w + w / 2. Returns the null windows of all of them.
template <int A, int S, typename Visit>
int average_used_annuli(const Grid<double, A, S>& grid, int zr, int hr, int m, Visit visit) {
    int null_windows = 0;
    double zenith = zr * grid.w + grid.half_w;
    for (int i = zr; i < grid.nz - hr; ++i) {
        const AnnulusMean a = average_annulus(grid.fract_open[i], grid.na, m);
        null_windows += a.null_windows;
        if (a.has_value) visit(zenith, a.mu);
        zenith += grid.w;
    }
    return null_windows;
}

}  // namespace gapdata

#include "gapdata/grid_impl.h"
