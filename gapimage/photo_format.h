// What a photograph that gapimage cannot read is, and how to analyse it all the same.
//
// gapimage reads 8-bit greyscale BMP files only. A JPEG, PNG or TIFF file, or a BMP of another
// depth, is recognised by its first bytes, and the user is told what it is with one line: either
// that gapbatch reads it as it is, or the one command that converts it to a BMP gapbatch reads.
#pragma once

#include <cstddef>
#include <string>

namespace gapimage {

enum class PhotoFormat { kUnknown, kBmp, kJpeg, kPng, kTiff };

// The format the first N bytes of a file announce (BMP "BM", JPEG FF D8 FF, PNG 89 "PNG",
// TIFF "II*\0" or "MM\0*"); kUnknown for anything else or too few bytes.
PhotoFormat photo_format(const unsigned char* head, std::size_t n);

// Reads the first bytes of PATH into HEAD (at most 30); returns how many were read, 0 when the
// file cannot be opened.
std::size_t read_head(const char* path, unsigned char (&head)[30]);

// The advice for the photograph PATH of FORMAT (for a BMP, of BITS bits per pixel), one line
// without line feed, or "" when gapimage reads it (an 8-bit BMP) or the format is unknown.
// JPEG_IN_GAPBATCH tells whether this build's gapbatch reads JPEG.
std::string unreadable_photo_advice(const std::string& path, PhotoFormat format, int bits,
                                    bool jpeg_in_gapbatch);

// PATH as one word of a POSIX shell command line: as it is when it holds only characters that
// need no quoting, otherwise in single quotes (a single quote inside written as '\'').
std::string shell_word(const std::string& path);

}  // namespace gapimage
