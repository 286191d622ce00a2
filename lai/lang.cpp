#include "lai/lang.h"

#include <cmath>

namespace lai {
namespace lang {

float one_pixel_gap(float pixels, float cos_z, float l_max, bool capped) {
    float lai = -2 * cos_z * std::log(double(1 / pixels));
    if (capped && lai > l_max) lai = l_max;
    return std::exp(-(lai * 0.5) / cos_z);
}

float spread_gap(const float* row, int na, int c) {
    for (int k = 1; k < na; ++k) {
        const float g = row[(c + k) % na];
        if (g != 0) return g / (k + 1);
    }
    return 0;
}

Points lang_points(const Grid& grid, const Params& par, const gapdata::Terrain<float>& terrain) {
    Points out;
    Points* points = &out;
    float gap_sum = 0;
    float log_sum = 0;
    int non_null = 0;
    int n = 0;
    float z = par.zr * grid.w + grid.half_w;  // annulus centre, degrees
    for (int i = par.zr; i <= grid.nz - par.hr - 1; ++i) {
        const float z_rad = z * gapdata::kDegToRad;
        const float cos_z = std::sin(gapdata::kHalfPi - z_rad);
        const float sin_z = std::cos(gapdata::kHalfPi - z_rad);
        float phi = grid.half_s;  // column azimuth, degrees
        for (int c = 0; c < grid.na; ++c, phi += grid.s) {
            const float cos_i = gapdata::cos_incidence(terrain, cos_z, sin_z, phi);
            if (cos_i < 0) continue;  // below the ground
            float g = grid.fract_open[i][c];
            if (g == 0) {
                const float pixels = grid.pixel_nbr[i][c];
                if (pixels == 0) continue;  // no image in the cell
                if (par.l_max != 0) {
                    g = one_pixel_gap(pixels, cos_z, par.l_max, true);
                } else {
                    g = spread_gap(grid.fract_open[i], grid.na, c);
                    if (g == 0) g = one_pixel_gap(pixels, cos_z, 0, false);
                }
            }
            if (par.mode == 0) {
                points->x.push_back(z_rad);
                points->y.push_back(float(-std::log(double(g)) * cos_z));
            } else {
                points->x.push_back(float(std::acos(double(cos_i))));
                points->y.push_back(float(-std::log(double(g)) * cos_i / terrain.cos_beta));
            }
            gap_sum += g;
            if (g != 0) {
                log_sum += std::log(double(g));
                ++non_null;
            }
            ++n;
        }
        z += grid.w;
    }
    points->count = n;
    points->ratio = std::log(double(gap_sum / non_null)) / (log_sum / non_null);
    return out;
}

LineFit fit_line(const Points& points) {
    const std::vector<double> x(points.x.begin(), points.x.end());
    const std::vector<double> y(points.y.begin(), points.y.end());
    LineFit fit;
    regress::regress(x.data(), y.data(), points.count, &fit.reg);
    fit.lai = 2 * (fit.reg.b0 + fit.reg.b1);
    return fit;
}

}  // namespace lang
}  // namespace lai
