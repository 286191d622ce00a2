// Reading photographs into one grey level per pixel, and writing 8-bit greyscale BMP files.
//
// An 8-bit BMP keeps its stored values (palette indices) as grey levels, as the interactive
// analysis reads it. A 24- or 32-bit BMP and a JPEG photograph are reduced to the chosen colour
// channel: blue (the usual choice under a canopy, where sky and leaves differ most), green, red,
// or luma (ITU-R BT.601 weights 0.299 R + 0.587 G + 0.114 B, rounded).
#pragma once

#include <cstdint>

#include "bitmap.h"

namespace gapbatch {

enum class Channel { kBlue, kGreen, kRed, kLuma };

// One photograph in gapimage's bitmap record: one grey level per pixel, the top row of the
// picture first, in `data` (width x height bytes). The record owns its buffers.
struct Photo {
    t_Bitmap bmp{};
    Photo() = default;
    ~Photo() { BMPRelease(&bmp); }
    Photo(const Photo&) = delete;
    Photo& operator=(const Photo&) = delete;
};

constexpr int kProblemSize = 200;
constexpr std::int64_t kMaxPhotoPixels = std::int64_t(1) << 28;

// Reads PATH (BMP or JPEG, told apart by their first bytes); an 8-bit BMP through gapimage's
// reader. On failure returns false, leaving the record as it was, with a short phrase in
// PROBLEM ("cannot be opened", "is a 16-bit BMP; ...").
bool read_photo(const char* path, Channel channel, Photo* photo, char (&problem)[kProblemSize]);

// True when this build reads JPEG photographs.
bool jpeg_supported();

// The channel's grey level of one pixel.
std::uint8_t channel_value(Channel channel, std::uint8_t red, std::uint8_t green,
                           std::uint8_t blue);

// Gives the record the W x H grey buffer DATA (allocated with new[]) in place of its pixels
// and palette, with header fields that describe it.
void adopt_pixels(t_Bitmap* bmp, std::uint8_t* data, int w, int h);

// Writes a W x H image (top row first) as an 8-bit BMP with a 256-level grey palette.
// Returns false when the file cannot be created or completely written.
bool write_grey_bmp(const char* path, int w, int h, const std::uint8_t* pixels);

}  // namespace gapbatch
