// gapimage's image operations as the dialogue runs them: each writes its messages and prompts
// to the dialogue's output and does its work through the skyimage unit.
#pragma once

#include "cli/cli.h"
#include "skyimage/bitmap.h"

using skyimage::t_Bitmap;

// Reads FILE_NAME into the record, then asks the lens model. Returns 1 when the image is not
// 8-bit (message on the output; for a BMP of another depth also a line on the error stream with
// the way to analyse it), when it is a JPEG, PNG or TIFF file (one line on the error stream
// naming the format and the way to analyse it), or when the file cannot be opened, is too short,
// or has no usable dimensions (one line on the error stream); otherwise 0.
int BMPLoad(const cli::Io& io, t_Bitmap* bmp, const char* fileName);

// Writes the record as a BMP file (to FILE_NAME, or to the record's own name when FILE_NAME is
// null). Returns 0, or 1 after a line on the error stream when the file cannot be created or
// written.
int BMPSave(const cli::Io& io, t_Bitmap* bmp, const char* fileName);

// Asks three points on the rim of the sky disc and crops the record to the bounding square of
// the circle through them (pixels outside the photograph become 0). Returns 0.
int BMPExtract(const cli::Io& io, t_Bitmap* bmp);

// Pixels strictly above THRESHOLD become 255 (sky), all others 0 (canopy). Returns 0.
int BMPThreshold(const cli::Io& io, t_Bitmap* bmp, int threshold);

// Gap fraction per cell of nz zenith rings by na azimuth sectors, written to FILE_NAME.
// Equidistant lens: zenith angle 90 degrees x r / R; orthographic: arcsine(r / R). nz in
// 1..90, na in 1..360, |declination| <= 180. Returns 0, or 1 after a line on the error stream
// when the file cannot be written.
int BMPPolarProjection(const cli::Io& io, const t_Bitmap* bmp, int nz, int na,
                       double declination, const char* fileName);
int BMPOrthographicProjection(const cli::Io& io, const t_Bitmap* bmp, int nz, int na,
                              double declination, const char* fileName);

// Lengths of the sky and canopy runs along the digital circle of every zenith angle from
// MINIMUM to MAXIMUM (degrees) in steps of STEP, written to FILE_NAME. The caller checks the
// step with skyimage::gapsize_step_problem first. Returns 0, or 1 after a line on the error
// stream when the file cannot be written.
int BMPPolarGrouping(const cli::Io& io, const t_Bitmap* bmp, double minimum, double maximum,
                     double step, const char* fileName);
int BMPOrthographicGrouping(const cli::Io& io, const t_Bitmap* bmp, double minimum,
                            double maximum, double step, const char* fileName);
