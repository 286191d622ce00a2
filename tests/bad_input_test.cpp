// Every program against every kind of bad input, from one table.
//
// Each run must end either with exit status 0 (the defined behaviour) or with exit status 1 and
// one line on standard error; it must never crash or hang, and an output file that existed
// before a failed run must be left byte for byte as it was (an appending program may only add
// to it on success).
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
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

void spit(const fs::path& p, const std::string& data) {
    std::ofstream(p, std::ios::binary | std::ios::trunc) << data;
}

// ---------------------------------------------------------------------------------------------
// Inputs.

std::string gap_file(int nz, int na, const std::string& value = "") {
    std::ostringstream ss;
    ss << nz << "   " << na << "\n";
    for (int i = 0; i < nz; ++i)
        for (int j = na - 1; j >= 0; --j)
            ss << 90.0 * i / nz + 45.0 / nz << "   " << 360.0 * j / na + 180.0 / na << "   "
               << (value.empty() ? std::to_string(0.05 + 0.9 * ((i * 7 + j * 3) % 10) / 10.0)
                                 : value)
               << "   " << 100 + i * j << "\n";
    return ss.str();
}

void put_le(std::string* s, size_t pos, uint64_t v, int bytes) {
    for (int b = 0; b < bytes; ++b) (*s)[pos + b] = char((v >> (8 * b)) & 0xff);
}

// An uncompressed BMP with a 40-byte info header; pixels and palette as stated.
std::string bmp(int32_t width, int32_t height, int bit_count, uint32_t colours, size_t pixel_bytes) {
    std::string s(54, '\0');
    s[0] = 'B';
    s[1] = 'M';
    put_le(&s, 10, 54 + 4 * colours, 4);
    put_le(&s, 14, 40, 4);
    put_le(&s, 18, uint32_t(width), 4);
    put_le(&s, 22, uint32_t(height), 4);
    put_le(&s, 26, 1, 2);
    put_le(&s, 28, bit_count, 2);
    put_le(&s, 46, colours, 4);
    for (uint32_t c = 0; c < colours; ++c) s += std::string{char(c), char(c), char(c), 0};
    for (size_t k = 0; k < pixel_bytes; ++k) s += char(k * 37 % 256);
    put_le(&s, 2, s.size(), 4);
    return s;
}

const std::string kGoodBmp = bmp(8, 8, 8, 256, 64);
const std::string kGarbage = [] {
    std::string g;
    uint32_t x = 12345;
    for (int k = 0; k < 5000; ++k) g += char((x = x * 1103515245 + 12345) >> 16);
    return g;
}();

// ---------------------------------------------------------------------------------------------
// The matrix: a program, the files of its folder, its arguments and its standard input.

struct Case {
    std::string name;
    std::string program;
    // name, content ("/dir" for a folder, "/fifo" for a FIFO)
    std::vector<std::pair<std::string, std::string>> files;
    std::vector<std::string> args;
    std::string stdin_text;
    std::string output;  // existing output file to protect ("" for none)
    // What a checked answer or a refused input must give: the exit status (-1: 0 or 1) and a
    // text that standard output or standard error must hold ("" for none).
    int expect_status = -1;
    std::string expect_out;
    std::string expect_err;
    bool must_refuse = false;  // the run must end with status 1: anything else loses data
};

std::ostream& operator<<(std::ostream& os, const Case& c) { return os << c.name; }

// Parameter files that run, and their dialogue, per gap-fraction program; and parameter files
// whose discard counts leave none of the 9 zenith rings of the data file (zr + hr = nz).
struct Batch {
    const char* program;
    const char* params;
    const char* dialogue;
    bool appends;
    const char* no_ring_left;
};
const Batch kBatch[] = {
    {"pasket", nullptr, "", false, nullptr},
    {"tessor", "0\n0\n0\n0\n0\n", "3\n0\n-1\n", true, "0\n0\n0\n5\n4\n"},
    {"bravik", "0 0 1\n", "", true, "5 4 1\n"},
    {"quinda", "0 0\n", "", true, "9 0\n"},
    {"zephor", "0 0\n", "", true, "0 9\n"},
    {"keldro", "0\n0\n0\n0\n0\n1\n", "", true, "0\n0\n0\n4\n5\n1\n"},
};

std::vector<Case> batch_cases() {
    const std::vector<std::pair<std::string, std::string>> data = {
        {"missing", ""},
        {"directory", "/dir"},
        {"empty", "\x01"},  // written empty below
        {"garbage", kGarbage},
        {"nan_tokens", gap_file(9, 8, "nan")},
        {"inf_tokens", gap_file(9, 8, "inf")},
        {"huge_tokens", gap_file(9, 8, "1e308")},
        {"negative_tokens", gap_file(9, 8, "-3.5")},
        {"overflow_tokens", gap_file(9, 8, "1e999999")},
        {"zero_annuli", "0 8\n"},
        {"negative_annuli", "-5 8\n"},
        {"billion_annuli", "1000000000 8\n"},
        {"billion_sectors", "9 1000000000\n"},
        {"int_overflow_header", "99999999999999999999 8\n"},
        {"long_line", "9 8 " + std::string(200000, '7') + "\n"},
        {"few_records", "9 8\n5 337.5 0.5 10\n"},
        {"decimal_comma", gap_file(9, 8, "0,533436")},
        {"good", gap_file(9, 8)},
    };
    const std::vector<std::pair<std::string, std::string>> params = {
        {"missing", ""},       {"empty", "\x01"},   {"garbage", kGarbage},
        {"negative", "-1 -1 -1 -1 -1 -1\n"}, {"text", "zero zero zero\n"},
        {"huge", "99999999999 99999999999 1 1 1 1\n"},
    };
    std::vector<Case> cases;
    for (const Batch& b : kBatch) {
        auto make = [&](const std::string& name, const std::string& data_content,
                        const std::string& param_content) {
            Case c;
            c.name = std::string(b.program) + "_" + name;
            c.program = b.program;
            if (!data_content.empty()) c.files.push_back({"gap.txt", data_content});
            if (b.params != nullptr && !param_content.empty())
                c.files.push_back({"par.txt", param_content});
            c.files.push_back({"out.txt", "an earlier report\n"});
            if (b.params != nullptr) c.args.push_back("par.txt");
            c.args.push_back("gap.txt");
            c.args.push_back("out.txt");
            c.stdin_text = b.dialogue;
            c.output = "out.txt";
            return c;
        };
        for (const auto& [name, content] : data) {
            Case c = make("data_" + name, content, b.params ? b.params : "");
            c.must_refuse = name == "decimal_comma";  // read as zeros, it gave LAI nan, exit 0
            cases.push_back(c);
        }
        if (b.params != nullptr)
            for (const auto& [name, content] : params)
                cases.push_back(make("params_" + name, gap_file(9, 8), content));
        if (b.no_ring_left != nullptr) {
            Case c = make("params_no_ring_left", gap_file(9, 8), b.no_ring_left);
            c.expect_status = 1;
            c.expect_err = "less than nz = 9";
            cases.push_back(c);
        }
        Case nowhere = make("output_in_missing_folder", gap_file(9, 8), b.params ? b.params : "");
        nowhere.args.back() = "no/such/folder/out.txt";
        nowhere.output = "";
        cases.push_back(nowhere);
        Case out_dir = make("output_is_directory", gap_file(9, 8), b.params ? b.params : "");
        out_dir.files.push_back({"outdir", "/dir"});
        out_dir.args.back() = "outdir";
        out_dir.output = "";
        cases.push_back(out_dir);
        // A FIFO nobody reads: opening it waited forever.
        Case out_fifo = make("output_is_fifo", gap_file(9, 8), b.params ? b.params : "");
        out_fifo.files.push_back({"outfifo", "/fifo"});
        out_fifo.args.back() = "outfifo";
        out_fifo.output = "";
        out_fifo.must_refuse = true;
        cases.push_back(out_fifo);
        // The output is the data (or the parameter file): it was replaced or appended to.
        Case onto_data = make("output_is_the_data", gap_file(9, 8), b.params ? b.params : "");
        onto_data.args.back() = "./gap.txt";
        onto_data.output = "gap.txt";
        onto_data.must_refuse = true;
        cases.push_back(onto_data);
        if (b.params != nullptr) {
            Case onto_params = make("output_is_the_parameter_file", gap_file(9, 8), b.params);
            onto_params.args.back() = "par.txt";
            onto_params.output = "par.txt";
            onto_params.must_refuse = true;
            cases.push_back(onto_params);
        }
    }
    return cases;
}

std::vector<Case> image_cases() {
    // gapimage: photo name, lens, three rim points, classified, gap fractions 2 x 4, declination 0.
    const std::string answers = "1\n0 4\n4 0\n8 4\nc\nn\n2 4\n0\n";
    std::string truncated_rows = kGoodBmp.substr(0, kGoodBmp.size() - 20);
    std::string huge = bmp(100000, 100000, 8, 256, 64);
    std::string negative = bmp(-8, 8, 8, 256, 64);
    std::string zero = bmp(0, 0, 8, 256, 0);
    std::string top_down = bmp(8, -8, 8, 256, 64);
    std::string palette_too_big = bmp(8, 8, 8, 256, 64);
    put_le(&palette_too_big, 46, 0xffffffffu, 4);
    // Other formats, named by their first bytes; gapimage names each, with the way to analyse it.
    const std::string jpeg = std::string("\xFF\xD8\xFF\xE0\0\x10JFIF\0", 11) + kGarbage;
    const std::string png = std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16) + kGarbage;
    const std::string tiff = std::string("II*\0\x08\0\0\0", 8) + kGarbage;
    const std::vector<std::pair<std::string, std::string>> photos = {
        {"missing", ""},
        {"directory", "/dir"},
        {"empty", "\x01"},
        {"garbage", kGarbage},
        {"truncated_header", kGoodBmp.substr(0, 30)},
        {"truncated_palette", kGoodBmp.substr(0, 54 + 100)},
        {"truncated_rows", truncated_rows},
        {"huge", huge},
        {"negative_width", negative},
        {"zero_size", zero},
        {"top_down", top_down},
        {"palette_count_absurd", palette_too_big},
        {"bits_1", bmp(8, 8, 1, 2, 32)},
        {"bits_4", bmp(8, 8, 4, 16, 32)},
        {"bits_24", bmp(8, 8, 24, 0, 192)},
        {"bits_32", bmp(8, 8, 32, 0, 256)},
        {"jpeg", jpeg},
        {"png", png},
        {"tiff", tiff},
        {"good", kGoodBmp},
    };
    // What gapimage must say about a photograph it cannot read: on standard error the format
    // and the way to analyse it; for a BMP of another depth also the message on standard output.
    const std::vector<std::pair<std::string, std::string>> named = {
        {"bits_1", "is a 1-bit BMP"},     {"bits_4", "is a 4-bit BMP"},
        {"bits_24", "is a 24-bit BMP"},   {"bits_32", "is a 32-bit BMP"},
        {"jpeg", "is a JPEG photograph"}, {"png", "is a PNG image"},
        {"tiff", "is a TIFF image"},
    };
    std::vector<Case> cases;
    for (const auto& [name, content] : photos) {
        // The batch front end, on the same photos: one gap-fraction file beside each photo.
        Case b;
        b.name = "gapbatch_photo_" + name;
        b.program = "gapbatch";
        if (!content.empty()) b.files.push_back({"photo.bmp", content});
        b.files.push_back({"photo.gapfract.txt", "an earlier file\n"});
        b.args = {"--quiet", "--threshold", "100", "photo.bmp"};
        b.output = "photo.gapfract.txt";
        cases.push_back(b);

        Case c;
        c.name = "gapimage_photo_" + name;
        c.program = "gapimage";
        if (!content.empty()) c.files.push_back({"photo.bmp", content});
        c.files.push_back({"gapfract.txt", "an earlier file\n"});
        c.stdin_text = "photo.bmp\n" + answers;
        c.output = "gapfract.txt";
        for (const auto& [kind, format] : named) {
            if (kind != name) continue;
            c.expect_status = 1;
            c.expect_err = format;
            if (kind.rfind("bits_", 0) == 0)
                c.expect_out = "Error message: Image file must be encoded 8-bit greyscale";
        }
        cases.push_back(c);
    }
    const std::vector<std::pair<std::string, std::string>> dialogues = {
        {"end_of_input_at_name", ""},
        {"end_of_input_at_lens", "photo.bmp\n"},
        {"end_of_input_at_points", "photo.bmp\n1\n0 4\n"},
        {"end_of_input_at_kind", "photo.bmp\n1\n0 4\n4 0\n8 4\n"},
        {"letters_for_numbers", "photo.bmp\n1\nx y\nz\n"},
        {"collinear_points_then_end", "photo.bmp\n1\n0 0\n1 1\n2 2\n"},
        {"absurd_divisions_then_end", "photo.bmp\n1\n0 4\n4 0\n8 4\nc\nn\n100000 -3\n"},
        {"zero_step_orthographic_then_end", "photo.bmp\n2\n0 4\n4 0\n8 4\nc\ny\n0 80 0\n"},
        {"huge_circle", "photo.bmp\n1\n0 0\n100000000 1\n0 2\nc\nn\n2 4\n0\n"},
        {"lens_7", "photo.bmp\n7\n0 4\n4 0\n8 4\ng\n100\nn\n2 4\n0\n"},
    };
    // The photograph is the output file.
    Case onto_photo;
    onto_photo.name = "gapimage_output_is_the_photo";
    onto_photo.program = "gapimage";
    onto_photo.files.push_back({"gapfract.txt", kGoodBmp});
    onto_photo.stdin_text = "gapfract.txt\n" + answers;
    onto_photo.output = "gapfract.txt";
    onto_photo.must_refuse = true;
    cases.push_back(onto_photo);
    for (const auto& [name, text] : dialogues) {
        Case c;
        c.name = "gapimage_" + name;
        c.program = "gapimage";
        c.files.push_back({"photo.bmp", kGoodBmp});
        c.files.push_back({"gapfract.txt", "an earlier file\n"});
        c.stdin_text = text;
        cases.push_back(c);
    }
    // Answers that are read as meant: the name as a whole line with blanks and a carriage return
    // around it, points with commas.
    Case spaced;
    spaced.name = "gapimage_name_in_blanks_points_with_commas";
    spaced.program = "gapimage";
    spaced.files.push_back({"my photo.bmp", kGoodBmp});
    spaced.stdin_text = "  my photo.bmp \r\n1\n0,4\n4 ,0\n8, 4\nc\nn\n2 4\n0\n";
    spaced.expect_status = 0;
    spaced.expect_out = "Polar Projection finished";
    cases.push_back(spaced);
    const std::vector<std::pair<std::string, std::string>> sun = {
        {"empty", ""},
        {"letters", "Here\nnorth\n"},
        {"end_after_day", "Here\n45\n0\n24\n80\n"},
        {"absurd_numbers", "Here\n1e308\n-1e308\n99999\n-99999\n7\n1e300\n"},
        {"nan_latitude", "Here\nnan\n0\n24\n80\n0\n0\n"},
        {"long_location", std::string(5000, 'L') + "\n45\n0\n24\n80\n0\n0\n"},
    };
    for (const auto& [name, text] : sun) {
        Case c;
        c.name = "moskira_" + name;
        c.program = "moskira";
        c.stdin_text = text;
        cases.push_back(c);
    }
    // Every checked answer: one outside its range, then a good one. The reason is shown, the
    // question asked again, and the day computed.
    const std::string site[] = {"Here", "45", "0", "24", "80", "0", "0"};
    const struct {
        const char* name;
        int question;  // index into site
        const char* answer;
        const char* reason;
    } outside[] = {
        {"latitude_95", 1, "95", "\"95\" is not a latitude"},
        {"latitude_minus_90_5", 1, "-90.5", "is not a latitude"},
        {"latitude_nan", 1, "nan", "\"nan\" is not a latitude"},
        {"longitude_181", 2, "181", "is not a longitude"},
        {"longitude_minus_inf", 2, "-inf", "is not a longitude"},
        {"zone_0", 3, "0", "\"0\" is not a time zone"},
        {"zone_minus_1", 3, "-1", "is not a time zone"},
        {"zone_25", 3, "25", "is not a time zone"},
        {"zone_half", 3, "5.5", "is not a time zone"},
        {"day_0", 4, "0", "is not a day of the year"},
        {"day_367", 4, "367", "is not a day of the year"},
        {"day_100000", 4, "100000", "is not a day of the year"},
        {"day_date", 4, "2009-07-15", "\"2009-07-15\" is not a day of the year"},
        {"day_beyond_int", 4, "99999999999999999999", "is not a day of the year"},
        {"dst_3", 5, "3", "is not an answer about daylight saving time"},
        {"dst_minus_1", 5, "-1", "is not an answer about daylight saving time"},
        {"fraction_1", 6, "1", "is not an hour fraction"},
        {"fraction_negative", 6, "-0.5", "is not an hour fraction"},
    };
    for (const auto& o : outside) {
        Case c;
        c.name = std::string("moskira_asks_again_") + o.name;
        c.program = "moskira";
        for (int k = 0; k < 7; ++k) {
            if (k == o.question) c.stdin_text += std::string(o.answer) + "\n";
            c.stdin_text += site[k] + "\n";
        }
        c.expect_status = 0;
        c.expect_out = o.reason;
        cases.push_back(c);
    }
    return cases;
}

// The simulator: command lines it cannot use, and an output it cannot write.
std::vector<Case> simulator_cases() {
    const std::vector<std::pair<std::string, std::vector<std::string>>> lines = {
        {"no_arguments", {}},
        {"unknown_option", {"--frobnicate", "x.bmp"}},
        {"value_missing", {"x.bmp", "--lai"}},
        {"absurd_size", {"--size", "99999999999", "x.bmp"}},
        {"nan_lai", {"--lai", "nan", "x.bmp"}},
        {"output_in_missing_folder", {"--size", "32", "no/such/folder/x.bmp"}},
        {"truth_in_missing_folder", {"--size", "32", "--truth", "no/such/t.txt", "x.bmp"}},
    };
    std::vector<Case> cases;
    for (const auto& [name, args] : lines) {
        Case c;
        c.name = "canopysim_" + name;
        c.program = "canopysim";
        c.args = args;
        cases.push_back(c);
    }
    return cases;
}

// Understorey light: gap-fraction files it cannot use, named or on standard input, and command
// lines it cannot use.
std::vector<Case> light_cases() {
    const std::vector<std::pair<std::string, std::string>> data = {
        {"missing", ""},
        {"directory", "/dir"},
        {"empty", "\x01"},
        {"garbage", kGarbage},
        {"nan_tokens", gap_file(9, 8, "nan")},
        {"inf_tokens", gap_file(9, 8, "inf")},
        {"huge_tokens", gap_file(9, 8, "1e308")},
        {"negative_tokens", gap_file(9, 8, "-3.5")},
        {"overflow_tokens", gap_file(9, 8, "1e999999")},
        {"above_one", gap_file(9, 8, "1.5")},
        {"zero_annuli", "0 8\n"},
        {"negative_annuli", "-5 8\n"},
        {"billion_annuli", "1000000000 8\n"},
        {"billion_sectors", "9 1000000000\n"},
        {"int_overflow_header", "99999999999999999999 8\n"},
        {"long_line", "9 8 " + std::string(200000, '7') + "\n"},
        {"few_records", "9 8\n5 337.5 0.5 10\n"},
        {"extra_records", gap_file(9, 8) + gap_file(9, 8)},
        {"largest_grid", gap_file(90, 360)},
        {"good", gap_file(9, 8)},
    };
    const std::vector<std::string> site = {"--lat", "50.2", "--lon", "-125.7", "--days", "1-30"};
    std::vector<Case> cases;
    for (const auto& [name, content] : data) {
        Case named;
        named.name = "canopylight_data_" + name;
        named.program = "canopylight";
        if (!content.empty()) named.files.push_back({"gap.txt", content});
        named.args = site;
        named.args.push_back("gap.txt");
        cases.push_back(named);
        if (content == "/dir" || content.empty()) continue;
        Case piped = named;
        piped.name = "canopylight_stdin_" + name;
        piped.files.clear();
        piped.args.back() = "-";
        piped.stdin_text = content == "\x01" ? "" : content;
        cases.push_back(piped);
    }
    const std::vector<std::pair<std::string, std::vector<std::string>>> lines = {
        {"no_arguments", {}},
        {"unknown_option", {"--frobnicate", "gap.txt"}},
        {"value_missing", {"--lat", "1", "--lon", "2", "gap.txt", "--step"}},
        {"nan_latitude", {"--lat", "nan", "--lon", "2", "gap.txt"}},
        {"absurd_step", {"--lat", "1", "--lon", "2", "--step", "99999999999", "gap.txt"}},
        {"absurd_days", {"--lat", "1", "--lon", "2", "--days", "-99999999999-5", "gap.txt"}},
        {"two_files", {"--lat", "1", "--lon", "2", "gap.txt", "gap.txt"}},
    };
    for (const auto& [name, args] : lines) {
        Case c;
        c.name = "canopylight_" + name;
        c.program = "canopylight";
        c.files.push_back({"gap.txt", gap_file(9, 8)});
        c.args = args;
        cases.push_back(c);
    }
    return cases;
}

std::vector<Case> all_cases() {
    std::vector<Case> cases = batch_cases();
    for (auto& c : image_cases()) cases.push_back(c);
    for (auto& c : simulator_cases()) cases.push_back(c);
    for (auto& c : light_cases()) cases.push_back(c);
    return cases;
}

// The matrix covers every program of the suite's one list: a program added to the list without
// cases here fails this test.
TEST(BadInputMatrix, CoversEveryProgramOfTheList) {
    std::istringstream list(SKYGAP_PROGRAMS);
    const std::vector<Case> cases = all_cases();
    int programs = 0;
    for (std::string program; std::getline(list, program, ',');) {
        ++programs;
        const bool covered = std::any_of(cases.begin(), cases.end(),
                                         [&](const Case& c) { return c.program == program; });
        EXPECT_TRUE(covered) << program << " has no bad-input cases";
    }
    EXPECT_GE(programs, 10);
}

struct Outcome {
    int status = -1;
    bool timed_out = false;
    std::string out;
    std::string err;
};

Outcome run(const std::string& program, const std::vector<std::string>& args,
            const std::string& stdin_text, const fs::path& dir) {
    spit(dir / ".stdin", stdin_text);
    pid_t pid = fork();
    if (pid == 0) {
        const int in = open((dir / ".stdin").c_str(), O_RDONLY);
        const int out = open((dir / ".stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open((dir / ".stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0 || chdir(dir.c_str()) != 0) _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char*> av{const_cast<char*>(program.c_str())};
        for (const auto& a : args) av.push_back(const_cast<char*>(a.c_str()));
        av.push_back(nullptr);
        const std::string path = kBin + "/" + program;
        execv(path.c_str(), av.data());
        _exit(127);
    }
    Outcome o;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    int ws = 0;
    while (waitpid(pid, &ws, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &ws, 0);
            o.timed_out = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    o.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : 128 + WTERMSIG(ws);
    o.out = slurp(dir / ".stdout");
    o.err = slurp(dir / ".stderr");
    return o;
}

class BadInput : public testing::TestWithParam<Case> {};

TEST_P(BadInput, EndsCleanlyAndLosesNothing) {
    const Case& c = GetParam();
    if (!fs::exists(kBin + "/" + c.program)) GTEST_SKIP() << c.program << " is not built";
    char tmpl[] = "/tmp/skygap-bad-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const fs::path dir = tmpl;
    for (const auto& [name, content] : c.files) {
        if (content == "/dir")
            fs::create_directory(dir / name);
        else if (content == "/fifo")
            ASSERT_EQ(mkfifo((dir / name).c_str(), 0600), 0);
        else
            spit(dir / name, content == "\x01" ? "" : content);
    }
    const std::string before = c.output.empty() ? "" : slurp(dir / c.output);

    const Outcome o = run(c.program, c.args, c.stdin_text, dir);

    EXPECT_FALSE(o.timed_out) << "hangs";
    EXPECT_TRUE(o.status == 0 || o.status == 1) << "exit status " << o.status << "\n" << o.err;
    if (c.expect_status >= 0) {
        EXPECT_EQ(o.status, c.expect_status) << o.err;
    }
    EXPECT_NE(o.out.find(c.expect_out), std::string::npos)
        << "standard output lacks \"" << c.expect_out << "\":\n"
        << o.out;
    EXPECT_NE(o.err.find(c.expect_err), std::string::npos)
        << "standard error lacks \"" << c.expect_err << "\":\n"
        << o.err;
    if (c.must_refuse) {
        EXPECT_EQ(o.status, 1) << "not refused";
    }
    if (o.status == 1) {
        // The image program reports a photo that is not 8-bit grey on standard output.
        const bool bit_depth_message =
            c.program == "gapimage" && o.err.empty() &&
            o.out.find("Image file must be encoded 8-bit greyscale") != std::string::npos;
        // The leaf-angle inversion has a framed message of its own for path-length mode 1.
        const bool mode_message =
            c.program == "tessor" && o.err.find("Verify the parameter file!") != std::string::npos;
        std::istringstream ss(o.err);
        size_t non_blank = 0;  // messages of their own may frame their line with blank lines
        for (std::string line; std::getline(ss, line);) non_blank += line.empty() ? 0 : 1;
        if (!bit_depth_message && !mode_message) {
            EXPECT_EQ(non_blank, 1u) << "one line on standard error, got:\n" << o.err;
        }
    }
    if (!c.output.empty()) {
        const std::string after = slurp(dir / c.output);
        if (o.status != 0) {
            EXPECT_EQ(after, before) << "a failed run changed " << c.output;
        } else if (c.program != "pasket" && c.program != "gapimage" && c.program != "gapbatch") {
            EXPECT_EQ(after.compare(0, before.size(), before), 0) << "earlier reports lost";
        }
    }
    fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Matrix, BadInput, testing::ValuesIn(all_cases()),
                         [](const testing::TestParamInfo<Case>& p) { return p.param.name; });

}  // namespace
