// The fish-eye picture of a simulated canopy, its BMP file and its truth table.
#include "canopysim/render.h"

#include <algorithm>
#include <cmath>

namespace canopysim {

double zenith_of_radius(double r, double radius, const Lens& lens) {
    return skyimage::zenith_rad(lens, r / radius);
}

bool pixel_direction(int dx, int dy, int radius, const Lens& lens, double dir[3]) {
    const double r = std::hypot(double(dx), double(dy));
    if (r > radius) return false;
    const double theta = zenith_of_radius(r, radius, lens);
    const double sin_t = std::sin(theta);
    if (r > 0) {
        // Azimuth grows anticlockwise on the picture from its top: north at the top, east on
        // the left, as the sky appears to someone lying on the ground, head to the south.
        dir[0] = -sin_t * dx / r;
        dir[1] = sin_t * dy / r;
    } else {
        dir[0] = dir[1] = 0;
    }
    dir[2] = std::cos(theta);
    return true;
}

namespace {

// Noise clipped at three standard deviations keeps sky and leaves apart at every pixel.
double clip3(double z) { return std::max(-3.0, std::min(3.0, z)); }

std::uint8_t to_grey(double v) {
    return static_cast<std::uint8_t>(std::lround(std::max(0.0, std::min(255.0, v))));
}

}  // namespace

std::uint8_t sky_grey(double zenith_rad, double noise) {
    return to_grey(165.0 + 75.0 * std::cos(zenith_rad) + 5.0 * clip3(noise));  // 150 .. 255
}

std::uint8_t leaf_grey(double leaf_tone, double noise) {
    return to_grey(25.0 + 45.0 * leaf_tone + 6.0 * clip3(noise));  // 7 .. 88
}

std::uint8_t frame_grey(double noise) { return to_grey(2.0 + 0.66 * clip3(noise)); }

Picture render(const Canopy& canopy, const PictureParams& params) {
    Picture pic;
    pic.width = pic.height = params.size;
    pic.pixels.assign(std::size_t(params.size) * std::size_t(params.size), 0);
    Rng noise(params.seed ^ 0x5bd1e995a5a5a5a5ULL);  // its own stream: the canopy stays the same
    const int c = params.size / 2;
    for (int y = 0; y < params.size; ++y) {
        for (int x = 0; x < params.size; ++x) {
            std::uint8_t& out = pic.pixels[std::size_t(y) * std::size_t(params.size) + x];
            double dir[3];
            const bool inside = pixel_direction(x - c, c - y, params.radius, params.lens, dir);
            const double z = params.binary ? 0.0 : noise.gaussian();
            if (!inside) {
                out = params.binary        ? 0
                      : params.black_frame ? frame_grey(z)
                                           : to_grey(6.0 + 2.0 * clip3(z));
                continue;
            }
            if (dir[2] < 1e-9) {  // the rim is the horizon: dark, as a canopy's edge is
                out = params.binary ? 0 : leaf_grey(0.5, z);
                continue;
            }
            const long leaf = canopy.trace(dir[0], dir[1], dir[2]);
            if (params.binary) {
                out = leaf < 0 ? 255 : 0;
            } else if (leaf < 0) {
                out = sky_grey(std::acos(dir[2]), z);
            } else {
                out = leaf_grey(canopy.leaf(leaf).tone, z);
            }
        }
    }
    return pic;
}

Picture framed(const Picture& picture, const FrameParams& frame, bool binary, std::uint64_t seed) {
    Picture out;
    out.width = frame.w;
    out.height = frame.h;
    out.pixels.assign(std::size_t(frame.w) * std::size_t(frame.h), 0);
    Rng noise(seed ^ 0x2545f4914f6cdd1dULL);
    for (int y = 0; y < frame.h; ++y) {
        for (int x = 0; x < frame.w; ++x) {
            const int sx = x - frame.x, sy = y - frame.y;
            const double z = binary ? 0.0 : noise.gaussian();
            std::uint8_t& v = out.pixels[std::size_t(y) * std::size_t(frame.w) + std::size_t(x)];
            if (sx >= 0 && sx < picture.width && sy >= 0 && sy < picture.height) {
                v = picture.pixels[std::size_t(sy) * std::size_t(picture.width) + std::size_t(sx)];
            } else {
                v = binary ? 0 : frame_grey(z);
            }
        }
    }
    return out;
}

RimPoints rim_points(const PictureParams& params) {
    const int c = params.size / 2, r = params.radius;
    return RimPoints{{c, c - r, c + r}, {c - r, c, c}};
}

std::vector<RingTruth> ring_truth(const Picture& pic, const PictureParams& params,
                                  const LeafAngles& angles, double lai, int rings) {
    std::vector<RingTruth> out(static_cast<std::size_t>(rings));
    std::vector<double> p_sum(out.size(), 0.0);
    std::vector<std::int64_t> sky(out.size(), 0);
    for (std::size_t i = 0; i < out.size(); ++i) {
        RingTruth& t = out[i];
        t.from_deg = 90.0 * double(i) / rings;
        t.to_deg = 90.0 * double(i + 1) / rings;
        t.centre_deg = 90.0 * double(i) / rings + 45.0 / rings;
        const double theta = t.centre_deg * kDegToRad;
        t.g_centre = g_function(theta, angles);
        t.p_centre = std::exp(-t.g_centre * lai / std::cos(theta));
        t.pixels = 0;
    }
    // The ring of a pixel as the analysis assigns it; the rim itself is left out.
    const int c = params.size / 2;
    const double radius = params.radius;
    for (int y = 0; y < pic.height; ++y) {
        for (int x = 0; x < pic.width; ++x) {
            const double r = std::hypot(double(x - c), double(c - y));
            if (r > radius) continue;
            const int iz = skyimage::ring_index(params.lens, rings, r, radius);
            if (iz >= rings) continue;
            const double theta = zenith_of_radius(r, radius, params.lens);
            const std::size_t i = std::size_t(iz);
            p_sum[i] += std::exp(-g_function(theta, angles) * lai / std::cos(theta));
            ++out[i].pixels;
            if (pic.pixels[std::size_t(y) * std::size_t(pic.width) + x] > kSuggestedThreshold)
                ++sky[i];
        }
    }
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double n = double(out[i].pixels);
        out[i].p_mean = n > 0 ? p_sum[i] / n : 0.0;
        out[i].p_rendered = n > 0 ? double(sky[i]) / n : 0.0;
    }
    return out;
}

}  // namespace canopysim
