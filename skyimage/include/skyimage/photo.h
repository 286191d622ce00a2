// skyimage: reading photographs into one grey level per pixel.
//
// An 8-bit BMP keeps its stored values (palette indices) as grey levels, as the interactive
// analysis reads it. A colour photograph (24- or 32-bit BMP, JPEG, TIFF, PNG, raw camera file)
// is reduced to the chosen colour channel: blue (the usual choice under a canopy, where sky and
// leaves differ most), green, red, or luma (ITU-R BT.601 weights 0.299 R + 0.587 G + 0.114 B,
// rounded). A grey photograph has one channel, which every choice reads.
//
// TIFF and PNG files of 16 bits per sample are kept at 16 bits, and so are raw camera files:
// their blue channel is read linear (proportional to the light, no gamma curve, no white
// balance), so that the threshold is chosen on linear values (Macfarlane et al. 2014, Agric.
// For. Meteorol. 197:244, "Digital canopy photography: exposed and in the raw").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "skyimage/bitmap.h"

namespace skyimage {

enum class Channel { kBlue, kGreen, kRed, kLuma };

enum class PhotoFormat { kBmp, kJpeg, kTiff, kPng, kRaw };

// What a photograph file holds, from its header.
struct PhotoInfo {
    PhotoFormat format = PhotoFormat::kBmp;
    int width = 0, height = 0;
    int depth = 8;        // bits per sample as read: 8, or 16 (sample values 0..65535)
    bool colour = false;  // red, green and blue; false for one grey level per pixel
    bool linear = false;  // raw camera data: values proportional to the light
};

// One photograph in the bitmap record: one grey level per pixel, the top row of the picture
// first, in `bmp.data` (width x height bytes). A 16-bit photograph keeps its samples in `wide`
// (width x height, top row first) and holds in `bmp.data` the 8-bit view round(v * 255 / 65535)
// of them; its threshold and histogram are those of `wide` (depth.h). The record owns its
// buffers.
struct Photo {
    t_Bitmap bmp{};
    std::vector<std::uint16_t> wide;  // depth 16 only; empty for an 8-bit photograph
    PhotoInfo info;
    Photo() = default;
    ~Photo() { release(&bmp); }
    Photo(const Photo&) = delete;
    Photo& operator=(const Photo&) = delete;
    int depth() const { return info.depth; }
};

constexpr int kPhotoProblemSize = 200;

// Reads PATH (BMP, JPEG, PNG and TIFF told apart by their first bytes; raw camera files by their
// name's ending or, failing every other format, by the raw reader); an 8-bit BMP through
// read_bmp, as the interactive analysis reads it. On failure returns false, leaving the record
// as it was, with a short phrase in PROBLEM ("cannot be opened", "is a 16-bit BMP; ...").
bool read_photo(const char* path, Channel channel, Photo* photo,
                char (&problem)[kPhotoProblemSize]);

// Reads only what the header of PATH says (format, size, depth, colour), for refusals made
// before any photograph is analysed. False with PROBLEM as read_photo. The size of a raw file is
// the sensor's; processing may stretch pixels that are not square.
bool probe_photo(const char* path, PhotoInfo* info, char (&problem)[kPhotoProblemSize]);

// Which readers this build has.
bool jpeg_supported();
bool tiff_supported();
bool png_supported();
bool raw_supported();

// The photograph formats this build reads, for a program's --version:
// "BMP, JPEG (libjpeg 62), TIFF (libtiff 4.5.0), PNG (libpng 1.6.39), raw (LibRaw 0.20.2)".
std::string compiled_readers();

// The channel's grey level of one pixel.
std::uint8_t channel_value(Channel channel, std::uint8_t red, std::uint8_t green,
                           std::uint8_t blue);
std::uint16_t channel_value16(Channel channel, std::uint16_t red, std::uint16_t green,
                              std::uint16_t blue);

// ---------------------------------------------------------------------------------------------
// Refusals a front end makes before any photograph is analysed. Each returns null when all is
// well, or the reason as a phrase.

// A fixed THRESHOLD outside the sample range of a photograph of DEPTH bits: 0..255 or 0..65535.
// (0 leaves only the darkest level as canopy; the top of the range makes every pixel canopy.)
const char* threshold_problem(long long threshold, int depth);

// A colour channel the photograph does not have. A grey photograph is read as it is for the
// default channel (CHOSEN false) and for luma, its grey being its luma; a red, green or blue
// channel asked for explicitly (CHOSEN true) is refused, since the file has none.
const char* channel_problem(Channel channel, bool chosen, const PhotoInfo& info);

// Name of a format, for messages: "BMP", "JPEG", "TIFF", "PNG", "raw".
const char* format_name(PhotoFormat format);

}  // namespace skyimage
