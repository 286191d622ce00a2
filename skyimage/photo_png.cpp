// PNG photographs through libpng: grey or colour (a palette is expanded to its colours), 1 to 16
// bits per sample (below 8 expanded to 8; 16 kept), interlaced or not; alpha is ignored.
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "photo_readers.h"

#ifdef SKYGAP_HAVE_PNG
#include <png.h>
#endif

namespace skyimage {
namespace detail {

#ifdef SKYGAP_HAVE_PNG
namespace {

// Everything the decoder touches after setjmp lives here, behind a pointer that does not
// change, so that a longjmp out of libpng leaves it in a known state.
struct PngJob {
    png_structp png = nullptr;
    png_infop info = nullptr;
    char message[120] = "";
    std::vector<unsigned char> pixels;
    std::vector<png_bytep> rows;
    ~PngJob() {
        if (png != nullptr)
            png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
    }
};

[[noreturn]] void png_fail(png_structp png, png_const_charp message) {
    PngJob* job = static_cast<PngJob*>(png_get_error_ptr(png));
    std::snprintf(job->message, sizeof job->message, "%s", message);
    png_longjmp(png, 1);
}

void png_quiet(png_structp, png_const_charp) {}

// Decodes the file into JOB; with HEADER_ONLY stops after the header. False on any error,
// with libpng's message in the job.
bool decode(std::FILE* f, bool header_only, PngJob* job, PhotoInfo* info, Problem problem) {
    job->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, job, png_fail, png_quiet);
    if (job->png == nullptr) return false;
    job->info = png_create_info_struct(job->png);
    if (job->info == nullptr) return false;
    if (setjmp(png_jmpbuf(job->png)) != 0) return false;
    png_init_io(job->png, f);
    png_read_info(job->png, job->info);
    const std::int64_t w = png_get_image_width(job->png, job->info);
    const std::int64_t h = png_get_image_height(job->png, job->info);
    const int bits = png_get_bit_depth(job->png, job->info);
    const int type = png_get_color_type(job->png, job->info);
    *info = PhotoInfo{};
    info->format = PhotoFormat::kPng;
    info->width = int(w);
    info->height = int(h);
    info->depth = bits == 16 ? 16 : 8;
    info->colour = (type & PNG_COLOR_MASK_COLOR) != 0;
    if (!usable_size(w, h, problem)) {
        job->message[0] = '\0';
        return false;
    }
    if (header_only) return true;
    if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(job->png);
    if (type == PNG_COLOR_TYPE_GRAY && bits < 8) png_set_expand_gray_1_2_4_to_8(job->png);
    png_set_strip_alpha(job->png);
    png_set_interlace_handling(job->png);
    png_read_update_info(job->png, job->info);
    const std::size_t stride = png_get_rowbytes(job->png, job->info);
    job->pixels.resize(stride * std::size_t(h));
    job->rows.resize(std::size_t(h));
    for (std::int64_t y = 0; y < h; ++y)
        job->rows[std::size_t(y)] = &job->pixels[std::size_t(y) * stride];
    png_read_image(job->png, job->rows.data());
    png_read_end(job->png, nullptr);
    return true;
}

}  // namespace

bool read_png(std::FILE* f, Channel channel, Photo* photo, PhotoInfo* info, Problem problem) {
    std::unique_ptr<PngJob> job(new PngJob());
    problem[0] = '\0';
    if (!decode(f, photo == nullptr, job.get(), info, problem)) {
        if (problem[0] == '\0')
            std::snprintf(problem, kPhotoProblemSize, "is not a readable PNG photograph (%s)",
                          job->message[0] != '\0' ? job->message : "no memory");
        return false;
    }
    if (photo == nullptr) return true;
    const int w = info->width, h = info->height;
    const int n = png_get_channels(job->png, job->info);  // 1 grey or 3 RGB, alpha stripped
    const std::size_t count = std::size_t(w) * std::size_t(h);
    if (info->depth == 8) {
        std::unique_ptr<std::uint8_t[]> grey(new std::uint8_t[count]);
        for (int y = 0; y < h; ++y) {
            const std::uint8_t* row = job->rows[std::size_t(y)];
            std::uint8_t* out = grey.get() + std::size_t(y) * std::size_t(w);
            if (n == 1) {
                std::memcpy(out, row, std::size_t(w));
            } else {
                extract_row<std::uint8_t>(channel, row, n, 0, 1, 2, out, w);
            }
        }
        adopt_grey(photo, std::move(grey), w, h, *info);
        return true;
    }
    // 16 bits: each sample two bytes, most significant first.
    std::vector<std::uint16_t> grey(count), line(std::size_t(w) * std::size_t(n));
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* row = job->rows[std::size_t(y)];
        for (std::size_t k = 0; k < line.size(); ++k)
            line[k] = std::uint16_t(row[2 * k] << 8 | row[2 * k + 1]);
        std::uint16_t* out = grey.data() + std::size_t(y) * std::size_t(w);
        if (n == 1) {
            std::copy(line.begin(), line.end(), out);
        } else {
            extract_row<std::uint16_t>(channel, line.data(), n, 0, 1, 2, out, w);
        }
    }
    adopt_wide(photo, std::move(grey), w, h, *info);
    return true;
}

std::string png_version() { return PNG_LIBPNG_VER_STRING; }

#else

bool read_png(std::FILE*, Channel, Photo*, PhotoInfo*, Problem problem) {
    std::snprintf(problem, kPhotoProblemSize,
                  "is a PNG photograph, but this program was built without libpng (install "
                  "libpng-dev and rebuild)");
    return false;
}

std::string png_version() { return std::string(); }

#endif

}  // namespace detail
}  // namespace skyimage
