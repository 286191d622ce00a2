#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "answers.h"
#include "photo_format.h"

namespace {

using gapimage::PhotoFormat;

// ---------------------------------------------------------------------------------------------
// Answers: the photograph's name is a whole line, a point "x y" or "x,y".

// Input streams of given text, read by the dialogue's answer functions.
struct Input {
    std::FILE* in = std::tmpfile();
    std::FILE* sink = std::tmpfile();
    explicit Input(const std::string& text) {
        std::fputs(text.c_str(), in);
        std::rewind(in);
    }
    ~Input() {
        std::fclose(in);
        std::fclose(sink);
    }
    cli::Io io() const { return {in, sink, sink}; }
};

TEST(Answers, ThePhotoNameIsTheWholeLineWithoutTheBlanksAroundIt) {
    Input a("  my photo 2.bmp \t\r\n1\n");
    EXPECT_EQ(gapimage::ask_line(a.io()), "my photo 2.bmp");
    EXPECT_EQ(gapimage::ask_int(a.io()), 1);  // the next answer starts on the next line
    Input b("\n\n   \nname.bmp");             // blank lines are skipped; no line feed at the end
    EXPECT_EQ(gapimage::ask_line(b.io()), "name.bmp");
    Input c(" \n \n");
    EXPECT_THROW(gapimage::ask_line(c.io()), gapimage::DialogueEnded);
}

TEST(Answers, APointIsTwoNumbersWithOrWithoutAComma) {
    Input a("1136,98\n4 20\n  40 , 7\n-3,\n-4\n");
    int x = 0, y = 0;
    gapimage::ask_point(a.io(), &x, &y);
    EXPECT_EQ(x, 1136);
    EXPECT_EQ(y, 98);
    gapimage::ask_point(a.io(), &x, &y);
    EXPECT_EQ(x, 4);
    EXPECT_EQ(y, 20);
    gapimage::ask_point(a.io(), &x, &y);
    EXPECT_EQ(x, 40);
    EXPECT_EQ(y, 7);
    gapimage::ask_point(a.io(), &x, &y);
    EXPECT_EQ(x, -3);
    EXPECT_EQ(y, -4);
    Input b("7,x");  // a comma does not make a word a number
    EXPECT_THROW(gapimage::ask_point(b.io(), &x, &y), gapimage::DialogueEnded);
    Input c("7,");
    EXPECT_THROW(gapimage::ask_point(c.io(), &x, &y), gapimage::DialogueEnded);
}

// ---------------------------------------------------------------------------------------------
// Photographs gapimage cannot read.

PhotoFormat format_of(const std::string& bytes) {
    return gapimage::photo_format(reinterpret_cast<const unsigned char*>(bytes.data()),
                                  bytes.size());
}

TEST(PhotoFormat, TheFirstBytesNameTheFormat) {
    EXPECT_EQ(format_of("BM\x36\x04"), PhotoFormat::kBmp);
    EXPECT_EQ(format_of(std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF", 10)), PhotoFormat::kJpeg);
    EXPECT_EQ(format_of(std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16)), PhotoFormat::kPng);
    EXPECT_EQ(format_of(std::string("II*\0\x08\0\0\0", 8)), PhotoFormat::kTiff);
    EXPECT_EQ(format_of(std::string("MM\0*\0\0\0\x08", 8)), PhotoFormat::kTiff);
    // Near misses and short heads are unknown.
    EXPECT_EQ(format_of("GIF89a"), PhotoFormat::kUnknown);
    EXPECT_EQ(format_of("B"), PhotoFormat::kUnknown);
    EXPECT_EQ(format_of("\xFF\xD8"), PhotoFormat::kUnknown);
    EXPECT_EQ(format_of("\x89PNG\r\n"), PhotoFormat::kUnknown);
    EXPECT_EQ(format_of(std::string("II*", 3)), PhotoFormat::kUnknown);
    EXPECT_EQ(format_of(""), PhotoFormat::kUnknown);
}

TEST(PhotoFormat, AdviceNamesTheFormatAndTheWayToAnalyseIt) {
    using gapimage::unreadable_photo_advice;
    EXPECT_EQ(unreadable_photo_advice("p.jpg", PhotoFormat::kJpeg, -1, true),
              "p.jpg is a JPEG photograph, but gapimage reads only 8-bit greyscale BMP; gapbatch "
              "reads it as it is: gapbatch --points X1,Y1,X2,Y2,X3,Y3 --threshold N p.jpg");
    // Without libjpeg in gapbatch, the conversion to a colour BMP.
    EXPECT_EQ(unreadable_photo_advice("p.jpg", PhotoFormat::kJpeg, -1, false),
              "p.jpg is a JPEG photograph, but gapimage reads only 8-bit greyscale BMP; convert "
              "it to a BMP that gapbatch reads: convert p.jpg -type TrueColor BMP3:p.bmp");
    EXPECT_NE(unreadable_photo_advice("d/p.png", PhotoFormat::kPng, -1, true)
                  .find("is a PNG image, but gapimage reads only 8-bit greyscale BMP; convert it "
                        "to a BMP that gapbatch reads: convert d/p.png -type TrueColor "
                        "BMP3:d/p.bmp"),
              std::string::npos);
    EXPECT_NE(unreadable_photo_advice("scan.tif", PhotoFormat::kTiff, -1, true).find("TIFF"),
              std::string::npos);
    // A colour BMP is read by gapbatch; a BMP of another depth is converted to a new name, never
    // onto itself.
    EXPECT_NE(unreadable_photo_advice("c.bmp", PhotoFormat::kBmp, 24, true)
                  .find("c.bmp is a 24-bit BMP, but gapimage reads only 8-bit greyscale BMP; "
                        "gapbatch reads it as it is"),
              std::string::npos);
    EXPECT_NE(unreadable_photo_advice("c.bmp", PhotoFormat::kBmp, 32, true).find("gapbatch --"),
              std::string::npos);
    EXPECT_NE(unreadable_photo_advice("c.bmp", PhotoFormat::kBmp, 4, true)
                  .find("convert c.bmp -type TrueColor BMP3:c-24bit.bmp"),
              std::string::npos);
    EXPECT_NE(unreadable_photo_advice("c", PhotoFormat::kBmp, 16, true).find("BMP3:c.bmp"),
              std::string::npos);
    EXPECT_NE(unreadable_photo_advice("a.b/c", PhotoFormat::kPng, -1, true).find("BMP3:a.b/c.bmp"),
              std::string::npos);
    // What gapimage reads, and what nobody recognises, get no advice.
    EXPECT_EQ(unreadable_photo_advice("g.bmp", PhotoFormat::kBmp, 8, true), "");
    EXPECT_EQ(unreadable_photo_advice("g.dat", PhotoFormat::kUnknown, -1, true), "");
}

// A name that the shell would split or expand is quoted in the advice's command.
TEST(PhotoFormat, NamesInTheAdviceAreShellWords) {
    EXPECT_EQ(gapimage::shell_word("plots/p1_2024-06.jpg"), "plots/p1_2024-06.jpg");
    EXPECT_EQ(gapimage::shell_word("my photo.jpg"), "'my photo.jpg'");
    EXPECT_EQ(gapimage::shell_word("it's $HOME.jpg"), "'it'\\''s $HOME.jpg'");
    EXPECT_EQ(gapimage::shell_word("-p.jpg"), "'-p.jpg'");  // still read as an option, but whole
    EXPECT_EQ(gapimage::shell_word(""), "''");
    EXPECT_NE(gapimage::unreadable_photo_advice("my photo.png", PhotoFormat::kPng, -1, true)
                  .find("convert 'my photo.png' -type TrueColor BMP3:'my photo.bmp'"),
              std::string::npos);
}

}  // namespace
