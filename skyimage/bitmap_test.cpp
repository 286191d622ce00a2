#include "skyimage/bitmap.h"
#include "skyimage/cells.h"
#include "skyimage/gapsize.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace skyimage {
namespace {

// Writes the record as a BMP file; 0 on success, as the dialogue's save returns.
int save(const t_Bitmap& bmp, const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return 1;
    const bool ok = write_bmp(f, bmp);
    return std::fclose(f) == 0 && ok ? 0 : 1;
}

Lens classic(bool orthographic) {
    Lens lens;
    lens.kind = orthographic ? LensKind::kOrthographic : LensKind::kEquidistant;
    return lens;
}

using Bytes = std::vector<unsigned char>;

void put(Bytes* b, std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b->push_back(std::uint8_t(v >> (8 * i)));
}

// An 8-bit BMP file: pixel (x, y) (y from the top) = value(x, y); fill bytes hold 0xEE so
// that a reader which keeps them, or a writer which copies them, shows.
struct BmpSpec {
    int w = 5, h = 3;
    std::uint32_t header_size = 40;
    std::uint32_t colours_used = 256;
    int palette_entries = 256;  // entries actually stored
    bool top_down = false;
    int (*value)(int x, int y) = [](int x, int y) { return (x * 37 + y * 101) % 256; };
};

Bytes make_bmp(const BmpSpec& s) {
    const int fill = (4 - s.w % 4) % 4;
    const std::uint32_t offset = 14 + s.header_size + 4 * std::uint32_t(s.palette_entries);
    const std::uint32_t image = std::uint32_t((s.w + fill) * s.h);
    Bytes b;
    put(&b, 0x4D42, 2);
    put(&b, offset + image, 4);
    put(&b, 0, 2);
    put(&b, 0, 2);
    put(&b, offset, 4);
    put(&b, s.header_size, 4);
    put(&b, std::uint32_t(s.w), 4);
    put(&b, std::uint32_t(s.top_down ? -s.h : s.h), 4);
    put(&b, 1, 2);
    put(&b, 8, 2);
    put(&b, 0, 4);
    put(&b, image, 4);
    put(&b, 2835, 4);
    put(&b, 2835, 4);
    put(&b, s.colours_used, 4);
    put(&b, 0, 4);
    while (b.size() < 14 + s.header_size) b.push_back(0x55);  // rest of a longer info header
    for (int i = 0; i < s.palette_entries; ++i) put(&b, std::uint32_t(i * 0x010101), 4);
    for (int k = 0; k < s.h; ++k) {
        const int y = s.top_down ? k : s.h - 1 - k;
        for (int x = 0; x < s.w; ++x) b.push_back(std::uint8_t(s.value(x, y)));
        for (int f = 0; f < fill; ++f) b.push_back(0xEE);
    }
    return b;
}

class TempDir : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/bitmap-test-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }
    std::string path(const char* name) const { return dir_ + "/" + name; }
    std::string write(const char* name, const Bytes& b) const {
        std::ofstream out(path(name), std::ios::binary);
        out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
        return path(name);
    }
    static Bytes read(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    std::string dir_;
};

// A record holding a W x H image with pixel values from VALUE.
struct Image {
    t_Bitmap bmp{};
    Image(int w, int h, int (*value)(int x, int y)) {
        bmp.width = w;
        bmp.height = h;
        bmp.pixelOffset = 1078;
        bmp.data = new std::uint8_t[std::size_t(w) * std::size_t(h)];
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) bmp.data[y * w + x] = std::uint8_t(value(x, y));
    }
    ~Image() { release(&bmp); }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
};

// --- BMP input and output ---------------------------------------------------------------------

using BmpFile = TempDir;

TEST_F(BmpFile, ReadsRowsTopFirstWithoutFillBytes) {
    BmpSpec s;
    const std::string p = write("a.bmp", make_bmp(s));
    t_Bitmap bmp{};
    char problem[kProblemSize];
    ASSERT_EQ(read_bmp(&bmp, p.c_str(), problem), LoadStatus::kOk);
    EXPECT_EQ(bmp.width, 5);
    EXPECT_EQ(bmp.height, 3);
    EXPECT_EQ(bmp.coloursUsed, 256u);
    EXPECT_EQ(bmp.palette[255], 0xFFFFFFu);
    EXPECT_EQ(bmp.file, nullptr);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(bmp.data[y * 5 + x], s.value(x, y)) << x << "," << y;
    release(&bmp);
}

// Load, save, load: the file comes back byte for byte, but for fill bytes, which become 0.
TEST_F(BmpFile, RoundTripKeepsEveryByteButFill) {
    for (int w : {601, 8, 1, 2, 3}) {
        BmpSpec s;
        s.w = w;
        s.h = 4;
        const Bytes original = make_bmp(s);
        const std::string p = write("in.bmp", original);
        t_Bitmap bmp{};
        char problem[kProblemSize];
        ASSERT_EQ(read_bmp(&bmp, p.c_str(), problem), LoadStatus::kOk);
        ASSERT_EQ(save(bmp, path("out.bmp")), 0);
        Bytes expected = original;
        const std::size_t rows_at = 54 + 1024, row_bytes = std::size_t(w + (4 - w % 4) % 4);
        for (int k = 0; k < 4; ++k)
            for (std::size_t f = std::size_t(w); f < row_bytes; ++f)
                expected[rows_at + k * row_bytes + f] = 0;
        EXPECT_EQ(read(path("out.bmp")), expected) << "width " << w;
        if (w == 601) {
            EXPECT_EQ(row_bytes, 604u);
        }

        t_Bitmap again{};
        ASSERT_EQ(read_bmp(&again, path("out.bmp").c_str(), problem),
                  LoadStatus::kOk);
        EXPECT_EQ(std::memcmp(again.data, bmp.data, std::size_t(w) * 4), 0);
        release(&bmp);
        release(&again);
    }
}

// Longer info headers, an unlisted palette and top-down rows give the same pixels as the
// classic layout; saving such a record writes a classic file that reads back the same.
TEST_F(BmpFile, OtherLayoutsReadByPixelOffset) {
    BmpSpec classic;
    classic.w = 7;
    const std::string p0 = write("classic.bmp", make_bmp(classic));
    t_Bitmap ref{};
    char problem[kProblemSize];
    ASSERT_EQ(read_bmp(&ref, p0.c_str(), problem), LoadStatus::kOk);

    BmpSpec v5 = classic;
    v5.header_size = 124;
    BmpSpec unlisted = classic;
    unlisted.colours_used = 0;
    BmpSpec top_down = classic;
    top_down.top_down = true;
    for (const BmpSpec& s : {v5, unlisted, top_down}) {
        const std::string p = write("other.bmp", make_bmp(s));
        t_Bitmap bmp{};
        ASSERT_EQ(read_bmp(&bmp, p.c_str(), problem), LoadStatus::kOk);
        ASSERT_EQ(bmp.width, 7);
        ASSERT_EQ(bmp.height, 3);
        EXPECT_EQ(std::memcmp(bmp.data, ref.data, 21), 0);
        ASSERT_EQ(save(bmp, path("saved.bmp")), 0);
        t_Bitmap back{};
        ASSERT_EQ(read_bmp(&back, path("saved.bmp").c_str(), problem),
                  LoadStatus::kOk);
        EXPECT_EQ(std::memcmp(back.data, ref.data, 21), 0);
        release(&bmp);
        release(&back);
    }
    release(&ref);
}

TEST_F(BmpFile, RefusesWhatItCannotRead) {
    t_Bitmap bmp{};
    char problem[kProblemSize];
    EXPECT_EQ(read_bmp(&bmp, path("missing.bmp").c_str(), problem),
              LoadStatus::kCannotOpen);

    Bytes b = make_bmp(BmpSpec{});
    b[28] = 24;  // bitCount
    EXPECT_EQ(read_bmp(&bmp, write("rgb.bmp", b).c_str(), problem),
              LoadStatus::kNot8Bit);

    const Bytes good = make_bmp(BmpSpec{});
    const std::pair<std::size_t, const char*> cuts[] = {
        {20, "inside its BMP header"}, {40, "inside its BMP header"},
        {500, "before its 256 palette entries"}, {good.size() - 6, "rows of 5 pixels"}};
    for (const auto& [size, words] : cuts) {
        const Bytes cut(good.begin(), good.begin() + long(size));
        EXPECT_EQ(read_bmp(&bmp, write("cut.bmp", cut).c_str(), problem),
                  LoadStatus::kProblem);
        EXPECT_NE(std::strstr(problem, words), nullptr) << problem;
    }
    // Only the last row's fill bytes missing: nothing is lost.
    const Bytes no_last_fill(good.begin(), good.end() - 3);
    EXPECT_EQ(read_bmp(&bmp, write("nofill.bmp", no_last_fill).c_str(), problem),
              LoadStatus::kOk);

    for (std::uint32_t w_h : {0u, 0x80000000u}) {
        Bytes z = good;
        for (int i = 0; i < 4; ++i) z[22 + i] = std::uint8_t(w_h >> (8 * i));  // height
        EXPECT_EQ(read_bmp(&bmp, write("flat.bmp", z).c_str(), problem),
                  LoadStatus::kProblem);
        EXPECT_NE(std::strstr(problem, "no usable size"), nullptr) << problem;
    }
    // A huge stated size is refused by the file length, before anything is allocated.
    Bytes huge = good;
    huge[18 + 3] = 0x40;  // width 2^30 + 5
    EXPECT_EQ(read_bmp(&bmp, write("huge.bmp", huge).c_str(), problem),
              LoadStatus::kProblem);
    release(&bmp);
}

// A header that declares more than the caps allow, in a sparse file long enough for what it
// declares: the length check alone let a 4 KB file make the reader allocate 3.6 GB.
TEST_F(BmpFile, SizesAndPalettesBeyondTheCapsAreRefusedBeforeAllocating) {
    t_Bitmap bmp{};
    char problem[kProblemSize];
    const auto declare = [&](const char* name, std::uint32_t w, std::uint32_t h,
                             std::uint32_t colours) {
        Bytes b = make_bmp(BmpSpec{});
        for (int i = 0; i < 4; ++i) {
            b[18 + i] = std::uint8_t(w >> (8 * i));
            b[22 + i] = std::uint8_t(h >> (8 * i));
            b[46 + i] = std::uint8_t(colours >> (8 * i));
        }
        const std::string p = write(name, b);
        const off_t needed = off_t(1078 + 4 * std::int64_t(colours)) + off_t(w + 3) * off_t(h);
        EXPECT_EQ(truncate(p.c_str(), needed), 0);
        return p;
    };
    EXPECT_EQ(read_bmp(&bmp, declare("wide.bmp", 60000, 60000, 256).c_str(), problem),
              LoadStatus::kProblem);
    EXPECT_STREQ(problem,
                 "the image of 60000 x 60000 pixels is larger than the 268435456 pixels a "
                 "photograph may have");
    // One row past the cap of 2^28 pixels.
    EXPECT_EQ(read_bmp(&bmp, declare("cap.bmp", 16384, 16385, 256).c_str(), problem),
              LoadStatus::kProblem);
    EXPECT_NE(std::strstr(problem, "16384 x 16385 pixels is larger"), nullptr) << problem;
    EXPECT_EQ(read_bmp(&bmp, declare("colours.bmp", 5, 3, 0x40000000).c_str(), problem),
              LoadStatus::kProblem);
    EXPECT_STREQ(problem, "the palette lists 1073741824 entries; an 8-bit image has at most 256");
    EXPECT_EQ(bmp.data, nullptr);  // nothing was taken on
    release(&bmp);
}

// --- Extraction and threshold ---------------------------------------------------------------

TEST(Extraction, CircleThroughThreePoints) {
    const Circle c = circle_through(100, 0, 0, 100, 200, 100);
    EXPECT_FALSE(c.collinear);
    EXPECT_TRUE(c.usable);
    EXPECT_EQ(c.cx, 100);
    EXPECT_EQ(c.cy, 100);
    EXPECT_EQ(c.radius, 100.0);  // sqrt of the integer 10000: exact
    EXPECT_EQ(c.x0, 0);
    EXPECT_EQ(c.y0, 0);
    EXPECT_EQ(c.w, 200);
    EXPECT_EQ(c.h, 200);

    // The rim points of a 480 x 480 photograph: centre (246, 237), radius 234.
    const Circle t = circle_through(246, 3, 12, 237, 246, 471);
    EXPECT_EQ(t.cx, 246);
    EXPECT_EQ(t.cy, 237);
    EXPECT_EQ(t.radius, 234.0);
}

TEST(Extraction, DegenerateCirclesAreNotUsable) {
    EXPECT_TRUE(circle_through(0, 0, 5, 5, 10, 10).collinear);
    EXPECT_TRUE(circle_through(3, 4, 3, 4, 10, 10).collinear);  // two equal points
    // The third point on the truncated centre: radius 0.
    EXPECT_FALSE(circle_through(1, 0, 0, 1, 0, 0).usable);
    // Nearly collinear points: a centre millions of pixels away.
    EXPECT_FALSE(circle_through(0, 0, 10000, 1, 20000, 0).usable);
    EXPECT_FALSE(circle_through(0, 0, 1 << 25, 0, 0, 5).usable);  // beyond the bound
}

// Radii from typed or parsed input: 1e300 overflowed the conversion to an integer bound.
TEST(Extraction, AnyRadiusIsSafeAndAbsurdOnesAreNotUsable) {
    const double absurd[] = {1e300,
                             -1e300,
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::max(),
                             double(kMaxSquare) + 1};
    for (double r : absurd) {
        Circle c;
        c.cx = std::numeric_limits<int>::max();
        c.cy = std::numeric_limits<int>::min();
        c.radius = r;
        square_around(&c);
        EXPECT_FALSE(c.usable) << r;
        EXPECT_EQ(c.w, 0) << r;
    }
    // The largest usable square, centred at the far ends of int.
    Circle edge;
    edge.cx = std::numeric_limits<int>::max();
    edge.cy = std::numeric_limits<int>::min();
    edge.radius = double(kMaxSquare) / 2;
    square_around(&edge);
    EXPECT_TRUE(edge.usable);
    EXPECT_EQ(edge.w, kMaxSquare);
    EXPECT_EQ(edge.x0, std::int64_t(std::numeric_limits<int>::max()) - kMaxSquare / 2);

    // Points anywhere in int: refused or computed, never overflowing.
    const int big = std::numeric_limits<int>::max(), small = std::numeric_limits<int>::min();
    EXPECT_FALSE(circle_through(small, small, big, big, small, big).usable);
    EXPECT_FALSE(circle_through(0, 0, kMaxPointCoordinate, 1, 0, kMaxPointCoordinate).usable);
}

TEST(Extraction, BoundsTruncateTowardZero) {
    Circle c;
    c.cx = 400;
    c.cy = 400;
    c.radius = std::sqrt(90300.0);  // about 300.4996
    square_around(&c);
    EXPECT_EQ(c.x0, 99);
    EXPECT_EQ(c.w, 601);  // 700 - 99
    // A negative bound truncates up, a positive one down: width and height can differ.
    c.cx = 0;
    c.cy = 10;
    c.radius = 2.5;
    square_around(&c);
    EXPECT_EQ(c.x0, -2);
    EXPECT_EQ(c.w, 4);
    EXPECT_EQ(c.y0, 7);
    EXPECT_EQ(c.h, 5);
}

TEST(Extraction, CropCopiesInsideAndFillsOutsideWithZero) {
    Image img(601, 50, [](int x, int y) { return 1 + (x + y) % 200; });
    img.bmp.fileSize = 0;
    ASSERT_TRUE(crop(&img.bmp, 99, -10, 601, 20));
    EXPECT_EQ(img.bmp.width, 601);
    EXPECT_EQ(img.bmp.height, 20);
    EXPECT_EQ(img.bmp.imageSize, 20u * 604u);
    EXPECT_EQ(img.bmp.fileSize, 20u * 604u + 1078u);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 601; ++x) {
            const int sx = 99 + x, sy = y - 10;
            const int expected = sx < 601 && sy >= 0 ? 1 + (sx + sy) % 200 : 0;
            ASSERT_EQ(img.bmp.data[y * 601 + x], expected) << x << "," << y;
        }
}

TEST(Threshold, StrictlyAboveIsSky) {
    Image img(256, 1, [](int x, int) { return x; });
    threshold_pixels(&img.bmp, 128);
    EXPECT_EQ(img.bmp.data[128], 0);
    EXPECT_EQ(img.bmp.data[129], 255);
    EXPECT_EQ(img.bmp.data[0], 0);
    EXPECT_EQ(img.bmp.data[255], 255);
    for (int t : {255, 1000, -1, -1000}) {
        Image all(256, 1, [](int x, int) { return x; });
        threshold_pixels(&all.bmp, t);
        for (int x = 0; x < 256; ++x) ASSERT_EQ(all.bmp.data[x], t < 0 ? 255 : 0) << t;
    }
}

// --- Grey pictures written ----------------------------------------------------------------

unsigned le16_of(const std::vector<unsigned char>& b, std::size_t at) { return b[at] | b[at + 1] << 8; }
unsigned long le32_of(const std::vector<unsigned char>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | (unsigned long)b[at + 3] << 24;
}

TEST(Bmp, EightBitGreyWithPaletteIndexEqualToGreyLevel) {
    // 5 x 3 pixels: each row 5 bytes plus 3 fill bytes; the bottom row is stored first.
    std::vector<std::uint8_t> pixels;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) pixels.push_back(std::uint8_t(10 * y + x));
    const std::string path = ::testing::TempDir() + "grey_bmp_test.bmp";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_TRUE(write_grey_bmp(f, 5, 3, pixels.data()));
    ASSERT_EQ(std::fclose(f), 0);
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)),
                                       std::istreambuf_iterator<char>());
    ASSERT_EQ(b.size(), 54u + 1024u + 3u * 8u);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(le32_of(b, 2), b.size());   // file size
    EXPECT_EQ(le32_of(b, 10), 1078u);     // pixels right behind the palette
    EXPECT_EQ(le32_of(b, 14), 40u);       // info header
    EXPECT_EQ(le32_of(b, 18), 5u);
    EXPECT_EQ(le32_of(b, 22), 3u);        // positive height: bottom-up rows
    EXPECT_EQ(le16_of(b, 26), 1u);
    EXPECT_EQ(le16_of(b, 28), 8u);        // 8 bits per pixel
    EXPECT_EQ(le32_of(b, 30), 0u);        // uncompressed
    EXPECT_EQ(le32_of(b, 34), 24u);       // image size with fill bytes
    EXPECT_EQ(le32_of(b, 46), 256u);      // colours used: the whole palette is stored
    for (unsigned i = 0; i < 256; ++i) {
        ASSERT_EQ(b[54 + 4 * i], i);
        ASSERT_EQ(b[55 + 4 * i], i);
        ASSERT_EQ(b[56 + 4 * i], i);
        ASSERT_EQ(b[57 + 4 * i], 0);
    }
    const std::size_t data = 1078;
    EXPECT_EQ(b[data + 0], 20);  // first stored row = bottom row (y = 2)
    EXPECT_EQ(b[data + 4], 24);
    EXPECT_EQ(b[data + 5], 0);   // fill
    EXPECT_EQ(b[data + 16], 0);  // top row (y = 0) stored last
    EXPECT_EQ(b[data + 20], 4);
    std::remove(path.c_str());
}

// --- Gap-fraction projection ---------------------------------------------------------------

int speckle(int x, int y) { return ((x * 7919 + y * 104729) ^ (x * y)) % 3 == 0 ? 0 : 200; }

// The cell of every pixel evaluated pixel by pixel exactly as the method is written down;
// count_cells computes the rings once per row and visits only the disc.
void literal_counts(const t_Bitmap* bmp, bool polar, int nz, int na, double delta,
                    gapdata::Counts* counts) {
    const double pi = angles::kPi;
    const int cx = bmp->width / 2, cy = bmp->height / 2, R = bmp->width / 2;
    counts->reset(nz, na);
    for (int i = 0; i < bmp->height; ++i)
        for (int j = 0; j < bmp->width; ++j) {
            const int dx = j - cx, dy = cy - i;
            const double r = std::hypot(double(dx), double(dy));
            if (r > R) continue;
            const int iz = polar ? int(nz * (r / R)) : int(nz * (std::asin(r / R) / (pi / 2)));
            double phi = 0;
            if (dx != 0 || dy != 0) phi = std::atan2(double(dy), double(dx));
            if (phi < 0) phi += 2 * pi;
            phi = phi - (pi * delta / 180 + pi / 2);
            if (phi < 0) phi += 2 * pi;
            if (phi >= 2 * pi) phi -= 2 * pi;
            const int ia = int(na * (phi / (2 * pi)));
            if (iz == nz) continue;
            if (bmp->data[i * bmp->width + j] != 0) ++counts->gap(iz, ia);
            ++counts->pixel(iz, ia);
        }
}

TEST(Projection, AgreesWithThePixelByPixelMethod) {
    gapdata::Counts fast, literal;
    struct Case {
        int w, h, nz, na;
        double delta;
    };
    for (const Case& c : {Case{61, 61, 9, 8, 0}, Case{64, 63, 90, 360, -12.5},
                          Case{101, 102, 7, 13, 180}, Case{40, 41, 1, 1, -180}}) {
        Image img(c.w, c.h, speckle);
        for (bool polar : {true, false}) {
            count_cells(img.bmp, classic(!polar), c.nz, c.na, c.delta, &fast);
            literal_counts(&img.bmp, polar, c.nz, c.na, c.delta, &literal);
            ASSERT_EQ(fast.pixels, literal.pixels) << c.w << " " << polar;
            ASSERT_EQ(fast.gaps, literal.gaps) << c.w << " " << polar;
        }
    }
}

TEST(Projection, CentrePixelAndRim) {
    // R = 1: the only pixel inside the disc and not on the rim is the centre; with delta = 0
    // its azimuth is 270 degrees: sector 3 of 4.
    Image img(3, 3, [](int, int) { return 255; });
    gapdata::Counts c;
    count_cells(img.bmp, classic(false), 1, 4, 0, &c);
    EXPECT_EQ(c.pixel(0, 0) + c.pixel(0, 1) + c.pixel(0, 2), 0);
    EXPECT_EQ(c.pixel(0, 3), 1);
    EXPECT_EQ(c.gap(0, 3), 1);
    // 270 - 90 = 180 degrees: sector 2.
    count_cells(img.bmp, classic(false), 1, 4, 90, &c);
    EXPECT_EQ(c.pixel(0, 2), 1);
}

TEST(Projection, LensesShareSectorTotalsButNotRings) {
    Image img(201, 201, speckle);
    gapdata::Counts pc, oc;
    count_cells(img.bmp, classic(false), 9, 8, 0, &pc);
    count_cells(img.bmp, classic(true), 9, 8, 0, &oc);
    std::int64_t all = 0;
    for (int ia = 0; ia < 8; ++ia) {
        std::int64_t polar = 0, ortho = 0, polar_gaps = 0, ortho_gaps = 0;
        for (int iz = 0; iz < 9; ++iz) {
            polar += pc.pixel(iz, ia);
            ortho += oc.pixel(iz, ia);
            polar_gaps += pc.gap(iz, ia);
            ortho_gaps += oc.gap(iz, ia);
        }
        EXPECT_EQ(polar, ortho);
        EXPECT_EQ(polar_gaps, ortho_gaps);
        all += polar;
    }
    EXPECT_GT(oc.pixel(0, 0), pc.pixel(0, 0));  // near the zenith the orthographic rings are wider
    EXPECT_LT(oc.pixel(8, 0), pc.pixel(8, 0));  // and narrower at the horizon
    // Every pixel strictly inside the circle of radius 100, and only those.
    std::int64_t inside = 0;
    for (int dy = -100; dy <= 100; ++dy)
        for (int dx = -100; dx <= 100; ++dx) inside += dx * dx + dy * dy < 100 * 100;
    EXPECT_EQ(all, inside);
}

using GapFile = TempDir;

TEST_F(GapFile, RecordsRingByRingSectorsDescending) {
    Image img(21, 21, [](int, int) { return 255; });
    const std::string p = path("gapfract.txt");
    gapdata::Counts counts;
    count_cells(img.bmp, classic(false), 2, 4, 0, &counts);
    std::FILE* f = std::fopen(p.c_str(), "w");
    ASSERT_NE(f, nullptr);
    gapdata::write_gap_fraction(f, counts);
    ASSERT_EQ(std::fclose(f), 0);
    std::ifstream in(p);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "2   4");
    const char* order[] = {"22.500000   315.000000", "22.500000   225.000000",
                           "22.500000   135.000000", "22.500000   45.000000",
                           "67.500000   315.000000", "67.500000   225.000000",
                           "67.500000   135.000000", "67.500000   45.000000"};
    for (const char* start : order) {
        ASSERT_TRUE(std::getline(in, line));
        EXPECT_EQ(line.rfind(start, 0), 0u) << line;
        EXPECT_NE(line.find("   1.000000   "), std::string::npos) << line;  // all sky
    }
    EXPECT_FALSE(std::getline(in, line));
}

// --- Gap sizes ------------------------------------------------------------------------------

using Walk = std::vector<std::pair<int, int>>;

Walk walk_of(RingWalker& w, int l) {
    w.walk(l);
    Walk out;
    for (int k = 0; k < w.size(); ++k) out.emplace_back(w.row(k), w.col(k));
    return out;
}

TEST(GapSize, SmallCirclesPixelByPixel) {
    Image img(9, 9, [](int, int) { return 0; });
    RingWalker w(img.bmp);
    EXPECT_EQ(walk_of(w, 0), Walk(1, {0, 0}));
    EXPECT_EQ(walk_of(w, 1), (Walk{{-1, 0}, {0, 1}, {1, 0}, {0, -1}}));
    EXPECT_EQ(walk_of(w, 2), (Walk{{-2, 0}, {-2, 1}, {-1, 2}, {0, 2}, {1, 2}, {2, 2}, {2, 1},
                                   {2, 0}, {2, -1}, {2, -2}, {1, -2}, {0, -2}, {-1, -2},
                                   {-2, -2}, {-2, -1}}));
    EXPECT_EQ(walk_of(w, 3),
              (Walk{{-3, 0}, {-3, 1}, {-2, 2}, {-1, 3}, {0, 3}, {1, 3}, {2, 3}, {2, 2}, {3, 1},
                    {3, 0}, {3, -1}, {3, -2}, {2, -2}, {1, -3}, {0, -3}, {-1, -3}, {-2, -3},
                    {-3, -2}, {-3, -1}}));
    EXPECT_EQ(walk_of(w, -1), Walk{});
}

TEST(GapSize, LargeCirclesAreClosedPathsWithoutRepeats) {
    Image img(2101, 2101, [](int, int) { return 0; });
    RingWalker w(img.bmp);
    const std::pair<int, int> sizes[] = {{10, 56}, {100, 564}, {1000, 5656}};
    for (const auto& [l, n] : sizes) {
        const Walk walk = walk_of(w, l);
        EXPECT_EQ(int(walk.size()), n) << l;
        const std::set<std::pair<int, int>> distinct(walk.begin(), walk.end());
        EXPECT_EQ(distinct.size(), walk.size());
        for (std::size_t k = 0; k < walk.size(); ++k) {
            const auto& a = walk[k];
            const auto& b = walk[(k + 1) % walk.size()];
            EXPECT_LE(std::abs(a.first - b.first), 1) << l << " at " << k;
            EXPECT_LE(std::abs(a.second - b.second), 1) << l << " at " << k;
        }
    }
    // Every walk pixel lies within 2 pixels of the radius: the walker relies on it to skip
    // circles beyond the image.
    for (int l = 0; l <= 1500; ++l) {
        w.walk(l);
        for (int k = 0; k < w.size(); ++k) {
            const double d = std::hypot(double(w.row(k)), double(w.col(k)));
            ASSERT_LE(std::fabs(d - l), 2.0) << l;
        }
    }
}

TEST(GapSize, CirclesBeyondTheImageReadAsCanopy) {
    Image img(9, 8, [](int, int) { return 255; });
    RingWalker w(img.bmp);
    w.walk(5);  // centre (4, 4): reaches one row below the image and past its right edge
    int zeros = 0;
    for (int k = 0; k < w.size(); ++k) zeros += w.value(k) == 0;
    EXPECT_GT(zeros, 0);
    EXPECT_LT(zeros, w.size());
    w.walk(w.reach() + 1);
    EXPECT_EQ(w.size(), 0);
}

struct Runs {
    std::vector<int> gaps, canopy;
};
Runs runs_of(std::vector<std::uint8_t> v) {
    std::vector<int> g(v.size()), c(v.size());
    int ng = 0, nc = 0;
    cut_runs(v.data(), int(v.size()), g.data(), &ng, c.data(), &nc);
    g.resize(std::size_t(ng));
    c.resize(std::size_t(nc));
    return {g, c};
}

TEST(GapSize, RunsAndClosingTheCircle) {
    Runs r = runs_of({255, 255, 0, 0, 0, 255});  // the last 255 joins the first run
    EXPECT_EQ(r.gaps, std::vector<int>{3});
    EXPECT_EQ(r.canopy, std::vector<int>{3});
    r = runs_of({0, 255, 255, 0, 255});  // the final 255 is a run of its own
    EXPECT_EQ(r.gaps, (std::vector<int>{2, 1}));
    EXPECT_EQ(r.canopy, (std::vector<int>{1, 1}));
    r = runs_of({255, 255, 255});
    EXPECT_TRUE(r.gaps.empty() && r.canopy.empty());
    r = runs_of({0});
    EXPECT_TRUE(r.gaps.empty() && r.canopy.empty());
    r = runs_of({});
    EXPECT_TRUE(r.gaps.empty() && r.canopy.empty());
    r = runs_of({7, 9, 9, 0, 7});  // different sky values break runs; 7 closes onto 7
    EXPECT_EQ(r.gaps, (std::vector<int>{2, 2}));
    EXPECT_EQ(r.canopy, std::vector<int>{1});
}

TEST(GapSize, StepsThatCannotBeUsed) {
    EXPECT_EQ(gapsize_step_problem(1, 0, 90, 0, 100), nullptr);  // one pixel of radius
    EXPECT_NE(gapsize_step_problem(1, 0, 90, -1, 100), nullptr);
    EXPECT_NE(gapsize_step_problem(2, 0, 90, 0, 100), nullptr);
    EXPECT_NE(gapsize_step_problem(2, 0, 90, NAN, 100), nullptr);
    EXPECT_EQ(gapsize_step_problem(2, 0, 90, 5, 100), nullptr);
    EXPECT_EQ(gapsize_step_problem(2, 80, 10, 5, 100), nullptr);  // no circle at all
    EXPECT_NE(gapsize_step_problem(2, 0, INFINITY, 5, 100), nullptr);
    EXPECT_NE(gapsize_step_problem(1, 0, 90, 1e-9, 100), nullptr);
    EXPECT_EQ(gapsize_step_problem(3, 0, 90, -5, 100), nullptr);  // no lens: nothing traced
}

using GapSizeFile = TempDir;

int gap_sizes(const t_Bitmap& bmp, bool orthographic, double lo, double hi, double step,
              const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (f == nullptr) return 1;
    write_gap_sizes(f, bmp, orthographic, lo, hi, step);
    return std::fclose(f) == 0 ? 0 : 1;
}

TEST_F(GapSizeFile, EquidistantStepZeroTracesEveryPixelOfRadius) {
    Image img(1001, 1001, [](int, int) { return 255; });
    const std::string p = path("gapsize.txt");
    ASSERT_EQ(gap_sizes(img.bmp, false, 0, 90, 0, p), 0);
    std::ifstream in(p);
    std::vector<std::string> angles;
    for (std::string a, g, c; std::getline(in, a) && std::getline(in, g) && std::getline(in, c);) {
        angles.push_back(a);
        if (angles.size() == 1) {
            EXPECT_EQ(g + "|" + c, std::string("|"));  // radius 0: one pixel
        }
    }
    ASSERT_GE(angles.size(), 4u);
    EXPECT_EQ(angles[0], "0.0");
    EXPECT_EQ(angles[1], "0.2");  // 0.18
    EXPECT_EQ(angles[2], "0.4");  // 0.36
    EXPECT_EQ(angles.back(), "90.0");
    EXPECT_EQ(angles.size(), 501u);  // theta <= 90 + 90 / 500 degrees, step 0.18

    // Minimum above maximum: the file is created and stays empty.
    ASSERT_EQ(gap_sizes(img.bmp, true, 50, 10, 5, p), 0);
    EXPECT_TRUE(read(p).empty());
}

}  // namespace
}  // namespace skyimage
