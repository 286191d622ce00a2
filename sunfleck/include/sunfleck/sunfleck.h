// sunfleck: the sun followed minute by minute across one photograph.
//
// A sun track (the sun above the horizon at every minute of local apparent solar time over the
// period, light::walk_sun with a one-minute step) is worked out once for a site and period; its
// pixels once for a lens, a working-image width and a declination (skyimage::direction_pixel,
// whose lens inversion is the costly part); and then each photograph of that shape only reads
// one pixel per minute. Nothing here prints or keeps state.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "gapdata/gapdata.h"
#include "light/light.h"
#include "skyimage/sunsight.h"

namespace sunfleck {

// One minute of the sun above the horizon (a sample at sunrise or sunset may lie on it).
struct Sample {
    std::int16_t day = 0;     // day of the year
    std::int16_t minute = 0;  // solar time, minutes after solar midnight
    float zenith_deg = 0;
    float azimuth_deg = 0;  // compass azimuth
};

// Every minute of the period SETTINGS gives (latitude, days, day step; its step is ignored: the
// track is a minute series) with the sun above the horizon, in time order. Empty when
// light::check_settings refuses the settings.
std::vector<Sample> minute_track(const light::Settings& settings);

// The working-image pixel of every sample, for a working image W pixels wide, LENS and
// DECLINATION (degrees, East positive): skyimage::direction_pixel of each.
std::vector<skyimage::DiscPixel> track_pixels(const std::vector<Sample>& track,
                                              const skyimage::Lens& lens, int w,
                                              double declination);

// Whether the sun is seen at each sample in VIEW (VIEW.w the width PIXELS were made for), and
// the summary of light::summarise_sunflecks at a one-minute step: minutes of visible sun per day
// (mean over the period's days) and the longest sunfleck. When POINTS is not null it receives
// the track point of every sample. The period's day count comes from SETTINGS.
light::Sunflecks follow(const skyimage::ImageView& view, const std::vector<Sample>& track,
                        const std::vector<skyimage::DiscPixel>& pixels,
                        const light::Settings& settings, std::vector<light::TrackPoint>* points);

// ---------------------------------------------------------------------------------------------
// The light of one photograph among many.

// The tables worth keeping from one photograph to the next: the model's sun table for the last
// settings and grid, the minute track for the last site and period, its pixels for the last
// lens, width and declination. A batch of photographs from one site and camera makes each once.
// One per thread; holds no pointer into anything else.
class Tables {
  public:
    const light::SunTable& sun_table(const light::Settings& settings, int nz, int na);
    std::shared_ptr<const std::vector<Sample>> track(const light::Settings& settings);
    const std::vector<skyimage::DiscPixel>& pixels(const light::Settings& settings,
                                                   const skyimage::Lens& lens, int w,
                                                   double declination);

  private:
    light::Settings table_settings_{};
    int table_nz_ = 0, table_na_ = 0;
    light::SunTable table_;
    light::Settings track_settings_{};
    std::shared_ptr<const std::vector<Sample>> track_;
    skyimage::Lens lens_{};
    int w_ = 0;
    double declination_ = 0;
    std::shared_ptr<const std::vector<Sample>> pixels_track_;  // the track PIXELS were made for
    std::vector<skyimage::DiscPixel> pixels_;
};

// What one photograph gives under a site's sky.
struct PhotoLight {
    light::Result light;       // site factors and transmitted radiation, from the cells
    light::Sunflecks flecks;   // the sun followed pixel by pixel
    std::shared_ptr<const std::vector<Sample>> track;  // kept when asked: the minute series
    std::vector<std::uint8_t> visible;                 // and whether the sun was seen, 0 or 1
};

// The light of a photograph: the model's numbers from the gap fractions of COUNTS as the
// gap-fraction file gives them (gapdata::Precision::kAsFile, so that they agree digit for digit
// with the file read by another program), and the sun followed across VIEW, the photograph's
// working image seen through LENS with DECLINATION. KEEP_TRACK keeps the minute series.
PhotoLight photo_light(const light::Settings& settings, const gapdata::Counts& counts,
                       const skyimage::ImageView& view, const skyimage::Lens& lens,
                       double declination, bool keep_track, Tables* tables);

}  // namespace sunfleck
