// The batch front end: the command line, the output files, the summary and the handling of one
// photograph.
#include "batch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <sstream>
#include <string>

#include "test_images.h"

namespace gapbatch {
namespace {

using gapbatch_test::Rgb;
using gapbatch_test::ScratchDir;

bool parse(std::vector<const char*> args, Options* o, std::string* problem = nullptr) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>("gapbatch"));
    for (const char* a : args) argv.push_back(const_cast<char*>(a));
    char text[kMessageSize] = "";
    const bool ok = parse_options(int(argv.size()), argv.data(), o, text);
    if (problem != nullptr) *problem = text;
    return ok;
}

TEST(Options, FieldOfViewBeforeLensStillCounts) {
    Options o;
    ASSERT_TRUE(parse({"--fov", "100", "--lens", "equisolid", "x.bmp", "--quiet"}, &o));
    EXPECT_EQ(o.defaults.photo.lens.kind, skyimage::LensKind::kEquisolid);
    EXPECT_EQ(o.defaults.photo.lens.fov_deg, 100);
    EXPECT_TRUE(o.quiet);  // options after the photographs count too
    ASSERT_EQ(o.args.size(), 1u);
}

TEST(Options, Refusals) {
    const std::vector<std::vector<const char*>> bad = {
        {},  // no photograph
        {"--rings", "0", "a"},
        {"--rings", "91", "a"},
        {"--sectors", "361", "a"},
        {"--rings", "9x", "a"},
        {"--declination", "181", "a"},
        {"--declination", "nan", "a"},
        {"--lens", "fisheye", "a"},
        {"--lens", "orthographic", "--fov", "100", "a"},       // sin turns back beyond 90
        {"--lens", "poly:10,-30,25", "a"},                     // dips on the way out
        {"--lens", "poly:100,-12.5,2.5", "--fov", "90", "a"},  // the polynomial has its rim
        {"--points", "0,0,1,1,2,2", "a"},                      // on one line
        {"--points", "1,2,3,4,5", "a"},
        {"--circle", "5,5,0", "a"},
        {"--points", "100,0,0,100,200,100", "--circle", "1,1,1", "a"},
        {"--threshold", "100", "--auto", "otsu", "a"},
        {"--auto", "median", "a"},
        {"--classified", "--threshold", "3", "a"},
        {"--channel", "alpha", "a"},
        {"--overlay", "o.bmp", "a", "b"},  // one overlay file, two photos
        {"--overlay", "o.bmp", "--overlay-dir", "d", "a"},
        {"--frobnicate", "a"},
        {"a", "--rings"},                 // value missing
        {"--summary", "a.bmp", "a.bmp"},  // would wipe the photograph
    };
    for (const auto& args : bad) {
        Options o;
        std::string problem;
        EXPECT_FALSE(parse(args, &o, &problem)) << (args.empty() ? "(none)" : args[0]);
        EXPECT_FALSE(problem.empty());
    }
}

TEST(Output, PathsAndSummaryRows) {
    EXPECT_EQ(output_path("dir/IMG_1.JPG", nullptr, ".gapfract.txt"), "dir/IMG_1.gapfract.txt");
    EXPECT_EQ(output_path("dir/IMG_1.JPG", "out", ".gapfract.txt"), "out/IMG_1.gapfract.txt");
    EXPECT_EQ(output_path("a.b.bmp", "out/", ".overlay.bmp"), "out/a.b.overlay.bmp");
    EXPECT_EQ(output_path(".hidden", nullptr, ".gapfract.txt"), ".hidden.gapfract.txt");
    EXPECT_EQ(output_path("noext", nullptr, ".gapfract.txt"), "noext.gapfract.txt");

    ScratchDir dir;
    const std::string path = dir / "s.csv";
    std::FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    write_summary_header(f);
    Options o;
    ASSERT_TRUE(skyimage::parse_lens("poly:1,2,3", &o.defaults.photo.lens));
    o.defaults.photo.method = skyimage::ThresholdMethod::kOtsu;
    PhotoJob odd = o.defaults, plain = o.defaults;
    odd.path = "odd, \"name\".bmp";
    odd.index = 1;
    plain.path = "p.bmp";
    plain.index = 2;
    write_summary_row(f, failed_row(odd, o, "cannot be opened"));
    Row row = failed_row(plain, o, "");
    row.ok = true;
    row.width = 3000;
    row.height = 2000;
    row.disc.cx = 1500;
    row.disc.cy = 1000;
    row.disc.radius = 300.4996;
    row.has_threshold = true;
    row.threshold = 131;
    row.result.openness.total_gap = 0.25;
    row.result.openness.canopy_openness = 0.125;
    row.result.tessor_lai = std::nan("");  // no value: an empty cell
    row.sky_pixels = 10;
    row.disc_pixels = 40;
    write_summary_row(f, row);
    std::fclose(f);
    std::istringstream csv(gapbatch_test::read_file(path));
    std::string header, failed, ok;
    std::getline(csv, header);
    std::getline(csv, failed);
    std::getline(csv, ok);
    // The first sixteen columns keep their names, order and meaning; the rest follow them.
    EXPECT_EQ(header.rfind("photo,width,height,centre_x,centre_y,radius,lens,threshold_method,"
                           "threshold,rings,sectors,total_gap,canopy_openness,sky_pixels,"
                           "disc_pixels,status,channel,message,index,",
                           0),
              0u)
        << header;
    EXPECT_EQ(failed.rfind("\"odd, \"\"name\"\".bmp\",,,,,,,,,,,,,,,failed,blue,cannot be opened,1,assumed,90,",
                           0),
              0u)
        << failed;
    EXPECT_EQ(ok.rfind("p.bmp,3000,2000,1500,1000,300.5,\"poly:1,2,3\",otsu,131,9,8,0.250000,"
                       "0.125000,10,40,ok,blue,,2,assumed,90,",
                       0),
              0u)
        << ok;
    // Every row has as many fields as the header (outside quotes).
    auto fields = [](const std::string& line) {
        int n = 1;
        bool quoted = false;
        for (char c : line) {
            if (c == '"') quoted = !quoted;
            n += !quoted && c == ',';
        }
        return n;
    };
    EXPECT_EQ(fields(failed), fields(header));
    EXPECT_EQ(fields(ok), fields(header));
    const std::size_t tessor = header.find(",tessor_lai,");
    ASSERT_NE(tessor, std::string::npos);
}

// A photograph whose gap-fraction file would land on another's of the same batch, or on one
// of the batch's inputs, is not analysed; the first photograph's file stays as it was.
TEST(Process, NoOutputIsOverwritten) {
    ScratchDir dir;
    const std::string a = dir / "a", b = dir / "b", out = dir / "out";
    ASSERT_EQ(std::system(("mkdir '" + a + "' '" + b + "' '" + out + "'").c_str()), 0);
    auto sky = [](int c, int) { return c < 20 ? Rgb{250, 250, 250} : Rgb{10, 10, 10}; };
    auto dark = [](int, int) { return Rgb{5, 5, 5}; };
    gapbatch_test::write_bmp(a + "/p.bmp", 40, 40, 24, false, sky);
    gapbatch_test::write_bmp(b + "/p.bmp", 40, 40, 24, false, dark);
    Options o;
    o.defaults.photo.method = skyimage::ThresholdMethod::kFixed;
    o.defaults.photo.threshold = 100;
    o.out_dir = out.c_str();
    std::vector<PhotoJob> jobs(3, o.defaults);
    jobs[0].path = a + "/p.bmp";
    jobs[1].path = b + "/p.bmp";  // the same output name in --out
    jobs[2].path = dir / "x.gapfract.txt";  // a "photograph" that another's output would hit
    InputSet inputs;
    for (const PhotoJob& job : jobs) inputs.add(job.path);
    std::vector<PlannedOutputs> plan = plan_outputs(jobs, o, inputs);
    EXPECT_TRUE(plan[0].conflict.empty());
    EXPECT_NE(plan[1].conflict.find("already written"), std::string::npos) << plan[1].conflict;
    o.out_dir = nullptr;
    jobs[0].path = dir / "x.bmp";  // writes x.gapfract.txt, which is an input
    plan = plan_outputs(jobs, o, inputs);
    EXPECT_NE(plan[0].conflict.find("one of the inputs"), std::string::npos) << plan[0].conflict;

    skyimage::Workspace work;
    skyimage::PhotoResult result;
    std::string problem;
    PlannedOutputs target;
    target.gap = out + "/p.gapfract.txt";
    ASSERT_TRUE(skyimage::process_photo((a + "/p.bmp").c_str(), o.defaults.photo, &work, &result,
                                        &problem))
        << problem;
    ASSERT_TRUE(write_outputs(target, result, nullptr, &problem)) << problem;
    EXPECT_EQ(result.outside, 0);
    const std::string first = gapbatch_test::read_file(target.gap);
    ASSERT_FALSE(first.empty());
    // An output that cannot be written leaves nothing behind and the earlier file intact.
    PlannedOutputs nowhere = target;
    nowhere.gap = dir / "no/such/folder/p.gapfract.txt";
    EXPECT_FALSE(write_outputs(nowhere, result, nullptr, &problem));
    EXPECT_EQ(gapbatch_test::read_file(target.gap), first);
    // An automatic threshold on a single grey level fails rather than guess.
    o.defaults.photo.method = skyimage::ThresholdMethod::kOtsu;
    EXPECT_FALSE(skyimage::process_photo((b + "/p.bmp").c_str(), o.defaults.photo, &work,
                                         &result, &problem));
    EXPECT_NE(problem.find("single grey level"), std::string::npos) << problem;
}

}  // namespace
}  // namespace gapbatch
