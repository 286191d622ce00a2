// report_check: the checks of a written page that the browser test runs.
//
//   report_check page DIR   DIR/index.html well formed; every referenced file present in DIR;
//                           nothing referenced over a network
//   report_check png FILE   FILE decodes as a PNG that is not blank (several colours, and a
//                           spread of brightness)
// Exit status 0 when the check passes, 1 when it fails (with the reason on standard error),
// 77 when the build cannot decode PNG.
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "html_check.h"

#ifdef SKYGAP_HAVE_PNG
#include <png.h>
#endif

namespace {

int check_page(const std::string& dir) {
    std::ifstream in(dir + "/index.html", std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "report_check: %s/index.html cannot be read\n", dir.c_str());
        return 1;
    }
    std::stringstream buffer;
    buffer << in.rdbuf();
    const htmlreport::HtmlCheck check = htmlreport::check_html(buffer.str());
    if (!check.ok) {
        std::fprintf(stderr, "report_check: index.html is not well formed: %s\n",
                     check.problem.c_str());
        return 1;
    }
    int files = 0;
    for (const std::string& ref : check.references) {
        if (ref.empty() || ref[0] == '#' || ref.compare(0, 5, "data:") == 0) continue;
        if (ref.find("//") != std::string::npos || ref.find(':') != std::string::npos) {
            std::fprintf(stderr, "report_check: a network or absolute reference: %s\n",
                         ref.c_str());
            return 1;
        }
        struct stat st;
        if (stat((dir + "/" + ref).c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0) {
            std::fprintf(stderr, "report_check: referenced file missing or empty: %s\n",
                         ref.c_str());
            return 1;
        }
        ++files;
    }
    std::printf("index.html: %d elements, well formed; %d referenced files present\n",
                check.elements, files);
    return 0;
}

int check_png(const char* path) {
#ifdef SKYGAP_HAVE_PNG
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path)) {
        std::fprintf(stderr, "report_check: %s: %s\n", path, image.message);
        return 1;
    }
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) {
        std::fprintf(stderr, "report_check: %s: %s\n", path, image.message);
        return 1;
    }
    std::set<unsigned> colours;
    double sum = 0, sum2 = 0;
    const std::size_t pixels = std::size_t(image.width) * image.height;
    for (std::size_t k = 0; k < pixels; ++k) {
        const unsigned char* p = &rgb[3 * k];
        if (colours.size() < 100000)
            colours.insert(unsigned(p[0]) << 16 | unsigned(p[1]) << 8 | p[2]);
        const double y = 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2];
        sum += y;
        sum2 += y * y;
    }
    const double mean = sum / double(pixels);
    const double sd = std::sqrt(std::fmax(0.0, sum2 / double(pixels) - mean * mean));
    std::printf("%s: %u x %u, %zu colours, brightness mean %.1f, sd %.1f\n", path, image.width,
                image.height, colours.size(), mean, sd);
    // A blank or single-colour render has one or two colours and no spread; a page of tables,
    // pictures and plots has hundreds of colours and a spread of tens of grey levels.
    if (colours.size() < 50 || sd < 10) {
        std::fprintf(stderr, "report_check: %s looks blank\n", path);
        return 1;
    }
    return 0;
#else
    std::fprintf(stderr, "report_check: built without libpng, %s not decoded\n", path);
    return 77;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "page") == 0) return check_page(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "png") == 0) return check_png(argv[2]);
    std::fprintf(stderr, "usage: report_check page DIR | report_check png FILE\n");
    return 2;
}
