// TIFF photographs through libtiff: 8 or 16 bits per sample, grey (black or white is zero) or
// RGB (also JPEG-compressed YCbCr, decoded to RGB), in strips or tiles, samples interleaved or
// in planes; extra samples (alpha) are ignored. The orientation tag is not applied: the pixels
// are taken in their stored order, as the JPEG reader takes them.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "photo_readers.h"

#ifdef SKYGAP_HAVE_TIFF
#include <tiffio.h>
#endif

namespace skyimage {
namespace detail {

#ifdef SKYGAP_HAVE_TIFF
namespace {

// The first error libtiff reports on this file; warnings are let pass silently.
struct TiffMessages {
    char text[120] = "";
};

int tiff_error(TIFF*, void* user_data, const char*, const char* format, va_list args) {
    TiffMessages* m = static_cast<TiffMessages*>(user_data);
    if (m->text[0] == '\0') std::vsnprintf(m->text, sizeof m->text, format, args);
    return 1;  // handled: nothing reaches the process-wide handlers
}

int tiff_warning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffFile {
    TIFF* tif = nullptr;
    ~TiffFile() {
        if (tif != nullptr) TIFFClose(tif);
    }
};

// The samples of the picture, W x H pixels of N samples (1 grey or 3 RGB) each, interleaved,
// whatever the file's layout. False when libtiff fails to read a strip or tile.
template <typename T>
bool read_samples(TIFF* tif, std::int64_t w, std::int64_t h, int spp, bool planes, int n,
                  std::vector<T>* out) {
    out->assign(std::size_t(w * h * n), 0);
    const int passes = planes ? n : 1;  // in planes: one pass per sample used
    const int stride = planes ? 1 : spp;
    if (TIFFIsTiled(tif)) {
        std::uint32_t tw = 0, th = 0;
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &th);
        const tmsize_t size = TIFFTileSize(tif);
        if (tw == 0 || th == 0 || size <= 0 ||
            std::int64_t(size) < std::int64_t(tw) * th * stride * std::int64_t(sizeof(T)))
            return false;
        std::vector<T> tile(std::size_t(size) / sizeof(T) + 1);
        for (int s = 0; s < passes; ++s) {
            for (std::int64_t y0 = 0; y0 < h; y0 += th) {
                for (std::int64_t x0 = 0; x0 < w; x0 += tw) {
                    if (TIFFReadTile(tif, tile.data(), std::uint32_t(x0), std::uint32_t(y0), 0,
                                     std::uint16_t(s)) < 0)
                        return false;
                    for (std::int64_t y = y0; y < std::min<std::int64_t>(h, y0 + th); ++y) {
                        const T* src = tile.data() + (y - y0) * tw * stride;
                        T* dst = out->data() + (y * w + x0) * n;
                        for (std::int64_t x = x0; x < std::min<std::int64_t>(w, x0 + tw);
                             ++x, src += stride, dst += n) {
                            if (planes) {
                                dst[s] = src[0];
                            } else {
                                for (int k = 0; k < n; ++k) dst[k] = src[k];
                            }
                        }
                    }
                }
            }
        }
        return true;
    }
    const tmsize_t size = TIFFScanlineSize(tif);
    if (size <= 0 || std::int64_t(size) < w * stride * std::int64_t(sizeof(T))) return false;
    std::vector<T> line(std::size_t(size) / sizeof(T) + 1);
    for (int s = 0; s < passes; ++s) {
        for (std::int64_t y = 0; y < h; ++y) {
            if (TIFFReadScanline(tif, line.data(), std::uint32_t(y), std::uint16_t(s)) < 0)
                return false;
            const T* src = line.data();
            T* dst = out->data() + y * w * n;
            for (std::int64_t x = 0; x < w; ++x, src += stride, dst += n) {
                if (planes) {
                    dst[s] = src[0];
                } else {
                    for (int k = 0; k < n; ++k) dst[k] = src[k];
                }
            }
        }
    }
    return true;
}

// Reads the picture's samples and reduces them to CHANNEL, into a grey picture of T.
template <typename T>
bool read_grey(TIFF* tif, std::int64_t w, std::int64_t h, int spp, bool planes, bool rgb,
               bool white_is_zero, Channel channel, std::vector<T>* grey) {
    const int n = rgb ? 3 : 1;
    std::vector<T> samples;
    if (!read_samples<T>(tif, w, h, spp, planes, n, &samples)) return false;
    if (!rgb) {
        if (white_is_zero) {
            const T top = T(~T(0));
            for (T& v : samples) v = T(top - v);
        }
        *grey = std::move(samples);
        return true;
    }
    grey->resize(std::size_t(w * h));
    for (std::int64_t y = 0; y < h; ++y)
        extract_row<T>(channel, samples.data() + y * w * 3, 3, 0, 1, 2, grey->data() + y * w, w);
    return true;
}

}  // namespace

bool read_tiff(const char* path, Channel channel, Photo* photo, PhotoInfo* info, Problem problem) {
    TiffMessages messages;
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options == nullptr) {
        std::snprintf(problem, kPhotoProblemSize, "cannot be read (no memory)");
        return false;
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options, tiff_error, &messages);
    TIFFOpenOptionsSetWarningHandlerExtR(options, tiff_warning, nullptr);
    TiffFile file;
    file.tif = TIFFOpenExt(path, "r", options);
    TIFFOpenOptionsFree(options);
    if (file.tif == nullptr) {
        std::snprintf(problem, kPhotoProblemSize, "is not a readable TIFF photograph (%s)",
                      messages.text);
        return false;
    }
    TIFF* tif = file.tif;
    std::uint32_t w = 0, h = 0;
    std::uint16_t bits = 0, spp = 0, planar = 0, format = 0, photometric = 0, compression = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric) != 1) {
        std::snprintf(problem, kPhotoProblemSize, "is a TIFF without a colour interpretation");
        return false;
    }
    if (bits != 8 && bits != 16) {
        std::snprintf(problem, kPhotoProblemSize,
                      "is a %d-bit TIFF; 8- and 16-bit TIFF photographs are read", int(bits));
        return false;
    }
    if (format != SAMPLEFORMAT_UINT) {
        std::snprintf(problem, kPhotoProblemSize,
                      "is a TIFF of signed or floating-point samples; whole numbers from 0 are "
                      "read");
        return false;
    }
    bool rgb = false;
    if (photometric == PHOTOMETRIC_YCBCR && compression == COMPRESSION_JPEG) {
        TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);  // libtiff decodes to RGB
        rgb = true;
    } else if (photometric == PHOTOMETRIC_RGB) {
        rgb = true;
    } else if (photometric != PHOTOMETRIC_MINISBLACK && photometric != PHOTOMETRIC_MINISWHITE) {
        std::snprintf(problem, kPhotoProblemSize,
                      "is a TIFF in a colour space other than grey or RGB (photometric %d)",
                      int(photometric));
        return false;
    }
    if (spp < (rgb ? 3 : 1)) {
        std::snprintf(problem, kPhotoProblemSize, "is a TIFF with %d samples per pixel", int(spp));
        return false;
    }
    *info = PhotoInfo{};
    info->format = PhotoFormat::kTiff;
    info->width = int(std::min<std::uint32_t>(w, 0x7fffffff));
    info->height = int(std::min<std::uint32_t>(h, 0x7fffffff));
    info->depth = bits;
    info->colour = rgb;
    if (!usable_size(w, h, problem)) return false;
    if (photo == nullptr) return true;
    const bool planes = planar == PLANARCONFIG_SEPARATE && spp > 1;
    const bool white = photometric == PHOTOMETRIC_MINISWHITE;
    bool ok = false;
    if (bits == 8) {
        std::vector<std::uint8_t> grey;
        ok = read_grey<std::uint8_t>(tif, w, h, spp, planes, rgb, white, channel, &grey);
        if (ok) {
            std::unique_ptr<std::uint8_t[]> pixels(new std::uint8_t[grey.size()]);
            std::memcpy(pixels.get(), grey.data(), grey.size());
            adopt_grey(photo, std::move(pixels), int(w), int(h), *info);
        }
    } else {
        std::vector<std::uint16_t> grey;
        ok = read_grey<std::uint16_t>(tif, w, h, spp, planes, rgb, white, channel, &grey);
        if (ok) adopt_wide(photo, std::move(grey), int(w), int(h), *info);
    }
    if (!ok) {
        std::snprintf(problem, kPhotoProblemSize, "is not a readable TIFF photograph (%s)",
                      messages.text[0] != '\0' ? messages.text : "its pixels cannot be read");
        return false;
    }
    return true;
}

std::string tiff_version() {
    // "LIBTIFF, Version 4.5.0\n...": the number after "Version ".
    const char* text = TIFFGetVersion();
    const char* v = text != nullptr ? std::strstr(text, "Version ") : nullptr;
    if (v == nullptr) return "?";
    v += 8;
    std::string number;
    while (*v != '\0' && *v != '\n' && *v != ' ') number += *v++;
    return number;
}

#else

bool read_tiff(const char*, Channel, Photo*, PhotoInfo*, Problem problem) {
    std::snprintf(problem, kPhotoProblemSize,
                  "is a TIFF photograph, but this program was built without libtiff (install "
                  "libtiff-dev and rebuild)");
    return false;
}

std::string tiff_version() { return std::string(); }

#endif

}  // namespace detail
}  // namespace skyimage
