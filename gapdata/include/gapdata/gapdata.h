// gapdata: the gap-fraction file and sky grid shared by every skygap program.
//
// A hemispherical photograph is divided into nz zenith annuli of equal width (90/nz degrees,
// counted outward from the zenith) crossed by na azimuth sectors (360/na degrees). The
// gap-fraction file holds, per cell, the fraction of its pixels that show sky and its pixel
// count. This unit offers
//   - writing that file from pixel counts, and reading it back into a grid;
//   - a grid built in memory from pixel counts, exactly as reading the file back would give it;
//   - the selection of the zenith annuli an LAI method uses, and the checks of its counts;
//   - the orographic mask for sloping ground;
//   - the openness summary (total gap, canopy and site openness, closure), cells weighted by
//     solid angle;
//   - logarithmic azimuthal averaging of one annulus (Lang and Xiang 1986).
// Nothing here prints or keeps state: a refusal comes back as a status and a one-line message
// "PATH: problem" that the caller prints or puts in a table. The wording of the programs'
// reports lives in the gapreport unit.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "angles/angles.h"
#include "fileio/fileio.h"

namespace gapdata {

using angles::kDegToRad;
using angles::kHalfPi;
using angles::kPi;
using angles::kRadToDeg;
using angles::kTwoPi;

// Largest grid a gap-fraction file is written with.
constexpr int kMaxWriteAnnuli = 90;
constexpr int kMaxWriteSectors = 360;

// ---------------------------------------------------------------------------------------------
// Pixel counts and writing the gap-fraction file.

// Pixel and sky-pixel counts of every cell: index iz * na + ia, ring iz from the zenith outward,
// sector ia in increasing azimuth (the writer's sector).
struct Counts {
    int nz = 0;
    int na = 0;
    std::vector<std::int64_t> pixels;
    std::vector<std::int64_t> gaps;

    // Sets the shape and clears every cell.
    void reset(int rings, int sectors);
    std::int64_t& pixel(int iz, int ia) { return pixels[std::size_t(iz) * std::size_t(na) + ia]; }
    std::int64_t& gap(int iz, int ia) { return gaps[std::size_t(iz) * std::size_t(na) + ia]; }
    std::int64_t pixel(int iz, int ia) const {
        return pixels[std::size_t(iz) * std::size_t(na) + ia];
    }
    std::int64_t gap(int iz, int ia) const { return gaps[std::size_t(iz) * std::size_t(na) + ia]; }
};

// Writes the gap-fraction file to OUT: the header "nz   na" and one record per cell, ring by
// ring from the zenith outward, and inside a ring the sectors in decreasing azimuth. A record
// holds the ring-centre zenith angle, the sector-centre azimuth, gaps/pixels (0 for a cell
// without pixels) and the pixel count. The caller opens, checks and closes OUT.
void write_gap_fraction(std::FILE* out, const Counts& counts);

// ---------------------------------------------------------------------------------------------
// The grid of a reader.

// A table of ROWS x COLS values, zero at start, indexed table[row][col].
template <typename T>
class Table {
  public:
    void assign(int rows, int cols) {
        cols_ = cols;
        v_.assign(std::size_t(rows) * std::size_t(cols), T(0));
    }
    T* operator[](int row) { return v_.data() + std::size_t(row) * std::size_t(cols_); }
    const T* operator[](int row) const {
        return v_.data() + std::size_t(row) * std::size_t(cols_);
    }
    bool empty() const { return v_.empty(); }

  private:
    std::vector<T> v_;
    int cols_ = 0;
};

// A reader's grid. Record k of the file lands in annulus k / na, column k % na; column c is the
// writer's sector na - 1 - c, whose record azimuth is 360 - (c + 0.5) s.
template <typename T>
struct Grid {
    int nz = 0;
    int na = 0;
    T w{};       // annulus width, degrees
    T half_w{};  // w / 2
    T s{};       // sector width, degrees
    T half_s{};  // s / 2
    Table<T> fract_open;  // gap fraction by annulus and column
    Table<T> pixel_nbr;   // pixel count by annulus and column, when the reading keeps them
    int records_read = 0;  // whole records the file held, at most nz * na
};

// Sets nz and na, the widths derived from them in the grid's number type (w = 90/nz, w/2,
// s = 360/na, s/2) and clears the tables; pixel counts are kept only when WITH_PIXELS.
template <typename T>
void set_shape(Grid<T>* grid, int nz, int na, bool with_pixels = false);

// How one program reads the file: its grid capacity and whether it keeps the pixel counts.
// (Every program reads the header alike: two whole numbers, blanks before each skipped.)
struct Reading {
    int max_annuli;
    int max_sectors;
    bool want_pixels;
};

// The outcome of reading an input. kCannotOpen leaves the message to the caller, whose wording
// differs from program to program; kRefused comes with a one-line "PATH: problem".
enum class Status { kOk, kCannotOpen, kRefused };

// Reads nz and na with the reading's header format. Refuses a header that cannot be read.
Status read_header(std::FILE* in, const char* path, const Reading& reading, int* nz, int* na,
                   std::string* why);

// Refuses a grid the reader cannot hold: nz or na not positive, or beyond the capacity.
Status check_grid(const char* path, const Reading& reading, int nz, int na, std::string* why);

// Resets the grid to nz x na and reads up to nz * na records, one number at a time, and not a
// character past the last number needed (a pipe is not waited on for more); the end of the file
// or an unreadable token leaves the remaining cells at 0, and grid->records_read tells how many
// whole records were read. A number written with a decimal comma ("0,533436": a comma directly
// followed by a digit) is refused, since it would silently read as 0 and end the reading. nz
// and na must have passed check_grid.
template <typename T>
Status read_records(std::FILE* in, const char* path, const Reading& reading, int nz, int na,
                    Grid<T>* grid, std::string* why);

// Opens PATH for reading only (open_input), then read_header, check_grid and read_records;
// closes the file. With Dash::kStandardInput, "-" reads standard input, which stays open.
template <typename T>
Status load_grid(const char* path, const Reading& reading, Grid<T>* grid, std::string* why,
                 fileio::Dash dash = fileio::Dash::kFileName);

// The warning for a file that held fewer whole records than its header announces, which loads
// as defined (the missing cells count as gap fraction 0): "PATH: holds only K of the N records
// its header announces; the missing cells count as gap fraction 0". Empty when RECORDS_READ is
// NZ * NA.
std::string short_data_warning(const char* path, int records_read, int nz, int na);
template <typename T>
std::string short_data_warning(const char* path, const Grid<T>& grid) {
    return short_data_warning(path, grid.records_read, grid.nz, grid.na);
}

// A grid from counts in memory, with the pixel counts. kAsFile gives cell for cell what writing
// the gap-fraction file and reading it back gives: the gap fraction passes through its printed
// form ("%lf", read back in the grid's number type), so that every method computed on it agrees
// digit for digit with the programs that read the file. kExact keeps gaps / pixels unrounded.
enum class Precision { kAsFile, kExact };
template <typename T>
void grid_from_counts(const Counts& counts, Precision precision, Grid<T>* grid);

// Opens an input file for reading only (fileio::open_input): regular files, read-only ones
// included, pipes, FIFOs and /dev/stdin; a folder is refused. With Dash::kStandardInput, "-"
// gives standard input. Empty (false) when it cannot be opened.
fileio::InputFile open_input(const char* path, fileio::Dash dash = fileio::Dash::kFileName);

// ---------------------------------------------------------------------------------------------
// Parameter files and the selection of annuli.

// Reads the first N whole numbers of the parameter file PATH into VALUES, and nothing past
// them. kCannotOpen when it cannot be opened; a file with fewer readable integers is refused
// with a line naming what NAMES lists. DASH as for open_input.
Status read_int_params(const char* path, int n, int* values, const char* names, std::string* why,
                       fileio::Dash dash = fileio::Dash::kFileName);

// read_int_params for a parameter file whose first two integers are the zenith and horizon rings
// discarded, then check_discards on them.
Status read_discard_params(const char* path, int n, int* values, const char* names, int max_annuli,
                           std::string* why, fileio::Dash dash = fileio::Dash::kFileName);

// Refuses negative discard counts, and counts beyond the annuli a grid can hold (they could only
// overflow the report's arithmetic).
Status check_discards(const char* path, int zr, int hr, int max_annuli, std::string* why);

// Refuses discard counts, read from the parameter file PARAM_PATH, that leave no zenith annulus
// of the grid read from DATA_PATH to use: zr + hr >= nz (the used annuli are zr .. nz - hr - 1).
// The line names the parameter file, both counts, the data file and nz. zr and hr must have
// passed check_discards.
Status check_rings_used(const char* param_path, int zr, int hr, const char* data_path, int nz,
                        std::string* why);

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

template <typename T>
Openness<T> openness_summary(const Grid<T>& grid, OpennessStyle style, const Terrain<T>& terrain);

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
template <typename Visit>
int average_used_annuli(const Grid<double>& grid, int zr, int hr, int m, Visit visit) {
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
