// skyimage: gap sizes, the lengths of sky and canopy runs along digital circles of constant
// zenith angle on a working image, traced with the midpoint circle rule (Bresenham 1977) and
// walked clockwise from the top.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "skyimage/bitmap.h"
#include "skyimage/stretches.h"

namespace skyimage {

// Working storage for tracing circles up to the image's reach, allocated once.
class RingWalker {
  public:
    explicit RingWalker(const t_Bitmap& working);
    // The working image seen through the photograph (the view's pointers must stay valid).
    explicit RingWalker(const WorkingView& working);

    // Builds the clockwise walk of the digital circle of radius L around the disc centre, from
    // its top pixel. Circles beyond the image's reach, and negative radii, give an empty walk
    // when every pixel would lie outside (their runs are the same: none).
    void walk(int l);
    // The walk built last: pixel positions relative to the centre, and pixel values (0 for a
    // position off the image: canopy, as the extraction fills it).
    int size() const { return n_; }
    int row(int k) const;
    int col(int k) const;
    std::uint8_t value(int k) const { return values_[std::size_t(k)]; }
    const std::uint8_t* values() const { return values_.data(); }
    // Largest radius whose circle can touch the image.
    int reach() const { return reach_; }

  private:
    // One eighth of the circle as the midpoint rule traces it, from (0, l) or, shifted, from
    // x = 1; every list of the walk is one of the two traces placed in its octant.
    struct Trace {
        std::vector<int> x, y;
        int n = 0;
    };
    void trace(int l, bool shifted, Trace* t);
    void position(int k, int* row, int* col) const;

    WorkingView view_;
    int reach_;
    Trace full_, shifted_;
    int list_n_[8] = {};  // entries of each list on the walk
    std::vector<std::uint8_t> values_;
    int n_ = 0;
    int last_x_ = 0, last_y_ = 0;  // the last point traced, kept from trace to trace
};

// Cuts walk values into runs of equal value and closes the circle: lengths of the sky runs
// (non-zero values) and of the canopy runs (0), in walk order. Returns the counts through
// N_GAPS and N_CANOPY; the arrays hold at least N entries each.
void cut_runs(const std::uint8_t* values, int n, int* gaps, int* n_gaps, int* canopy,
              int* n_canopy);

// The reason a gap-size step cannot be used with this lens (1 equidistant, 2 orthographic) and
// range on a working image WIDTH pixels wide, or null.
const char* gapsize_step_problem(int lensType, double minimum, double maximum, double step,
                                 int width);

// Writes the gap-size file of the working image to OUT: for every zenith angle from MINIMUM to
// MAXIMUM (degrees) in steps of STEP, the angle, the sky run lengths and the canopy run lengths
// along its circle, one line each. Equidistant: circle radius R x theta / (pi/2), a step of 0
// meaning one pixel of radius; orthographic: sin(theta) x R. The step must have passed
// gapsize_step_problem.
void write_gap_sizes(std::FILE* out, const t_Bitmap& working, bool orthographic, double minimum,
                     double maximum, double step);
void write_gap_sizes(std::FILE* out, const WorkingView& working, bool orthographic, double minimum,
                     double maximum, double step);

}  // namespace skyimage
