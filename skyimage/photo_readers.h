// The readers behind read_photo, one file each, and what they share. Private to skyimage.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "skyimage/photo.h"

namespace skyimage {
namespace detail {

using Problem = char (&)[kPhotoProblemSize];

// One channel of a row of W pixels whose samples lie STEP apart, red at R, green at G and blue
// at B from each pixel's first sample. The choice of channel is made once per row.
template <Channel C, typename T>
void extract_channel(const T* p, int step, int r, int g, int b, T* out, std::int64_t w) {
    for (std::int64_t c = 0; c < w; ++c, p += step) {
        if constexpr (C == Channel::kBlue) {
            out[c] = p[b];
        } else if constexpr (C == Channel::kGreen) {
            out[c] = p[g];
        } else if constexpr (C == Channel::kRed) {
            out[c] = p[r];
        } else {
            out[c] = T((299u * p[r] + 587u * p[g] + 114u * p[b] + 500u) / 1000u);
        }
    }
}

template <typename T>
void extract_row(Channel channel, const T* p, int step, int r, int g, int b, T* out,
                 std::int64_t w) {
    switch (channel) {
        case Channel::kBlue:
            extract_channel<Channel::kBlue>(p, step, r, g, b, out, w);
            return;
        case Channel::kGreen:
            extract_channel<Channel::kGreen>(p, step, r, g, b, out, w);
            return;
        case Channel::kRed:
            extract_channel<Channel::kRed>(p, step, r, g, b, out, w);
            return;
        case Channel::kLuma:
            extract_channel<Channel::kLuma>(p, step, r, g, b, out, w);
            return;
    }
}

// Hands an 8-bit W x H grey picture to the photograph.
void adopt_grey(Photo* photo, std::unique_ptr<std::uint8_t[]> grey, int w, int h,
                const PhotoInfo& info);

// Hands a 16-bit W x H grey picture to the photograph, with its 8-bit view.
void adopt_wide(Photo* photo, std::vector<std::uint16_t> wide, int w, int h, const PhotoInfo& info);

// True when W x H is a picture the suite can hold; otherwise writes the refusal.
bool usable_size(std::int64_t w, std::int64_t h, Problem problem);

// Each reader fills INFO from the header and, with a PHOTO, reads the pixels of CHANNEL into
// it. False with the reason in PROBLEM. Without the library the reader refuses the file.
bool read_tiff(const char* path, Channel channel, Photo* photo, PhotoInfo* info, Problem problem);
bool read_png(std::FILE* f, Channel channel, Photo* photo, PhotoInfo* info, Problem problem);
bool read_raw(const char* path, Channel channel, Photo* photo, PhotoInfo* info, Problem problem);

// The library versions for compiled_readers, or empty without the library.
std::string tiff_version();
std::string png_version();
std::string raw_version();

}  // namespace detail
}  // namespace skyimage
