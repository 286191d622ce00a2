// structure: every number of canopy structure that one photograph gives, in one result.
//
// From the classified working image of a photograph (sky non-zero, canopy 0) and its grid of
// gap fractions, this unit samples what the methods need and runs them all:
//   - the grid (nz rings by na sectors) as the gap-fraction file holds it, for the suite's
//     classic methods: Norman-Campbell inversion, Suits, Lang-Xiang regression, Campbell's
//     ellipsoid and Lang's points (lai::norman_campbell, suits, lang_xiang, ellipsoid, lang);
//   - the same nz rings divided into azimuth segments, for Miller's effective LAI, DIFN and the
//     clumping indices of Lang and Xiang, Chen and Cihlar, and their combination (lai::);
//   - one-degree rings by segments, from which the five rings of the plant-canopy analysers and
//     the hinge band round 57.5 degrees are summed;
//   - sky runs along circles of constant zenith angle, a few per ring, as gapimage traces them
//     for its gap-size file, cut at the segment boundaries for the combined index.
// The rings the ring methods use are those not discarded (zenith and horizon rings discarded)
// whose outer edge lies at or below the largest zenith angle in use; the classic methods leave
// out the same rings (their horizon rings discarded grow by the rings beyond that angle).
#pragma once

#include <string>
#include <vector>

#include "gapdata/gapdata.h"
#include "lai/clumping.h"
#include "lai/effective.h"
#include "lai/rings.h"
#include "skyimage/bitmap.h"
#include "skyimage/lens.h"
#include "skyimage/stretches.h"

namespace structure {

struct Settings {
    int nz = 9;  // rings of the grid, 90 / nz degrees each
    int na = 8;  // sectors of the grid
    int zenith_rings_discarded = 0;
    int horizon_rings_discarded = 0;
    double max_zenith_deg = 90;  // rings beyond it are left out
    int segments = 8;            // azimuth segments of the ring methods
    int circles_per_ring = 5;    // circles traced per ring for the gap sizes
    lai::GapSettings gaps;       // the substitute for a segment without gap
    double removal_significance = 0.05;  // Chen-Cihlar's test for a gap too large
    int tessor_classes = 6;              // leaf-angle classes of the inversion
    double tessor_weight = 0.1;          // its smoothness constraint (see the README)
    float keldro_lmax = 8;               // Lang's points: the largest LAI of a cell without gap
};

// Why the settings cannot be used, or empty.
std::string settings_problem(const Settings& settings);

// The rings the ring methods use: zr .. nz - hr - 1, outer edge at or below the largest zenith.
// First and one past the last.
void rings_in_use(const Settings& settings, int* first, int* end);

// What the photograph gives beyond its grid.
struct Samples {
    std::vector<lai::Ring> rings;         // the rings in use, `segments` segments each
    std::vector<lai::Ring> degree_rings;  // 90 rings of one degree, `segments` segments each
    std::vector<lai::RingRuns> runs;      // per ring in use: its circles and segment pieces
};

// Samples the classified working image through LENS (azimuth turned by DECLINATION, degrees
// East positive), with the cells and circles of the interactive analysis: the working image as
// a view of the photograph (process_photo's), or one held as such (sky non-zero).
// GRID_COUNTS, when not null, are the photograph's own counts (nz rings by na sectors): they
// stand for the segments' counts when segments = na, without counting again.
Samples sample_photo(const skyimage::WorkingView& working, const skyimage::Lens& lens,
                     double declination, const Settings& settings,
                     const gapdata::Counts* grid_counts = nullptr);
Samples sample_photo(const skyimage::t_Bitmap& working, const skyimage::Lens& lens,
                     double declination, const Settings& settings);

// A value that a method could not give is NaN.
struct Result {
    // Gap and openness (flat ground), from the unrounded cell fractions.
    double sky_fraction = 0;  // sky pixels / disc pixels over every cell
    gapdata::Openness<double> openness;
    double difn_percent = 0;
    // Effective LAI.
    lai::EffectiveLai miller, five_ring, hinge;
    // Clumping and clumping-corrected LAI.
    lai::Clumping lx, cc, clx;
    // The classic methods on the grid.
    double tessor_lai = 0, tessor_ala = 0;
    int tessor_negative_classes = 0;  // classes of negative leaf area in the solution
    double bravik_lai = 0, bravik_ala = 0, bravik_se = 0;
    double bravik_opt_lai = 0, bravik_opt_ala = 0, bravik_opt_se = 0, bravik_opt_window_deg = 0;
    double quinda_lai_lin = 0, quinda_lai_log = 0, quinda_ala = 0, quinda_se = 0;
    double quinda_lin_log = 0;
    double zephor_lai = 0, zephor_x = 0, zephor_ala = 0;
    double keldro_lai = 0, keldro_se = 0, keldro_r2 = 0;
    int keldro_points = 0;
};

// Runs every method. COUNTS is the photograph's grid (settings.nz by settings.na).
Result analyse(const gapdata::Counts& counts, const Samples& samples, const Settings& settings);

}  // namespace structure
