// Reading photographs: BMP layouts and depths, colour channels, JPEG, and the refusals.
#include "skyimage/photo.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "test_images.h"

namespace skyimage {
namespace {

using gapbatch_test::Rgb;
using gapbatch_test::ScratchDir;

// Every pixel different, so that a row or column out of place shows.
Rgb pattern(int c, int r) {
    return Rgb{std::uint8_t(10 * r + c), std::uint8_t(100 + c), std::uint8_t(200 - r)};
}

TEST(Photo, ColourChannels) {
    EXPECT_EQ(channel_value(Channel::kRed, 1, 2, 3), 1);
    EXPECT_EQ(channel_value(Channel::kGreen, 1, 2, 3), 2);
    EXPECT_EQ(channel_value(Channel::kBlue, 1, 2, 3), 3);
    // BT.601: 0.299 x 255 = 76.2, 0.587 x 255 = 149.7, 0.114 x 255 = 29.1, rounded.
    EXPECT_EQ(channel_value(Channel::kLuma, 255, 0, 0), 76);
    EXPECT_EQ(channel_value(Channel::kLuma, 0, 255, 0), 150);
    EXPECT_EQ(channel_value(Channel::kLuma, 0, 0, 255), 29);
    EXPECT_EQ(channel_value(Channel::kLuma, 255, 255, 255), 255);
}

// Widths 5 (3 fill bytes per 24-bit row... and per 8-bit row) and 8 (none for 8-bit), both row
// orders, depths 8, 24 and 32: every pixel lands where the picture has it.
TEST(Photo, BmpLayouts) {
    ScratchDir dir;
    for (int bits : {8, 24, 32}) {
        for (int w : {5, 8}) {
            for (bool top_down : {false, true}) {
                const std::string path = dir / "p.bmp";
                gapbatch_test::write_bmp(path, w, 3, bits, top_down, pattern);
                for (Channel ch : {Channel::kBlue, Channel::kGreen, Channel::kRed}) {
                    Photo photo;
                    char problem[kPhotoProblemSize] = "";
                    ASSERT_TRUE(read_photo(path.c_str(), ch, &photo, problem)) << problem;
                    ASSERT_EQ(photo.bmp.width, w);
                    ASSERT_EQ(photo.bmp.height, 3);
                    for (int r = 0; r < 3; ++r) {
                        for (int c = 0; c < w; ++c) {
                            const Rgb p = pattern(c, r);
                            // An 8-bit file keeps its stored value whatever the channel.
                            const std::uint8_t want =
                                bits == 8 ? p.r : channel_value(ch, p.r, p.g, p.b);
                            EXPECT_EQ(photo.bmp.data[r * w + c], want)
                                << bits << "-bit w " << w << " row " << r << " col " << c;
                        }
                    }
                }
            }
        }
    }
}

TEST(Photo, WrittenGreyBmpReadsBack) {
    ScratchDir dir;
    const int w = 7, h = 4;
    std::vector<std::uint8_t> pixels(w * h);
    for (int k = 0; k < w * h; ++k) pixels[std::size_t(k)] = std::uint8_t(k * 9);
    const std::string path = dir / "g.bmp";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_TRUE(write_grey_bmp(f, w, h, pixels.data()));
    ASSERT_EQ(std::fclose(f), 0);
    Photo photo;
    char problem[kPhotoProblemSize];
    ASSERT_TRUE(read_photo(path.c_str(), Channel::kRed, &photo, problem));
    EXPECT_EQ(std::vector<std::uint8_t>(photo.bmp.data, photo.bmp.data + w * h), pixels);
    EXPECT_EQ(gapbatch_test::read_file(path).size(), 54u + 1024u + 4 * 8u);
    std::FILE* full = std::fopen("/dev/full", "wb");
    if (full != nullptr) {
        setvbuf(full, nullptr, _IONBF, 0);  // every write reaches the device and fails
        EXPECT_FALSE(write_grey_bmp(full, w, h, pixels.data()));
        std::fclose(full);
    }
}

TEST(Photo, Refusals) {
    ScratchDir dir;
    Photo photo;
    char problem[kPhotoProblemSize];
    EXPECT_FALSE(read_photo((dir / "missing.bmp").c_str(), Channel::kBlue, &photo, problem));
    EXPECT_STREQ(problem, "cannot be opened");

    gapbatch_test::write_file(dir / "text.bmp", "hello, not a picture\n");
    EXPECT_FALSE(read_photo((dir / "text.bmp").c_str(), Channel::kBlue, &photo, problem));
    EXPECT_STREQ(problem,
                 "is neither a BMP, JPEG, PNG nor TIFF photograph, nor named as a raw camera "
                 "file (.dng, .nef, .cr2, ...)");

    gapbatch_test::write_bmp(dir / "16.bmp", 4, 4, 16, false, pattern);
    EXPECT_FALSE(read_photo((dir / "16.bmp").c_str(), Channel::kBlue, &photo, problem));
    EXPECT_NE(std::strstr(problem, "16-bit"), nullptr) << problem;

    gapbatch_test::write_bmp(dir / "rle.bmp", 4, 4, 8, false, pattern, 1);
    EXPECT_FALSE(read_photo((dir / "rle.bmp").c_str(), Channel::kBlue, &photo, problem));
    EXPECT_NE(std::strstr(problem, "compressed"), nullptr) << problem;

    // Cut short inside the pixel rows, and inside the header.
    gapbatch_test::write_bmp(dir / "full.bmp", 40, 30, 24, false, pattern);
    const std::string full = gapbatch_test::read_file(dir / "full.bmp");
    gapbatch_test::write_file(dir / "short.bmp", full.substr(0, full.size() - 1));
    EXPECT_FALSE(read_photo((dir / "short.bmp").c_str(), Channel::kBlue, &photo, problem));
    EXPECT_NE(std::strstr(problem, "ends before"), nullptr) << problem;
    gapbatch_test::write_file(dir / "head.bmp", full.substr(0, 30));
    EXPECT_FALSE(read_photo((dir / "head.bmp").c_str(), Channel::kBlue, &photo, problem));
    EXPECT_STREQ(problem, "ends inside the BMP header");

    // A failed read leaves the record as it was.
    ASSERT_TRUE(read_photo((dir / "full.bmp").c_str(), Channel::kBlue, &photo, problem));
    EXPECT_FALSE(read_photo((dir / "short.bmp").c_str(), Channel::kBlue, &photo, problem));
    EXPECT_EQ(photo.bmp.width, 40);
    EXPECT_EQ(photo.bmp.height, 30);
    // A header claiming more pixels than any photograph.
    std::string huge = full;
    const std::uint32_t side = 70000;
    std::memcpy(&huge[18], &side, 4);
    std::memcpy(&huge[22], &side, 4);
    gapbatch_test::write_file(dir / "huge.bmp", huge);
    EXPECT_FALSE(read_photo((dir / "huge.bmp").c_str(), Channel::kBlue, &photo, problem));
    EXPECT_NE(std::strstr(problem, "unusable dimensions"), nullptr) << problem;
}

#ifdef SKYGAP_HAVE_JPEG
// Flat colour blocks survive JPEG compression at quality 100 within a couple of levels.
TEST(Photo, JpegChannelsAndGrey) {
    ScratchDir dir;
    auto blocks = [](int c, int r) {
        return (c / 16 + r / 16) % 2 == 0 ? Rgb{200, 120, 40} : Rgb{30, 60, 220};
    };
    gapbatch_test::write_jpeg(dir / "c.jpg", 64, 48, 3, 100, blocks);
    gapbatch_test::write_jpeg(dir / "g.jpg", 64, 48, 1, 100, blocks);
    for (Channel ch : {Channel::kBlue, Channel::kGreen, Channel::kRed, Channel::kLuma}) {
        Photo photo;
        char problem[kPhotoProblemSize];
        ASSERT_TRUE(read_photo((dir / "c.jpg").c_str(), ch, &photo, problem)) << problem;
        ASSERT_EQ(photo.bmp.width, 64);
        ASSERT_EQ(photo.bmp.height, 48);
        for (int r = 4; r < 48; r += 16) {
            for (int c = 4; c < 64; c += 16) {
                const Rgb p = blocks(c, r);
                EXPECT_NEAR(photo.bmp.data[r * 64 + c], channel_value(ch, p.r, p.g, p.b),
                            3);  // chroma subsampling and rounding of the colour transform
            }
        }
        ASSERT_TRUE(read_photo((dir / "g.jpg").c_str(), ch, &photo, problem)) << problem;
        EXPECT_NEAR(photo.bmp.data[4 * 64 + 4], 200, 2);  // grey JPEG: the one value, any channel
        EXPECT_NEAR(photo.bmp.data[4 * 64 + 20], 30, 2);
    }
    const std::string whole = gapbatch_test::read_file(dir / "c.jpg");
    gapbatch_test::write_file(dir / "cut.jpg", whole.substr(0, 200));
    Photo photo;
    char problem[kPhotoProblemSize];
    EXPECT_FALSE(read_photo((dir / "cut.jpg").c_str(), Channel::kBlue, &photo, problem));
    EXPECT_NE(std::strstr(problem, "not a readable JPEG"), nullptr) << problem;
    // Cut inside the compressed data: the library would fill the rest with grey.
    gapbatch_test::write_file(dir / "half.jpg", whole.substr(0, whole.size() / 2));
    EXPECT_FALSE(read_photo((dir / "half.jpg").c_str(), Channel::kBlue, &photo, problem));
    EXPECT_NE(std::strstr(problem, "not a readable JPEG"), nullptr) << problem;
    // The reader is usable again after a broken file.
    EXPECT_TRUE(read_photo((dir / "c.jpg").c_str(), Channel::kBlue, &photo, problem)) << problem;
}
#else
TEST(Photo, JpegWithoutLibjpegIsRefusedClearly) {
    ScratchDir dir;
    gapbatch_test::write_file(dir / "x.jpg", std::string("\xFF\xD8\xFF\xE0", 4) + "rest");
    Photo photo;
    char problem[kPhotoProblemSize];
    EXPECT_FALSE(read_photo((dir / "x.jpg").c_str(), Channel::kBlue, &photo, problem));
    EXPECT_NE(std::strstr(problem, "libjpeg"), nullptr) << problem;
}
#endif

// ---------------------------------------------------------------------------------------------
// TIFF and PNG: the same picture as the BMP, pixel for pixel, in every layout the writers make.

using gapbatch_test::Layout;

#if defined(SKYGAP_HAVE_TIFF) || defined(SKYGAP_HAVE_PNG)
// Reads PATH and returns its 8-bit grey levels (and, for 16 bits, its samples in WIDE).
std::vector<std::uint8_t> grey_of(const std::string& path, Channel ch, PhotoInfo* info,
                                  std::vector<std::uint16_t>* wide = nullptr) {
    Photo photo;
    char problem[kPhotoProblemSize] = "";
    EXPECT_TRUE(read_photo(path.c_str(), ch, &photo, problem)) << path << ": " << problem;
    if (photo.bmp.data == nullptr) return {};
    *info = photo.info;
    if (wide != nullptr) *wide = photo.wide;
    return std::vector<std::uint8_t>(
        photo.bmp.data,
        photo.bmp.data + std::size_t(photo.bmp.width) * std::size_t(photo.bmp.height));
}

TEST(Photo, TiffAndPngReadAsTheBmp) {
    ScratchDir dir;
    const int w = 37, h = 29;  // partial tiles and strips at the right and bottom edges
    gapbatch_test::write_bmp(dir / "c.bmp", w, h, 24, false, pattern);
    gapbatch_test::write_bmp(dir / "g.bmp", w, h, 8, false, pattern);  // grey: the red value
    struct File {
        std::string name;
        Layout layout;
        bool interlaced;
    };
    std::vector<File> files;
#ifdef SKYGAP_HAVE_TIFF
    for (int bits : {8, 16}) {
        for (int n : {1, 3, 4}) {
            for (int shape = 0; shape < 4; ++shape) {
                Layout l;
                l.bits = bits;
                l.components = n;
                l.tiled = shape & 1;
                l.planes = (shape & 2) != 0;
                files.push_back({"t" + std::to_string(files.size()) + ".tif", l, false});
            }
        }
    }
    Layout white;
    white.components = 1;
    white.white_is_zero = true;
    files.push_back({"white.tif", white, false});
#endif
#ifdef SKYGAP_HAVE_PNG
    for (int bits : {8, 16})
        for (int n : {1, 3, 4})
            for (bool interlaced : {false, true}) {
                Layout l;
                l.bits = bits;
                l.components = n;
                files.push_back({"p" + std::to_string(files.size()) + ".png", l, interlaced});
            }
#endif
    for (const File& f : files) {
        const std::string path = dir / f.name;
#ifdef SKYGAP_HAVE_TIFF
        if (f.name.back() == 'f') gapbatch_test::write_tiff(path, w, h, f.layout, pattern);
#endif
#ifdef SKYGAP_HAVE_PNG
        if (f.name.back() == 'g')
            gapbatch_test::write_png(path, w, h, f.layout, pattern, f.interlaced);
#endif
        const bool grey = f.layout.components == 1;
        for (Channel ch : {Channel::kBlue, Channel::kGreen, Channel::kRed, Channel::kLuma}) {
            PhotoInfo ref_info, info;
            const std::vector<std::uint8_t> ref =
                grey_of(dir / (grey ? "g.bmp" : "c.bmp"), ch, &ref_info);
            std::vector<std::uint16_t> wide;
            const std::vector<std::uint8_t> got = grey_of(path, ch, &info, &wide);
            ASSERT_EQ(got.size(), ref.size()) << f.name;
            EXPECT_EQ(info.colour, !grey) << f.name;
            EXPECT_EQ(info.depth, f.layout.bits) << f.name;
            if (f.layout.bits == 8) {
                EXPECT_EQ(got, ref) << f.name << " channel " << int(ch);
                EXPECT_TRUE(wide.empty());
                continue;
            }
            // 16 bits: every sample is the 8-bit one times 257, and the 8-bit view is exact.
            ASSERT_EQ(wide.size(), ref.size()) << f.name;
            EXPECT_EQ(got, ref) << f.name << " channel " << int(ch);
            std::size_t wrong = 0;
            for (std::size_t k = 0; k < ref.size(); ++k) {
                // Luma of the 16-bit samples rounds on its own: within one of 257 x the 8-bit.
                const int want = 257 * ref[k];
                wrong += ch == Channel::kLuma ? std::abs(int(wide[k]) - want) > 257 / 2
                                              : int(wide[k]) != want;
            }
            EXPECT_EQ(wrong, 0u) << f.name << " channel " << int(ch);
        }
        PhotoInfo probed;
        char problem[kPhotoProblemSize];
        ASSERT_TRUE(probe_photo(path.c_str(), &probed, problem)) << problem;
        EXPECT_EQ(probed.width, w);
        EXPECT_EQ(probed.height, h);
        EXPECT_EQ(probed.depth, f.layout.bits);
        EXPECT_EQ(probed.format, f.name.back() == 'f' ? PhotoFormat::kTiff : PhotoFormat::kPng);

        // Cut short: refused, never read as a picture with made-up pixels.
        const std::string whole = gapbatch_test::read_file(path);
        gapbatch_test::write_file(dir / ("cut_" + f.name), whole.substr(0, whole.size() * 2 / 3));
        Photo photo;
        EXPECT_FALSE(read_photo((dir / ("cut_" + f.name)).c_str(), Channel::kBlue, &photo, problem))
            << f.name;
        EXPECT_NE(std::strstr(problem, "not a readable"), nullptr) << f.name << ": " << problem;
    }
}
#endif

#if defined(SKYGAP_HAVE_RAW) && defined(SKYGAP_HAVE_TIFF)
// A raw camera file made here: a DNG of 16-bit photosites behind an RGGB colour filter, red and
// green at 500 x K, blue at (1000 + 300 q) x K in blocks of 8 x 8 photosites (q = 0 to 3).
void write_dng(const std::string& path, int w, int h, int k) {
    TIFF* t = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(t, nullptr);
    TIFFSetField(t, TIFFTAG_SUBFILETYPE, 0);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, std::uint32_t(w));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, std::uint32_t(h));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_CFA);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, std::uint32_t(h));
    TIFFSetField(t, TIFFTAG_MAKE, "Skygap");
    TIFFSetField(t, TIFFTAG_MODEL, "Test");
    const std::uint16_t dim[2] = {2, 2};
    TIFFSetField(t, TIFFTAG_CFAREPEATPATTERNDIM, dim);
    const std::uint8_t pattern_rggb[4] = {0, 1, 1, 2};
    TIFFSetField(t, TIFFTAG_CFAPATTERN, 4, pattern_rggb);
    const std::uint8_t version[4] = {1, 4, 0, 0};
    TIFFSetField(t, TIFFTAG_DNGVERSION, version);
    TIFFSetField(t, TIFFTAG_UNIQUECAMERAMODEL, "Skygap Test");
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    TIFFSetField(t, TIFFTAG_COLORMATRIX1, 9, identity);
    std::vector<std::uint16_t> row(std::size_t(w), 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const bool blue = y % 2 == 1 && x % 2 == 1;
            row[std::size_t(x)] =
                std::uint16_t(k * (blue ? 1000 + 300 * ((x / 8 + y / 8) % 4) : 500));
        }
        TIFFWriteScanline(t, row.data(), std::uint32_t(y), 0);
    }
    TIFFClose(t);
}

// The blue channel of a raw file is linear: at every blue photosite the count itself (no white
// balance, no gamma curve, no brightening), and twice the light gives twice the value
// everywhere, so that a threshold chosen on one exposure scales with it.
TEST(Photo, RawFilesAreReadLinear) {
    ScratchDir dir;
    const int w = 64, h = 48;
    write_dng(dir / "a.dng", w, h, 1);
    write_dng(dir / "b.dng", w, h, 2);
    Photo a, b;
    char problem[kPhotoProblemSize];
    ASSERT_TRUE(read_photo((dir / "a.dng").c_str(), Channel::kBlue, &a, problem)) << problem;
    ASSERT_TRUE(read_photo((dir / "b.dng").c_str(), Channel::kBlue, &b, problem)) << problem;
    EXPECT_EQ(a.info.format, PhotoFormat::kRaw);
    EXPECT_TRUE(a.info.linear);
    EXPECT_TRUE(a.info.colour);
    ASSERT_EQ(a.depth(), 16);
    ASSERT_EQ(a.bmp.width, w);
    ASSERT_EQ(a.bmp.height, h);
    for (int y = 1; y < h; y += 2)
        for (int x = 1; x < w; x += 2)
            EXPECT_EQ(a.wide[std::size_t(y * w + x)], 1000 + 300 * ((x / 8 + y / 8) % 4));
    for (std::size_t k = 0; k < a.wide.size(); ++k)
        EXPECT_NEAR(b.wide[k], 2 * a.wide[k], 1) << k;  // rounding of the interpolation only
    // The same file under a TIFF name: a colour filter array is no picture the TIFF reader takes.
    gapbatch_test::write_file(dir / "a.tif", gapbatch_test::read_file(dir / "a.dng"));
    EXPECT_FALSE(read_photo((dir / "a.tif").c_str(), Channel::kBlue, &a, problem));
    EXPECT_NE(std::strstr(problem, "photometric 32803"), nullptr) << problem;
}
#endif

TEST(Photo, ReadersTheBuildHas) {
    const std::string readers = compiled_readers();
    EXPECT_EQ(readers.compare(0, 3, "BMP"), 0);
    EXPECT_EQ(readers.find("TIFF (libtiff ") != std::string::npos, tiff_supported());
    EXPECT_EQ(readers.find("PNG (libpng ") != std::string::npos, png_supported());
    EXPECT_EQ(readers.find("raw (LibRaw ") != std::string::npos, raw_supported());
#ifdef SKYGAP_HAVE_TIFF
    EXPECT_TRUE(tiff_supported());
#else
    EXPECT_FALSE(tiff_supported());
#endif

    // A format the build lacks, or a damaged raw file, is refused with the reason.
    ScratchDir dir;
    Photo photo;
    char problem[kPhotoProblemSize];
    gapbatch_test::write_file(dir / "x.nef", "not a raw file at all, only words");
    EXPECT_FALSE(read_photo((dir / "x.nef").c_str(), Channel::kBlue, &photo, problem));
    EXPECT_NE(std::strstr(problem, raw_supported() ? "LibRaw reads" : "without LibRaw"), nullptr)
        << problem;
    gapbatch_test::write_file(dir / "x.tif", std::string("II*\0", 4) + "rest of nothing");
    EXPECT_FALSE(read_photo((dir / "x.tif").c_str(), Channel::kBlue, &photo, problem));
    EXPECT_NE(std::strstr(problem, tiff_supported() ? "not a readable TIFF" : "without libtiff"),
              nullptr)
        << problem;
    gapbatch_test::write_file(dir / "x.png", std::string("\x89PNG\r\n\x1a\n", 8) + "rest");
    EXPECT_FALSE(read_photo((dir / "x.png").c_str(), Channel::kBlue, &photo, problem));
    EXPECT_NE(std::strstr(problem, png_supported() ? "not a readable PNG" : "without libpng"),
              nullptr)
        << problem;
}

TEST(Photo, RefusalsBeforeAnyPhotographIsRead) {
    EXPECT_EQ(threshold_problem(0, 8), nullptr);
    EXPECT_EQ(threshold_problem(255, 8), nullptr);
    EXPECT_NE(threshold_problem(256, 8), nullptr);
    EXPECT_NE(threshold_problem(-1, 8), nullptr);
    EXPECT_NE(threshold_problem(300, 8), nullptr);  // the all-canopy threshold
    EXPECT_EQ(threshold_problem(300, 16), nullptr);
    EXPECT_EQ(threshold_problem(65535, 16), nullptr);
    EXPECT_NE(threshold_problem(65536, 16), nullptr);
    EXPECT_NE(threshold_problem(-5, 16), nullptr);

    PhotoInfo grey, colour;
    colour.colour = true;
    EXPECT_EQ(channel_problem(Channel::kBlue, false, grey), nullptr);  // the default: its grey
    EXPECT_EQ(channel_problem(Channel::kLuma, true, grey), nullptr);   // grey is its own luma
    EXPECT_NE(channel_problem(Channel::kRed, true, grey), nullptr);
    EXPECT_NE(channel_problem(Channel::kBlue, true, grey), nullptr);
    for (Channel ch : {Channel::kBlue, Channel::kGreen, Channel::kRed, Channel::kLuma})
        EXPECT_EQ(channel_problem(ch, true, colour), nullptr);

    // The header alone tells the colour: an 8-bit BMP is grey, a 24-bit one colour.
    ScratchDir dir;
    gapbatch_test::write_bmp(dir / "g.bmp", 6, 4, 8, false, pattern);
    gapbatch_test::write_bmp(dir / "c.bmp", 6, 4, 24, true, pattern);
    PhotoInfo info;
    char problem[kPhotoProblemSize];
    ASSERT_TRUE(probe_photo((dir / "g.bmp").c_str(), &info, problem)) << problem;
    EXPECT_FALSE(info.colour);
    EXPECT_EQ(info.width, 6);
    ASSERT_TRUE(probe_photo((dir / "c.bmp").c_str(), &info, problem)) << problem;
    EXPECT_TRUE(info.colour);
    EXPECT_EQ(info.height, 4);
    EXPECT_EQ(info.format, PhotoFormat::kBmp);
    EXPECT_EQ(info.depth, 8);
}

}  // namespace
}  // namespace skyimage
