// skyimage: the cells of a working image as stretches of pixels along its rows, and counting
// by stretches, from a working image or straight from the photograph it is cut from.
//
// Along a row of the working image (cells.h: disc centred on column W/2, row H/2, radius W/2)
// a pixel's ring can only grow with |dx|, and every azimuth sector covers one unbroken stretch
// of the row (a row sees less than half a turn of picture angle). A row therefore falls apart
// into a few maximal runs of pixels that share a cell. Each run's end is found by evaluating the
// very functions that count_cells evaluates for every pixel (the same hypot, ring_index or
// classic_ring_index, sector_index) at the predicted boundary and its neighbour, with a
// galloping and then binary search where the prediction misses; rows dy and -dy share their
// rings. Every pixel thus lands in the cell that count_cells gives it, rim pixels and pixels
// beyond the lens's horizon in none, provided the ring and the sector never fall back along a
// row: the maths library's hypot, atan2 and asin err far below the angle between neighbouring
// pixels (about 1e-9 rad at a radius of 16384), and the lens's zenith angle rises with the
// radius. (A calibrated polynomial whose slope touches 0 may, in the last bit, not rise; only a
// ring boundary lying exactly on such a flat could then put a pixel in the next ring.)
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "gapdata/gapdata.h"
#include "skyimage/bitmap.h"
#include "skyimage/lens.h"

namespace skyimage {

// The grid laid over a W x H working image: nz rings, na sectors, the declination in degrees
// (East positive), the lens.
struct DiscGrid {
    int w = 0, h = 0;
    Lens lens;
    int nz = 1, na = 1;
    double declination = 0;
};

// Columns [j_begin, j_end) of working row `row`, every pixel in ring `ring`, sector `sector`.
struct Stretch {
    int row = 0, j_begin = 0, j_end = 0, ring = 0, sector = 0;
};

namespace detail {

// The first x in (lo, end) whose value differs from V, or END; value(lo) is V, and the pixels
// whose value is V form an unbroken piece from LO. GUESS is the predicted first x beyond the
// piece: the value is evaluated there and just before it, then, where that misses, at
// doubling distances (galloping) and by halving the bracket. Stores the value at the returned
// x in CHANGED (when below END).
template <typename Value>
int next_change(const Value& value, int lo, int end, int v, int guess, int* changed) {
    int good = lo, bad = end, bad_value = -1;
    auto probe = [&](int x) {
        const int u = value(x);
        if (u == v) {
            good = x;
            return true;
        }
        bad = x;
        bad_value = u;
        return false;
    };
    guess = std::min(std::max(guess, lo + 1), end);
    if (guess - 1 > lo && !probe(guess - 1)) {
        for (int step = 1; bad - step > good; step *= 2)  // overshot: back off from the guess
            if (probe(bad - step)) break;
    } else if (guess < end && probe(guess)) {
        for (int step = 1; good + step < bad; step *= 2)  // fell short: go on from the guess
            if (!probe(good + step)) break;
    }
    while (bad - good > 1) probe(good + (bad - good) / 2);
    *changed = bad_value;
    return bad;
}

}  // namespace detail

// Finds the stretches of a grid, two rows at a time. nz and na must be at least 1, and the
// lens one that lens_problem accepts.
class StretchScanner {
  public:
    explicit StretchScanner(const DiscGrid& grid);

    // Largest k with rows at distance k from the centre row inside the disc (-1: none).
    int last_pair() const { return last_pair_; }
    // The stretches of the rows at distance K above and below the centre row (the centre row
    // alone for K = 0) that lie in the image, the upper row first, each left to right, in OUT
    // (replaced). Rows without a pixel in a cell give none.
    void rows_at(int k, std::vector<Stretch>* out);

  private:
    int ring_of(int a, double dy) const;
    int sector_of(int dx, int dy) const;
    void ring_profile(int k, std::int64_t reach);
    void sector_profile(int dy, int dx_lo, int dx_hi);
    void merge(int row, int dx_lo, int dx_hi, std::vector<Stretch>* out) const;

    DiscGrid grid_;
    bool classic_ = false, orthographic_ = false;
    int cx_ = 0, cy_ = 0, radius_ = 0;
    double turn_ = 0;
    int last_pair_ = -1;
    std::vector<double> ring_start_;           // radius in pixels where ring k begins, k = 0..nz
    std::vector<double> edge_sin_, edge_cot_;  // picture angle of sector edge e, e = 0..na
    // Profiles of the current row pair (rings, by |dx|) and row (sectors, by dx): where each
    // piece begins and its value; the rings end where a pixel falls in no ring.
    std::vector<int> ring_begin_, ring_value_, sector_begin_, sector_value_;
    int ring_end_ = 0;
};

// Calls visit(row, j_begin, j_end, ring, sector) for every stretch of the grid: every pixel of
// the working image that lies in a cell is in exactly one stretch. Rows come in pairs around
// the centre row (centre, then one above and one below, and so on).
template <typename Visit>
void for_each_stretch(const DiscGrid& grid, Visit&& visit) {
    StretchScanner scanner(grid);
    std::vector<Stretch> rows;
    for (int k = 0; k <= scanner.last_pair(); ++k) {
        scanner.rows_at(k, &rows);
        for (const Stretch& s : rows) visit(s.row, s.j_begin, s.j_end, s.ring, s.sector);
    }
}

// A working image without pixels of its own: the W x H square whose pixel (j, i) is pixel
// (x0 + j, y0 + i) of the photograph when that lies inside it, and 0 (canopy) otherwise, then
// binarised when asked (above the threshold 255, otherwise 0; a 0 from beyond the photograph
// too) or taken as it is (classified: any non-zero value is sky).
struct WorkingView {
    const std::uint8_t* photo = nullptr;  // rows top first, photo_w bytes each
    int photo_w = 0, photo_h = 0;
    std::int64_t x0 = 0, y0 = 0;
    int w = 0, h = 0;
    bool binarised = false;
    int threshold = 0;

    // A working image held as such (the whole record, classified as it is).
    static WorkingView of(const t_Bitmap& working);
    // The threshold above which a photograph value is sky: the threshold, or 0 (non-zero is
    // sky) for a classified image.
    int sky_above() const { return binarised ? threshold : 0; }
    // The value of working pixel (j, i), 0 <= j < w, 0 <= i < h.
    std::uint8_t value(int j, int i) const {
        const std::int64_t x = x0 + j, y = y0 + i;
        const int v = x >= 0 && x < photo_w && y >= 0 && y < photo_h
                          ? photo[std::size_t(y) * std::size_t(photo_w) + std::size_t(x)]
                          : 0;
        return binarised ? (v > threshold ? 255 : 0) : std::uint8_t(v);
    }
};

// Number of the N bytes at P above T: a plain byte compare, 16 bytes at a time. T below 0
// counts every byte, T of 255 or more none.
std::int64_t count_above(const std::uint8_t* p, std::size_t n, int t);

// Counts all pixels and sky pixels per cell of nz rings by na sectors into COUNTS (reset to
// that shape), as count_cells does for the working image that VIEW stands for.
void count_by_stretches(const WorkingView& view, const Lens& lens, int nz, int na,
                        double declination, gapdata::Counts* counts);

// Histogram of the photograph values of the pixels of VIEW that lie in a cell and inside the
// photograph (the threshold and binarising of VIEW play no part), and in OUTSIDE the number of
// cell pixels beyond the photograph, as disc_histogram gives them with a cell map. The pixels
// in a cell are the same for every grid (a pixel lies in a cell of nz x na exactly when it lies
// in the one cell of 1 x 1), so nz = na = 1 gives the same histogram, cheapest.
void histogram_by_stretches(const WorkingView& view, const Lens& lens, int nz, int na,
                            double declination, std::uint64_t (&hist)[256], std::int64_t* outside);

}  // namespace skyimage
