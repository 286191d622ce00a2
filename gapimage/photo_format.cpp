#include "photo_format.h"

#include <cstdio>
#include <cstring>

namespace gapimage {

PhotoFormat photo_format(const unsigned char* head, std::size_t n) {
    if (n >= 2 && head[0] == 'B' && head[1] == 'M') return PhotoFormat::kBmp;
    if (n >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) return PhotoFormat::kJpeg;
    if (n >= 8 && std::memcmp(head, "\x89PNG\r\n\x1a\n", 8) == 0) return PhotoFormat::kPng;
    if (n >= 4 && (std::memcmp(head, "II*\0", 4) == 0 || std::memcmp(head, "MM\0*", 4) == 0))
        return PhotoFormat::kTiff;
    return PhotoFormat::kUnknown;
}

std::size_t read_head(const char* path, unsigned char (&head)[30]) {
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return 0;
    const std::size_t got = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    return got;
}

std::string shell_word(const std::string& path) {
    const char* plain = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._-/+,:@%=";
    if (!path.empty() && path.find_first_not_of(plain) == std::string::npos && path[0] != '-')
        return path;
    std::string word = "'";
    for (const char c : path) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return word + "'";
}

namespace {

// The name of the 24-bit BMP that a conversion of PATH writes: PATH with its extension
// replaced by .bmp, or with -24bit.bmp appended where that would be PATH itself.
std::string converted_name(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    const bool has_extension =
        dot != std::string::npos && dot > 0 && (slash == std::string::npos || dot > slash + 1);
    const std::string stem = has_extension ? path.substr(0, dot) : path;
    const std::string name = stem + ".bmp";
    return name == path ? stem + "-24bit.bmp" : name;
}

std::string use_gapbatch(const std::string& path) {
    return "gapbatch reads it as it is: gapbatch --points X1,Y1,X2,Y2,X3,Y3 --threshold N " +
           shell_word(path);
}

std::string convert_for_gapbatch(const std::string& path) {
    return "convert it to a BMP that gapbatch reads: convert " + shell_word(path) +
           " -type TrueColor BMP3:" + shell_word(converted_name(path));
}

}  // namespace

std::string unreadable_photo_advice(const std::string& path, PhotoFormat format, int bits,
                                    bool jpeg_in_gapbatch) {
    const std::string only = ", but gapimage reads only 8-bit greyscale BMP; ";
    switch (format) {
        case PhotoFormat::kJpeg:
            return path + " is a JPEG photograph" + only +
                   (jpeg_in_gapbatch ? use_gapbatch(path) : convert_for_gapbatch(path));
        case PhotoFormat::kPng:
            return path + " is a PNG image" + only + convert_for_gapbatch(path);
        case PhotoFormat::kTiff:
            return path + " is a TIFF image" + only + convert_for_gapbatch(path);
        case PhotoFormat::kBmp:
            if (bits == 8) return "";
            return path + " is a " + std::to_string(bits) + "-bit BMP" + only +
                   (bits == 24 || bits == 32 ? use_gapbatch(path) : convert_for_gapbatch(path));
        case PhotoFormat::kUnknown:
            break;
    }
    return "";
}

}  // namespace gapimage
