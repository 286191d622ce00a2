#include "light/light.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <utility>

namespace light {

namespace {

bool parse_double(const std::string& text, double lo, double hi, double* out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v) || v < lo || v > hi) return false;
    *out = v;
    return true;
}

bool parse_int(const std::string& text, long lo, long hi, int* out) {
    if (text.empty() || text[0] == ' ') return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
    *out = int(v);
    return true;
}

// "FIRST-LAST" or one day "D", each 1..365, FIRST not after LAST.
bool parse_days(const std::string& text, int* first, int* last) {
    const std::size_t dash = text.find('-', 1);
    if (dash == std::string::npos) {
        if (!parse_int(text, 1, 365, first)) return false;
        *last = *first;
        return true;
    }
    return parse_int(text.substr(0, dash), 1, 365, first) &&
           parse_int(text.substr(dash + 1), 1, 365, last) && *first <= *last;
}

}  // namespace

std::string apply_setting(const std::string& name, const std::string& v, Settings* settings,
                          double* longitude_deg) {
    Settings s = *settings;
    bool ok = false;
    const char* want = "a setting of the light model";
    if (name == "lat") {
        want = "a latitude in degrees from -90 to 90, north positive";
        ok = parse_double(v, -90, 90, &s.latitude_deg);
    } else if (name == "lon") {
        want = "a longitude in degrees from -180 to 180, east positive";
        double lon = 0;
        ok = parse_double(v, -180, 180, &lon);
        if (ok && longitude_deg != nullptr) *longitude_deg = lon;
    } else if (name == "elev") {
        want = "an elevation in metres from -1000 to 10000";
        ok = parse_double(v, -1000, 10000, &s.elevation_m);
    } else if (name == "days") {
        want = "days of the year FIRST-LAST from 1 to 365, the first not after the last";
        ok = parse_days(v, &s.first_day, &s.last_day);
    } else if (name == "day-step") {
        want = "a whole number of days from 1 to 365";
        ok = parse_int(v, 1, 365, &s.day_step);
    } else if (name == "step") {
        want = "a whole number of minutes that divides 1440 (1, 2, 3, 4, 5, 6, 10, 15, ...)";
        ok = parse_int(v, 1, kMinutesPerDay, &s.step_min) && kMinutesPerDay % s.step_min == 0;
    } else if (name == "tau") {
        want = "a transmission coefficient above 0 and at most 1";
        ok = parse_double(v, 0, 1, &s.tau) && s.tau > 0;
    } else if (name == "kt") {
        want = "a cloudiness index from 0 to 1";
        ok = parse_double(v, 0, 1, &s.kt);
    } else if (name == "solar-constant") {
        want = "a solar constant in W m-2 from 1000 to 2000";
        ok = parse_double(v, 1000, 2000, &s.solar_constant);
    } else if (name == "sky") {
        want = "uoc or soc";
        ok = v == "uoc" || v == "soc";
        s.sky_model = v == "soc" ? SkyModel::kStandardOvercast : SkyModel::kUniformOvercast;
    } else if (name == "par-conversion") {
        want = "mol of PAR photons per MJ of global radiation, above 0 and at most 10";
        ok = parse_double(v, 0, 10, &s.par_mol_per_mj) && s.par_mol_per_mj > 0;
    }
    if (!ok) return want;
    *settings = s;
    return std::string();
}

namespace {

// Largest grid a table is built for: 0.1-degree rings and sectors.
constexpr int kMaxRings = 900;
constexpr int kMaxSectors = 3600;

// Diffuse fraction of daily global radiation at Kt = 0, 0.05, ..., 0.80.
constexpr int kKdNodes = 17;
constexpr double kKdTable[kKdNodes] = {0.9956545, 0.9891128, 0.9763180, 0.9577567, 0.9305954,
                                       0.8929988, 0.8441450, 0.7817907, 0.7096211, 0.6301739,
                                       0.5463198, 0.4610067, 0.3780925, 0.3029890, 0.2391789,
                                       0.1869482, 0.1658167};
constexpr double kKdNodesPerKt = 20;  // nodes 0.05 apart

// Below this, cos(altitude) cos(latitude) is treated as 0 in the azimuth quotient (the sun at
// the zenith, or a pole): there the quotient's rounding error would swamp it.
constexpr double kAzimuthQuotientFloor = 1e-9;

double clamp_unit(double x) { return std::min(1.0, std::max(-1.0, x)); }

bool within(double x, double lo, double hi) { return x >= lo && x <= hi; }  // false for NaN

std::string check_shape(int nz, int na) {
    if (nz < 1 || nz > kMaxRings) return "the sky needs 1 to 900 zenith rings";
    if (na < 1 || na > kMaxSectors) return "the sky needs 1 to 3600 azimuth sectors";
    return {};
}

// Cell weights as ring weights shared by the sectors: the weighted mean of the ring means,
// divided by the weights' own sum so that a sky open everywhere gives exactly 1.
double ring_weighted_mean(const std::vector<double>& ring_weight, const Sky& sky) {
    double sum = 0;
    double weight_sum = 0;
    for (int i = 0; i < sky.nz; ++i) {
        double ring_gap = 0;
        for (int k = 0; k < sky.na; ++k) ring_gap += sky.gap[std::size_t(i) * sky.na + k];
        sum += ring_weight[i] * (ring_gap / sky.na);
        weight_sum += ring_weight[i];
    }
    return sum / weight_sum;
}

}  // namespace

std::string check_settings(const Settings& s) {
    if (!within(s.latitude_deg, -90, 90)) return "latitude must lie within -90..90 degrees";
    // The standard-atmosphere pressure ratio reaches 0 at 1 / 2.2569e-5 = 44308 m.
    if (!std::isfinite(s.elevation_m) || !(1 - 2.2569e-5 * s.elevation_m > 0))
        return "elevation must be a finite number of metres below 44308";
    if (s.first_day < 1 || s.last_day > 365 || s.first_day > s.last_day)
        return "the days must lie within 1..365, the first not after the last";
    if (s.day_step < 1) return "the day step must be at least 1";
    if (s.step_min < 1 || s.step_min > kMinutesPerDay || kMinutesPerDay % s.step_min != 0)
        return "the time step must be a whole number of minutes that divides 1440";
    if (!(s.tau > 0 && s.tau <= 1)) return "tau must lie in (0, 1]";
    if (!within(s.kt, 0, 1)) return "Kt must lie within 0..1";
    if (!(s.solar_constant > 0 && std::isfinite(s.solar_constant)))
        return "the solar constant must be a positive number of W m-2";
    if (s.sky_model != SkyModel::kUniformOvercast && s.sky_model != SkyModel::kStandardOvercast)
        return "the sky model must be uoc or soc";
    if (!(s.par_mol_per_mj > 0 && std::isfinite(s.par_mol_per_mj)))
        return "the PAR conversion must be a positive number of mol per MJ";
    return {};
}

std::string check_sky(const Sky& sky) {
    std::string problem = check_shape(sky.nz, sky.na);
    if (!problem.empty()) return problem;
    if (sky.gap.size() != std::size_t(sky.nz) * std::size_t(sky.na))
        return "the sky must hold nz * na gap fractions";
    for (const double g : sky.gap)
        if (!within(g, 0, 1)) return "every gap fraction must lie within 0..1";
    return {};
}

int days_in_period(const Settings& s) {
    if (s.day_step < 1 || s.first_day > s.last_day) return 0;
    return (s.last_day - s.first_day) / s.day_step + 1;
}

DayTerms day_terms(int day) {
    const double g = 2 * kPi * (day - 1) / 365;
    DayTerms t;
    t.day = day;
    t.e0 = 1.000110 + 0.034221 * std::cos(g) + 0.001280 * std::sin(g) + 0.000719 * std::cos(2 * g) +
           0.000077 * std::sin(2 * g);
    t.decl_rad = 0.006918 - 0.399912 * std::cos(g) + 0.070257 * std::sin(g) -
                 0.006758 * std::cos(2 * g) + 0.000907 * std::sin(2 * g) -
                 0.002697 * std::cos(3 * g) + 0.00148 * std::sin(3 * g);
    return t;
}

std::optional<double> sunrise_hour_angle_rad(double latitude_deg, double decl_rad) {
    // -tan(lat) tan(decl) as one quotient: the denominator cos(lat) cos(decl) stays positive
    // (about 6e-17 at a pole) where tan(lat) alone would not be finite.
    const double lat_rad = latitude_deg * kDegToRad;
    const double x =
        -(std::sin(lat_rad) * std::sin(decl_rad)) / (std::cos(lat_rad) * std::cos(decl_rad));
    if (x > 1) return std::nullopt;
    if (x < -1) return kPi;
    return std::acos(x);
}

double hour_angle_rad(int minute) { return kPi - 2 * kPi * minute / kMinutesPerDay; }

namespace detail {

SunPosition position_from(const DayGeometry& g, const DayTerms& d, int minute) {
    SunPosition p;
    p.day = d.day;
    p.minute = minute;
    p.e0 = d.e0;
    p.hour_angle_rad = hour_angle_rad(minute);
    const double cos_omega = std::cos(p.hour_angle_rad);
    p.cos_zenith = clamp_unit(g.sin_decl * g.sin_lat + g.cos_decl * g.cos_lat * cos_omega);
    p.zenith_deg = std::acos(p.cos_zenith) * kRadToDeg;
    p.altitude_deg = 90 - p.zenith_deg;

    // sin(altitude) = cos z, cos(altitude) = sin z >= 0.
    const double cos_alt = std::sqrt(std::max(0.0, 1 - p.cos_zenith * p.cos_zenith));
    const double denominator = cos_alt * g.cos_lat;
    double az_rad;
    if (denominator > kAzimuthQuotientFloor) {
        const double a =
            std::acos(clamp_unit((p.cos_zenith * g.sin_lat - g.sin_decl) / denominator));
        az_rad = p.hour_angle_rad > 0 ? kPi - a : kPi + a;
    } else {
        // Direction of the sun in the local east and north components; the quotient above is
        // the cosine of this same angle measured from the south.
        const double east = g.cos_decl * std::sin(p.hour_angle_rad);
        const double north = g.sin_decl * g.cos_lat - g.cos_decl * g.sin_lat * cos_omega;
        az_rad = std::atan2(east, north);
    }
    double az_deg = az_rad * kRadToDeg;
    if (az_deg < 0) az_deg += 360;
    if (az_deg >= 360) az_deg -= 360;
    p.azimuth_deg = az_deg;
    return p;
}

}  // namespace detail

SunPosition sun_position(double latitude_deg, int day, int minute) {
    const DayTerms d = day_terms(day);
    const double lat_rad = latitude_deg * kDegToRad;
    const detail::DayGeometry g{std::sin(lat_rad), std::cos(lat_rad), std::sin(d.decl_rad),
                                std::cos(d.decl_rad)};
    return detail::position_from(g, d, minute);
}

double air_mass(double zenith_deg, double cos_zenith) {
    return 1 / (cos_zenith + 0.50572 * std::pow(96.07995 - zenith_deg, -1.6343));
}

double pressure_ratio(double elevation_m) { return std::pow(1 - 2.2569e-5 * elevation_m, 5.2553); }

double beam_weight(double e0, double tau, double air_mass_value, double pressure_ratio_value,
                   double cos_zenith) {
    return e0 * std::pow(tau, air_mass_value * pressure_ratio_value) * cos_zenith;
}

double diffuse_fraction(double kt) {
    if (!(kt > 0)) return kKdTable[0];
    const double x = kt * kKdNodesPerKt;  // exact at the nodes: 0.45 * 20 rounds to 9
    if (x >= kKdNodes - 1) return kKdTable[kKdNodes - 1];
    const int j = static_cast<int>(std::floor(x));
    const double t = x - j;
    return kKdTable[j] + t * (kKdTable[j + 1] - kKdTable[j]);
}

namespace {

// cos of the ring edges 90 i / nz degrees, i = 0..nz, the horizon exactly 0.
std::vector<double> edge_cosines(int nz) {
    std::vector<double> c(std::size_t(nz) + 1);
    for (int i = 0; i < nz; ++i) c[i] = std::cos(kDegToRad * 90.0 * i / nz);
    c[nz] = 0;
    return c;
}

std::vector<double> normalised(std::vector<double> w) {
    double total = 0;
    for (const double x : w) total += x;
    for (double& x : w) x /= total;
    return w;
}

}  // namespace

std::vector<double> diffuse_ring_weights(int nz, SkyModel model) {
    if (nz < 1) return {};
    const std::vector<double> c = edge_cosines(nz);
    std::vector<double> w(nz);
    for (int i = 0; i < nz; ++i) {
        const double c1 = c[i], c2 = c[i + 1];
        const double squares = c1 * c1 - c2 * c2;
        w[i] = model == SkyModel::kStandardOvercast
                   ? squares / 2 + 2 * (c1 * c1 * c1 - c2 * c2 * c2) / 3
                   : squares;
    }
    return normalised(std::move(w));
}

std::vector<double> solid_angle_ring_weights(int nz) {
    if (nz < 1) return {};
    const std::vector<double> c = edge_cosines(nz);
    std::vector<double> w(nz);
    for (int i = 0; i < nz; ++i) w[i] = c[i] - c[i + 1];
    return normalised(std::move(w));
}

Cell sun_cell(double zenith_deg, double azimuth_deg, int nz, int na) {
    Cell cell;
    if (nz < 1 || na < 1) return cell;
    if (zenith_deg > 0) {
        const double ring = std::floor(zenith_deg / (90.0 / nz));
        cell.ring = ring >= nz ? nz - 1 : static_cast<int>(ring);
    }
    double az = std::isfinite(azimuth_deg) ? std::fmod(azimuth_deg, 360.0) : 0.0;
    if (az < 0) az += 360;
    if (az >= 360) az = 0;  // -1e-20 + 360 rounds to 360
    const double sector = std::floor(az / (360.0 / na));
    cell.sector = sector >= na ? na - 1 : static_cast<int>(sector);
    return cell;
}

Sunflecks summarise_sunflecks(const Settings& s, const std::vector<TrackPoint>& track) {
    Sunflecks out;
    const int days = days_in_period(s);
    if (days < 1 || s.step_min < 1) return out;
    std::int64_t visible = 0;
    std::int64_t run = 0;
    std::int64_t longest = 0;
    const TrackPoint* previous = nullptr;
    for (const TrackPoint& p : track) {
        const bool follows = previous != nullptr && previous->day == p.day &&
                             p.minute - previous->minute == s.step_min;
        if (!p.visible) {
            run = 0;
        } else {
            ++visible;
            run = follows && previous->visible ? run + 1 : 1;
            longest = std::max(longest, run);
        }
        previous = &p;
    }
    out.sun_minutes = double(visible) * s.step_min / days;
    out.daylight_minutes = double(track.size()) * s.step_min / days;
    out.longest_sunfleck_min = static_cast<int>(longest * s.step_min);
    return out;
}

SunTable build_sun_table(const Settings& s, int nz, int na) {
    SunTable t;
    t.message = check_settings(s);
    if (t.message.empty()) t.message = check_shape(nz, na);
    if (!t.message.empty()) return t;
    t.nz = nz;
    t.na = na;
    t.days = days_in_period(s);
    t.rb.assign(std::size_t(nz) * std::size_t(na), 0.0);

    const double p = pressure_ratio(s.elevation_m);
    const double io_to_daily = double(s.step_min) / kMinutesPerDay;
    double ho_sum = 0;  // sum over the days of each day's 24-h mean irradiance
    std::int64_t positions = 0;
    walk_sun(s, [&](const SunPosition& sun) {
        // A kept sample is at or above the horizon; rounding may leave cos z a hair below 0.
        const double cos_z = std::max(0.0, sun.cos_zenith);
        ho_sum += s.solar_constant * sun.e0 * cos_z * io_to_daily;
        const double rb = beam_weight(sun.e0, s.tau, air_mass(sun.zenith_deg, cos_z), p, cos_z);
        const Cell cell = sun_cell(sun.zenith_deg, sun.azimuth_deg, nz, na);
        t.rb[std::size_t(cell.ring) * na + cell.sector] += rb;
        ++positions;
    });
    t.sun_positions = positions;
    t.ho_w = ho_sum / t.days;
    for (const double rb : t.rb) t.sum_rb += rb;
    t.ok = true;
    return t;
}

Result light_from_table(const Settings& s, const SunTable& table, const Sky& sky) {
    Result r;
    r.message = check_settings(s);
    if (r.message.empty() && !table.ok) r.message = "the sun table was not built";
    if (r.message.empty()) r.message = check_sky(sky);
    if (r.message.empty() &&
        (table.nz != sky.nz || table.na != sky.na || table.rb.size() != sky.gap.size()))
        r.message = "the sun table was built for another grid shape";
    if (!r.message.empty()) return r;

    r.sun_positions = table.sun_positions;
    r.sum_rb = table.sum_rb;
    r.ho_w = table.ho_w;
    r.ho_mj = table.ho_w * kMjPerDayPerWatt;
    r.kd = diffuse_fraction(s.kt);
    r.global_above = s.kt * r.ho_mj;
    r.diffuse_above = r.kd * r.global_above;
    r.direct_above = r.global_above - r.diffuse_above;

    r.isf = ring_weighted_mean(diffuse_ring_weights(sky.nz, s.sky_model), sky);
    r.canopy_openness = ring_weighted_mean(solid_angle_ring_weights(sky.nz), sky);
    if (table.sum_rb > 0) {
        double beam = 0;
        for (std::size_t c = 0; c < sky.gap.size(); ++c) beam += table.rb[c] * sky.gap[c];
        r.dsf = beam / table.sum_rb;
    }
    r.gsf = r.kd * r.isf + (1 - r.kd) * r.dsf;

    r.diffuse_below = r.diffuse_above * r.isf;
    r.direct_below = r.direct_above * r.dsf;
    r.global_below = r.diffuse_below + r.direct_below;
    r.global_pct = 100 * r.gsf;
    r.diffuse_pct = 100 * r.isf;
    r.direct_pct = 100 * r.dsf;
    r.par_above = r.global_above * s.par_mol_per_mj;
    r.par_below = r.global_below * s.par_mol_per_mj;
    r.ok = true;
    return r;
}

Result compute_light(const Settings& s, const Sky& sky) {
    std::string problem = check_sky(sky);
    if (!problem.empty()) {
        Result r;
        r.message = std::move(problem);
        return r;
    }
    return light_from_table(s, build_sun_table(s, sky.nz, sky.na), sky);
}

}  // namespace light
