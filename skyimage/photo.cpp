#include "skyimage/photo.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#ifdef SKYGAP_HAVE_JPEG
#include <jerror.h>
#include <jpeglib.h>
#endif

namespace skyimage {

namespace {

std::uint32_t le32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}
std::uint16_t le16(const unsigned char* p) { return std::uint16_t(p[0] | p[1] << 8); }

struct File {
    std::FILE* f;
    ~File() {
        if (f != nullptr) std::fclose(f);
    }
};

enum class BmpKind { kFailed, kColourRead, kEightBit };

// Reads a 24- or 32-bit BMP into the record; an 8-bit one is only recognised.
BmpKind read_colour_bmp(std::FILE* f, Channel channel, Photo* photo,
                        char (&problem)[kPhotoProblemSize]) {
    unsigned char head[54];
    if (std::fread(head, 1, sizeof head, f) != sizeof head) {
        std::snprintf(problem, kPhotoProblemSize, "ends inside the BMP header");
        return BmpKind::kFailed;
    }
    const std::uint32_t offset = le32(head + 10);
    const std::int32_t width = std::int32_t(le32(head + 18));
    const std::int32_t stored_height = std::int32_t(le32(head + 22));
    const int bits = le16(head + 28);
    const std::uint32_t compression = le32(head + 30);
    if (bits != 8 && bits != 24 && bits != 32) {
        std::snprintf(problem, kPhotoProblemSize,
                      "is a %d-bit BMP; only 8-bit greyscale and 24- or 32-bit colour BMP "
                      "photographs are read",
                      bits);
        return BmpKind::kFailed;
    }
    // gapimage reads the rows of any 8-bit file as plain bytes; a compressed file would give
    // garbage, so it is refused here.
    if (compression != 0) {
        std::snprintf(problem, kPhotoProblemSize, "is a compressed BMP (compression code %u)",
                      unsigned(compression));
        return BmpKind::kFailed;
    }
    if (bits == 8) return BmpKind::kEightBit;  // the caller hands it to gapimage's reader
    const std::int64_t height =
        stored_height < 0 ? -std::int64_t(stored_height) : std::int64_t(stored_height);
    if (width <= 0 || height <= 0 || std::int64_t(width) * height > kMaxPhotoPixels) {
        std::snprintf(problem, kPhotoProblemSize, "has unusable dimensions %d x %d", int(width),
                      int(stored_height));
        return BmpKind::kFailed;
    }
    const std::int64_t stride = (std::int64_t(width) * bits / 8 + 3) / 4 * 4;
    if (std::fseek(f, 0, SEEK_END) != 0) {
        std::snprintf(problem, kPhotoProblemSize, "cannot be read");
        return BmpKind::kFailed;
    }
    const long size = std::ftell(f);
    if (offset < 54 || size < 0 || std::int64_t(offset) + stride * height > size) {
        std::snprintf(problem, kPhotoProblemSize, "ends before all %lld rows of pixels",
                      static_cast<long long>(height));
        return BmpKind::kFailed;
    }
    if (std::fseek(f, long(offset), SEEK_SET) != 0) {
        std::snprintf(problem, kPhotoProblemSize, "cannot be read");
        return BmpKind::kFailed;
    }
    std::unique_ptr<std::uint8_t[]> grey(
        new std::uint8_t[std::size_t(width) * std::size_t(height)]);
    std::vector<unsigned char> row(static_cast<std::size_t>(stride));
    const int step = bits / 8;  // 3 or 4 bytes: blue, green, red (, unused)
    for (std::int64_t k = 0; k < height; ++k) {
        if (std::fread(row.data(), 1, row.size(), f) != row.size()) {
            std::snprintf(problem, kPhotoProblemSize, "cannot be read");
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

bool read_jpeg(std::FILE* f, Channel channel, char (&problem)[kPhotoProblemSize], JpegJob* job) {
    job->info.err = jpeg_std_error(&job->error.mgr);
    job->error.mgr.error_exit = jpeg_fail;
    job->error.mgr.emit_message = jpeg_message;
    if (setjmp(job->error.jump) != 0) {
        char message[JMSG_LENGTH_MAX];
        (*job->info.err->format_message)(reinterpret_cast<j_common_ptr>(&job->info), message);
        std::snprintf(problem, kPhotoProblemSize, "is not a readable JPEG photograph (%.150s)", message);
        jpeg_destroy_decompress(&job->info);
        return false;
    }
    jpeg_create_decompress(&job->info);
    jpeg_stdio_src(&job->info, f);
    jpeg_read_header(&job->info, TRUE);
    const bool grey = job->info.num_components == 1;
    if (!grey && job->info.jpeg_color_space != JCS_YCbCr && job->info.jpeg_color_space != JCS_RGB) {
        std::snprintf(problem, kPhotoProblemSize, "is a JPEG in a colour space other than RGB");
        jpeg_destroy_decompress(&job->info);
        return false;
    }
    job->info.out_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(&job->info);
    const std::int64_t w = job->info.output_width, h = job->info.output_height;
    if (w <= 0 || h <= 0 || w * h > kMaxPhotoPixels) {
        std::snprintf(problem, kPhotoProblemSize, "has unusable dimensions %lld x %lld",
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

std::string compiled_readers() {
    std::string readers = "BMP";
#ifdef SKYGAP_HAVE_JPEG
    readers += ", JPEG (libjpeg " + std::to_string(JPEG_LIB_VERSION) + ")";
#endif
    return readers;
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

bool read_photo(const char* path, Channel channel, Photo* photo, char (&problem)[kPhotoProblemSize]) {
    File file{std::fopen(path, "rb")};
    if (file.f == nullptr) {
        std::snprintf(problem, kPhotoProblemSize, "cannot be opened");
        return false;
    }
    unsigned char magic[3] = {0, 0, 0};
    const std::size_t got = std::fread(magic, 1, 3, file.f);
    std::rewind(file.f);
    if (got >= 2 && magic[0] == 'B' && magic[1] == 'M') {
        const BmpKind kind = read_colour_bmp(file.f, channel, photo, problem);
        if (kind != BmpKind::kEightBit) return kind == BmpKind::kColourRead;
        // An 8-bit file: read as gapimage reads it.
        char why[kProblemSize] = "";
        switch (read_bmp(&photo->bmp, path, why)) {
            case LoadStatus::kOk:
                return true;
            case LoadStatus::kCannotOpen:
                std::snprintf(problem, kPhotoProblemSize, "cannot be opened");
                return false;
            case LoadStatus::kNot8Bit:
            case LoadStatus::kProblem:
                break;
        }
        std::snprintf(problem, kPhotoProblemSize, "%s", why);
        return false;
    }
    if (got == 3 && magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF) {
#ifdef SKYGAP_HAVE_JPEG
        std::unique_ptr<JpegJob> job(new JpegJob());
        if (!read_jpeg(file.f, channel, problem, job.get())) return false;
        adopt_pixels(&photo->bmp, job->grey.release(), job->width, job->height);
        return true;
#else
        std::snprintf(problem, kPhotoProblemSize,
                      "is a JPEG photograph, but this gapbatch was built without libjpeg "
                      "(install libjpeg-dev and rebuild), so it reads BMP photographs only");
        return false;
#endif
    }
    std::snprintf(problem, kPhotoProblemSize, "is neither a BMP nor a JPEG photograph");
    return false;
}

}  // namespace skyimage
