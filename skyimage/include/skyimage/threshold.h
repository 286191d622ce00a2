// skyimage: automatic thresholds for a grey-level histogram of the sky disc. Each returns the
// threshold t that the binarisation uses: a pixel above t is sky, one at or below t canopy.
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
AutoThreshold ridler_threshold(const Histogram& h);

// Otsu (1979): the threshold that maximises the between-class variance
// w0 w1 (m0 - m1)^2. Where a range of thresholds gives the same maximum (an empty stretch of
// the histogram between two classes) the middle of that range is taken.
AutoThreshold otsu_threshold(const Histogram& h);

// Minimum method (Glasbey 1993, after Prewitt and Mendelsohn 1966): smooth the histogram with
// a running mean of three until it has exactly two modes; the threshold is the lowest point
// between them. A histogram that does not become bimodal within 10000 smoothings (a unimodal
// or flat one) has no threshold.
AutoThreshold minimum_threshold(const Histogram& h);

AutoThreshold auto_threshold(ThresholdMethod method, const Histogram& h);

const char* method_name(ThresholdMethod method);
const char* failure_text(ThresholdFailure failure);

}  // namespace skyimage
