// moskira: the sun's altitude and azimuth for every clock hour of one day at one site.
//
//   moskira          (answers on standard input, report on standard output)
//
// Asks for a site, a day of the year and a time convention, then prints a row for each clock
// hour at which the sun is above the horizon, followed by the day's declination, equation of
// time, radius vector, extraterrestrial irradiance, day length, dawn and dusk (dawn and dusk in
// local solar time). An answer outside its range (latitude -90 to 90, longitude -180 to 180,
// zone 1 to 24, day 1 to 366, daylight saving 0 or 1, hour fraction from 0 up to 1) is asked
// again with the reason. At end of input, or an answer that is not a number at all, one line
// goes to standard error and the exit status is 1.
#include "moskira.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "angles/angles.h"
#include "gapreport/gapreport.h"
#include "solar/solar.h"

namespace {

using angles::kRadToDeg;
using solar::kHoursPerDay;
constexpr double kSolarConstant = 1366;  // W/m2 at the mean sun-earth distance

// What --help shows.
constexpr char kHelp[] =
    "Usage: moskira\n"
    "       moskira --help | --version\n"
    "\n"
    "The sun's altitude and compass azimuth (north 0, east 90, south 180, west\n"
    "270 degrees) for every clock hour of one day at which it is above the\n"
    "horizon, then the day's declination, equation of time, radius vector,\n"
    "extraterrestrial irradiance, day length, dawn and dusk (solar time).\n"
    "\n"
    "moskira asks seven questions on standard input; type the answers at the\n"
    "prompts, or pipe them in separated by blanks or line ends:\n"
    "  1  a location name, one word (not used in the calculation)\n"
    "  2  latitude, degrees from -90 to 90 (negative south)\n"
    "  3  longitude, degrees from -180 to 180 (positive west of Greenwich)\n"
    "  4  time zone, whole hours west of Greenwich, 1 to 24 (24 for Greenwich,\n"
    "     23 for one hour east)\n"
    "  5  day of the year, 1 to 366 (1 for 1 January)\n"
    "  6  daylight saving time: 1 if yes, 0 if no\n"
    "  7  hour fraction added to every clock hour, from 0 up to 1 (0.0 for full\n"
    "     hours, 0.5 for half past)\n"
    "An answer outside its range is asked again, with the reason.\n"
    "Example:\n"
    "    printf 'Bordeaux 45 0 24 80 0 0.0\\n' | moskira\n"
    "\n"
    "The prompts and the report go to standard output; a row of the hour table\n"
    "reads hour, label, altitude and azimuth:\n"
    "    Time       Altitude      Azimuth\n"
    "    7   00        9.1         99.4\n"
    "\n"
    "Exit status: 0 when the report was written; 1, with one line on standard\n"
    "error, when the input ends before the last answer, an answer is no number,\n"
    "or the report cannot be written.\n";

struct Answers {
    double latitude, longitude;  // degrees, north and west positive
    int zone, day, dst;
    double fraction;  // added to every clock hour
};

// Each question is printed on its own line; a failed read leaves one line on standard error.
bool missing(int got, const char* prompt, const cli::Io& io) {
    if (got == 1) return false;
    if (got == EOF) {
        std::fprintf(io.err, "moskira: input ended before the answer to \"%s\"\n", prompt);
    } else {
        std::fprintf(io.err, "moskira: the answer to \"%s\" is not a number\n", prompt);
    }
    return true;
}

// The next answer: a run of non-blank characters after any blanks and line ends. False at the
// end of the input.
bool next_token(const cli::Io& io, std::string* token) {
    int c = std::getc(io.in);
    while (c != EOF && std::isspace(c)) c = std::getc(io.in);
    if (c == EOF) return false;
    token->clear();
    for (; c != EOF && !std::isspace(c); c = std::getc(io.in)) *token += char(c);
    return true;
}

// A question whose answer is a number from lo to hi (hi itself only when hi_included), a whole
// number when whole; rule words why an answer outside is asked again.
struct Question {
    const char* prompt;
    double lo, hi;
    bool hi_included;
    bool whole;
    const char* rule;
};

// Asks Q until an answer fits it. An answer that does not start as a number ends the dialogue,
// as does the end of the input: false after one line on standard error. An answer that starts as
// one but is not a fitting number as a whole ("95" for a latitude, "2009-07-15" for a day, "nan")
// is named with the rule, and the question asked again.
bool ask(const Question& q, double* answer, const cli::Io& io) {
    std::string token;
    for (;;) {
        std::fprintf(io.out, "%s\n", q.prompt);
        if (!next_token(io, &token)) return !missing(EOF, q.prompt, io);
        const char* text = token.c_str();
        char* end = nullptr;
        errno = 0;
        const double v = q.whole ? double(std::strtol(text, &end, 10)) : std::strtod(text, &end);
        if (end == text) return !missing(0, q.prompt, io);
        const bool below_hi = q.hi_included ? v <= q.hi : v < q.hi;
        if (*end == '\0' && errno == 0 && v >= q.lo && below_hi) {
            *answer = v;
            return true;
        }
        std::fprintf(io.out, "\"%.40s\" %s.\n", text, q.rule);
    }
}

bool ask_double(const Question& q, double* answer, const cli::Io& io) { return ask(q, answer, io); }

bool ask_int(const Question& q, int* answer, const cli::Io& io) {
    double v = 0;
    if (!ask(q, &v, io)) return false;
    *answer = int(v);  // a whole number within the question's range
    return true;
}

// Why an answer outside a question's range is asked again, after the answer itself.
constexpr char kLatitudeRule[] = "is not a latitude: give degrees from -90 to 90, negative south";
constexpr char kLongitudeRule[] =
    "is not a longitude: give degrees from -180 to 180, positive west of Greenwich, negative east";
constexpr char kZoneRule[] =
    "is not a time zone: give whole hours west of Greenwich from 1 to 24 (24 for Greenwich, 23 "
    "for one hour east)";
constexpr char kDayRule[] =
    "is not a day of the year: give a whole number from 1 (1 January) to 366";
constexpr char kDaylightSavingRule[] =
    "is not an answer about daylight saving time: give 1 if yes, 0 if no";
constexpr char kFractionRule[] =
    "is not an hour fraction: give a number from 0 up to, but not including, 1 (0.0 for full "
    "hours, 0.5 for half past)";

constexpr Question kLatitude{
    "Latitude (deg., negative South Hemisphere)", -90, 90, true, false, kLatitudeRule};
constexpr Question kLongitude{
    "Longitude (deg., negative East Greenwich)", -180, 180, true, false, kLongitudeRule};
constexpr Question kZone{"Time zone (1 to 24, West Greenwich)", 1, 24, true, true, kZoneRule};
constexpr Question kDay{"Julian day", 1, 366, true, true, kDayRule};
constexpr Question kDaylightSaving{
    "Daylight Saving Time? (DST: 1 if yes, 0 if no)", 0, 1, true, true, kDaylightSavingRule};
constexpr Question kFraction{
    "Full hour (0.0) or hour and half (0.5)?", 0, 1, false, false, kFractionRule};

// The location is one word of any length; it is skipped, not stored, as nothing uses it.
bool ask_location(const char* prompt, const cli::Io& io) {
    std::fprintf(io.out, "%s\n", prompt);
    if (std::fscanf(io.in, "%*s") != EOF) return true;  // "%*s" assigns nothing: 0 on success
    return !missing(EOF, prompt, io);
}

bool read_answers(Answers* in, const cli::Io& io) {
    return ask_location("Location (max. 48 char., no spaces)", io) &&
           ask_double(kLatitude, &in->latitude, io) && ask_double(kLongitude, &in->longitude, io) &&
           ask_int(kZone, &in->zone, io) && ask_int(kDay, &in->day, io) &&
           ask_int(kDaylightSaving, &in->dst, io) && ask_double(kFraction, &in->fraction, io);
}

void write_site(std::FILE* out, const Answers& in) {
    std::fprintf(out, "----------------------------------------\n");
    if (in.latitude > 0) std::fprintf(out, "Latitude:       %10.2lf deg. N\n", in.latitude);
    if (in.latitude < 0)
        std::fprintf(out, "Latitude:       %10.2lf deg. S\n", std::fabs(in.latitude));
    if (in.longitude > 0) std::fprintf(out, "Longitude:       %9.2lf deg. W\n", in.longitude);
    if (in.longitude < 0)
        std::fprintf(out, "Longitude:       %9.2lf deg. E\n", std::fabs(in.longitude));
    std::fprintf(out, "Time Zone:        %5d\n", in.zone);
    std::fprintf(out, "Julian day:       %5d\n", in.day);
    std::fprintf(out, "Daylight savings: %5d\n", in.dst);
    std::fprintf(out, "----------------------------------------\n");
}

// One row per clock hour with the sun above the horizon.
void write_hours(std::FILE* out, const char* label, const double altitude_rad[kHoursPerDay],
                 const double azimuth_rad[kHoursPerDay]) {
    std::fprintf(out, "Time       Altitude      Azimuth\n");
    std::fprintf(out, "hr             deg.         deg.\n");
    for (int i = 0; i < kHoursPerDay; ++i) {
        const double alt_deg = altitude_rad[i] * kRadToDeg;
        if (alt_deg > 1e-30) {
            std::fprintf(out, "%-2d%4s%11.1lf%13.1lf\n", i, label, alt_deg,
                         solar::compass_azimuth_deg(azimuth_rad[i]));
        }
    }
}

void write_summary(std::FILE* out, double decl_deg, double eqt_hr, double rad_vect, double day_hr) {
    std::fprintf(out, "----------------------------------------\n");
    std::fprintf(out, "Declination:     %10.1lf deg.\n", decl_deg);
    std::fprintf(out, "Eq. of time:     %10.1lf mn\n", eqt_hr * 60);
    std::fprintf(out, "Radius vector:   %13.4lf\n", rad_vect);
    std::fprintf(out, "Solar constant:  %10.1lf W/m2\n", kSolarConstant / rad_vect);
    std::fprintf(out, "Day length:      %10.1lf hr\n", day_hr);
    std::fprintf(out, "Dawn:            %10.1lf hr\n", 12 - day_hr * 0.5);
    std::fprintf(out, "Dusk:            %10.1lf hr\n", day_hr * 0.5 + 12);
    std::fprintf(out, "========================================\n");
    std::fprintf(out, "\n");
}

}  // namespace

int run_moskira(int argc, char** argv, const cli::Io& io) {
    const int asked = cli::help_or_version(argc, argv, io, kHelp);
    if (asked >= 0) return asked;
    std::fprintf(io.out, "MOSKIRA - %s\n", gapreport::kBanner);
    std::fprintf(io.out, "=============================================\n");
    std::fprintf(io.out, "\n");

    Answers in{};
    if (!read_answers(&in, io)) return 1;
    const char* label = in.fraction == 0.5 ? "1/2" : "00";
    std::fprintf(io.out, "\n");

    // West longitudes enter the hour-angle sum as L - 360; the site block shows L as entered.
    const double longitude = solar::computation_longitude(in.longitude);
    const double eqt_hr = solar::eqtime(in.day);
    const double decl_deg = solar::decln(in.day);
    const double rad_vect = solar::radvect(in.day);
    double altitude_rad[kHoursPerDay], azimuth_rad[kHoursPerDay];
    solar::corsol(in.latitude, longitude, in.zone, decl_deg, eqt_hr, in.fraction, in.dst,
                  altitude_rad, azimuth_rad);
    const double day_hr = solar::daylen(in.latitude, decl_deg);

    write_site(io.out, in);
    write_hours(io.out, label, altitude_rad, azimuth_rad);
    write_summary(io.out, decl_deg, eqt_hr, rad_vect, day_hr);

    // A report lost on a full disk or a closed pipe must not end as a success.
    if (std::fflush(io.out) != 0 || std::ferror(io.out) != 0) {
        std::fprintf(io.err, "moskira: cannot write to standard output\n");
        return 1;
    }
    return 0;
}
