// Reading photographs into one grey level per pixel, and writing 8-bit greyscale BMP files.
//
// An 8-bit BMP keeps its stored values (palette indices) as grey levels, as the interactive
// analysis reads it. A 24- or 32-bit BMP and a JPEG photograph are reduced to the chosen colour
// channel: blue (the usual choice under a canopy, where sky and leaves differ most), green, red,
// or luma (ITU-R BT.601 weights 0.299 R + 0.587 G + 0.114 B, rounded).
#pragma once

#include <cstdint>
#include <vector>

namespace gapbatch {

enum class Channel { kBlue, kGreen, kRed, kLuma };

// One grey level per pixel, the top row of the picture first.
struct Photo {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> grey;
};

constexpr int kProblemSize = 200;
constexpr std::int64_t kMaxPhotoPixels = std::int64_t(1) << 28;

// Reads PATH (BMP or JPEG, told apart by their first bytes). On failure returns false with a
// short phrase in PROBLEM ("cannot be opened", "is a 16-bit BMP; ...").
bool read_photo(const char* path, Channel channel, Photo* photo, char (&problem)[kProblemSize]);

// True when this build reads JPEG photographs.
bool jpeg_supported();

// The channel's grey level of one pixel.
std::uint8_t channel_value(Channel channel, std::uint8_t red, std::uint8_t green,
                           std::uint8_t blue);

// Writes a W x H image (top row first) as an 8-bit BMP with a 256-level grey palette.
// Returns false when the file cannot be created or completely written.
bool write_grey_bmp(const char* path, int w, int h, const std::uint8_t* pixels);

}  // namespace gapbatch
