// gapreport: the understorey-light numbers as CSV columns, and a gap-fraction grid as the light
// unit's sky.
//
// canopylight --csv and gapbatch's summary both take their light columns from here, so that
// their rows stack under one header: the same names, in the same order, in the same formats.
// Every real number is printed with "%.7g" (seven significant digits, the precision of the
// model's published reference values), counts as whole numbers.
#pragma once

#include <string>
#include <vector>

#include "gapdata/gapdata.h"
#include "light/light.h"

namespace gapreport {

// Which of the optional light columns a table carries.
struct LightColumns {
    bool par = false;             // par_above and par_below (mol m-2 d-1) at the end
    bool canopy_openness = true;  // off for a table that has its own canopy_openness column
};

// The column names: sun_positions, ho_w, ho_mj, kd, global_above, diffuse_above, direct_above,
// isf, dsf, gsf, canopy_openness, global_below, diffuse_below, direct_below, global_pct,
// diffuse_pct, direct_pct, then par_above and par_below when asked.
std::vector<std::string> light_csv_header(const LightColumns& columns);
// The fields of one result, one per name of light_csv_header. A result that is not ok gives
// empty fields, so a failed row still has every column.
std::vector<std::string> light_csv_fields(const light::Result& result, const LightColumns& columns);

// The sun-track columns of a photograph: sun_minutes (minutes of direct sun per day, mean over
// the period) and longest_sunfleck (minutes).
std::vector<std::string> sunfleck_csv_header();
std::vector<std::string> sunfleck_csv_fields(const light::Sunflecks& flecks);

// A real number as the light columns print it: "%.7g".
std::string light_number(double v);

// The fields joined by commas, without line feed.
std::string join_csv(const std::vector<std::string>& fields);

// The light unit's sky from a reader's grid. Column c of a grid row holds the writer's sector
// na - 1 - c, which covers the compass azimuths [360 k / na, 360 (k + 1) / na) with
// k = na - 1 - c (the declination was applied when the photograph was counted); that is sector k
// of the light unit's sky. Zenith rings are the grid's rings.
light::Sky light_sky(const gapdata::Grid<double>& grid);

}  // namespace gapreport
