#include "solar/solar.h"

#include <cmath>

#include "angles/angles.h"

namespace solar {

namespace {

using angles::kDegToRad;
using angles::kRadToDeg;
using angles::kTwoPi;

// Day angle per day and its second and third harmonics: 2*pi/366, 4*pi/366, 6*pi/366.
constexpr double kOmega1 = 0.017167172970436028;
constexpr double kOmega2 = 0.034334345940872056;
constexpr double kOmega3 = 0.05150151891130808;

// The six harmonic terms of the day angle.
struct Harmonics {
    double c1, c2, c3, s1, s2, s3;
};

Harmonics harmonics(int day) {
    const double w1 = kOmega1 * day, w2 = kOmega2 * day, w3 = kOmega3 * day;
    return {std::cos(w1), std::cos(w2), std::cos(w3), std::sin(w1), std::sin(w2), std::sin(w3)};
}

// Azimuth from the south through the west, in [0, 2*pi), from the sun's direction: west
// component cos(decl)*sin(H), south component cos(decl)*cos(H)*sin(lat) - sin(decl)*cos(lat).
// Valid at every latitude; used where the quotient form divides by sin(lat) = 0.
double azimuth_from_direction(double sin_lat, double cos_lat, double sin_decl, double cos_decl,
                              double hour_angle) {
    const double west = cos_decl * std::sin(hour_angle);
    const double south = cos_decl * std::cos(hour_angle) * sin_lat - sin_decl * cos_lat;
    const double z = std::atan2(west, south);
    return z < 0 ? z + kTwoPi : z;
}

}  // namespace

double eqtime(int day) {
    const Harmonics h = harmonics(day);
    return 0.000006 + 0.007196 * h.c1 - 0.05275 * h.c2 - 0.001212 * h.c3 - 0.12294 * h.s1 -
           0.15649 * h.s2 - 0.004083 * h.s3;
}

double decln(int day) {
    const Harmonics h = harmonics(day);
    return 0.33281 - 22.984 * h.c1 - 0.3499 * h.c2 - 0.1398 * h.c3 + 3.7872 * h.s1 +
           0.03205 * h.s2 + 0.07187 * h.s3;
}

double radvect(int day) {
    const Harmonics h = harmonics(day);
    return 1 / (1 + 0.0335 * h.c1 + 0.0006505 * h.c2 - 0.0000034072 * h.c3 + 0.0013327 * h.s1 +
                0.000072032 * h.s2 + 0.00013608 * h.s3);
}

double daylen(double latitude_deg, double declination_deg) {
    const double lat = latitude_deg * kDegToRad;
    const double decl = declination_deg * kDegToRad;
    return 2 * std::acos(-std::tan(lat) * std::tan(decl)) * kRadToDeg / 15;
}

double computation_longitude(double longitude_deg) {
    return longitude_deg > 0 ? longitude_deg - 360 : longitude_deg;
}

void corsol(double latitude_deg, double longitude_deg, int zone, double declination_deg,
            double eqtime_hr, double fraction, int dst, double altitude_rad[kHoursPerDay],
            double azimuth_rad[kHoursPerDay]) {
    const double lat = latitude_deg * kDegToRad;
    const double decl = declination_deg * kDegToRad;
    const double longitude_hr = longitude_deg / 15;
    const double a = std::sin(lat) * std::sin(decl);
    const double b = std::cos(lat) * std::cos(decl);
    double hour = 0;
    for (int i = 0; i < kHoursPerDay; ++i) {
        // Local apparent solar time; the sum is evaluated left to right as written.
        const double t = hour + fraction - 24 + zone + eqtime_hr - dst - longitude_hr;
        const double h = (t - 12) * 15 * kDegToRad;
        const double s = std::cos(h) * b + a;
        const double alt = std::asin(s);
        double z;
        if (latitude_deg == 0) {  // the quotient below would divide by sin(lat) = 0
            z = azimuth_from_direction(std::sin(lat), std::cos(lat), std::sin(decl), std::cos(decl),
                                       h);
        } else {
            double c = (std::cos(h) * std::cos(decl) - s * std::cos(lat)) /
                       (std::cos(alt) * std::sin(lat));
            if (c > 1) c = 1;
            if (c < -1) c = -1;
            z = std::acos(c);
            // Before the meridian passage (and at it): the eastern half. The side is told by the
            // hour angle brought into [-pi, pi] (IEEE remainder), not by H itself, which lies a
            // whole turn off when t is a day too large (a west longitude in zone 24 or 23).
            if (std::remainder(h, kTwoPi) <= 1e-30) z = kTwoPi - z;
        }
        altitude_rad[i] = alt;
        azimuth_rad[i] = z;
        hour += 1;
    }
}

double compass_azimuth_deg(double azimuth_rad) {
    double az = azimuth_rad * kRadToDeg - 180;
    if (az < 0) az += 360;
    return az;
}

}  // namespace solar
