// skyimage: reading photographs into one grey level per pixel.
//
// An 8-bit BMP keeps its stored values (palette indices) as grey levels, as the interactive
// analysis reads it. A 24- or 32-bit BMP and a JPEG photograph are reduced to the chosen colour
// channel: blue (the usual choice under a canopy, where sky and leaves differ most), green, red,
// or luma (ITU-R BT.601 weights 0.299 R + 0.587 G + 0.114 B, rounded).
#pragma once

#include <cstdint>
#include <string>

#include "skyimage/bitmap.h"

namespace skyimage {

enum class Channel { kBlue, kGreen, kRed, kLuma };

// One photograph in the bitmap record: one grey level per pixel, the top row of the picture
// first, in `data` (width x height bytes). The record owns its buffers.
struct Photo {
    t_Bitmap bmp{};
    Photo() = default;
    ~Photo() { release(&bmp); }
    Photo(const Photo&) = delete;
    Photo& operator=(const Photo&) = delete;
};

constexpr int kPhotoProblemSize = 200;

// Reads PATH (BMP or JPEG, told apart by their first bytes); an 8-bit BMP through read_bmp, as
// the interactive analysis reads it. On failure returns false, leaving the record as it was, with a short phrase in
// PROBLEM ("cannot be opened", "is a 16-bit BMP; ...").
bool read_photo(const char* path, Channel channel, Photo* photo, char (&problem)[kPhotoProblemSize]);

// True when this build reads JPEG photographs.
bool jpeg_supported();

// The photograph formats this build reads, for a program's --version: "BMP, JPEG (libjpeg 62)".
std::string compiled_readers();

// The channel's grey level of one pixel.
std::uint8_t channel_value(Channel channel, std::uint8_t red, std::uint8_t green,
                           std::uint8_t blue);

}  // namespace skyimage
