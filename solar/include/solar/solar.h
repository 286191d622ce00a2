// solar: the sun's geometry for one day of the year at one site.
//
// The day J is the day of the year (1 for 1 January). The declination, the equation of time and
// the radius vector are three-harmonic Fourier series in the day angle w*J, w = 2*pi/366, of the
// form introduced by Spencer (1971). The coefficients belong to this 366-day angle: do not
// change it to 365 days.
//
// Sign conventions: latitude north positive; longitude west positive; time zone in whole hours
// west of Greenwich (24 for Greenwich itself, 23 for one hour east); daylight saving 1 or 0.
// Angles passed in are degrees; corsol returns radians. Nothing here keeps state or prints.
#pragma once

namespace solar {

constexpr int kHoursPerDay = 24;

// Equation of time for day J, in hours (apparent minus mean solar time).
double eqtime(int day);

// Solar declination for day J, in degrees.
double decln(int day);

// Radius-vector factor for day J (dimensionless, about 0.967 in January and 1.033 in July);
// the extraterrestrial irradiance is the solar constant divided by it.
double radvect(int day);

// Astronomical day length in hours, 2*acos(-tan(lat)*tan(decl)) expressed in hours. The
// argument of acos is not clamped: where the sun neither rises nor sets (polar day or night)
// the result is NaN.
double daylen(double latitude_deg, double declination_deg);

// The longitude as the hour-angle sum takes it: a west longitude L > 0 (degrees, west positive)
// becomes L - 360, an east longitude (negative) stays as it is.
double computation_longitude(double longitude_deg);

// Solar altitude and azimuth for each clock hour i = 0..23 of the day, at clock time i + fraction.
// longitude_deg must already be prepared by computation_longitude; eqtime_hr is eqtime(J),
// declination_deg decln(J).
// altitude_rad[i] is the altitude; azimuth_rad[i] is counted from the south through the west
// (0 or 2*pi: south, pi/2: west, pi: north, 3*pi/2: east); the eastern half is taken while the
// hour angle, brought into [-pi, pi], is at most 1e-30, so that the meridian passage itself gives
// 2*pi. At latitude exactly 0 the textbook azimuth quotient has a zero denominator, so there the
// azimuth comes from the direction of the sun with atan2, which gives the same angle as the
// quotient's limit.
void corsol(double latitude_deg, double longitude_deg, int zone, double declination_deg,
            double eqtime_hr, double fraction, int dst, double altitude_rad[kHoursPerDay],
            double azimuth_rad[kHoursPerDay]);

// Compass azimuth in degrees (north 0, east 90, south 180, west 270) from corsol's azimuth.
double compass_azimuth_deg(double azimuth_rad);

}  // namespace solar
