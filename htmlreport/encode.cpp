// The thumbnail's files: an 8-bit palette BMP, written here, and an 8-bit palette PNG through
// libpng when the build has it.
#include <csetjmp>
#include <cstring>

#include "htmlreport/thumbnail.h"

#ifdef SKYGAP_HAVE_PNG
#include <png.h>
#endif

namespace htmlreport {

namespace {

void put16(std::uint8_t* p, unsigned v) {
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}

void put32(std::uint8_t* p, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) p[k] = std::uint8_t(v >> (8 * k));
}

}  // namespace

bool write_palette_bmp(std::FILE* out, const Thumbnail& t) {
    if (t.width <= 0 || t.height <= 0 ||
        t.pixels.size() != std::size_t(t.width) * std::size_t(t.height))
        return false;
    const std::uint32_t stride = (std::uint32_t(t.width) + 3u) & ~3u;
    const std::uint32_t offset = 14 + 40 + 4 * kPaletteSize;
    const std::uint32_t image = stride * std::uint32_t(t.height);
    std::uint8_t head[14 + 40] = {};
    head[0] = 'B';
    head[1] = 'M';
    put32(head + 2, offset + image);
    put32(head + 10, offset);
    put32(head + 14, 40);
    put32(head + 18, std::uint32_t(t.width));
    put32(head + 22, std::uint32_t(t.height));  // positive: bottom-up rows
    put16(head + 26, 1);
    put16(head + 28, 8);
    put32(head + 34, image);
    put32(head + 38, 2835);  // 72 dots per inch
    put32(head + 42, 2835);
    put32(head + 46, kPaletteSize);
    if (std::fwrite(head, 1, sizeof head, out) != sizeof head) return false;
    std::uint8_t palette[4 * kPaletteSize];
    for (int i = 0; i < kPaletteSize; ++i) {
        std::uint8_t rgb[3];
        palette_rgb(i, rgb);
        palette[4 * i] = rgb[2];  // blue, green, red, reserved
        palette[4 * i + 1] = rgb[1];
        palette[4 * i + 2] = rgb[0];
        palette[4 * i + 3] = 0;
    }
    if (std::fwrite(palette, 1, sizeof palette, out) != sizeof palette) return false;
    std::vector<std::uint8_t> row(stride, 0);
    for (int y = t.height - 1; y >= 0; --y) {
        std::memcpy(row.data(), t.pixels.data() + std::size_t(y) * std::size_t(t.width),
                    std::size_t(t.width));
        if (std::fwrite(row.data(), 1, stride, out) != stride) return false;
    }
    return true;
}

#ifdef SKYGAP_HAVE_PNG

namespace {

// libpng reports errors by longjmp; only trivially destructible objects live across it here.
bool write_png_rows(std::FILE* out, const Thumbnail& t, png_color* palette, png_bytep* rows) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, out);
    png_set_IHDR(png, info, png_uint_32(t.width), png_uint_32(t.height), 8, PNG_COLOR_TYPE_PALETTE,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_PLTE(png, info, palette, kPaletteSize);
    png_set_compression_level(png, 9);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool write_palette_png(std::FILE* out, const Thumbnail& t) {
    if (t.width <= 0 || t.height <= 0 ||
        t.pixels.size() != std::size_t(t.width) * std::size_t(t.height))
        return false;
    png_color palette[kPaletteSize];
    for (int i = 0; i < kPaletteSize; ++i) {
        std::uint8_t rgb[3];
        palette_rgb(i, rgb);
        palette[i].red = rgb[0];
        palette[i].green = rgb[1];
        palette[i].blue = rgb[2];
    }
    std::vector<png_bytep> rows(std::size_t(t.height));
    for (int y = 0; y < t.height; ++y)
        rows[std::size_t(y)] =
            const_cast<png_bytep>(t.pixels.data() + std::size_t(y) * std::size_t(t.width));
    return write_png_rows(out, t, palette, rows.data()) && std::ferror(out) == 0;
}

const char* thumbnail_extension() { return "png"; }

#else

bool write_palette_png(std::FILE*, const Thumbnail&) { return false; }

const char* thumbnail_extension() { return "bmp"; }

#endif

}  // namespace htmlreport
