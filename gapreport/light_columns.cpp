#include "gapreport/light_columns.h"

#include <cstddef>
#include <cstdio>

namespace gapreport {

namespace {

std::string whole_number(long long v) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld", v);
    return text;
}

}  // namespace

std::string light_number(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.7g", v);
    return text;
}

std::string join_csv(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t k = 0; k < fields.size(); ++k) {
        if (k > 0) line += ',';
        line += fields[k];
    }
    return line;
}

std::vector<std::string> light_csv_header(const LightColumns& columns) {
    std::vector<std::string> names = {
        "sun_positions", "ho_w",         "ho_mj", "kd",  "global_above",
        "diffuse_above", "direct_above", "isf",   "dsf", "gsf"};
    if (columns.canopy_openness) names.push_back("canopy_openness");
    for (const char* name : {"global_below", "diffuse_below", "direct_below", "global_pct",
                             "diffuse_pct", "direct_pct"})
        names.push_back(name);
    if (columns.par) {
        names.push_back("par_above");
        names.push_back("par_below");
    }
    return names;
}

std::vector<std::string> light_csv_fields(const light::Result& r, const LightColumns& columns) {
    if (!r.ok) return std::vector<std::string>(light_csv_header(columns).size());
    std::vector<std::string> fields = {whole_number(r.sun_positions)};
    for (const double v : {r.ho_w, r.ho_mj, r.kd, r.global_above, r.diffuse_above, r.direct_above,
                           r.isf, r.dsf, r.gsf})
        fields.push_back(light_number(v));
    if (columns.canopy_openness) fields.push_back(light_number(r.canopy_openness));
    for (const double v : {r.global_below, r.diffuse_below, r.direct_below, r.global_pct,
                           r.diffuse_pct, r.direct_pct})
        fields.push_back(light_number(v));
    if (columns.par) {
        fields.push_back(light_number(r.par_above));
        fields.push_back(light_number(r.par_below));
    }
    return fields;
}

std::vector<std::string> sunfleck_csv_header() { return {"sun_minutes", "longest_sunfleck"}; }

std::vector<std::string> sunfleck_csv_fields(const light::Sunflecks& flecks) {
    return {light_number(flecks.sun_minutes), whole_number(flecks.longest_sunfleck_min)};
}

light::Sky light_sky(const gapdata::Grid<double>& grid) {
    light::Sky sky;
    sky.nz = grid.nz;
    sky.na = grid.na;
    sky.gap.assign(std::size_t(grid.nz) * std::size_t(grid.na), 0.0);
    for (int i = 0; i < grid.nz; ++i)
        for (int c = 0; c < grid.na; ++c)
            sky.gap[std::size_t(i) * std::size_t(grid.na) + std::size_t(grid.na - 1 - c)] =
                grid.fract_open[i][c];
    return sky;
}

}  // namespace gapreport
