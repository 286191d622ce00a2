#include "photo.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#ifdef SKYGAP_HAVE_JPEG
#include <jerror.h>
#include <jpeglib.h>
#endif

namespace gapbatch {

namespace {

std::uint32_t le32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}
std::uint16_t le16(const unsigned char* p) { return std::uint16_t(p[0] | p[1] << 8); }

void put32(unsigned char* p, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) p[k] = static_cast<unsigned char>(v >> (8 * k));
}
void put16(unsigned char* p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

struct File {
    std::FILE* f;
    ~File() {
        if (f != nullptr) std::fclose(f);
    }
};

enum class BmpKind { kFailed, kColourRead, kEightBit };

// Reads a 24- or 32-bit BMP into the record; an 8-bit one is only recognised.
BmpKind read_colour_bmp(std::FILE* f, Channel channel, Photo* photo,
                        char (&problem)[kProblemSize]) {
    unsigned char head[54];
    if (std::fread(head, 1, sizeof head, f) != sizeof head) {
        std::snprintf(problem, kProblemSize, "ends inside the BMP header");
        return BmpKind::kFailed;
    }
    const std::uint32_t offset = le32(head + 10);
    const std::int32_t width = std::int32_t(le32(head + 18));
    const std::int32_t stored_height = std::int32_t(le32(head + 22));
    const int bits = le16(head + 28);
    const std::uint32_t compression = le32(head + 30);
    if (bits != 8 && bits != 24 && bits != 32) {
        std::snprintf(problem, kProblemSize,
                      "is a %d-bit BMP; only 8-bit greyscale and 24- or 32-bit colour BMP "
                      "photographs are read",
                      bits);
        return BmpKind::kFailed;
    }
    // gapimage reads the rows of any 8-bit file as plain bytes; a compressed file would give
    // garbage, so it is refused here.
    if (compression != 0) {
        std::snprintf(problem, kProblemSize, "is a compressed BMP (compression code %u)",
                      unsigned(compression));
        return BmpKind::kFailed;
    }
    if (bits == 8) return BmpKind::kEightBit;  // the caller hands it to gapimage's reader
    const std::int64_t height =
        stored_height < 0 ? -std::int64_t(stored_height) : std::int64_t(stored_height);
    if (width <= 0 || height <= 0 || std::int64_t(width) * height > kMaxPhotoPixels) {
        std::snprintf(problem, kProblemSize, "has unusable dimensions %d x %d", int(width),
                      int(stored_height));
        return BmpKind::kFailed;
    }
    const std::int64_t stride = (std::int64_t(width) * bits / 8 + 3) / 4 * 4;
    if (std::fseek(f, 0, SEEK_END) != 0) {
        std::snprintf(problem, kProblemSize, "cannot be read");
        return BmpKind::kFailed;
    }
    const long size = std::ftell(f);
    if (offset < 54 || size < 0 || std::int64_t(offset) + stride * height > size) {
        std::snprintf(problem, kProblemSize, "ends before all %lld rows of pixels",
                      static_cast<long long>(height));
        return BmpKind::kFailed;
    }
    if (std::fseek(f, long(offset), SEEK_SET) != 0) {
        std::snprintf(problem, kProblemSize, "cannot be read");
        return BmpKind::kFailed;
    }
    std::unique_ptr<std::uint8_t[]> grey(
        new std::uint8_t[std::size_t(width) * std::size_t(height)]);
    std::vector<unsigned char> row(static_cast<std::size_t>(stride));
    const int step = bits / 8;  // 3 or 4 bytes: blue, green, red (, unused)
    for (std::int64_t k = 0; k < height; ++k) {
        if (std::fread(row.data(), 1, row.size(), f) != row.size()) {
            std::snprintf(problem, kProblemSize, "cannot be read");
            return BmpKind::kFailed;
        }
        // Rows are stored bottom row first unless the height is negative.
        const std::int64_t r = stored_height < 0 ? k : height - 1 - k;
        std::uint8_t* out = grey.get() + r * width;
        const unsigned char* p = row.data();
        for (int c = 0; c < width; ++c, p += step)
            out[c] = channel_value(channel, p[2], p[1], p[0]);
    }
    adopt_pixels(&photo->bmp, grey.release(), width, int(height));
    return BmpKind::kColourRead;
}

#ifdef SKYGAP_HAVE_JPEG
struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

void jpeg_fail(j_common_ptr info) {
    JpegError* e = reinterpret_cast<JpegError*>(info->err);
    std::longjmp(e->jump, 1);
}

// A warning (level -1) means corrupt or missing data that the library would paper over with
// grey: the photograph is refused rather than analysed with made-up pixels. Stray bytes
// between markers lose nothing and are let pass, as are trace messages (levels above 0).
void jpeg_message(j_common_ptr info, int level) {
    if (level < 0 && info->err->msg_code != JWRN_EXTRANEOUS_DATA) jpeg_fail(info);
}

// Everything the decoder touches after setjmp lives here, behind a pointer that does not
// change, so a longjmp from inside the library leaves it in a known state.
struct JpegJob {
    jpeg_decompress_struct info;
    JpegError error;
    std::vector<unsigned char> row;
    std::unique_ptr<std::uint8_t[]> grey;  // the decoded photograph, handed over when complete
    int width = 0, height = 0;
};

bool read_jpeg(std::FILE* f, Channel channel, char (&problem)[kProblemSize], JpegJob* job) {
    job->info.err = jpeg_std_error(&job->error.mgr);
    job->error.mgr.error_exit = jpeg_fail;
    job->error.mgr.emit_message = jpeg_message;
    if (setjmp(job->error.jump) != 0) {
        char message[JMSG_LENGTH_MAX];
        (*job->info.err->format_message)(reinterpret_cast<j_common_ptr>(&job->info), message);
        std::snprintf(problem, kProblemSize, "is not a readable JPEG photograph (%.150s)", message);
        jpeg_destroy_decompress(&job->info);
        return false;
    }
    jpeg_create_decompress(&job->info);
    jpeg_stdio_src(&job->info, f);
    jpeg_read_header(&job->info, TRUE);
    const bool grey = job->info.num_components == 1;
    if (!grey && job->info.jpeg_color_space != JCS_YCbCr && job->info.jpeg_color_space != JCS_RGB) {
        std::snprintf(problem, kProblemSize, "is a JPEG in a colour space other than RGB");
        jpeg_destroy_decompress(&job->info);
        return false;
    }
    job->info.out_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(&job->info);
    const std::int64_t w = job->info.output_width, h = job->info.output_height;
    if (w <= 0 || h <= 0 || w * h > kMaxPhotoPixels) {
        std::snprintf(problem, kProblemSize, "has unusable dimensions %lld x %lld",
                      static_cast<long long>(w), static_cast<long long>(h));
        jpeg_destroy_decompress(&job->info);
        return false;
    }
    job->grey.reset(new std::uint8_t[std::size_t(w * h)]);
    job->width = int(w);
    job->height = int(h);
    job->row.resize(std::size_t(w) * std::size_t(job->info.output_components));
    while (job->info.output_scanline < job->info.output_height) {
        std::uint8_t* out = job->grey.get() + std::int64_t(job->info.output_scanline) * w;
        JSAMPROW rows[1] = {job->row.data()};
        jpeg_read_scanlines(&job->info, rows, 1);
        if (grey) {
            std::memcpy(out, job->row.data(), std::size_t(w));
        } else {
            const unsigned char* p = job->row.data();
            for (std::int64_t c = 0; c < w; ++c, p += 3)
                out[c] = channel_value(channel, p[0], p[1], p[2]);
        }
    }
    jpeg_finish_decompress(&job->info);
    jpeg_destroy_decompress(&job->info);
    return true;
}
#endif

}  // namespace

bool jpeg_supported() {
#ifdef SKYGAP_HAVE_JPEG
    return true;
#else
    return false;
#endif
}

std::uint8_t channel_value(Channel channel, std::uint8_t red, std::uint8_t green,
                           std::uint8_t blue) {
    switch (channel) {
        case Channel::kBlue:
            return blue;
        case Channel::kGreen:
            return green;
        case Channel::kRed:
            return red;
        case Channel::kLuma:
            return std::uint8_t((299 * red + 587 * green + 114 * blue + 500) / 1000);
    }
    return blue;
}

bool read_photo(const char* path, Channel channel, Photo* photo, char (&problem)[kProblemSize]) {
    File file{std::fopen(path, "rb")};
    if (file.f == nullptr) {
        std::snprintf(problem, kProblemSize, "cannot be opened");
        return false;
    }
    unsigned char magic[3] = {0, 0, 0};
    const std::size_t got = std::fread(magic, 1, 3, file.f);
    std::rewind(file.f);
    if (got >= 2 && magic[0] == 'B' && magic[1] == 'M') {
        const BmpKind kind = read_colour_bmp(file.f, channel, photo, problem);
        if (kind != BmpKind::kEightBit) return kind == BmpKind::kColourRead;
        // An 8-bit file: read as gapimage reads it.
        char why[gapimage::kProblemSize] = "";
        switch (gapimage::read_bmp(&photo->bmp, path, why)) {
            case gapimage::LoadStatus::kOk:
                return true;
            case gapimage::LoadStatus::kCannotOpen:
                std::snprintf(problem, kProblemSize, "cannot be opened");
                return false;
            case gapimage::LoadStatus::kNot8Bit:
            case gapimage::LoadStatus::kProblem:
                break;
        }
        std::snprintf(problem, kProblemSize, "%s", why);
        return false;
    }
    if (got == 3 && magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF) {
#ifdef SKYGAP_HAVE_JPEG
        static JpegJob job;
        if (!read_jpeg(file.f, channel, problem, &job)) return false;
        adopt_pixels(&photo->bmp, job.grey.release(), job.width, job.height);
        return true;
#else
        std::snprintf(problem, kProblemSize,
                      "is a JPEG photograph, but this gapbatch was built without libjpeg "
                      "(install libjpeg-dev and rebuild), so it reads BMP photographs only");
        return false;
#endif
    }
    std::snprintf(problem, kProblemSize, "is neither a BMP nor a JPEG photograph");
    return false;
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

bool write_grey_bmp(const char* path, int w, int h, const std::uint8_t* pixels) {
    const std::uint32_t stride = std::uint32_t(w + 3) / 4 * 4;
    const std::uint32_t offset = 54 + 256 * 4;
    unsigned char head[54] = {'B', 'M'};
    put32(head + 2, offset + stride * std::uint32_t(h));
    put32(head + 10, offset);
    put32(head + 14, 40);
    put32(head + 18, std::uint32_t(w));
    put32(head + 22, std::uint32_t(h));
    put16(head + 26, 1);
    put16(head + 28, 8);
    put32(head + 34, stride * std::uint32_t(h));
    put32(head + 38, 2835);  // 72 dots per inch
    put32(head + 42, 2835);
    put32(head + 46, 256);
    put32(head + 50, 256);
    std::FILE* f = std::fopen(path, "wb");
    if (f == nullptr) return false;
    bool ok = std::fwrite(head, 1, sizeof head, f) == sizeof head;
    for (int v = 0; v < 256 && ok; ++v) {
        const unsigned char entry[4] = {std::uint8_t(v), std::uint8_t(v), std::uint8_t(v), 0};
        ok = std::fwrite(entry, 1, 4, f) == 4;
    }
    const unsigned char fill[3] = {0, 0, 0};
    for (int r = h - 1; r >= 0 && ok; --r) {
        ok = std::fwrite(pixels + std::size_t(r) * std::size_t(w), 1, std::size_t(w), f) ==
                 std::size_t(w) &&
             std::fwrite(fill, 1, stride - std::uint32_t(w), f) == stride - std::uint32_t(w);
    }
    ok = std::fflush(f) == 0 && ok && std::ferror(f) == 0;
    return std::fclose(f) == 0 && ok;
}

}  // namespace gapbatch
