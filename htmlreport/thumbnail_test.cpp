// The thumbnail against the analysis's own cell map, and its files read back.
#include "htmlreport/thumbnail.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "skyimage/bitmap.h"
#include "skyimage/cells.h"

#ifdef SKYGAP_HAVE_PNG
#include <png.h>
#endif

namespace {

using htmlreport::Analysis;
using htmlreport::Thumbnail;

bool is_sky_colour(int c) {
    return c >= htmlreport::kSkyFirst && c < htmlreport::kSkyFirst + htmlreport::kSkyLevels;
}
bool is_line(int c) { return c == htmlreport::kGridColour || c == htmlreport::kRimColour; }

// A photograph of W x H whose grey level is sky (200) on a checkerboard of 3-pixel squares and
// canopy (60) elsewhere, analysed with threshold 128.
struct Checker {
    int w, h;
    std::vector<std::uint8_t> grey;
    Checker(int w_, int h_) : w(w_), h(h_), grey(std::size_t(w_) * std::size_t(h_)) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                grey[std::size_t(y) * std::size_t(w) + std::size_t(x)] =
                    ((x / 3 + y / 3) % 2 == 0) ? 200 : 60;
    }
    Analysis analysis(int cx, int cy, double r, int nz, int na) const {
        Analysis a;
        a.grey = grey.data();
        a.width = w;
        a.height = h;
        a.threshold = 128;
        a.disc_cx = cx;
        a.disc_cy = cy;
        a.disc_radius = r;
        a.nz = nz;
        a.na = na;
        return a;
    }
};

// At full scale every thumbnail pixel is one photograph pixel, and the drawing must agree with
// skyimage's cell map of the working image (the disc's bounding square) pixel for pixel: lines
// exactly where the cell changes, the rim exactly at the edge of the counted disc, and the sky
// tint exactly on counted sky pixels.
void expect_matches_cell_map(const Analysis& a) {
    Thumbnail t;
    std::string why;
    ASSERT_TRUE(htmlreport::make_thumbnail(a, &t, &why)) << why;
    skyimage::Circle disc;
    disc.cx = a.disc_cx;
    disc.cy = a.disc_cy;
    disc.radius = a.disc_radius;
    skyimage::square_around(&disc);
    // The disc lies inside the photograph in these cases: the thumbnail is the photograph.
    ASSERT_EQ(t.x0, 0);
    ASSERT_EQ(t.y0, 0);
    ASSERT_EQ(t.width, a.width);
    ASSERT_EQ(t.height, a.height);
    skyimage::CellMap map;
    skyimage::build_cell_map(int(disc.w), int(disc.h), a.lens, a.nz, a.na, a.declination_deg, &map);
    auto cell = [&](int x, int y) -> int {
        const std::int64_t i = y - disc.y0, j = x - disc.x0;
        if (i < 0 || j < 0 || i >= disc.h || j >= disc.w) return -1;
        const std::uint16_t c = map.cell[std::size_t(i) * std::size_t(disc.w) + std::size_t(j)];
        return c == skyimage::kOutside ? -1 : int(c);
    };
    int lines = 0, tinted = 0;
    for (int y = 0; y < t.height; ++y) {
        for (int x = 0; x < t.width; ++x) {
            const int colour = t.pixels[std::size_t(y) * std::size_t(t.width) + std::size_t(x)];
            const int c = cell(x, y);
            bool rim = false, boundary = false;
            const int nb[4][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
            for (const auto& d : nb) {
                const int nx = x + d[0], ny = y + d[1];
                if (nx < 0 || ny < 0 || nx >= t.width || ny >= t.height) {
                    rim = rim || c >= 0;
                    continue;
                }
                const int other = cell(nx, ny);
                rim = rim || ((other >= 0) != (c >= 0));
            }
            if (c >= 0 && x + 1 < t.width && cell(x + 1, y) >= 0 && cell(x + 1, y) != c)
                boundary = true;
            if (c >= 0 && y + 1 < t.height && cell(x, y + 1) >= 0 && cell(x, y + 1) != c)
                boundary = true;
            if (rim) {
                ASSERT_EQ(colour, htmlreport::kRimColour) << x << "," << y;
            } else if (boundary) {
                ASSERT_EQ(colour, htmlreport::kGridColour) << x << "," << y;
                ++lines;
            } else {
                ASSERT_FALSE(is_line(colour)) << x << "," << y;
                const bool sky =
                    a.grey[std::size_t(y) * std::size_t(a.width) + std::size_t(x)] > 128;
                ASSERT_EQ(is_sky_colour(colour), c >= 0 && sky) << x << "," << y;
                tinted += is_sky_colour(colour);
            }
        }
    }
    EXPECT_GT(lines, 0);
    EXPECT_GT(tinted, 0);
}

TEST(Thumbnail, FullScaleDrawsExactlyTheCountedCells) {
    const Checker photo(121, 101);
    // An equidistant lens, a centred disc.
    expect_matches_cell_map(photo.analysis(60, 50, 48, 3, 4));
    // An equisolid lens of 120 degrees: the rim of the counted disc lies inside the disc, at
    // the horizon; rings of 30 degrees; a declination turning the sectors.
    Analysis a = photo.analysis(57, 52, 45.5, 3, 6);
    a.lens.kind = skyimage::LensKind::kEquisolid;
    a.lens.fov_deg = 120;
    a.declination_deg = 17;
    expect_matches_cell_map(a);
    // A classified image: sky is any non-zero grey level.
    Checker classified(121, 101);
    for (auto& g : classified.grey) g = g == 200 ? 255 : 0;
    a = classified.analysis(60, 50, 50, 9, 8);
    a.sky_rule = htmlreport::SkyRule::kNonZero;
    a.threshold = -1;
    expect_matches_cell_map(a);
}

TEST(Thumbnail, RingLinesWhereTheRingIndexChanges) {
    // Along the row through the centre, leftwards: a ring line on each pixel whose outer
    // neighbour lies in the next ring of skyimage::ring_index.
    const Checker photo(101, 101);
    const Analysis a = photo.analysis(50, 50, 50, 5, 1);  // one sector: only ring lines
    Thumbnail t;
    std::string why;
    ASSERT_TRUE(htmlreport::make_thumbnail(a, &t, &why)) << why;
    int changes = 0;
    for (int x = 50; x < 98; ++x) {
        const int here = skyimage::ring_index(a.lens, 5, x - 50, 50);
        const int next = skyimage::ring_index(a.lens, 5, x + 1 - 50, 50);
        const int colour = t.pixels[50 * 101 + std::size_t(x)];
        EXPECT_EQ(colour == htmlreport::kGridColour, here != next) << x;
        changes += here != next;
    }
    EXPECT_EQ(changes, 4);  // five rings: four boundaries inside the rim
}

TEST(Thumbnail, ShrinksToItsLongestSideAndShowsADiscBeyondThePhotograph) {
    static_assert(htmlreport::kMaxThumbnail == 320, "the expected sizes below are for 320");
    const Checker photo(1000, 500);
    Thumbnail t;
    std::string why;
    ASSERT_TRUE(htmlreport::make_thumbnail(photo.analysis(500, 250, 240, 9, 8), &t, &why));
    EXPECT_EQ(t.width, 320);
    EXPECT_EQ(t.height, 160);
    // A disc reaching 100 pixels beyond the right edge: the canvas grows to hold its square
    // (x from 0 to 1090), the part beyond the photograph drawn as such.
    ASSERT_TRUE(htmlreport::make_thumbnail(photo.analysis(940, 250, 150, 9, 8), &t, &why));
    EXPECT_EQ(t.canvas_w, 1090);
    EXPECT_EQ(t.width, 320);
    EXPECT_EQ(t.height, 147);  // 500 * 320 / 1090 = 146.79, rounded to nearest
    int missing = 0;
    for (int y = 0; y < t.height; ++y) {
        for (int u = 0; u < t.width; ++u) {
            const int colour = t.pixels[std::size_t(y) * std::size_t(t.width) + std::size_t(u)];
            if (htmlreport::source_column(t, u) >= 1000) {
                EXPECT_TRUE(colour == htmlreport::kMissingColour ||
                            colour == htmlreport::kBeyondColour || is_line(colour));
                missing += colour == htmlreport::kMissingColour;
            } else {
                EXPECT_NE(colour, htmlreport::kMissingColour);
            }
        }
    }
    EXPECT_GT(missing, 0);
    // A block with less than half sky is not tinted: a photograph all canopy but for one
    // sky pixel in every 3 x 3 block.
    std::vector<std::uint8_t> sparse(960 * 720, 60);
    for (int y = 1; y < 720; y += 3)
        for (int x = 1; x < 960; x += 3) sparse[std::size_t(y) * 960 + std::size_t(x)] = 250;
    Analysis a = photo.analysis(480, 360, 350, 9, 8);
    a.grey = sparse.data();
    a.width = 960;
    a.height = 720;
    ASSERT_TRUE(htmlreport::make_thumbnail(a, &t, &why));
    EXPECT_EQ(t.width, 320);  // 3 x 3 blocks
    for (std::uint8_t colour : t.pixels) EXPECT_FALSE(is_sky_colour(colour));
}

TEST(Thumbnail, RefusesWhatCannotBeDrawn) {
    const Checker photo(50, 50);
    Thumbnail t;
    std::string why;
    Analysis a = photo.analysis(25, 25, 20, 9, 8);
    a.grey = nullptr;
    EXPECT_FALSE(htmlreport::make_thumbnail(a, &t, &why));
    EXPECT_EQ(why, "no photograph to draw");
    a = photo.analysis(25, 25, 20, 0, 8);
    EXPECT_FALSE(htmlreport::make_thumbnail(a, &t, &why));
    a = photo.analysis(25, 25, 20, 9, 8);
    a.sky_rule = htmlreport::SkyRule::kMask;  // no mask given
    EXPECT_FALSE(htmlreport::make_thumbnail(a, &t, &why));
    a = photo.analysis(25, 25, 20, 9, 8);
    a.threshold = -1;  // a threshold rule without a threshold
    EXPECT_FALSE(htmlreport::make_thumbnail(a, &t, &why));
    a = photo.analysis(25, 25, 20, 9, 8);
    a.lens.kind = skyimage::LensKind::kOrthographic;
    a.lens.fov_deg = 120;
    EXPECT_FALSE(htmlreport::make_thumbnail(a, &t, &why));
    EXPECT_TRUE(t.pixels.empty());
}

// A small thumbnail using every kind of palette entry.
Thumbnail sample_thumbnail() {
    Thumbnail t;
    t.width = 7;  // odd: BMP rows carry fill bytes
    t.height = 5;
    for (int k = 0; k < 35; ++k) t.pixels.push_back(std::uint8_t((k * 37) % 244));
    return t;
}

TEST(ThumbnailFile, PaletteBmpReadsBack) {
    const Thumbnail t = sample_thumbnail();
    char path[] = "/tmp/htmlreport_bmp_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    std::FILE* f = fdopen(fd, "wb");
    ASSERT_TRUE(htmlreport::write_palette_bmp(f, t));
    ASSERT_EQ(std::fclose(f), 0);
    skyimage::t_Bitmap bmp{};
    char problem[skyimage::kProblemSize];
    ASSERT_EQ(skyimage::read_bmp(&bmp, path, problem), skyimage::LoadStatus::kOk) << problem;
    std::remove(path);
    EXPECT_EQ(bmp.width, 7);
    EXPECT_EQ(bmp.height, 5);
    EXPECT_EQ(std::vector<std::uint8_t>(bmp.data, bmp.data + 35), t.pixels);
    ASSERT_NE(bmp.palette, nullptr);
    std::uint8_t rgb[3];
    htmlreport::palette_rgb(htmlreport::kRimColour, rgb);
    const std::uint32_t entry = bmp.palette[htmlreport::kRimColour];  // 0x00RRGGBB as stored
    EXPECT_EQ(entry, std::uint32_t(rgb[0]) << 16 | std::uint32_t(rgb[1]) << 8 | rgb[2]);
    skyimage::release(&bmp);
}

#ifdef SKYGAP_HAVE_PNG
TEST(ThumbnailFile, PalettePngReadsBack) {
    const Thumbnail t = sample_thumbnail();
    char path[] = "/tmp/htmlreport_png_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    std::FILE* f = fdopen(fd, "wb");
    ASSERT_TRUE(htmlreport::write_palette_png(f, t));
    ASSERT_EQ(std::fclose(f), 0);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path)) << image.message;
    image.format = PNG_FORMAT_RGB;
    std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
    std::remove(path);
    ASSERT_EQ(image.width, 7u);
    ASSERT_EQ(image.height, 5u);
    for (std::size_t k = 0; k < 35; ++k) {
        std::uint8_t want[3];
        htmlreport::palette_rgb(t.pixels[k], want);
        EXPECT_EQ(rgb[3 * k], want[0]);
        EXPECT_EQ(rgb[3 * k + 1], want[1]);
        EXPECT_EQ(rgb[3 * k + 2], want[2]);
    }
}
#endif

}  // namespace
