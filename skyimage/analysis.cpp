#include "skyimage/analysis.h"

#include <algorithm>
#include <cstdio>

namespace skyimage {

const char* locate_disc(const DiscSpec& spec, int width, int height, Circle* d) {
    if (spec.source == DiscSource::kPoints) {
        const int* p = spec.points;
        *d = circle_through(p[0], p[1], p[2], p[3], p[4], p[5]);
    } else {
        *d = Circle{};
        if (spec.source == DiscSource::kCircle) {
            d->cx = spec.cx;
            d->cy = spec.cy;
            d->radius = spec.radius;
        } else {
            d->cx = width / 2;
            d->cy = height / 2;
            d->radius = std::min(width, height) / 2;
        }
        square_around(d);
    }
    if (d->cx < 0 || d->cx >= width || d->cy < 0 || d->cy >= height)
        return "the centre of the sky disc lies outside the photograph";
    if (!d->usable)
        return "the sky disc is smaller than one pixel or larger than 16384 pixels of radius";
    return nullptr;
}

bool process_photo(const char* path, const PhotoSettings& o, Workspace* work, PhotoResult* r,
                   std::string* problem) {
    *r = PhotoResult{};
    char reason[kPhotoProblemSize];
    t_Bitmap& bmp = work->photo.bmp;
    if (!read_photo(path, o.channel, &work->photo, reason)) {
        *problem = reason;
        return false;
    }
    const int source_w = bmp.width, source_h = bmp.height;
    Circle disc;
    if (const char* why = locate_disc(o.disc, source_w, source_h, &disc)) {
        char text[300];
        std::snprintf(text, sizeof text, "%s (centre %d,%d, radius %g, photograph %d x %d)", why,
                      disc.cx, disc.cy, disc.radius, source_w, source_h);
        *problem = text;
        return false;
    }
    if (!crop(&bmp, disc.x0, disc.y0, int(disc.w), int(disc.h))) {
        char text[200];
        std::snprintf(text, sizeof text, "no memory for a working image of %lld x %lld",
                      static_cast<long long>(disc.w), static_cast<long long>(disc.h));
        *problem = text;
        return false;
    }
    build_cell_map(bmp.width, bmp.height, o.lens, o.nz, o.na, o.declination, &work->map);
    disc_histogram(bmp, disc.x0, disc.y0, source_w, source_h, work->map, r->histogram,
                   &r->outside);
    if (o.method == ThresholdMethod::kFixed) {
        r->has_threshold = true;
        r->threshold = o.threshold;
    } else if (o.method != ThresholdMethod::kClassified) {
        const AutoThreshold t = auto_threshold(o.method, r->histogram);
        if (t.failure != ThresholdFailure::kNone) {
            *problem = failure_text(t.failure);
            return false;
        }
        r->has_threshold = true;
        r->threshold = t.t;
    }
    if (r->has_threshold) threshold_pixels(&bmp, r->threshold);

    count_with_map(bmp, work->map, &r->counts);
    if (o.overlay) {  // on a copy: the working image stays as classified
        r->overlay.assign(bmp.data, bmp.data + std::size_t(bmp.width) * std::size_t(bmp.height));
        draw_overlay(work->map, r->overlay.data());
        r->overlay_w = bmp.width;
        r->overlay_h = bmp.height;
    }
    r->width = source_w;
    r->height = source_h;
    r->disc = disc;
    for (std::size_t k = 0; k < r->counts.pixels.size(); ++k) {
        r->disc_pixels += r->counts.pixels[k];
        r->sky_pixels += r->counts.gaps[k];
    }
    return true;
}

}  // namespace skyimage
