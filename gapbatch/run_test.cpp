// gapbatch as a user runs it on a folder: folders and manifests as lists of photographs, threads,
// shards and their merge, and outputs that would destroy an input.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "skyimage/bitmap.h"

namespace fs = std::filesystem;

namespace {

const std::string kBin = SKYGAP_BIN_DIR;

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void spit(const fs::path& p, const std::string& text) { std::ofstream(p) << text; }

class Batch : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::path(::testing::TempDir()) /
               ("gapbatch_run_" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "photos" / "sub");
    }
    void TearDown() override {
        if (!HasFailure()) fs::remove_all(dir_);
    }
    // Runs COMMAND in the test's folder; its exit status.
    int run(const std::string& command) {
        const std::string line = "cd '" + dir_.string() + "' && " + command;
        const int rc = std::system(line.c_str());
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    }
    std::string gapbatch() const { return "'" + kBin + "/gapbatch' --quiet "; }
    // A small simulated photograph.
    void photo(const std::string& name, int seed) {
        ASSERT_EQ(run("'" + kBin + "/canopysim' --size 120 --lai 1.5 --seed " +
                      std::to_string(seed) + " --truth /dev/null " + name),
                  0);
    }
    fs::path dir_;
};

// The summary's rows without the column that numbers them, for comparing runs that number the
// same photographs differently.
std::vector<std::string> rows_without_index(const std::string& csv) {
    std::istringstream in(csv);
    std::string line;
    std::getline(in, line);
    std::size_t column = 0;
    {
        std::istringstream names(line);
        for (std::string name; std::getline(names, name, ','); ++column)
            if (name == "index") break;
    }
    std::vector<std::string> rows;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string out, field;
        for (std::size_t k = 0; std::getline(fields, field, ','); ++k)
            if (k != column) out += field + ",";
        rows.push_back(out);
    }
    return rows;
}

TEST_F(Batch, FoldersGiveTheirPhotographsSorted) {
    photo("photos/b.bmp", 2);
    photo("photos/a.bmp", 1);
    photo("photos/sub/c.bmp", 3);
    spit(dir_ / "photos" / "notes.txt", "not a photograph\n");
    ASSERT_EQ(run(gapbatch() + "--threshold 128 --out out photos > flat.csv"), 0);
    const std::string flat = slurp(dir_ / "flat.csv");
    EXPECT_LT(flat.find("photos/a.bmp"), flat.find("photos/b.bmp"));
    EXPECT_EQ(flat.find("sub/c.bmp"), std::string::npos);
    EXPECT_EQ(flat.find("notes"), std::string::npos);
    ASSERT_EQ(run(gapbatch() + "--threshold 128 --out out2 --recursive photos > deep.csv"), 0);
    EXPECT_NE(slurp(dir_ / "deep.csv").find("photos/sub/c.bmp"), std::string::npos);
    EXPECT_TRUE(fs::exists(dir_ / "out2" / "c.gapfract.txt"));
    EXPECT_NE(run(gapbatch() + "photos/sub/nothing_here/ 2> err.txt"), 0);
}

// A manifest mixing two cameras (two discs, two lenses) gives the rows of two separate runs.
TEST_F(Batch, ManifestGivesTheRowsOfSeparateRuns) {
    photo("photos/a.bmp", 1);
    photo("photos/b.bmp", 2);
    spit(dir_ / "photos" / "manifest.csv",
         "photo,circle,lens,threshold\n"
         "a.bmp,\"60,60,50\",equidistant,120\n"
         "b.bmp,\"59,61,45\",orthographic,\n");
    ASSERT_EQ(run(gapbatch() + "--threshold 128 --out m --manifest photos/manifest.csv > m.csv"), 0);
    ASSERT_EQ(run(gapbatch() + "--out s1 --circle 60,60,50 --threshold 120 photos/a.bmp > s1.csv"),
              0);
    ASSERT_EQ(run(gapbatch() + "--out s2 --circle 59,61,45 --lens orthographic --threshold 128 "
                               "photos/b.bmp > s2.csv"),
              0);
    const std::vector<std::string> m = rows_without_index(slurp(dir_ / "m.csv"));
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0], rows_without_index(slurp(dir_ / "s1.csv"))[0]);
    EXPECT_EQ(m[1], rows_without_index(slurp(dir_ / "s2.csv"))[0]);
    EXPECT_EQ(slurp(dir_ / "m" / "b.gapfract.txt"), slurp(dir_ / "s2" / "b.gapfract.txt"));

    // Refusals name the row and the column, before any photograph is read.
    spit(dir_ / "bad.csv", "photo,lens\nphotos/a.bmp,fisheye\n");
    EXPECT_EQ(run(gapbatch() + "--out r --manifest bad.csv 2> err.txt"), 1);
    EXPECT_NE(slurp(dir_ / "err.txt").find("bad.csv: row 1, column lens (fisheye)"),
              std::string::npos)
        << slurp(dir_ / "err.txt");
    spit(dir_ / "bad.csv", "photo,colour\nphotos/a.bmp,blue\n");
    EXPECT_EQ(run(gapbatch() + "--out r --manifest bad.csv 2> err.txt"), 1);
    EXPECT_NE(slurp(dir_ / "err.txt").find("column 2 (colour) is no setting"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir_ / "r"));
}

// Threads change nothing but the time: the same summary and files with one job as with three;
// shards merged give the single run's summary.
TEST_F(Batch, ThreadsAndShardsGiveTheSingleRun) {
    for (int k = 0; k < 7; ++k) photo("photos/p" + std::to_string(k) + ".bmp", 10 + k);
    spit(dir_ / "photos" / "broken.bmp", "BM not really\n");
    const std::string common = "--auto otsu --rings 6 --sectors 12 ";
    EXPECT_EQ(run(gapbatch() + common + "--jobs 1 --out one photos > one.csv"), 1);  // broken.bmp
    EXPECT_EQ(run(gapbatch() + common + "--jobs 3 --out three photos > three.csv"), 1);
    EXPECT_EQ(slurp(dir_ / "one.csv"), slurp(dir_ / "three.csv"));
    EXPECT_EQ(slurp(dir_ / "one" / "p4.gapfract.txt"), slurp(dir_ / "three" / "p4.gapfract.txt"));
    for (int k = 1; k <= 3; ++k) {
        run(gapbatch() + common + "--out sh --shard " + std::to_string(k) + "/3 photos > s" +
            std::to_string(k) + ".csv");
    }
    ASSERT_EQ(run(gapbatch() + "--merge s2.csv s3.csv s1.csv > merged.csv"), 0);
    EXPECT_EQ(slurp(dir_ / "merged.csv"), slurp(dir_ / "one.csv"));
    ASSERT_EQ(run(gapbatch() + "--merge --summary merged2.csv s1.csv s2.csv s3.csv"), 0);
    EXPECT_EQ(slurp(dir_ / "merged2.csv"), slurp(dir_ / "one.csv"));
    // Summaries of different layouts, or one shard twice, are refused.
    spit(dir_ / "other.csv", "photo,status\nx.bmp,ok\n");
    EXPECT_EQ(run(gapbatch() + "--merge s1.csv other.csv > no.csv 2> err.txt"), 1);
    EXPECT_EQ(run(gapbatch() + "--merge s1.csv s1.csv > no.csv 2> err.txt"), 1);
    EXPECT_NE(slurp(dir_ / "err.txt").find("appears twice"), std::string::npos);
}

// An output that is one of the photographs, under any name, is refused before anything is
// written, and the photograph stays as it was.
TEST_F(Batch, OutputsThatAreInputsAreRefused) {
    photo("photos/p.bmp", 5);
    const std::string before = slurp(dir_ / "photos" / "p.bmp");
    fs::create_symlink("photos/p.bmp", dir_ / "link.bmp");
    fs::create_hard_link(dir_ / "photos" / "p.bmp", dir_ / "hard.bmp");
    for (const std::string& summary :
         std::vector<std::string>{"./photos/p.bmp", "link.bmp", "hard.bmp",
                                  (dir_ / "photos" / "p.bmp").string()}) {
        EXPECT_EQ(run(gapbatch() + "--summary " + summary + " photos/p.bmp 2> err.txt"), 1)
            << summary;
        EXPECT_NE(slurp(dir_ / "err.txt").find("one of the inputs"), std::string::npos) << summary;
        EXPECT_EQ(slurp(dir_ / "photos" / "p.bmp"), before);
    }
    EXPECT_FALSE(fs::exists(dir_ / "photos" / "p.gapfract.txt"));
    // --overlay onto the photograph itself: the photograph fails, and stays.
    EXPECT_EQ(run(gapbatch() + "--overlay ./photos/p.bmp photos/p.bmp > s.csv 2> err.txt"), 1);
    EXPECT_EQ(slurp(dir_ / "photos" / "p.bmp"), before);
    // A merged summary written over one of the shards it merges.
    ASSERT_EQ(run(gapbatch() + "--summary shard.csv photos/p.bmp"), 0);
    const std::string shard = slurp(dir_ / "shard.csv");
    EXPECT_EQ(run(gapbatch() + "--merge --summary ./shard.csv shard.csv 2> err.txt"), 1);
    EXPECT_NE(slurp(dir_ / "err.txt").find("is one of the summaries to merge"), std::string::npos);
    EXPECT_EQ(slurp(dir_ / "shard.csv"), shard);
    // An absurd radius is refused at once (it used to overflow a conversion).
    EXPECT_EQ(run(gapbatch() + "--circle 10,10,1e300 photos/p.bmp 2> err.txt"), 1);
    EXPECT_NE(slurp(dir_ / "err.txt").find("at most 8191"), std::string::npos);
    // So is a disc whose square would exceed the pixels a photograph may have: it took a minute
    // and 3 GB before it failed.
    EXPECT_EQ(run(gapbatch() + "--circle 100,100,16000 photos/p.bmp 2> err.txt"), 1);
    EXPECT_NE(slurp(dir_ / "err.txt").find("at most 8191"), std::string::npos);
}

// Split a CSV line at its commas (the fields here hold none).
std::vector<std::string> fields_of(const std::string& line) {
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string f; std::getline(in, f, ',');) out.push_back(f);
    if (!line.empty() && line.back() == ',') out.emplace_back();
    return out;
}

// A photograph open only to the east: sky in the left half of the picture (azimuth 90 lies to
// the left, the top being north). Followed minute by minute through a northern year, the sun
// is seen in the morning only. The light columns are canopylight's on the gap-fraction file the
// run wrote, under the same names, so that the two tables stack.
TEST_F(Batch, SiteGivesTheLightColumnsAndASunTrackSeenInTheMorning) {
    const int w = 201;
    std::vector<std::uint8_t> px(std::size_t(w) * w, 0);
    for (int row = 0; row < w; ++row)
        for (int col = 0; col < w / 2; ++col) px[std::size_t(row) * w + col] = 255;
    {
        std::FILE* f = std::fopen((dir_ / "photos" / "east.bmp").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_TRUE(skyimage::write_grey_bmp(f, w, w, px.data()));
        std::fclose(f);
    }
    ASSERT_EQ(run(gapbatch() + "--threshold 128 --circle 100,100,100 --site 50.2,-125.7,238 " +
                  "--days 1-365 --sun-track track.csv photos/east.bmp > s.csv"),
              0);
    std::istringstream track(slurp(dir_ / "track.csv"));
    std::string line;
    std::getline(track, line);
    EXPECT_EQ(line, "photo,day,solar_time,altitude,azimuth,visible");
    long morning = 0, morning_seen = 0, afternoon_seen = 0, rows = 0;
    while (std::getline(track, line)) {
        const std::vector<std::string> f = fields_of(line);
        ASSERT_EQ(f.size(), 6u) << line;
        ++rows;
        const bool before_noon = f[2] < "12:00";
        const bool seen = f[5] == "1";
        if (before_noon) {
            ++morning;
            morning_seen += seen;
        } else {
            afternoon_seen += seen;
        }
    }
    EXPECT_GT(rows, 250000);  // some 12 hours a day through a year
    EXPECT_EQ(afternoon_seen, 0);
    EXPECT_GT(morning_seen, morning - 400);  // a minute a day at most, at the meridian

    // The summary's light columns against canopylight on the file written.
    ASSERT_EQ(run("'" + kBin + "/canopylight' --lat 50.2 --lon -125.7 --elev 238 --csv " +
                  "photos/east.gapfract.txt > light.csv"),
              0);
    std::istringstream summary(slurp(dir_ / "s.csv")), light(slurp(dir_ / "light.csv"));
    std::string sh, sr, lh, lr;
    std::getline(summary, sh);
    std::getline(summary, sr);
    std::getline(light, lh);
    std::getline(light, lr);
    const std::vector<std::string> snames = fields_of(sh), svalues = fields_of(sr);
    const std::vector<std::string> lnames = fields_of(lh), lvalues = fields_of(lr);
    ASSERT_EQ(snames.size(), svalues.size());
    int compared = 0;
    for (std::size_t k = 1; k < lnames.size(); ++k) {  // all but canopylight's file column
        const auto at = std::find(snames.begin(), snames.end(), lnames[k]);
        ASSERT_NE(at, snames.end()) << lnames[k];
        const std::string& value = svalues[std::size_t(at - snames.begin())];
        if (lnames[k] == "canopy_openness") {
            EXPECT_NEAR(std::stod(value), std::stod(lvalues[k]), 5e-7);  // six decimals here
        } else {
            EXPECT_EQ(value, lvalues[k]) << lnames[k];
        }
        ++compared;
    }
    EXPECT_EQ(compared, 17);
    const auto minutes = std::find(snames.begin(), snames.end(), "sun_minutes");
    ASSERT_NE(minutes, snames.end());
    EXPECT_NEAR(std::stod(svalues[std::size_t(minutes - snames.begin())]),
                double(morning_seen) / 365, 1e-3);

    // Without a site no photograph has light columns, and a sun track cannot be made.
    EXPECT_EQ(run(gapbatch() + "--sun-track t.csv photos/east.bmp > s2.csv 2> err.txt"), 1);
    EXPECT_NE(slurp(dir_ / "err.txt").find("no photograph has a site"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir_ / "t.csv"));
    EXPECT_EQ(run(gapbatch() + "--site 91,0 photos/east.bmp > s2.csv 2> err.txt"), 1);
    EXPECT_NE(slurp(dir_ / "err.txt").find("--site 91,0: expected a latitude"), std::string::npos);
}

// A photograph that needs more memory than there is fails alone: the others are analysed and
// the summary is complete, where an abort used to leave it empty.
TEST_F(Batch, PhotographBeyondTheMemoryFailsAloneAndTheSummaryIsWhole) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#endif
    photo("photos/a.bmp", 1);
    photo("photos/c.bmp", 2);
    {
        // 16000 x 16000 grey pixels, under the cap of 2^28, in a sparse file: 256 MB to take.
        std::vector<std::uint8_t> one(16, 0);
        std::FILE* f = std::fopen((dir_ / "photos" / "b.bmp").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_TRUE(skyimage::write_grey_bmp(f, 4, 4, one.data()));
        std::fclose(f);
        std::fstream patch(dir_ / "photos" / "b.bmp", std::ios::in | std::ios::out | std::ios::binary);
        const char size[4] = {char(16000 & 0xff), char(16000 >> 8), 0, 0};
        patch.seekp(18);
        patch.write(size, 4);
        patch.seekp(22);
        patch.write(size, 4);
        patch.close();
        fs::resize_file(dir_ / "photos" / "b.bmp", 1078 + std::uintmax_t(16000) * 16000);
    }
    EXPECT_EQ(run("ulimit -v 180000 && " + gapbatch() + "--jobs 1 photos > s.csv 2> err.txt"), 1);
    const std::string err = slurp(dir_ / "err.txt");
    EXPECT_NE(err.find("photos/b.bmp: there is no memory"), std::string::npos) << err;
    std::istringstream csv(slurp(dir_ / "s.csv"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(csv, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1].rfind("photos/a.bmp,120,", 0), 0u) << lines[1];
    EXPECT_EQ(lines[2].rfind("photos/b.bmp,,", 0), 0u) << lines[2];
    EXPECT_NE(lines[2].find("failed"), std::string::npos) << lines[2];
    EXPECT_EQ(lines[3].rfind("photos/c.bmp,120,", 0), 0u) << lines[3];
}

// A batch killed in the middle (SIGTERM; a shell starts background jobs with SIGINT ignored, so
// Ctrl-C is the same handler tried by hand): the summary and every gap-fraction file are the
// earlier ones or whole new ones, and no temporary is left behind.
TEST_F(Batch, InterruptLeavesEarlierOrWholeFilesAndNoTemporary) {
    for (int k = 0; k < 6; ++k) photo("photos/p" + std::to_string(k) + ".bmp", k);
    ASSERT_EQ(run(gapbatch() + "--circle 60,60,60 --rings 90 --sectors 360 --out out " +
                  "--summary whole.csv photos"),
              0);
    const std::string whole_gap = slurp(dir_ / "out" / "p0.gapfract.txt");
    for (int k = 0; k < 6; ++k) spit(dir_ / "out" / ("p" + std::to_string(k) + ".gapfract.txt"), "earlier\n");
    spit(dir_ / "s.csv", "earlier\n");
    // Many names for the photographs make a run long enough to interrupt.
    fs::create_directories(dir_ / "many");
    for (int r = 0; r < 600; ++r)
        fs::create_symlink(dir_ / "photos" / ("p" + std::to_string(r % 6) + ".bmp"),
                           dir_ / "many" / ("m" + std::to_string(r) + ".bmp"));
    for (int k = 0; k < 6; ++k)
        fs::create_symlink(dir_ / "photos" / ("p" + std::to_string(k) + ".bmp"),
                           dir_ / "many" / ("p" + std::to_string(k) + ".bmp"));
    const int status = run("true; " + gapbatch() +
                           "--jobs 1 --circle 60,60,60 --rings 90 --sectors 360 " +
                           "--out out --summary s.csv many & pid=$!; " +
                           "while kill -0 $pid 2>/dev/null && ! ls out/m10.gapfract.txt " +
                           ">/dev/null 2>&1; do sleep 0.005; done; kill -TERM $pid; wait $pid");
    EXPECT_NE(status, 0);
    EXPECT_TRUE(slurp(dir_ / "s.csv") == "earlier\n") << "the summary was replaced";
    for (int k = 0; k < 6; ++k) {
        const std::string gap = slurp(dir_ / "out" / ("p" + std::to_string(k) + ".gapfract.txt"));
        EXPECT_TRUE(gap == "earlier\n" || gap.size() == whole_gap.size()) << k << ": " << gap.size();
    }
    for (const auto& e : fs::recursive_directory_iterator(dir_))
        EXPECT_EQ(e.path().filename().string().find(".tmp-"), std::string::npos) << e.path();
}

// The batch page: written whole beside the summary, one section a photograph; a folder that
// cannot be made is refused before any photograph is analysed.
TEST_F(Batch, ReportPageIsWrittenAndAnUnusableFolderRefusedFirst) {
    photo("photos/p1.bmp", 1);
    photo("photos/p2.bmp", 2);
    ASSERT_EQ(run(gapbatch() + "--circle 60,60,60 --out out --report page photos > s.csv"), 0);
    const std::string html = slurp(dir_ / "page" / "index.html");
    EXPECT_NE(html.find("photos/p1.bmp"), std::string::npos);
    EXPECT_NE(html.find("photos/p2.bmp"), std::string::npos);
    EXPECT_NE(html.find("le_miller"), std::string::npos);  // the columns and their definitions
    EXPECT_TRUE(fs::exists(dir_ / "page" / "assets"));
    EXPECT_EQ(html.find("http://"), std::string::npos);
    EXPECT_EQ(html.find("https://"), std::string::npos);

    spit(dir_ / "afile", "x");
    EXPECT_EQ(run(gapbatch() + "--circle 60,60,60 --out out2 --report afile photos > s2.csv 2> err.txt"),
              1);
    EXPECT_NE(slurp(dir_ / "err.txt").find("afile"), std::string::npos) << slurp(dir_ / "err.txt");
    EXPECT_FALSE(fs::exists(dir_ / "out2" / "p1.gapfract.txt"));
    EXPECT_EQ(slurp(dir_ / "s2.csv"), "");
}

}  // namespace
