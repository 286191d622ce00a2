#include "skyimage/photo.h"

#include <strings.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "photo_readers.h"

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

// Reads a 24- or 32-bit BMP into the record (none: the header only, into INFO); an 8-bit one
// is only recognised.
BmpKind read_colour_bmp(std::FILE* f, Channel channel, Photo* photo, PhotoInfo* info,
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
    const std::int64_t height =
        stored_height < 0 ? -std::int64_t(stored_height) : std::int64_t(stored_height);
    *info = PhotoInfo{};
    info->width = width;
    info->height = int(std::min<std::int64_t>(height, 0x7fffffff));
    info->colour = bits != 8;
    if (bits == 8) return BmpKind::kEightBit;  // the caller hands it to gapimage's reader
    if (width <= 0 || height <= 0 || std::int64_t(width) * height > kMaxPhotoPixels) {
        std::snprintf(problem, kPhotoProblemSize, "has unusable dimensions %d x %d", int(width),
                      int(stored_height));
        return BmpKind::kFailed;
    }
    if (photo == nullptr) return BmpKind::kColourRead;
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
        detail::extract_row<std::uint8_t>(channel, row.data(), step, 2, 1, 0,
                                          grey.get() + r * width, width);
    }
    detail::adopt_grey(photo, std::move(grey), width, int(height), *info);
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

// Reads the JPEG into JOB (with HEADER_ONLY, only its size and components into INFO).
bool read_jpeg(std::FILE* f, Channel channel, bool header_only, PhotoInfo* info,
               char (&problem)[kPhotoProblemSize], JpegJob* job) {
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
    *info = PhotoInfo{};
    info->format = PhotoFormat::kJpeg;
    info->width = int(job->info.image_width);
    info->height = int(job->info.image_height);
    info->colour = !grey;
    if (header_only) {
        jpeg_destroy_decompress(&job->info);
        return true;
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
            detail::extract_row<std::uint8_t>(channel, job->row.data(), 3, 0, 1, 2, out, w);
        }
    }
    jpeg_finish_decompress(&job->info);
    jpeg_destroy_decompress(&job->info);
    return true;
}
#endif

// File names of raw camera formats, by their ending (any letter case).
bool has_raw_name(const char* path) {
    static const char* const kEndings[] = {".dng", ".nef", ".nrw", ".cr2", ".cr3", ".crw",
                                           ".arw", ".srf", ".sr2", ".orf", ".rw2", ".raf",
                                           ".pef", ".srw", ".x3f", ".3fr", ".iiq", ".erf",
                                           ".kdc", ".dcr", ".mrw", ".raw", ".rwl", ".mos"};
    const std::size_t n = std::strlen(path);
    for (const char* e : kEndings) {
        const std::size_t k = std::strlen(e);
        if (n > k && strcasecmp(path + n - k, e) == 0) return true;
    }
    return false;
}

// What the first bytes say.
enum class Magic { kBmp, kJpeg, kPng, kTiff, kOther };

Magic magic_of(std::FILE* f) {
    unsigned char m[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    const std::size_t got = std::fread(m, 1, sizeof m, f);
    std::rewind(f);
    if (got >= 2 && m[0] == 'B' && m[1] == 'M') return Magic::kBmp;
    if (got >= 3 && m[0] == 0xFF && m[1] == 0xD8 && m[2] == 0xFF) return Magic::kJpeg;
    static const unsigned char kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (got == 8 && std::memcmp(m, kPng, 8) == 0) return Magic::kPng;
    if (got >= 4 && ((m[0] == 'I' && m[1] == 'I' && m[2] == 42 && m[3] == 0) ||
                     (m[0] == 'M' && m[1] == 'M' && m[2] == 0 && m[3] == 42)))
        return Magic::kTiff;
    return Magic::kOther;
}

// Reads PATH (PHOTO null: its header only, into INFO).
bool read_any(const char* path, Channel channel, Photo* photo, PhotoInfo* info,
              char (&problem)[kPhotoProblemSize]) {
    File file{std::fopen(path, "rb")};
    if (file.f == nullptr) {
        std::snprintf(problem, kPhotoProblemSize, "cannot be opened");
        return false;
    }
    const Magic magic = magic_of(file.f);
    if (magic == Magic::kBmp) {
        const BmpKind kind = read_colour_bmp(file.f, channel, photo, info, problem);
        if (kind != BmpKind::kEightBit) return kind == BmpKind::kColourRead;
        if (photo == nullptr) return true;
        // An 8-bit file: read as gapimage reads it.
        char why[kProblemSize] = "";
        switch (read_bmp(&photo->bmp, path, why)) {
            case LoadStatus::kOk:
                photo->wide.clear();
                photo->info = *info;
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
    if (magic == Magic::kJpeg) {
#ifdef SKYGAP_HAVE_JPEG
        std::unique_ptr<JpegJob> job(new JpegJob());
        if (!read_jpeg(file.f, channel, photo == nullptr, info, problem, job.get())) return false;
        if (photo != nullptr)
            detail::adopt_grey(photo, std::move(job->grey), job->width, job->height, *info);
        return true;
#else
        std::snprintf(problem, kPhotoProblemSize,
                      "is a JPEG photograph, but this program was built without libjpeg "
                      "(install libjpeg-dev and rebuild)");
        return false;
#endif
    }
    if (magic == Magic::kPng) return detail::read_png(file.f, channel, photo, info, problem);
    const bool raw_name = has_raw_name(path);
    if (magic == Magic::kTiff && !raw_name)
        return detail::read_tiff(path, channel, photo, info, problem);
    if (raw_name) return detail::read_raw(path, channel, photo, info, problem);
    std::snprintf(problem, kPhotoProblemSize,
                  "is neither a BMP, JPEG, PNG nor TIFF photograph, nor named as a raw camera "
                  "file (.dng, .nef, .cr2, ...)");
    return false;
}

}  // namespace

namespace detail {

void adopt_grey(Photo* photo, std::unique_ptr<std::uint8_t[]> grey, int w, int h,
                const PhotoInfo& info) {
    adopt_pixels(&photo->bmp, grey.release(), w, h);
    photo->wide.clear();
    photo->wide.shrink_to_fit();
    photo->info = info;
    photo->info.width = w;
    photo->info.height = h;
    photo->info.depth = 8;
}

void adopt_wide(Photo* photo, std::vector<std::uint16_t> wide, int w, int h,
                const PhotoInfo& info) {
    std::unique_ptr<std::uint8_t[]> view(new std::uint8_t[wide.size()]);
    for (std::size_t k = 0; k < wide.size(); ++k)
        view[k] = std::uint8_t((std::uint32_t(wide[k]) * 255u + 32767u) / 65535u);
    adopt_pixels(&photo->bmp, view.release(), w, h);
    photo->wide = std::move(wide);
    photo->info = info;
    photo->info.width = w;
    photo->info.height = h;
    photo->info.depth = 16;
}

bool usable_size(std::int64_t w, std::int64_t h, Problem problem) {
    if (w > 0 && h > 0 && w * h <= kMaxPhotoPixels) return true;
    std::snprintf(problem, kPhotoProblemSize, "has unusable dimensions %lld x %lld",
                  static_cast<long long>(w), static_cast<long long>(h));
    return false;
}

}  // namespace detail

bool jpeg_supported() {
#ifdef SKYGAP_HAVE_JPEG
    return true;
#else
    return false;
#endif
}

bool tiff_supported() { return !detail::tiff_version().empty(); }
bool png_supported() { return !detail::png_version().empty(); }
bool raw_supported() { return !detail::raw_version().empty(); }

std::string compiled_readers() {
    std::string readers = "BMP";
#ifdef SKYGAP_HAVE_JPEG
    readers += ", JPEG (libjpeg " + std::to_string(JPEG_LIB_VERSION) + ")";
#endif
    if (tiff_supported()) readers += ", TIFF (libtiff " + detail::tiff_version() + ")";
    if (png_supported()) readers += ", PNG (libpng " + detail::png_version() + ")";
    if (raw_supported()) readers += ", raw (LibRaw " + detail::raw_version() + ")";
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

std::uint16_t channel_value16(Channel channel, std::uint16_t red, std::uint16_t green,
                              std::uint16_t blue) {
    const std::uint16_t p[3] = {red, green, blue};
    std::uint16_t out = 0;
    detail::extract_row<std::uint16_t>(channel, p, 3, 0, 1, 2, &out, 1);
    return out;
}

bool read_photo(const char* path, Channel channel, Photo* photo,
                char (&problem)[kPhotoProblemSize]) {
    PhotoInfo info;
    return read_any(path, channel, photo, &info, problem);
}

bool probe_photo(const char* path, PhotoInfo* info, char (&problem)[kPhotoProblemSize]) {
    return read_any(path, Channel::kBlue, nullptr, info, problem);
}

const char* threshold_problem(long long threshold, int depth) {
    if (depth == 16) {
        if (threshold < 0 || threshold > 65535)
            return "the threshold must lie from 0 to 65535 for a 16-bit photograph";
        return nullptr;
    }
    if (threshold < 0 || threshold > 255)
        return "the threshold must lie from 0 to 255 for an 8-bit photograph";
    return nullptr;
}

const char* channel_problem(Channel channel, bool chosen, const PhotoInfo& info) {
    if (info.colour || !chosen || channel == Channel::kLuma) return nullptr;
    switch (channel) {
        case Channel::kRed:
            return "is a grey photograph: it has no red channel (leave out the channel, or "
                   "choose luma)";
        case Channel::kGreen:
            return "is a grey photograph: it has no green channel (leave out the channel, or "
                   "choose luma)";
        case Channel::kBlue:
            return "is a grey photograph: it has no blue channel (leave out the channel, or "
                   "choose luma)";
        case Channel::kLuma:
            break;
    }
    return nullptr;
}

const char* format_name(PhotoFormat format) {
    switch (format) {
        case PhotoFormat::kBmp:
            return "BMP";
        case PhotoFormat::kJpeg:
            return "JPEG";
        case PhotoFormat::kTiff:
            return "TIFF";
        case PhotoFormat::kPng:
            return "PNG";
        case PhotoFormat::kRaw:
            return "raw";
    }
    return "";
}

}  // namespace skyimage
