// The bitmap record: BMP input and output, extraction of the sky disc, thresholding.
#include "skyimage/bitmap.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

namespace skyimage {

namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kHeadersSize = kFileHeaderSize + kInfoHeaderSize;  // 54

std::uint16_t get16(const unsigned char* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
std::uint32_t get32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}
void put16(unsigned char* p, std::uint16_t v) {
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}
void put32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i));
}

// Fill bytes that pad a row of W pixels to a multiple of 4 bytes.
int fill_bytes(std::int64_t w) { return int((4 - w % 4) % 4); }

// Position of the palette: behind the info header, whose known longer forms (up to 124 bytes)
// are skipped; any other size is taken as the 40-byte header.
std::uint32_t palette_position(std::uint32_t header_size) {
    return header_size > kInfoHeaderSize && header_size <= 124 ? kFileHeaderSize + header_size
                                                               : kHeadersSize;
}

}  // namespace

LoadStatus read_bmp(t_Bitmap* bmp, const char* path, char (&problem)[kProblemSize]) {
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return LoadStatus::kCannotOpen;
    bmp->file = f;
    auto fail = [&](LoadStatus status) {
        std::fclose(f);
        bmp->file = nullptr;
        return status;
    };
    std::int64_t file_length = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) file_length = std::ftell(f);
    std::rewind(f);

    unsigned char h[kHeadersSize];
    const std::size_t got = std::fread(h, 1, sizeof h, f);
    if (got < 30) {  // up to bitCount
        std::snprintf(problem, kProblemSize, "the file ends inside its BMP header");
        return fail(LoadStatus::kProblem);
    }
    t_Bitmap b = *bmp;
    b.fileType = get16(h + 0);
    b.fileSize = get32(h + 2);
    b.reserved1 = get16(h + 6);
    b.reserved2 = get16(h + 8);
    b.pixelOffset = get32(h + 10);
    b.headerSize = get32(h + 14);
    b.width = std::int32_t(get32(h + 18));
    b.height = std::int32_t(get32(h + 22));
    b.planes = get16(h + 26);
    b.bitCount = get16(h + 28);
    bmp->bitCount = b.bitCount;
    if (b.bitCount != 8) return fail(LoadStatus::kNot8Bit);
    if (got < kHeadersSize) {
        std::snprintf(problem, kProblemSize, "the file ends inside its BMP header");
        return fail(LoadStatus::kProblem);
    }
    b.compression = get32(h + 30);
    b.imageSize = get32(h + 34);
    b.xPixelsPerMetre = std::int32_t(get32(h + 38));
    b.yPixelsPerMetre = std::int32_t(get32(h + 42));
    b.coloursUsed = get32(h + 46);
    b.coloursImportant = get32(h + 50);

    if (b.width <= 0 || b.height == 0 || b.height == INT32_MIN) {
        std::snprintf(problem, kProblemSize, "the image has no usable size (%d x %d pixels)",
                      int(b.width), int(b.height));
        return fail(LoadStatus::kProblem);
    }
    const bool top_down = b.height < 0;
    const std::int64_t w = b.width, rows = top_down ? -std::int64_t(b.height) : b.height;
    if (w * rows > kMaxPhotoPixels) {
        std::snprintf(problem, kProblemSize,
                      "the image of %lld x %lld pixels is larger than the %lld pixels a "
                      "photograph may have",
                      (long long)w, (long long)rows, (long long)kMaxPhotoPixels);
        return fail(LoadStatus::kProblem);
    }
    if (b.coloursUsed > kMaxPaletteEntries) {
        std::snprintf(problem, kProblemSize,
                      "the palette lists %u entries; an 8-bit image has at most %u",
                      unsigned(b.coloursUsed), unsigned(kMaxPaletteEntries));
        return fail(LoadStatus::kProblem);
    }

    const std::int64_t palette_at = palette_position(b.headerSize);
    const std::int64_t palette_end = palette_at + 4 * std::int64_t(b.coloursUsed);
    if (palette_end > file_length) {
        std::snprintf(problem, kProblemSize, "the file ends before its %u palette entries",
                      unsigned(b.coloursUsed));
        return fail(LoadStatus::kProblem);
    }
    // A pixel offset pointing into the headers or palette cannot be meant: the rows then
    // follow the palette directly.
    const std::int64_t rows_at = b.pixelOffset >= palette_end ? b.pixelOffset : palette_end;
    const std::int64_t row_bytes = w + fill_bytes(w);
    // The last row's fill bytes may be missing without loss.
    if (rows_at + row_bytes * (rows - 1) + w > file_length) {
        std::snprintf(problem, kProblemSize,
                      "the file ends before its %lld rows of %lld pixels", (long long)rows,
                      (long long)w);
        return fail(LoadStatus::kProblem);
    }

    std::uint32_t* palette = nullptr;
    if (b.coloursUsed != 0) {
        palette = new std::uint32_t[b.coloursUsed];
        std::fseek(f, long(palette_at), SEEK_SET);
        for (std::uint32_t k = 0; k < b.coloursUsed; ++k) {
            unsigned char e[4] = {0, 0, 0, 0};
            if (std::fread(e, 1, 4, f) != 4) break;  // cannot happen: the length was checked
            palette[k] = get32(e);
        }
    }
    std::uint8_t* data = new std::uint8_t[std::size_t(w * rows)];
    std::fseek(f, long(rows_at), SEEK_SET);
    bool short_read = false;
    for (std::int64_t k = 0; k < rows && !short_read; ++k) {
        // File rows run bottom-up unless the height is negative; the buffer is top-down.
        const std::int64_t r = top_down ? k : rows - 1 - k;
        short_read = std::fread(data + r * w, 1, std::size_t(w), f) != std::size_t(w);
        unsigned char skip[3];
        if (k + 1 < rows && fill_bytes(w) != 0)
            short_read = short_read || std::fread(skip, 1, std::size_t(fill_bytes(w)), f) !=
                                           std::size_t(fill_bytes(w));
    }
    if (short_read) {
        delete[] palette;
        delete[] data;
        std::snprintf(problem, kProblemSize, "the pixel rows cannot be read");
        return fail(LoadStatus::kProblem);
    }
    std::fclose(f);
    b.file = nullptr;
    b.height = std::int32_t(rows);
    delete[] bmp->palette;
    delete[] bmp->data;
    b.palette = palette;
    b.data = data;
    *bmp = b;
    return LoadStatus::kOk;
}

Circle circle_through(int x1, int y1, int x2, int y2, int x3, int y3) {
    Circle c;
    for (int v : {x1, y1, x2, y2, x3, y3})
        if (v > kMaxPointCoordinate || v < -kMaxPointCoordinate) return c;
    // Perpendicular bisectors: integer squares (exact within the coordinate bound), then the
    // halving and the solution in double precision.
    const std::int64_t X1 = x1, Y1 = y1, X2 = x2, Y2 = y2, X3 = x3, Y3 = y3;
    const double a1 = double(x1 - x2), b1 = double(y1 - y2);
    const double c1 = double(X2 * X2 - X1 * X1 + Y2 * Y2 - Y1 * Y1) / 2;
    const double a2 = double(x1 - x3), b2 = double(y1 - y3);
    const double c2 = double(X3 * X3 - X1 * X1 + Y3 * Y3 - Y1 * Y1) / 2;
    const double det = a1 * b2 - b1 * a2;
    if (det == 0) {
        c.collinear = true;
        return c;
    }
    const double cx = (b1 * c2 - c1 * b2) / det;
    const double cy = (c1 * a2 - a1 * c2) / det;
    if (!(std::fabs(cx) < 1 << 30) || !(std::fabs(cy) < 1 << 30)) return c;
    c.cx = int(cx);
    c.cy = int(cy);
    const std::int64_t ex = X3 - c.cx, ey = Y3 - c.cy;
    c.radius = std::sqrt(double(ex * ex + ey * ey));
    square_around(&c);
    return c;
}

void square_around(Circle* c) {
    // Beyond this the square could not be usable; bounding it first keeps every conversion below
    // within range (NaN fails the comparison too).
    if (!(std::fabs(c->radius) <= double(kMaxSquare))) {
        c->x0 = c->y0 = c->w = c->h = 0;
        c->usable = false;
        return;
    }
    c->x0 = std::int64_t(c->cx - c->radius);
    c->y0 = std::int64_t(c->cy - c->radius);
    c->w = std::int64_t(c->cx + c->radius) - c->x0;
    c->h = std::int64_t(c->cy + c->radius) - c->y0;
    c->usable = c->w >= 2 && c->h >= 2 && c->w <= kMaxSquare && c->h <= kMaxSquare;
}

bool crop(t_Bitmap* bmp, std::int64_t x0, std::int64_t y0, int w, int h) {
    std::uint8_t* out = new (std::nothrow) std::uint8_t[std::size_t(w) * std::size_t(h)];
    if (out == nullptr) return false;
    const std::int64_t old_w = bmp->width, old_h = bmp->height;
    // Columns of the square that fall inside the source: [lo, hi) in square coordinates.
    const std::int64_t lo = std::min<std::int64_t>(w, std::max<std::int64_t>(0, -x0));
    const std::int64_t hi = std::max(lo, std::min<std::int64_t>(w, old_w - x0));
    for (std::int64_t j = 0; j < h; ++j) {
        std::uint8_t* row = out + j * w;
        const std::int64_t sy = y0 + j;
        if (sy < 0 || sy >= old_h || hi == lo) {
            std::memset(row, 0, std::size_t(w));
            continue;
        }
        std::memset(row, 0, std::size_t(lo));
        std::memcpy(row + lo, bmp->data + sy * old_w + x0 + lo, std::size_t(hi - lo));
        std::memset(row + hi, 0, std::size_t(w - hi));
    }
    delete[] bmp->data;
    bmp->data = out;
    bmp->width = w;
    bmp->height = h;
    bmp->imageSize = std::uint32_t(h) * std::uint32_t(w + fill_bytes(w));
    bmp->fileSize = bmp->imageSize + bmp->pixelOffset;
    return true;
}

void threshold_pixels(t_Bitmap* bmp, int threshold) {
    const std::size_t n = std::size_t(bmp->width) * std::size_t(bmp->height);
    std::uint8_t* p = bmp->data;
    for (std::size_t k = 0; k < n; ++k) p[k] = p[k] > threshold ? 255 : 0;
}

bool write_bmp(std::FILE* out, const t_Bitmap& bmp) {
    const std::int64_t w = bmp.width;
    const std::uint32_t rows_at = kHeadersSize + 4 * bmp.coloursUsed;
    const bool own_layout = bmp.headerSize == kInfoHeaderSize && bmp.pixelOffset == rows_at;
    const std::uint32_t image_size = std::uint32_t(bmp.height) * std::uint32_t(w + fill_bytes(w));
    unsigned char h[kHeadersSize];
    put16(h + 0, bmp.fileType);
    put32(h + 2, own_layout ? bmp.fileSize : rows_at + image_size);
    put16(h + 6, bmp.reserved1);
    put16(h + 8, bmp.reserved2);
    put32(h + 10, own_layout ? bmp.pixelOffset : rows_at);
    put32(h + 14, own_layout ? bmp.headerSize : kInfoHeaderSize);
    put32(h + 18, std::uint32_t(bmp.width));
    put32(h + 22, std::uint32_t(bmp.height));
    put16(h + 26, bmp.planes);
    put16(h + 28, bmp.bitCount);
    put32(h + 30, bmp.compression);
    put32(h + 34, own_layout ? bmp.imageSize : image_size);
    put32(h + 38, std::uint32_t(bmp.xPixelsPerMetre));
    put32(h + 42, std::uint32_t(bmp.yPixelsPerMetre));
    put32(h + 46, bmp.coloursUsed);
    put32(h + 50, bmp.coloursImportant);

    bool ok = std::fwrite(h, 1, sizeof h, out) == sizeof h;
    for (std::uint32_t k = 0; ok && bmp.palette != nullptr && k < bmp.coloursUsed; ++k) {
        unsigned char e[4];
        put32(e, bmp.palette[k]);
        ok = std::fwrite(e, 1, 4, out) == 4;
    }
    const unsigned char zeros[3] = {0, 0, 0};
    const std::size_t fill = std::size_t(fill_bytes(w));
    for (std::int64_t r = bmp.height - 1; ok && r >= 0; --r) {
        ok = std::fwrite(bmp.data + r * w, 1, std::size_t(w), out) == std::size_t(w) &&
             std::fwrite(zeros, 1, fill, out) == fill;
    }
    return ok;
}

bool write_grey_bmp(std::FILE* out, int w, int h, const std::uint8_t* pixels) {
    std::uint32_t palette[256];
    for (std::uint32_t v = 0; v < 256; ++v) palette[v] = v | v << 8 | v << 16;
    t_Bitmap b{};
    b.fileType = 0x4d42;  // "BM"
    b.pixelOffset = kHeadersSize + 4 * 256;
    b.headerSize = kInfoHeaderSize;
    b.width = w;
    b.height = h;
    b.planes = 1;
    b.bitCount = 8;
    b.imageSize = std::uint32_t(h) * std::uint32_t(w + fill_bytes(w));
    b.fileSize = b.pixelOffset + b.imageSize;
    b.xPixelsPerMetre = b.yPixelsPerMetre = 2835;  // 72 dots per inch
    b.coloursUsed = b.coloursImportant = 256;
    b.palette = palette;
    b.data = const_cast<std::uint8_t*>(pixels);  // only read
    return write_bmp(out, b);
}

void adopt_pixels(t_Bitmap* bmp, std::uint8_t* data, int w, int h) {
    delete[] bmp->data;
    delete[] bmp->palette;
    bmp->data = data;
    bmp->palette = nullptr;
    bmp->width = w;
    bmp->height = h;
    bmp->bitCount = 8;
    bmp->coloursUsed = 0;
    bmp->headerSize = 40;
    bmp->pixelOffset = 54;
    bmp->imageSize = std::uint32_t(h) * (std::uint32_t(w + 3) / 4 * 4);
    bmp->fileSize = bmp->imageSize + bmp->pixelOffset;
}

void release(t_Bitmap* bmp) {
    delete[] bmp->name;
    delete[] bmp->palette;
    delete[] bmp->data;
    bmp->name = nullptr;
    bmp->palette = nullptr;
    bmp->data = nullptr;
}

}  // namespace skyimage
