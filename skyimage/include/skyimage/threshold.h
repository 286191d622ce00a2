// skyimage: automatic thresholds for a grey-level histogram of the sky disc. Each returns the
// threshold t that the binarisation uses: a pixel above t is sky, one at or below t canopy.
//
// A histogram has LEVELS levels, count h[v] for level v = 0 .. LEVELS - 1: 256 for an 8-bit
// photograph, 65536 for a 16-bit one, whose thresholds are chosen on the full histogram. The
// 8-bit forms (Histogram) are the same functions at 256 levels.
#pragma once

#include <cstdint>

namespace skyimage {

using Histogram = std::uint64_t[256];

enum class ThresholdMethod { kFixed, kClassified, kRidler, kOtsu, kMinimum };

// Why no automatic threshold exists, or kNone.
enum class ThresholdFailure { kNone, kEmpty, kSingleLevel, kNotBimodal };

struct AutoThreshold {
    int t = 0;
    ThresholdFailure failure = ThresholdFailure::kNone;
};

// Iterative intermeans (Ridler and Calvard 1978): start from the mean grey level, then set the
// threshold to the mid-point of the means of the two classes it makes, until it stays put.
AutoThreshold ridler_threshold(const std::uint64_t* h, int levels);
inline AutoThreshold ridler_threshold(const Histogram& h) { return ridler_threshold(h, 256); }

// Otsu (1979): the threshold that maximises the between-class variance
// w0 w1 (m0 - m1)^2. Where a range of thresholds gives the same maximum (an empty stretch of
// the histogram between two classes) the middle of that range is taken.
AutoThreshold otsu_threshold(const std::uint64_t* h, int levels);
inline AutoThreshold otsu_threshold(const Histogram& h) { return otsu_threshold(h, 256); }

// Minimum method (Glasbey 1993, after Prewitt and Mendelsohn 1966): smooth the histogram with
// a running mean of three until it has exactly two modes; the threshold is the lowest point
// between them. A histogram that does not become bimodal within 10000 smoothings (a unimodal
// or flat one) has no threshold. Smoothing needs a number of passes that grows with the square
// of the number of levels, so a histogram of more than 256 levels is first summed into 256
// bins of equal width (256 levels each for 16 bits); the threshold is then the top level of the
// bin found, so that a 16-bit picture made from an 8-bit one by v * 257 is split as the 8-bit one.
AutoThreshold minimum_threshold(const std::uint64_t* h, int levels);
inline AutoThreshold minimum_threshold(const Histogram& h) { return minimum_threshold(h, 256); }

AutoThreshold auto_threshold(ThresholdMethod method, const std::uint64_t* h, int levels);
inline AutoThreshold auto_threshold(ThresholdMethod method, const Histogram& h) {
    return auto_threshold(method, h, 256);
}

const char* method_name(ThresholdMethod method);
const char* failure_text(ThresholdFailure failure);

}  // namespace skyimage
