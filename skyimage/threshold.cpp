#include "skyimage/threshold.h"

#include <vector>

namespace skyimage {

namespace {

// Number of pixels N and sum of their grey levels S.
void histogram_sums(const std::uint64_t* h, int levels, double* n, double* s) {
    for (int v = 0; v < levels; ++v) {
        *n += double(h[v]);
        *s += double(h[v]) * v;
    }
}

// Total count and number of distinct grey levels present.
ThresholdFailure degenerate(const std::uint64_t* h, int levels) {
    std::uint64_t n = 0;
    int present = 0;
    for (int v = 0; v < levels; ++v) {
        n += h[v];
        present += h[v] != 0;
    }
    if (n == 0) return ThresholdFailure::kEmpty;
    if (present < 2) return ThresholdFailure::kSingleLevel;
    return ThresholdFailure::kNone;
}

// Mid-point of the two class means made by threshold t (classes 0..t and t+1..top); both
// classes hold pixels whenever t lies from the lowest present level to below the highest.
double intermeans(const std::uint64_t* h, int levels, int t) {
    double n0 = 0, s0 = 0, n1 = 0, s1 = 0;
    for (int v = 0; v < levels; ++v) {
        const double c = double(h[v]);
        if (v <= t) {
            n0 += c;
            s0 += c * v;
        } else {
            n1 += c;
            s1 += c * v;
        }
    }
    return (s0 / n0 + s1 / n1) / 2;
}

// Number of modes: runs of equal values higher than both neighbours (the ends of the
// histogram count as lower). Stores the first two runs [begin, end] in RUNS.
int count_modes(const double* y, int levels, int runs[2][2]) {
    int modes = 0;
    for (int i = 0; i < levels;) {
        int j = i;
        while (j + 1 < levels && y[j + 1] == y[i]) ++j;
        const bool left_lower = i == 0 || y[i - 1] < y[i];
        const bool right_lower = j == levels - 1 || y[j + 1] < y[j];
        if (left_lower && right_lower) {
            if (modes < 2) {
                runs[modes][0] = i;
                runs[modes][1] = j;
            }
            ++modes;
        }
        i = j + 1;
    }
    return modes;
}

}  // namespace

AutoThreshold ridler_threshold(const std::uint64_t* h, int levels) {
    AutoThreshold r;
    r.failure = degenerate(h, levels);
    if (r.failure != ThresholdFailure::kNone) return r;
    double n = 0, s = 0;
    histogram_sums(h, levels, &n, &s);
    int t = int(s / n);  // the mean lies in [lowest, highest): both classes are filled
    std::vector<bool> seen(std::size_t(levels), false);
    while (!seen[std::size_t(t)]) {
        seen[std::size_t(t)] = true;
        const int next = int(intermeans(h, levels, t));
        if (next == t) break;
        t = next;  // a rare two-value cycle ends on its first repeated value
    }
    r.t = t;
    return r;
}

AutoThreshold otsu_threshold(const std::uint64_t* h, int levels) {
    AutoThreshold r;
    r.failure = degenerate(h, levels);
    if (r.failure != ThresholdFailure::kNone) return r;
    double n = 0, s = 0;
    histogram_sums(h, levels, &n, &s);
    double w0 = 0, s0 = 0, best = -1;
    int first = 0, last = 0;
    for (int t = 0; t < levels - 1; ++t) {
        w0 += double(h[t]);
        s0 += double(h[t]) * t;
        const double w1 = n - w0;
        if (w0 == 0 || w1 == 0) continue;
        const double d = s0 / w0 - (s - s0) / w1;
        const double between = w0 * w1 * d * d;
        if (between > best) {
            best = between;
            first = last = t;
        } else if (between == best) {
            last = t;
        }
    }
    r.t = (first + last) / 2;
    return r;
}

namespace {

// Glasbey's minimum method on a histogram of at most 256 levels.
AutoThreshold minimum_of(const std::uint64_t* h, int levels) {
    AutoThreshold r;
    r.failure = degenerate(h, levels);
    if (r.failure != ThresholdFailure::kNone) return r;
    double y[256], smoothed[256];
    for (int v = 0; v < levels; ++v) y[v] = double(h[v]);
    const int top = levels - 1;
    int runs[2][2];
    for (int iteration = 0; iteration <= 10000; ++iteration) {
        if (count_modes(y, levels, runs) == 2) {
            // Lowest point between the two modes; the middle of a flat bottom.
            int lo = runs[0][1] + 1, hi = lo;
            for (int v = lo + 1; v < runs[1][0]; ++v) {
                if (y[v] < y[lo])
                    lo = hi = v;
                else if (y[v] == y[lo] && hi == v - 1)
                    hi = v;
            }
            r.t = (lo + hi) / 2;
            return r;
        }
        // Running mean of three, the ends repeating their own value; the two neighbours are
        // added first so that a symmetric histogram stays exactly symmetric.
        for (int v = 0; v < levels; ++v) {
            const double left = y[v == 0 ? 0 : v - 1];
            const double right = y[v == top ? top : v + 1];
            smoothed[v] = ((left + right) + y[v]) / 3;
        }
        for (int v = 0; v < levels; ++v) y[v] = smoothed[v];
    }
    r.failure = ThresholdFailure::kNotBimodal;
    return r;
}

}  // namespace

AutoThreshold minimum_threshold(const std::uint64_t* h, int levels) {
    if (levels <= 256) return minimum_of(h, levels);
    // Bins of WIDTH levels, 256 of them at most; the threshold is the top level of its bin.
    const int width = (levels + 255) / 256;
    const int bins = (levels + width - 1) / width;
    std::uint64_t binned[256] = {};
    for (int v = 0; v < levels; ++v) binned[v / width] += h[v];
    AutoThreshold r = minimum_of(binned, bins);
    if (r.failure == ThresholdFailure::kNone) r.t = (r.t + 1) * width - 1;
    return r;
}

AutoThreshold auto_threshold(ThresholdMethod method, const std::uint64_t* h, int levels) {
    switch (method) {
        case ThresholdMethod::kRidler:
            return ridler_threshold(h, levels);
        case ThresholdMethod::kOtsu:
            return otsu_threshold(h, levels);
        case ThresholdMethod::kMinimum:
            return minimum_threshold(h, levels);
        case ThresholdMethod::kFixed:
        case ThresholdMethod::kClassified:
            break;
    }
    return AutoThreshold{};
}

const char* method_name(ThresholdMethod method) {
    switch (method) {
        case ThresholdMethod::kFixed:
            return "fixed";
        case ThresholdMethod::kClassified:
            return "classified";
        case ThresholdMethod::kRidler:
            return "ridler";
        case ThresholdMethod::kOtsu:
            return "otsu";
        case ThresholdMethod::kMinimum:
            return "minimum";
    }
    return "";
}

const char* failure_text(ThresholdFailure failure) {
    switch (failure) {
        case ThresholdFailure::kNone:
            return "";
        case ThresholdFailure::kEmpty:
            return "the sky disc holds no pixel of the photograph";
        case ThresholdFailure::kSingleLevel:
            return "the sky disc holds a single grey level, so no threshold separates sky from "
                   "canopy";
        case ThresholdFailure::kNotBimodal:
            return "the histogram of the sky disc never becomes bimodal, so the minimum method "
                   "finds no threshold";
    }
    return "";
}

}  // namespace skyimage
