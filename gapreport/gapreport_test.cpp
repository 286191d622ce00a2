#include "gapreport/gapreport.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

using gapreport::BlockStyle;

// What WRITER prints, through a scratch file.
std::string lines_of(void (*writer)(std::FILE*)) {
    char name[] = "/tmp/gapreport-test-XXXXXX";
    close(mkstemp(name));
    std::FILE* out = std::fopen(name, "w");
    writer(out);
    std::fclose(out);
    std::ifstream in(name);
    std::stringstream ss;
    ss << in.rdbuf();
    std::remove(name);
    return ss.str();
}

// ----------------------------------------------------------------------------------------------
// Selection block.

TEST(SelectionBlock, SuitsWordingForEveryRingCase) {
    EXPECT_EQ(lines_of([](std::FILE* f) {
                  gapreport::write_selection_block(f, BlockStyle::kSuits, 9, 8, 0, 0);
              }),
              "Zenith Annuli:   9 (width: 10.0 deg)\n"
              "Azimuth Sectors: 8 (width: 45.0 deg)\n"
              "Sky Divisions:   72\n\n"
              "0 Horizon Ring(s) Discarded =  0.0 deg\n"
              "Zenith Viewing Angle (FOV) = 180.0 deg\n"
              "Sky Divisions Used:   72\n\n");
    const std::string zenith_discarded = lines_of([](std::FILE* f) {
        gapreport::write_selection_block(f, BlockStyle::kSuits, 9, 8, 2, 0);
    });
    EXPECT_EQ(zenith_discarded.substr(zenith_discarded.find("Sky Divisions:   72\n\n") + 21),
              "2 Zenith Ring(s) Discarded\n"
              "Angular Range about Zenith = 20.0 -> 90.0 deg\n"
              "Sky Divisions Used:   56\n\n");
    EXPECT_EQ(lines_of([](std::FILE* f) {
                  gapreport::write_ring_lines(f, BlockStyle::kSuits, 90.0 / 7, 1, 2);
              }),
              "1 Zenith Ring(s) + 2 Horizon Ring(s) Discarded\n"
              "Angular Range about Zenith = 12.9 -> 64.3 deg\n");
    EXPECT_EQ(lines_of([](std::FILE* f) {
                  gapreport::write_ring_lines(f, BlockStyle::kSuits, 10.0, 0, 2);
              }),
              "2 Horizon Ring(s) Discarded = 20.0 deg\n"
              "Zenith Viewing Angle (FOV) = 140.0 deg\n");
}

TEST(SelectionBlock, WholeDegreeVariants) {
    EXPECT_EQ(lines_of([](std::FILE* f) {
                  gapreport::write_ring_lines(f, BlockStyle::kTessor, 90.0f / 7, 1, 2);
              }),
              "1 Zenith Ring(s) + 2 Horizon Ring(s) Discarded\n"
              "Angular Range about Zenith = 12 -> 66 deg\n");
    EXPECT_EQ(lines_of([](std::FILE* f) {
                  gapreport::write_ring_lines(f, BlockStyle::kZephor, 90.0 / 7, 1, 2);
              }),
              "1 Zenith Ring(s) + 2 Horizon Ring(s) Discarded\n"
              "Angular Range about Zenith = 12 -> 66 deg\n");
    EXPECT_EQ(lines_of([](std::FILE* f) {
                  gapreport::write_ring_lines(f, BlockStyle::kTessor, 90.0f / 7, 0, 1);
              }),
              "1 Horizon Ring(s) Discarded = 12 deg\n"
              "Zenith Viewing Angle (FOV) = 156 deg\n");
    EXPECT_EQ(lines_of([](std::FILE* f) {
                  gapreport::write_grid_lines(f, BlockStyle::kTessor, 9, 8, 10.0f, 45.0f);
              }),
              "\nNbr of Zenith Rings = 9 (Width = 10.0 deg)"
              "\nNbr of Azimuth Sectors = 8 (Width = 45.0 deg)\n");
}

TEST(SelectionBlock, NegativeCountsWriteNoRingLines) {
    EXPECT_EQ(lines_of([](std::FILE* f) {
                  gapreport::write_ring_lines(f, BlockStyle::kSuits, 10.0, 2, -1);
                  gapreport::write_ring_lines(f, BlockStyle::kSuits, 10.0, -1, 0);
              }),
              "");
}

TEST(Report, InputFailuresInEachProgramsWording) {
    std::FILE* err = std::tmpfile();
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(gapreport::write_input_failure(err, gapdata::Status::kCannotOpen, "g.txt", ""), 1);
    EXPECT_EQ(gapreport::write_input_failure(err, gapdata::Status::kRefused, "g.txt",
                                             "g.txt: the header line is bad"),
              1);
    std::rewind(err);
    char text[200] = "";
    const std::size_t n = std::fread(text, 1, sizeof text - 1, err);
    std::fclose(err);
    EXPECT_EQ(std::string(text, n),
              "Cannot open the file g.txt...\ng.txt: the header line is bad\n");
}

}  // namespace
