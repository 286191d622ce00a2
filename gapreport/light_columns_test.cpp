// The light columns that canopylight and gapbatch share, and the grid of a gap-fraction file as
// the light unit's sky.
#include "gapreport/light_columns.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

TEST(LightColumns, NamesAreTheDocumentedOnes) {
    EXPECT_EQ(gapreport::join_csv(gapreport::light_csv_header({})),
              "sun_positions,ho_w,ho_mj,kd,global_above,diffuse_above,direct_above,isf,dsf,gsf,"
              "canopy_openness,global_below,diffuse_below,direct_below,global_pct,diffuse_pct,"
              "direct_pct");
    gapreport::LightColumns with_par;
    with_par.par = true;
    with_par.canopy_openness = false;
    const std::vector<std::string> names = gapreport::light_csv_header(with_par);
    EXPECT_EQ(names.size(), 18u);
    EXPECT_EQ(names[9], "gsf");
    EXPECT_EQ(names[10], "global_below");
    EXPECT_EQ(names[16], "par_above");
    EXPECT_EQ(names[17], "par_below");
    EXPECT_EQ(gapreport::join_csv(gapreport::sunfleck_csv_header()),
              "sun_minutes,longest_sunfleck");
}

TEST(LightColumns, FieldsFollowTheNames) {
    light::Result r;
    r.ok = true;
    r.sun_positions = 132145;
    r.ho_w = 284.53281234;
    r.ho_mj = 24.5836;
    r.kd = 0.6301739;
    r.isf = 0.25;
    r.dsf = 1.0 / 3;
    r.gsf = 1;
    r.canopy_openness = 0.13397459621556135;
    r.direct_below = 1e-9;
    r.global_pct = 100;
    r.par_above = 25.5;
    r.par_below = 0;
    for (const bool par : {false, true}) {
        for (const bool openness : {false, true}) {
            gapreport::LightColumns c;
            c.par = par;
            c.canopy_openness = openness;
            const std::vector<std::string> names = gapreport::light_csv_header(c);
            const std::vector<std::string> fields = gapreport::light_csv_fields(r, c);
            ASSERT_EQ(fields.size(), names.size());
            auto field = [&](const std::string& name) {
                for (std::size_t k = 0; k < names.size(); ++k)
                    if (names[k] == name) return fields[k];
                return std::string("absent");
            };
            EXPECT_EQ(field("sun_positions"), "132145");
            EXPECT_EQ(field("ho_w"), "284.5328");
            EXPECT_EQ(field("kd"), "0.6301739");
            EXPECT_EQ(field("isf"), "0.25");
            EXPECT_EQ(field("dsf"), "0.3333333");
            EXPECT_EQ(field("gsf"), "1");
            EXPECT_EQ(field("canopy_openness"), openness ? "0.1339746" : "absent");
            EXPECT_EQ(field("direct_below"), "1e-09");
            EXPECT_EQ(field("global_pct"), "100");
            EXPECT_EQ(field("par_above"), par ? "25.5" : "absent");
            EXPECT_EQ(field("par_below"), par ? "0" : "absent");
        }
    }
    // A failed row keeps every column, empty.
    const light::Result failed;
    const std::vector<std::string> empty = gapreport::light_csv_fields(failed, {});
    EXPECT_EQ(gapreport::join_csv(empty), std::string(16, ','));

    light::Sunflecks f;
    f.sun_minutes = 123.456789;
    f.longest_sunfleck_min = 42;
    EXPECT_EQ(gapreport::join_csv(gapreport::sunfleck_csv_fields(f)), "123.4568,42");
}

// The writer's sector ia holds compass azimuths [360 ia / na, 360 (ia + 1) / na); the file
// lists a ring's sectors in decreasing azimuth, so a reader's column c is sector na - 1 - c.
// Through the file and back, every cell lands in the light unit's sector of its azimuths.
TEST(LightSky, EveryCellKeepsItsAzimuth) {
    gapdata::Counts counts;
    const int nz = 3, na = 5;
    counts.reset(nz, na);
    for (int iz = 0; iz < nz; ++iz)
        for (int ia = 0; ia < na; ++ia) {
            counts.pixel(iz, ia) = 1000;
            counts.gap(iz, ia) = 10 * (iz * na + ia);  // gap fraction 0.01 * cell number
        }
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    gapdata::write_gap_fraction(f, counts);
    std::rewind(f);
    gapdata::Grid<double> grid;
    int file_nz = 0, file_na = 0;
    std::string why;
    const gapdata::Reading reading{90, 360, false};
    ASSERT_EQ(gapdata::read_header(f, "gap.txt", reading, &file_nz, &file_na, &why),
              gapdata::Status::kOk);
    ASSERT_EQ(gapdata::read_records(f, "gap.txt", reading, file_nz, file_na, &grid, &why),
              gapdata::Status::kOk);
    std::fclose(f);
    ASSERT_EQ(grid.records_read, nz * na);

    const light::Sky sky = gapreport::light_sky(grid);
    ASSERT_EQ(sky.nz, nz);
    ASSERT_EQ(sky.na, na);
    for (int iz = 0; iz < nz; ++iz)
        for (int ia = 0; ia < na; ++ia)
            // gaps / pixels has two decimals: "%lf" prints it exactly, reading gives it back.
            EXPECT_EQ(sky.gap[std::size_t(iz * na + ia)], 10.0 * (iz * na + ia) / 1000)
                << iz << " " << ia;

    // The same from counts in memory, as gapbatch builds its grid.
    gapdata::Grid<double> from_counts;
    gapdata::grid_from_counts(counts, gapdata::Precision::kAsFile, &from_counts);
    EXPECT_EQ(gapreport::light_sky(from_counts).gap, sky.gap);
}

}  // namespace

namespace {

TEST(CsvField, QuotedOnlyWhenItMustBe) {
    EXPECT_EQ(gapreport::csv_field("plot 1/a.jpg"), "plot 1/a.jpg");
    EXPECT_EQ(gapreport::csv_field("a,b.jpg"), "\"a,b.jpg\"");
    EXPECT_EQ(gapreport::csv_field("say \"sky\""), "\"say \"\"sky\"\"\"");
    EXPECT_EQ(gapreport::csv_field("two\nlines"), "\"two\nlines\"");
    EXPECT_EQ(gapreport::csv_field(""), "");
}

}  // namespace
