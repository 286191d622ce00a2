// gapreport: the wording the suite's reports share, printed from gapdata's results.
//
// The banner, the grid and selection block that opens the reports of the LAI programs, and the
// "Hemispherical" openness lines. Each program's own report lives in its front end; what two or
// more programs print alike lives here, in the exact formats the reports have always had.
#pragma once

#include <cstdio>
#include <string>

#include "gapdata/gapdata.h"

namespace gapreport {

// The suite's one-line banner, without line feed. Every program prints this same wording.
extern const char kBanner[];

// Which program's wording the grid and selection block takes.
enum class BlockStyle {
    kSuits,   // bravik and quinda: degrees with one decimal
    kZephor,  // as kSuits, but the angular range in whole degrees
    kTessor,  // its own grid lines; ring lines in whole degrees
};

// The grid lines (kTessor: its two lines, without the terrain lines).
template <typename T>
void write_grid_lines(std::FILE* out, BlockStyle style, int nz, int na, T w, T s);
// The ring lines chosen by zr and hr: horizon and field of view when zr = 0, the zenith rings
// discarded and the angular range otherwise; nothing for negative counts.
template <typename T>
void write_ring_lines(std::FILE* out, BlockStyle style, T w, int zr, int hr);
// kSuits and kZephor: grid lines, ring lines and "Sky Divisions Used".
void write_selection_block(std::FILE* out, BlockStyle style, int nz, int na, int zr, int hr);

// "Hemispherical" and its lines for bravik, quinda and zephor.
void write_openness(std::FILE* out, const gapdata::Openness<double>& o);

// Why an input could not be read, on ERR: "Cannot open the file PATH...\n", the wording of every
// program for an input that cannot be opened, or the refusal line WHY. Returns exit status 1.
int write_input_failure(std::FILE* err, gapdata::Status status, const char* path,
                        const std::string& why);

}  // namespace gapreport
