#include "gapdata/gapdata.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdarg>
#include <cstdlib>

namespace gapdata {

namespace detail {

void describe(std::string* why, const char* path, const char* problem) {
    if (why == nullptr) return;
    *why = path;
    *why += ": ";
    *why += problem;
}

AfterNumber look_after_number(std::FILE* in) {
    const int c = std::fgetc(in);
    if (c != ',') {
        if (c != EOF) std::ungetc(c, in);
        return AfterNumber::kGoOn;
    }
    const int next = std::fgetc(in);
    return next != EOF && std::isdigit(next) ? AfterNumber::kDecimalComma : AfterNumber::kEnd;
}

void decimal_comma(std::string* why, const char* path, int record) {
    if (why == nullptr) return;
    *why = std::string(path) + ": record " + std::to_string(record) +
           " holds a number written with a decimal comma; numbers in a gap-fraction file take a "
           "decimal point";
}

}  // namespace detail

namespace {

// "PATH: problem" with a printf-style problem text.
void refusal(std::string* why, const char* path, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
void refusal(std::string* why, const char* path, const char* format, ...) {
    char text[400];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    detail::describe(why, path, text);
}

}  // namespace

void Counts::reset(int rings, int sectors) {
    nz = rings;
    na = sectors;
    pixels.assign(std::size_t(rings) * std::size_t(sectors), 0);
    gaps.assign(std::size_t(rings) * std::size_t(sectors), 0);
}

namespace {

// "%lf" of V into TEXT (room for any double); returns its length.
int format_lf(char (&text)[400], double v) { return std::snprintf(text, sizeof text, "%lf", v); }

__extension__ typedef unsigned __int128 Wide;  // 128-bit products of the fraction formatter

// Appends "%lf" of Q, 0 < Q <= 1 and Q at least 2^-64, to TEXT: the exact binary value of Q
// times 10^6, rounded to the nearest whole number and a tie to the even one, as printf rounds
// in the default rounding mode, then written as 0.dddddd (1.000000 when it rounds up to 1).
void append_fraction(std::string* text, double q) {
    // q = mantissa 2^exponent with the mantissa in [1/2, 1), so q = m / 2^shift exactly, the
    // shift from 53 (q = 1) to 116 (q = 2^-63).
    int exponent = 0;
    const double mantissa = std::frexp(q, &exponent);
    const std::uint64_t m = std::uint64_t(std::ldexp(mantissa, 53));
    const int shift = 53 - exponent;
    const Wide scaled = Wide(m) * 1000000u;
    std::uint64_t whole = std::uint64_t(scaled >> shift);
    const Wide rest = scaled - (Wide(whole) << shift), half = Wide(1) << (shift - 1);
    if (rest > half || (rest == half && whole % 2 == 1)) ++whole;
    char digits[8] = {'0', '.', '0', '0', '0', '0', '0', '0'};
    if (whole >= 1000000) {
        digits[0] = '1';
    } else {
        for (int k = 7; k >= 2; --k, whole /= 10) digits[k] = char('0' + whole % 10);
    }
    text->append(digits, sizeof digits);
}

}  // namespace

void write_gap_fraction(std::FILE* out, const Counts& counts) {
    const int nz = counts.nz, na = counts.na;
    std::fprintf(out, "%i   %i\n", nz, na);
    // Every azimuth string is formatted once, and every zenith string once, as "%lf" writes
    // them; a record is put together from them, its fraction and its count.
    std::vector<std::string> azimuths(std::size_t(na > 0 ? na : 0));
    char text[400];
    for (int ia = 0; ia < na; ++ia) {
        const int n = format_lf(text, 360.0 * ia / na + 180.0 / na);
        azimuths[std::size_t(ia)].assign(text, std::size_t(n));
    }
    std::string record;
    for (int iz = 0; iz < nz; ++iz) {
        const int zn = format_lf(text, 90.0 * iz / nz + 45.0 / nz);
        const std::string zenith(text, std::size_t(zn));
        for (int ia = na - 1; ia >= 0; --ia) {
            const std::int64_t n = counts.pixel(iz, ia);
            const std::int64_t gaps = counts.gap(iz, ia);
            record = zenith;
            record += "   ";
            record += azimuths[std::size_t(ia)];
            record += "   ";
            if (n == 0 || gaps == 0) {
                record += "0.000000";
            } else if (gaps == n) {
                record += "1.000000";
            } else {
                append_fraction(&record, double(gaps) / double(n));  // 0 < gaps < n
            }
            record += "   ";
            char digits[24];
            int k = 0;
            std::uint64_t u = n < 0 ? 0 - std::uint64_t(n) : std::uint64_t(n);
            do {
                digits[k++] = char('0' + u % 10);
                u /= 10;
            } while (u != 0);
            if (n < 0) record += '-';
            while (k > 0) record += digits[--k];
            record += '\n';
            std::fwrite(record.data(), 1, record.size(), out);
        }
    }
}

namespace {

double parse_number(const char* text, double*) { return std::strtod(text, nullptr); }
float parse_number(const char* text, float*) { return std::strtof(text, nullptr); }

}  // namespace

template <typename T>
void grid_from_counts(const Counts& counts, Precision precision, Grid<T>* grid) {
    const int nz = counts.nz, na = counts.na;
    set_shape(grid, nz, na, true);
    char text[64];
    for (int iz = 0; iz < nz; ++iz) {
        for (int c = 0; c < na; ++c) {  // column c holds the writer's sector na - 1 - c
            const std::int64_t n = counts.pixel(iz, na - 1 - c);
            const double fraction = n == 0 ? 0.0 : double(counts.gap(iz, na - 1 - c)) / double(n);
            if (precision == Precision::kExact) {
                grid->fract_open[iz][c] = T(fraction);
            } else {
                std::snprintf(text, sizeof text, "%lf", fraction);
                grid->fract_open[iz][c] = parse_number(text, static_cast<T*>(nullptr));
            }
            grid->pixel_nbr[iz][c] = T(n);
        }
    }
    grid->records_read = nz * na;
}

template void grid_from_counts<float>(const Counts&, Precision, Grid<float>*);
template void grid_from_counts<double>(const Counts&, Precision, Grid<double>*);

fileio::InputFile open_input(const char* path, fileio::Dash dash) {
    return fileio::open_input(path, dash);
}

std::string short_data_warning(const char* path, int records_read, int nz, int na) {
    const long records = long(nz) * long(na);
    if (records_read >= records) return {};
    return std::string(path) + ": holds only " + std::to_string(records_read) + " of the " +
           std::to_string(records) +
           " records its header announces; the missing cells count as gap fraction 0";
}

namespace {

// One whole number as "%d" reads it (blanks skipped, an optional sign, digits, the character
// after them left unread), but without the undefined behaviour of a number beyond an int: such
// a number comes back as the nearest int the grid checks then refuse. False when no digit
// follows the blanks and the sign.
bool read_header_number(std::FILE* in, int* value) {
    int c = std::fgetc(in);
    while (c != EOF && std::isspace(c)) c = std::fgetc(in);
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        c = std::fgetc(in);
    }
    if (c == EOF || !std::isdigit(c)) {
        if (c != EOF) std::ungetc(c, in);
        return false;
    }
    long long v = 0;
    for (; c != EOF && std::isdigit(c); c = std::fgetc(in))
        v = std::min<long long>(v * 10 + (c - '0'), 1LL << 40);
    if (c != EOF) std::ungetc(c, in);
    if (negative) v = -v;
    *value = int(std::max<long long>(std::min<long long>(v, INT_MAX), INT_MIN));
    return true;
}

}  // namespace

Status read_header(std::FILE* in, const char* path, const Reading& reading, int* nz, int* na,
                   std::string* why) {
    (void)reading;  // the header reads alike for every program
    const int got = read_header_number(in, nz) ? (read_header_number(in, na) ? 2 : 1) : 0;
    if (got != 2) {
        refusal(why, path,
                "the header line does not hold the numbers of zenith annuli and azimuth sectors");
        return Status::kRefused;
    }
    return Status::kOk;
}

Status check_grid(const char* path, const Reading& reading, int nz, int na, std::string* why) {
    if (nz <= 0 || na <= 0) {
        refusal(why, path,
                "the numbers of zenith annuli and azimuth sectors (%d, %d) must be positive", nz,
                na);
        return Status::kRefused;
    }
    const long records = long(nz) * long(na);
    if (nz > reading.max_annuli || na > reading.max_sectors ||
        records > long(reading.max_annuli) * reading.max_sectors) {
        refusal(why, path,
                "the grid of %d zenith annuli by %d azimuth sectors exceeds this program's "
                "capacity of %d annuli, %d sectors and %d cells",
                nz, na, reading.max_annuli, reading.max_sectors,
                reading.max_annuli * reading.max_sectors);
        return Status::kRefused;
    }
    return Status::kOk;
}

Status read_int_params(const char* path, int n, int* values, const char* names, std::string* why,
                       fileio::Dash dash) {
    const fileio::InputFile in = gapdata::open_input(path, dash);
    if (!in) return Status::kCannotOpen;
    int got = 0;
    while (got < n && std::fscanf(in.get(), "%d", &values[got]) == 1) ++got;
    if (got < n) {
        refusal(why, path, "found %d of the %d integers needed (%s)", got, n, names);
        return Status::kRefused;
    }
    return Status::kOk;
}

Status read_discard_params(const char* path, int n, int* values, const char* names, int max_annuli,
                           std::string* why, fileio::Dash dash) {
    const Status st = read_int_params(path, n, values, names, why, dash);
    if (st != Status::kOk) return st;
    return check_discards(path, values[0], values[1], max_annuli, why);
}

Status check_discards(const char* path, int zr, int hr, int max_annuli, std::string* why) {
    if (zr < 0 || hr < 0) {
        refusal(why, path,
                "the numbers of zenith and horizon rings discarded (%d, %d) must not be negative",
                zr, hr);
        return Status::kRefused;
    }
    if (zr > max_annuli || hr > max_annuli) {
        refusal(why, path,
                "the numbers of zenith and horizon rings discarded (%d, %d) exceed the %d annuli "
                "a grid can hold",
                zr, hr, max_annuli);
        return Status::kRefused;
    }
    return Status::kOk;
}

Status check_rings_used(const char* param_path, int zr, int hr, const char* data_path, int nz,
                        std::string* why) {
    if (long(zr) + long(hr) < long(nz)) return Status::kOk;
    refusal(why, param_path,
            "%d zenith and %d horizon rings discarded leave none of the %d zenith rings of %s to "
            "use (zr + hr must be less than nz = %d)",
            zr, hr, nz, data_path, nz);
    return Status::kRefused;
}

int count_divisors(int na) {
    int count = 0;
    for (int d = 1; d <= na; ++d)
        if (na % d == 0) ++count;
    return count;
}

AnnulusMean average_annulus(const double* row, int na, int m) {
    AnnulusMean r;
    double total = 0;
    double log_sum = 0;
    for (int j = 0; j + m <= na; ++j) {
        double window = 0;
        for (int c = j; c < j + m; ++c) window += row[c];
        total += window;
        if (window != 0)  // a NaN window is not null
            log_sum += std::log(window / m);
        else
            ++r.null_windows;
    }
    if (total == 0) return r;
    r.has_value = true;
    r.mu = log_sum == 0 ? 0.0 : log_sum / (na - m + 1 - r.null_windows);
    return r;
}

}  // namespace gapdata
