// Raw camera files through LibRaw, kept linear: the sensor's counts less the black level, scaled
// by one constant so that the white level is 65535 (no white balance, no colour matrix, no gamma
// curve, no brightening), demosaiced by bilinear interpolation, and not rotated (the pixels in
// the sensor's order, as the camera's JPEG stores them). The blue channel of such a file is the
// linear blue of Macfarlane et al. (2014, Agric. For. Meteorol. 197:244), 16 bits deep.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "photo_readers.h"

#ifdef SKYGAP_HAVE_RAW
#include <libraw/libraw.h>
#endif

namespace skyimage {
namespace detail {

#ifdef SKYGAP_HAVE_RAW
namespace {

// LibRaw reports damaged files through these; the status codes say the same, silently.
void raw_quiet_memory(void*, const char*, const char*) {}
void raw_quiet_data(void*, const char*, const int) {}

struct RawImage {
    libraw_processed_image_t* image = nullptr;
    ~RawImage() {
        if (image != nullptr) LibRaw::dcraw_clear_mem(image);
    }
};

bool raw_failed(int code, Problem problem) {
    std::snprintf(problem, kPhotoProblemSize, "is not a raw camera file that LibRaw reads (%s)",
                  libraw_strerror(code));
    return false;
}

}  // namespace

bool read_raw(const char* path, Channel channel, Photo* photo, PhotoInfo* info, Problem problem) {
    std::unique_ptr<LibRaw> raw(new LibRaw());
    raw->set_memerror_handler(raw_quiet_memory, nullptr);
    raw->set_dataerror_handler(raw_quiet_data, nullptr);
    int code = raw->open_file(path);
    if (code != LIBRAW_SUCCESS) return raw_failed(code, problem);
    *info = PhotoInfo{};
    info->format = PhotoFormat::kRaw;
    info->width = raw->imgdata.sizes.width;
    info->height = raw->imgdata.sizes.height;
    info->depth = 16;
    info->colour = raw->imgdata.idata.colors >= 3;
    info->linear = true;
    if (!usable_size(info->width, info->height, problem)) return false;
    if (photo == nullptr) return true;

    libraw_output_params_t& p = raw->imgdata.params;
    p.output_bps = 16;
    p.gamm[0] = 1;  // a straight line: no gamma curve
    p.gamm[1] = 1;
    p.no_auto_bright = 1;
    p.output_color = 0;  // the camera's own colours, no matrix
    p.use_camera_wb = 0;
    p.use_auto_wb = 0;
    p.use_camera_matrix = 0;
    for (float& m : p.user_mul) m = 1;  // no white balance: one scale for every channel
    p.user_qual = 0;                    // bilinear demosaicing, a linear operation
    p.user_flip = 0;                    // the sensor's order
    p.half_size = 0;
    if ((code = raw->unpack()) != LIBRAW_SUCCESS) return raw_failed(code, problem);
    if ((code = raw->dcraw_process()) != LIBRAW_SUCCESS) return raw_failed(code, problem);
    RawImage out;
    out.image = raw->dcraw_make_mem_image(&code);
    if (out.image == nullptr) return raw_failed(code, problem);
    const libraw_processed_image_t& img = *out.image;
    const int w = img.width, h = img.height, n = img.colors;
    if (img.type != LIBRAW_IMAGE_BITMAP || img.bits != 16 || (n != 1 && n != 3) ||
        !usable_size(w, h, problem)) {
        std::snprintf(problem, kPhotoProblemSize,
                      "is a raw camera file that LibRaw does not turn into a 16-bit picture");
        return false;
    }
    const std::uint16_t* samples = reinterpret_cast<const std::uint16_t*>(img.data);
    std::vector<std::uint16_t> grey(std::size_t(w) * std::size_t(h));
    for (int y = 0; y < h; ++y) {
        const std::uint16_t* row = samples + std::size_t(y) * std::size_t(w) * std::size_t(n);
        std::uint16_t* dst = grey.data() + std::size_t(y) * std::size_t(w);
        if (n == 1) {
            std::copy(row, row + w, dst);
        } else {
            extract_row<std::uint16_t>(channel, row, n, 0, 1, 2, dst, w);
        }
    }
    info->colour = n == 3;
    adopt_wide(photo, std::move(grey), w, h, *info);
    return true;
}

// "0.20.2-Release": the number alone.
std::string raw_version() {
    const std::string v = LibRaw::version();
    return v.substr(0, v.find('-'));
}

#else

bool read_raw(const char*, Channel, Photo*, PhotoInfo*, Problem problem) {
    std::snprintf(problem, kPhotoProblemSize,
                  "is named as a raw camera file, but this program was built without LibRaw "
                  "(install libraw-dev and rebuild)");
    return false;
}

std::string raw_version() { return std::string(); }

#endif

}  // namespace detail
}  // namespace skyimage
