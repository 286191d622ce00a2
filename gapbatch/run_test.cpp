// gapbatch as a user runs it on a folder: folders and manifests as lists of photographs, threads,
// shards and their merge, and outputs that would destroy an input.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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
    // An absurd radius is refused at once (it used to overflow a conversion).
    EXPECT_EQ(run(gapbatch() + "--circle 10,10,1e300 photos/p.bmp 2> err.txt"), 1);
    EXPECT_NE(slurp(dir_ / "err.txt").find("at most 16384"), std::string::npos);
}

}  // namespace
