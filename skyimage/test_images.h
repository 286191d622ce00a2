// Photographs made inside the tests: colour BMP files of any layout, JPEG files, a scratch
// folder.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#ifdef SKYGAP_HAVE_JPEG
#include <jpeglib.h>
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

}  // namespace gapbatch_test
