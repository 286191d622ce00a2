#include "skyimage/analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "skyimage/depth.h"

namespace skyimage {

const char* locate_disc(const DiscSetting& given, int width, int height, Circle* d) {
    if (given.source == DiscSource::kPoints) {
        const int* p = given.points;
        *d = circle_through(p[0], p[1], p[2], p[3], p[4], p[5]);
    } else {
        *d = Circle{};
        if (given.source == DiscSource::kCircle) {
            d->cx = given.cx;
            d->cy = given.cy;
            d->radius = given.radius;
        } else {
            d->cx = width / 2;
            d->cy = height / 2;
            d->radius = std::min(width, height) / 2;
        }
        square_around(d);
    }
    if (d->cx < 0 || d->cx >= width || d->cy < 0 || d->cy >= height)
        return "the centre of the sky disc lies outside the photograph";
    if (!d->usable || d->w * d->h > kMaxPhotoPixels)
        return "the sky disc is smaller than one pixel or larger than 8191 pixels of radius";
    return nullptr;
}

const char* found_disc(const Photo& photo, Circle* d, DiscFit* fit) {
    *fit = DiscFit{};
    if (const char* why = find_disc(photo, fit)) return why;
    *d = Circle{};
    d->cx = int(std::lround(fit->cx));
    d->cy = int(std::lround(fit->cy));
    d->radius = fit->radius;
    square_around(d);
    DiscSetting given;
    given.source = DiscSource::kCircle;
    given.cx = d->cx;
    given.cy = d->cy;
    given.radius = d->radius;
    return locate_disc(given, photo.bmp.width, photo.bmp.height, d);
}

namespace {

// The working image as a picture of its own: the view's values, square by square.
void materialise(const WorkingView& view, std::vector<std::uint8_t>* out) {
    out->resize(std::size_t(view.w) * std::size_t(view.h));
    for (int i = 0; i < view.h; ++i)
        for (int j = 0; j < view.w; ++j)
            (*out)[std::size_t(i) * std::size_t(view.w) + std::size_t(j)] = view.value(j, i);
}

}  // namespace

bool process_photo(const char* path, const PhotoSettings& o, Workspace* work, PhotoResult* r,
                   std::string* problem) {
    *r = PhotoResult{};
    char reason[kPhotoProblemSize];
    Photo& photo = work->photo;
    const t_Bitmap& bmp = photo.bmp;
    // The last photograph's pixels go first, so that the allocator hands the same memory to
    // the next one of its size rather than fresh pages the kernel must clear.
    release(&photo.bmp);
    photo.wide.clear();
    if (!read_photo(path, o.channel, &photo, reason)) {
        *problem = reason;
        return false;
    }
    const int source_w = bmp.width, source_h = bmp.height;
    Circle disc;
    if (o.disc.source == DiscSource::kFound) {
        if (const char* why = found_disc(photo, &disc, &r->fit)) {
            *problem = std::string("no sky disc found: ") + why;
            return false;
        }
        r->disc_found = true;
    } else if (const char* why = locate_disc(o.disc, source_w, source_h, &disc)) {
        char text[300];
        std::snprintf(text, sizeof text, "%s (centre %d,%d, radius %g, photograph %d x %d)", why,
                      disc.cx, disc.cy, disc.radius, source_w, source_h);
        *problem = text;
        return false;
    }

    WorkingView& view = r->view;
    view.photo = bmp.data;
    view.photo_w = source_w;
    view.photo_h = source_h;
    view.x0 = disc.x0;
    view.y0 = disc.y0;
    view.w = int(disc.w);
    view.h = int(disc.h);
    const bool automatic =
        o.method != ThresholdMethod::kFixed && o.method != ThresholdMethod::kClassified;
    const bool inside = disc.x0 >= 0 && disc.y0 >= 0 && disc.x0 + disc.w <= source_w &&
                        disc.y0 + disc.h <= source_h;

    if (photo.depth() == 16) {
        // Separated on the 16-bit samples; the 8-bit image then holds the classes.
        build_cell_map(view.w, view.h, o.lens, o.nz, o.na, o.declination, &work->map);
        disc_levels(photo, disc.x0, disc.y0, work->map, &work->levels, &r->outside);
        r->has_histogram = true;
        for (std::size_t v = 0; v < work->levels.size(); ++v) r->histogram[v >> 8] += work->levels[v];
        if (o.method == ThresholdMethod::kFixed) {
            r->has_threshold = true;
            r->threshold = o.threshold;
        } else if (automatic) {
            const AutoThreshold t = auto_threshold(o.method, work->levels.data(),
                                                   int(work->levels.size()));
            if (t.failure != ThresholdFailure::kNone) {
                *problem = failure_text(t.failure);
                return false;
            }
            r->has_threshold = true;
            r->threshold = t.t;
        }
        if (r->has_threshold) classify_photo(&photo, r->threshold);
    } else {
        if (automatic || o.histogram || !inside) {
            // The disc is that of any grid: one cell finds it without a sector boundary.
            histogram_by_stretches(view, o.lens, 1, 1, o.declination, r->histogram, &r->outside);
            r->has_histogram = true;
        }
        if (o.method == ThresholdMethod::kFixed) {
            r->has_threshold = true;
            r->threshold = o.threshold;
        } else if (automatic) {
            const AutoThreshold t = auto_threshold(o.method, r->histogram);
            if (t.failure != ThresholdFailure::kNone) {
                *problem = failure_text(t.failure);
                return false;
            }
            r->has_threshold = true;
            r->threshold = t.t;
        }
        view.binarised = r->has_threshold;
        view.threshold = r->threshold;
    }

    count_by_stretches(view, o.lens, o.nz, o.na, o.declination, &r->counts);
    if (o.overlay) {
        materialise(view, &r->overlay);
        build_cell_map(view.w, view.h, o.lens, o.nz, o.na, o.declination, &work->map);
        draw_overlay(work->map, r->overlay.data());
        r->overlay_w = view.w;
        r->overlay_h = view.h;
    }
    r->width = source_w;
    r->height = source_h;
    r->info = photo.info;
    r->disc = disc;
    for (std::size_t k = 0; k < r->counts.pixels.size(); ++k) {
        r->disc_pixels += r->counts.pixels[k];
        r->sky_pixels += r->counts.gaps[k];
    }
    return true;
}

}  // namespace skyimage
