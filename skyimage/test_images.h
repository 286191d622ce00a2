// Photographs made inside the tests: colour BMP files of any layout, JPEG files, a scratch
// folder.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#ifdef SKYGAP_HAVE_JPEG
#include <jpeglib.h>
#endif
#ifdef SKYGAP_HAVE_TIFF
#include <tiffio.h>
#endif
#ifdef SKYGAP_HAVE_PNG
#include <png.h>
#endif

namespace gapbatch_test {

struct Rgb {
    std::uint8_t r, g, b;
};
using PixelFn = std::function<Rgb(int col, int row)>;

// A fresh folder under /tmp, removed with its files when the object goes.
class ScratchDir {
   public:
    ScratchDir() {
        char name[] = "/tmp/gapbatch_test_XXXXXX";
        path_ = mkdtemp(name) != nullptr ? name : "/tmp";
    }
    ~ScratchDir() {
        const std::string command = "rm -rf '" + path_ + "'";
        if (path_ != "/tmp" && std::system(command.c_str()) != 0) std::perror("rm");
    }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

   private:
    std::string path_;
};

inline void put(std::vector<std::uint8_t>* out, std::uint32_t v, int bytes) {
    for (int k = 0; k < bytes; ++k) out->push_back(std::uint8_t(v >> (8 * k)));
}

// A BMP of BITS (8: the red value as palette index; 16, 24, 32), bottom-up unless TOP_DOWN.
inline void write_bmp(const std::string& path, int w, int h, int bits, bool top_down,
                      const PixelFn& pixel, std::uint32_t compression = 0) {
    const int palette = bits == 8 ? 256 : 0;
    const std::uint32_t stride = std::uint32_t((w * bits / 8 + 3) / 4 * 4);
    const std::uint32_t offset = 54 + 4 * std::uint32_t(palette);
    std::vector<std::uint8_t> f = {'B', 'M'};
    put(&f, offset + stride * std::uint32_t(h), 4);
    put(&f, 0, 4);
    put(&f, offset, 4);
    put(&f, 40, 4);
    put(&f, std::uint32_t(w), 4);
    put(&f, std::uint32_t(top_down ? -h : h), 4);
    put(&f, 1, 2);
    put(&f, std::uint32_t(bits), 2);
    put(&f, compression, 4);
    put(&f, stride * std::uint32_t(h), 4);
    put(&f, 2835, 4);
    put(&f, 2835, 4);
    put(&f, std::uint32_t(palette), 4);
    put(&f, 0, 4);
    for (int v = 0; v < palette; ++v) put(&f, std::uint32_t(v * 0x010101), 4);
    for (int k = 0; k < h; ++k) {
        const int row = top_down ? k : h - 1 - k;
        const std::size_t start = f.size();
        for (int c = 0; c < w; ++c) {
            const Rgb p = pixel(c, row);
            if (bits == 8) f.push_back(p.r);
            if (bits == 16) put(&f, 0, 2);
            if (bits >= 24) {
                f.push_back(p.b);
                f.push_back(p.g);
                f.push_back(p.r);
            }
            if (bits == 32) f.push_back(0);
        }
        while (f.size() - start < stride) f.push_back(0xEE);  // fill bytes are ignored
    }
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return;
    std::fwrite(f.data(), 1, f.size(), out);
    std::fclose(out);
}

inline void write_file(const std::string& path, const std::string& bytes) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return;
    std::fwrite(bytes.data(), 1, bytes.size(), out);
    std::fclose(out);
}

inline std::string read_file(const std::string& path) {
    std::string data;
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) return data;
    char buf[65536];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, in)) > 0;) data.append(buf, n);
    std::fclose(in);
    return data;
}

#ifdef SKYGAP_HAVE_JPEG
// A baseline JPEG (COMPONENTS 3: RGB, 1: grey from the red value).
inline void write_jpeg(const std::string& path, int w, int h, int components, int quality,
                       const PixelFn& pixel) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return;
    jpeg_compress_struct info;
    jpeg_error_mgr err;
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, out);
    info.image_width = JDIMENSION(w);
    info.image_height = JDIMENSION(h);
    info.input_components = components;
    info.in_color_space = components == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<std::uint8_t> row(std::size_t(w) * std::size_t(components));
    for (int r = 0; r < h; ++r) {
        for (int c = 0; c < w; ++c) {
            const Rgb p = pixel(c, r);
            if (components == 3) {
                row[std::size_t(c) * 3] = p.r;
                row[std::size_t(c) * 3 + 1] = p.g;
                row[std::size_t(c) * 3 + 2] = p.b;
            } else {
                row[std::size_t(c)] = p.r;
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(out);
}
#endif

// How a TIFF or PNG test file is laid out. Samples are the picture's 8-bit values times SCALE
// (1 for 8 bits, 257 for 16 bits: 255 becomes 65535).
struct Layout {
    int bits = 8;                // 8 or 16
    int components = 3;          // 1: grey from the red value; 3: RGB; 4: RGB and alpha 0
    bool tiled = false;          // TIFF: 16 x 16 tiles instead of strips
    bool planes = false;         // TIFF: one plane per sample
    bool white_is_zero = false;  // TIFF grey: stored as 255 - value
    int scale() const { return bits == 16 ? 257 : 1; }
};

inline std::uint32_t sample_of(const Rgb& p, int k, const Layout& l) {
    const std::uint8_t v = k == 0 ? p.r : k == 1 ? p.g : k == 2 ? p.b : 0;
    const std::uint32_t value = l.white_is_zero ? 255u - v : v;
    return value * std::uint32_t(l.scale());
}

#ifdef SKYGAP_HAVE_TIFF
inline void write_tiff(const std::string& path, int w, int h, const Layout& l,
                       const PixelFn& pixel) {
    TIFF* t = TIFFOpen(path.c_str(), "w");
    if (t == nullptr) return;
    const int n = l.components;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, std::uint32_t(w));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, std::uint32_t(h));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, std::uint16_t(l.bits));
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, std::uint16_t(n));
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC,
                 n >= 3 ? PHOTOMETRIC_RGB
                        : (l.white_is_zero ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK));
    if (n == 4) {
        const std::uint16_t extra[1] = {EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, extra);
    }
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, l.planes ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    const int bytes = l.bits / 8;
    auto put_sample = [&](std::vector<std::uint8_t>* buf, std::size_t at, std::uint32_t v) {
        if (bytes == 1) {
            (*buf)[at] = std::uint8_t(v);
        } else {
            const std::uint16_t s = std::uint16_t(v);
            std::memcpy(buf->data() + 2 * at, &s, 2);  // native order, as libtiff expects
        }
    };
    const int passes = l.planes ? n : 1, per = l.planes ? 1 : n;
    if (l.tiled) {
        const int tw = 16;
        TIFFSetField(t, TIFFTAG_TILEWIDTH, std::uint32_t(tw));
        TIFFSetField(t, TIFFTAG_TILELENGTH, std::uint32_t(tw));
        std::vector<std::uint8_t> tile(std::size_t(tw * tw * per * bytes));
        for (int s = 0; s < passes; ++s)
            for (int y0 = 0; y0 < h; y0 += tw)
                for (int x0 = 0; x0 < w; x0 += tw) {
                    std::fill(tile.begin(), tile.end(), 0);
                    for (int y = y0; y < std::min(h, y0 + tw); ++y)
                        for (int x = x0; x < std::min(w, x0 + tw); ++x)
                            for (int k = 0; k < per; ++k)
                                put_sample(&tile, std::size_t(((y - y0) * tw + (x - x0)) * per + k),
                                           sample_of(pixel(x, y), l.planes ? s : k, l));
                    TIFFWriteTile(t, tile.data(), std::uint32_t(x0), std::uint32_t(y0), 0,
                                  std::uint16_t(s));
                }
    } else {
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, std::uint32_t(3));
        std::vector<std::uint8_t> line(std::size_t(w * per * bytes));
        for (int s = 0; s < passes; ++s)
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x)
                    for (int k = 0; k < per; ++k)
                        put_sample(&line, std::size_t(x * per + k),
                                   sample_of(pixel(x, y), l.planes ? s : k, l));
                TIFFWriteScanline(t, line.data(), std::uint32_t(y), std::uint16_t(s));
            }
    }
    TIFFClose(t);
}
#endif

#ifdef SKYGAP_HAVE_PNG
inline void write_png(const std::string& path, int w, int h, const Layout& l, const PixelFn& pixel,
                      bool interlaced = false) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, out);
    const int n = l.components;
    const int type = n == 1   ? PNG_COLOR_TYPE_GRAY
                     : n == 3 ? PNG_COLOR_TYPE_RGB
                              : PNG_COLOR_TYPE_RGBA;
    png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), l.bits, type,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    const int bytes = l.bits / 8;
    std::vector<std::vector<std::uint8_t>> rows(
        std::size_t(h), std::vector<std::uint8_t>(std::size_t(w * n * bytes)));
    std::vector<png_bytep> pointers;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            for (int k = 0; k < n; ++k) {
                const std::uint32_t v = sample_of(pixel(x, y), k, l);
                const std::size_t at = std::size_t((x * n + k) * bytes);
                if (bytes == 1) {
                    rows[std::size_t(y)][at] = std::uint8_t(v);
                } else {  // most significant byte first
                    rows[std::size_t(y)][at] = std::uint8_t(v >> 8);
                    rows[std::size_t(y)][at + 1] = std::uint8_t(v);
                }
            }
        pointers.push_back(rows[std::size_t(y)].data());
    }
    png_set_rows(png, info, pointers.data());
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(out);
}
#endif

}  // namespace gapbatch_test
