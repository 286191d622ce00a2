// Reading photographs: BMP layouts and depths, colour channels, JPEG, and the refusals.
#include "skyimage/photo.h"

#include <gtest/gtest.h>

#include <cstring>

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

}  // namespace
}  // namespace skyimage
