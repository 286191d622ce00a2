// light: understorey light from the gap fraction of every sky cell.
//
// The sun is followed through the period at a fixed step of local apparent solar time; each
// sun position above the horizon adds its clear-sky beam weight to the sky cell that holds it.
// The daily extraterrestrial irradiation, a cloudiness index and a diffuse-fraction table split
// the above-canopy global radiation into diffuse and direct parts; the gap fractions then give
// the share of each that reaches the ground (site factors).
//
// Methods:
//   - Eccentricity correction and declination: Fourier series of Spencer (1971), day angle
//     2 pi (d - 1) / 365.
//   - Sunrise hour angle, solar zenith and azimuth: the spherical-triangle relations (Iqbal
//     1983, ch. 1).
//   - Relative optical air mass: Kasten and Young (1989), Appl. Opt. 28:4735, eq. 3.
//   - Pressure ratio with elevation: standard atmosphere, (1 - 2.2569e-5 h)^5.2553.
//   - Beam weight E0 tau^(m p/p0) cos z with a clear-sky transmission coefficient tau.
//   - Diffuse fraction of daily global radiation from the cloudiness index Kt: tabulated at
//     Kt = 0, 0.05, ..., 0.80, linearly interpolated, constant above 0.80.
//   - Diffuse sky radiance: uniform overcast sky, or the standard overcast sky of Moon and
//     Spencer (1942), L(theta) proportional to (1 + 2 cos theta) / 3, integrated exactly over
//     each zenith ring.
// Times are minutes of local apparent solar time (0 = solar midnight, 720 = solar noon), so the
// site's longitude does not enter. Nothing here prints or keeps state.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace light {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegToRad = kPi / 180.0;
constexpr double kRadToDeg = 180.0 / kPi;
constexpr int kMinutesPerDay = 1440;
// A 24-hour mean irradiance in W m-2 times this is a daily irradiation in MJ m-2 d-1.
constexpr double kMjPerDayPerWatt = 0.0864;
// Default PAR conversion, mol m-2 of photons per MJ m-2 of global solar radiation: half of the
// solar energy lies in the 400-700 nm band (Szeicz 1974, J. Appl. Ecol. 11:617) and daylight in
// that band carries 4.57 umol of photons per joule (McCree 1972, Agric. Meteorol. 10:443);
// 0.5 * 4.57 = 2.285.
constexpr double kDefaultParMolPerMj = 2.285;

// Gap fraction of every sky cell: nz zenith rings of 90/nz degrees from the zenith outward,
// na azimuth sectors of 360/na degrees; gap[i * na + k] is ring i, sector k, which covers
// compass azimuths [360 k / na, 360 (k + 1) / na) (north 0, east 90, south 180, west 270).
struct Sky {
    int nz = 0;
    int na = 0;
    std::vector<double> gap;
};

// Angular distribution of the diffuse sky radiance.
enum class SkyModel {
    kUniformOvercast,   // "uoc": equal radiance everywhere
    kStandardOvercast,  // "soc": radiance proportional to (1 + 2 cos theta) / 3
};

struct Settings {
    double latitude_deg = 0;       // north positive, -90..90
    double elevation_m = 0;        // above sea level
    int first_day = 1;             // day of the year, 1..365
    int last_day = 365;            // 1..365, not before first_day
    int day_step = 1;              // days first_day, first_day + day_step, ... up to last_day
    int step_min = 2;              // solar-time step in whole minutes; must divide 1440
    double tau = 0.65;             // clear-sky transmission coefficient, (0, 1]
    double kt = 0.45;              // cloudiness index (global / extraterrestrial), [0, 1]
    double solar_constant = 1367;  // W m-2
    SkyModel sky_model = SkyModel::kUniformOvercast;
    double par_mol_per_mj = kDefaultParMolPerMj;  // PAR photons per global energy, > 0
};

// Empty when the settings are usable, otherwise one sentence naming the first bad setting.
// The step must divide a day so that every day has the same equally weighted samples and the
// samples of a coarser step are a subset of those of a finer one.
std::string check_settings(const Settings& s);

// Empty when the sky is usable: nz and na at least 1, nz * na gap fractions, each finite and
// within [0, 1].
std::string check_sky(const Sky& sky);

// The settings as words of a command line or cells of a table. Applies VALUE, as written, to the
// setting NAME: lat, lon (to *LONGITUDE_DEG, which names the site only: times are solar),
// elev, days ("FIRST-LAST", or one day "D"), day-step, step, tau, kt, solar-constant, sky
// ("uoc" or "soc") or par-conversion. Returns empty when VALUE was used; otherwise what was
// expected, e.g. "a latitude in degrees from -90 to 90, north positive", and the settings are
// as they were. An unknown NAME returns "a setting of the light model".
std::string apply_setting(const std::string& name, const std::string& value, Settings* s,
                          double* longitude_deg);

// Number of days of the period: first_day, first_day + day_step, ... up to last_day.
int days_in_period(const Settings& s);

// ---------------------------------------------------------------------------------------------
// Building blocks.

// Terms of day d of the year (Spencer 1971).
struct DayTerms {
    int day = 0;
    double e0 = 1;        // eccentricity correction factor (r0 / r)^2
    double decl_rad = 0;  // solar declination
};
DayTerms day_terms(int day);

// Sunrise hour angle omega_s = acos(-tan(lat) tan(decl)), in [0, pi]: pi when the sun does not
// set (midnight sun); no value when it does not rise (polar night). Valid for every latitude
// in [-90, 90], the poles included.
std::optional<double> sunrise_hour_angle_rad(double latitude_deg, double decl_rad);

// Hour angle of solar time t minutes: pi - 2 pi t / 1440, positive before solar noon.
double hour_angle_rad(int minute);

// One position of the sun.
struct SunPosition {
    int day = 0;
    int minute = 0;             // solar time, minutes after solar midnight
    double e0 = 1;              // the day's eccentricity correction factor
    double hour_angle_rad = 0;  // positive before solar noon
    double cos_zenith = 0;      // clamped to [-1, 1]
    double zenith_deg = 0;      // 0..180
    double altitude_deg = 0;    // 90 - zenith_deg
    double azimuth_deg = 0;     // compass azimuth, [0, 360)
};

// Position of the sun at solar time `minute` of day `day` at the latitude, whether or not it is
// above the horizon. Zenith from cos z = sin(decl) sin(lat) + cos(decl) cos(lat) cos(omega);
// compass azimuth pi - a before noon and pi + a after, cos a = (sin e sin(lat) - sin(decl)) /
// (cos e cos(lat)), e the altitude. Where that quotient has no meaning (sun at the zenith, or a
// pole) the azimuth is the limit the direction of the sun gives (at the north pole pi - omega).
SunPosition sun_position(double latitude_deg, int day, int minute);

// Relative optical air mass (Kasten and Young 1989): 1 / (cos z + 0.50572 (96.07995 - z)^-1.6343),
// z the zenith angle in degrees, 0..90.
double air_mass(double zenith_deg, double cos_zenith);

// Station pressure over sea-level pressure, (1 - 2.2569e-5 h)^5.2553, h in metres.
double pressure_ratio(double elevation_m);

// Clear-sky beam weight of one sun position: E0 tau^(m p/p0) cos z.
double beam_weight(double e0, double tau, double air_mass_value, double pressure_ratio_value,
                   double cos_zenith);

// Diffuse fraction Kd of daily global radiation for the cloudiness index kt, by linear
// interpolation in the table at Kt = 0, 0.05, ..., 0.80; the end values outside that range.
double diffuse_fraction(double kt);

// Weight of every zenith ring for the indirect site factor (ring i from 90 i / nz to
// 90 (i + 1) / nz degrees), the exact integral of radiance times cos theta over the ring,
// normalised so the weights add up to 1 over the hemisphere:
//   uniform overcast   cos^2 t1 - cos^2 t2
//   standard overcast  (cos^2 t1 - cos^2 t2) / 2 + 2 (cos^3 t1 - cos^3 t2) / 3
// Each ring's weight is shared evenly by its na sectors. Empty for nz < 1.
std::vector<double> diffuse_ring_weights(int nz, SkyModel model);

// Solid-angle weight of every zenith ring, cos t1 - cos t2 (the hemisphere adds up to 1), for
// canopy openness. Empty for nz < 1.
std::vector<double> solid_angle_ring_weights(int nz);

// Sky cell holding the direction (zenith z, compass azimuth az), both in degrees: ring
// floor(z / (90 / nz)), sector floor(az / (360 / na)). The horizon (z = 90, and anything past
// it) belongs to the outermost ring, a negative z to the zenith ring; the azimuth is first
// brought into [0, 360), so 360 is north and lands in sector 0. Cell 0, 0 when nz or na < 1.
struct Cell {
    int ring = 0;
    int sector = 0;
};
Cell sun_cell(double zenith_deg, double azimuth_deg, int nz, int na);

// ---------------------------------------------------------------------------------------------
// Walking the sun track.

namespace detail {
// The per-day trigonometry the walk reuses for every sample of the day.
struct DayGeometry {
    double sin_lat, cos_lat, sin_decl, cos_decl;
};
SunPosition position_from(const DayGeometry& g, const DayTerms& d, int minute);
}  // namespace detail

// Calls visit(const SunPosition&) for every kept sample of the period in time order: for each
// day of the period, the solar times t = k * step_min, k = 0 .. 1440 / step_min - 1, whose hour
// angle omega = pi - 2 pi t / 1440 satisfies -omega_s <= omega <= omega_s (every sample under a
// midnight sun, none in polar night). For a minute series set step_min = 1. Returns false, and
// visits nothing, when check_settings refuses the settings. Allocates nothing per sample.
template <typename Visit>
bool walk_sun(const Settings& s, Visit&& visit) {
    if (!check_settings(s).empty()) return false;
    const double lat_rad = s.latitude_deg * kDegToRad;
    detail::DayGeometry g{};
    g.sin_lat = std::sin(lat_rad);
    g.cos_lat = std::cos(lat_rad);
    const int samples = kMinutesPerDay / s.step_min;
    for (int day = s.first_day; day <= s.last_day; day += s.day_step) {
        const DayTerms d = day_terms(day);
        const std::optional<double> omega_s = sunrise_hour_angle_rad(s.latitude_deg, d.decl_rad);
        if (!omega_s) continue;
        g.sin_decl = std::sin(d.decl_rad);
        g.cos_decl = std::cos(d.decl_rad);
        for (int k = 0; k < samples; ++k) {
            const int minute = k * s.step_min;
            const double omega = hour_angle_rad(minute);
            if (omega < -*omega_s || omega > *omega_s) continue;
            visit(detail::position_from(g, d, minute));
        }
    }
    return true;
}

// One sample of a sun track and whether the sun is seen from the ground there.
struct TrackPoint {
    int day = 0;
    int minute = 0;  // solar time
    bool visible = false;
};

struct Sunflecks {
    double sun_minutes = 0;        // minutes of visible sun per day, mean over the period's days
    double daylight_minutes = 0;   // minutes of sun above the horizon per day, same mean
    int longest_sunfleck_min = 0;  // longest run of visible samples, minutes
};

// Summarises a sun track walked with the settings' step (each sample stands for step_min
// minutes). The mean is over every day of the period (days_in_period), sunless days counting 0.
// A sunfleck is a run of visible samples of one day whose solar times follow each other at the
// step; runs are counted per day, so under a midnight sun a run crossing solar midnight counts as
// two. Points need not cover every sample, but must be in walk order (day, then time); a point
// out of order ends the current run.
Sunflecks summarise_sunflecks(const Settings& s, const std::vector<TrackPoint>& track);

// ---------------------------------------------------------------------------------------------
// The site factors and the transmitted radiation.

// The sun's part of the model for one grid shape, independent of the canopy, so one table
// serves every sky of that shape under the same settings.
struct SunTable {
    bool ok = false;
    std::string message;  // why not, when !ok
    int nz = 0;
    int na = 0;
    int days = 0;                    // days of the period
    std::int64_t sun_positions = 0;  // kept samples over the period
    double ho_w = 0;         // daily extraterrestrial irradiation, 24-h mean W m-2, mean over days
    double sum_rb = 0;       // sum of the beam weights of every sun position
    std::vector<double> rb;  // beam weight per cell, index ring * na + sector
};
SunTable build_sun_table(const Settings& s, int nz, int na);

struct Result {
    bool ok = false;
    std::string message;  // why not, when !ok
    std::int64_t sun_positions = 0;
    double sum_rb = 0;
    double ho_w = 0;             // W m-2 (24-h mean)
    double ho_mj = 0;            // MJ m-2 d-1
    double kd = 0;               // diffuse fraction
    double global_above = 0;     // MJ m-2 d-1, Kt Ho
    double diffuse_above = 0;    // Kd global_above
    double direct_above = 0;     // global_above - diffuse_above
    double isf = 0;              // indirect site factor
    double dsf = 0;              // direct site factor; 0 when no sun position has beam weight
    double gsf = 0;              // global site factor, Kd ISF + (1 - Kd) DSF
    double canopy_openness = 0;  // solid-angle weighted gap fraction
    double global_below = 0;     // MJ m-2 d-1
    double diffuse_below = 0;    // diffuse_above ISF
    double direct_below = 0;     // direct_above DSF
    double global_pct = 0;       // 100 GSF
    double diffuse_pct = 0;      // 100 ISF
    double direct_pct = 0;       // 100 DSF
    double par_above = 0;        // mol m-2 d-1, global_above par_mol_per_mj
    double par_below = 0;        // mol m-2 d-1, global_below par_mol_per_mj
};

// Site factors and transmitted radiation for a sky, with a table built for the sky's shape
// under the same settings. The percentages are the site factors times 100 (below over above),
// which keeps them defined when the above-canopy value is 0 (Kt = 0, or no sun in the period);
// GSF is Kd ISF + (1 - Kd) DSF, equal to (Hd ISF + Hb DSF) / H and defined also when H = 0.
Result light_from_table(const Settings& s, const SunTable& table, const Sky& sky);

// build_sun_table and light_from_table in one.
Result compute_light(const Settings& s, const Sky& sky);

}  // namespace light
