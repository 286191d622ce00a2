// skyimage: one 8-bit image in memory as the suite holds a photograph, its BMP file, and the
// cut that turns a photograph into the working image of its sky disc.
//
// Image coordinates: column x from the left edge, row y from the top edge of the picture as
// displayed, both from 0; pixel (x, y) is byte y * width + x of `data`. The working image is the
// bounding square of the sky disc: the disc is centred on column width/2 and row height/2
// (integer halving) with a radius of width/2 pixels; a pixel of value 0 is canopy, any other
// value sky (gap).
#pragma once

#include <cstdint>
#include <cstdio>

namespace skyimage {

// An 8-bit BMP image with its header fields as the file holds them (little-endian on disk).
struct t_Bitmap {
    char* name;  // copy of the file name last loaded or saved, or null
    std::int32_t lensType;  // 1 equidistant (polar), 2 orthographic; anything else: no analysis
    std::FILE* file;        // open only while a file is read or written
    std::uint16_t fileType;
    std::uint32_t fileSize;
    std::uint16_t reserved1;
    std::uint16_t reserved2;
    std::uint32_t pixelOffset;
    std::uint32_t headerSize;
    std::int32_t width;
    std::int32_t height;  // kept positive in memory; a top-down file is read into the same order
    std::uint16_t planes;
    std::uint16_t bitCount;
    std::uint32_t compression;
    std::uint32_t imageSize;
    std::int32_t xPixelsPerMetre;
    std::int32_t yPixelsPerMetre;
    std::uint32_t coloursUsed;
    std::uint32_t coloursImportant;
    std::uint32_t* palette;  // coloursUsed entries as read, or null
    std::uint8_t* data;      // width x height bytes, top row first, no fill bytes
};

// Releases the name, palette and pixels of the record and sets them to null.
void release(t_Bitmap* bmp);

// The most pixels a photograph read into memory may have (every reader refuses more), and the
// most palette entries an 8-bit BMP may list.
constexpr std::int64_t kMaxPhotoPixels = std::int64_t(1) << 28;
constexpr std::uint32_t kMaxPaletteEntries = 256;

// Reads a BMP file into the record. The pixel rows are read from pixelOffset (directly behind
// the palette when pixelOffset points into the headers), so longer info headers and unlisted
// palettes are skipped correctly; a top-down file (negative height) is stored top row first
// like any other, with a positive height. kNot8Bit leaves bitCount set to the file's. On
// kProblem the problem is written to PROBLEM as a short phrase: among others, an image of more
// than kMaxPhotoPixels pixels or a palette of more than kMaxPaletteEntries entries, refused
// before anything is allocated. The record's palette and pixels are replaced only on success.
enum class LoadStatus { kOk, kCannotOpen, kNot8Bit, kProblem };
constexpr int kProblemSize = 160;
LoadStatus read_bmp(t_Bitmap* bmp, const char* path, char (&problem)[kProblemSize]);

// Writes the record to OUT as a BMP file: the 54 header bytes, the palette and bottom-up rows
// padded with zero bytes to a multiple of 4. The header fields are written as held, except where
// the record came from a file laid out otherwise (longer info header, rows elsewhere): the file
// then describes its own layout, so that it reads back correctly. Returns false when a write
// fails.
bool write_bmp(std::FILE* out, const t_Bitmap& bmp);

// Writes a W x H image (top row first) to OUT as an 8-bit BMP with a 40-byte info header, a
// 256-level grey palette whose entry i is (i, i, i, 0) and 72 dots per inch. Returns false when a
// write fails.
bool write_grey_bmp(std::FILE* out, int w, int h, const std::uint8_t* pixels);

// Gives the record the W x H grey buffer DATA (allocated with new[]) in place of its pixels and
// palette, with header fields that describe it.
void adopt_pixels(t_Bitmap* bmp, std::uint8_t* data, int w, int h);

// ---------------------------------------------------------------------------------------------
// The sky disc and the working image.

// The circle through three typed points, and its bounding square in source coordinates.
struct Circle {
    bool collinear = false;  // det = 0: no circle
    bool usable = false;     // a square of 2 to kMaxSquare pixels a side
    int cx = 0, cy = 0;      // centre, truncated toward zero
    double radius = 0;
    std::int64_t x0 = 0, y0 = 0;  // top-left corner of the square
    std::int64_t w = 0, h = 0;    // its width and height
};
constexpr std::int64_t kMaxSquare = 32768;
constexpr int kMaxPointCoordinate = 1 << 24;

// Centre from the perpendicular bisectors (integer squares, then double precision), truncated
// toward zero; radius the distance from that centre to the third point.
Circle circle_through(int x1, int y1, int x2, int y2, int x3, int y3);

// Sets the bounding square of C's centre and radius (bounds truncated toward zero) and usable.
// Any radius is safe: one that is not a number, infinite or beyond kMaxSquare in size gives no
// square (usable false, bounds 0).
void square_around(Circle* c);

// Replaces the record's pixels with the W x H square whose top-left corner is source column X0,
// row Y0 (pixels outside the source become 0) and updates width, height, imageSize, fileSize.
// Returns false, leaving the record unchanged, when the buffer cannot be allocated.
bool crop(t_Bitmap* bmp, std::int64_t x0, std::int64_t y0, int w, int h);

// Binarises the pixels: above THRESHOLD 255, otherwise 0.
void threshold_pixels(t_Bitmap* bmp, int threshold);

}  // namespace skyimage
