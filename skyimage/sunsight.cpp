// The pixel a sky direction falls on, and whether it shows sky: the inverse of the cell mapping
// of cells.h, for following the sun across a photograph.
#include "skyimage/sunsight.h"

#include <cmath>

#include "skyimage/cells.h"

namespace skyimage {

namespace {

constexpr int kHalvings = 60;  // [0, 1] halved 60 times: below the spacing of doubles near 1

// True when count_cells counts the pixel at DX, DY from the centre in some cell of the disc of
// radius R: on neither the rim nor beyond the horizon. One ring stands for every grid: the
// pixel lies in a ring of every nz exactly when it lies in the single ring of nz = 1.
bool counted(const Lens& lens, int dx, int dy, double R) {
    return ring_index(lens, 1, std::hypot(double(dx), double(dy)), R) < 1;
}

}  // namespace

double radius_of_zenith(const Lens& lens, double zenith) {
    if (!(zenith >= 0) || !(zenith <= rim_zenith_deg(lens))) return -1;
    double lo = 0, hi = 1;
    for (int k = 0; k < kHalvings; ++k) {
        const double mid = 0.5 * (lo + hi);
        if (zenith_deg(lens, mid) < zenith)
            lo = mid;
        else
            hi = mid;
    }
    return 0.5 * (lo + hi);
}

DiscPixel direction_pixel(const Lens& lens, int w, double declination, double zenith,
                          double azimuth) {
    DiscPixel p;
    if (w < 2 || !(zenith < 90) || !std::isfinite(azimuth) || !std::isfinite(declination)) return p;
    const double rho = radius_of_zenith(lens, zenith);
    if (rho < 0) return p;
    const double R = w / 2;  // the radius count_cells uses: half the width, truncated
    const double r = rho * R;
    // Picture angle, counter-clockwise from the rightward direction: sector_index subtracts
    // azimuth_turn from it to give the azimuth.
    const double phi = azimuth * angles::kDegToRad + azimuth_turn(declination);
    const double x = r * std::cos(phi), y = r * std::sin(phi);
    p.dx = int(std::lround(x));
    p.dy = int(std::lround(y));
    if (!counted(lens, p.dx, p.dy, R)) {
        // The nearest pixel lies on the rim: the neighbour toward the centre is no farther
        // out than the direction itself, so it is counted.
        p.dx = int(std::trunc(x));
        p.dy = int(std::trunc(y));
        if (!counted(lens, p.dx, p.dy, R)) return DiscPixel{};
    }
    p.in_disc = true;
    return p;
}

ImageView image_view_of(const WorkingView& working) {
    ImageView view;
    view.pixels = working.photo;
    view.width = working.photo_w;
    view.height = working.photo_h;
    view.x0 = working.x0;
    view.y0 = working.y0;
    view.w = working.w;
    view.h = working.h;
    view.test = working.binarised ? SkyTest::kAboveThreshold : SkyTest::kNonZero;
    view.threshold = working.threshold;
    return view;
}

Sight sun_sight(const ImageView& v, const Lens& lens, double declination, double zenith,
                double azimuth) {
    if (v.pixels == nullptr || v.width < 1 || v.height < 1 || v.w < 2 || v.h < 1)
        return Sight::kNoCell;
    return sight_at(v, direction_pixel(lens, v.w, declination, zenith, azimuth));
}

Sight sight_at(const ImageView& v, const DiscPixel& p) {
    if (v.pixels == nullptr || v.width < 1 || v.height < 1 || v.w < 2 || v.h < 1)
        return Sight::kNoCell;
    if (!p.in_disc) return Sight::kNoCell;
    const std::int64_t col = v.w / 2 + p.dx;
    const std::int64_t row = v.h / 2 - p.dy;
    if (col < 0 || col >= v.w || row < 0 || row >= v.h) return Sight::kNoCell;
    const std::int64_t sx = v.x0 + col;
    const std::int64_t sy = v.y0 + row;
    if (sx < 0 || sx >= v.width || sy < 0 || sy >= v.height) return Sight::kCanopy;
    const std::uint8_t value = v.pixels[sy * std::int64_t(v.width) + sx];
    const bool sky = v.test == SkyTest::kNonZero ? value != 0 : value > v.threshold;
    return sky ? Sight::kSky : Sight::kCanopy;
}

}  // namespace skyimage
