// The page's pieces (escaping, numbers, scales, figures) and whole pages written to disk.
#include "htmlreport/htmlreport.h"

#include <dirent.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "html_check.h"
#include "htmlreport/pieces.h"

namespace {

using htmlreport::escape_html;

std::size_t count_of(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TEST(Escape, MarkupBecomesText) {
    EXPECT_EQ(escape_html("<script>alert('x')</script>.jpg"),
              "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;.jpg");
    EXPECT_EQ(escape_html("a & b \"c\""), "a &amp; b &quot;c&quot;");
    // Already escaped text is escaped again: the name is shown as it is spelt.
    EXPECT_EQ(escape_html("&lt;"), "&amp;lt;");
}

TEST(Escape, KeepsUtf8AndReplacesWhatIsNot) {
    EXPECT_EQ(escape_html("Fichte \xC3\xA9t\xC3\xA9 \xF0\x9F\x8C\xB2"),
              "Fichte \xC3\xA9t\xC3\xA9 \xF0\x9F\x8C\xB2");  // two-byte and four-byte forms
    EXPECT_EQ(escape_html("tab\tline\n"), "tab\tline\n");
    const std::string r = "&#65533;";
    EXPECT_EQ(escape_html(std::string("a\x01"
                                      "b\x7F",
                                      4)),
              "a" + r + "b" + r);               // C0, DEL
    EXPECT_EQ(escape_html("\xC2\x85"), r + r);  // C1 control (NEL)
    EXPECT_EQ(escape_html("\xFF"
                          "x"),
              r + "x");                                         // never a lead byte
    EXPECT_EQ(escape_html("\xC0\xAF"), r + r);                  // overlong '/'
    EXPECT_EQ(escape_html("\xED\xA0\x80"), r + r + r);          // a surrogate
    EXPECT_EQ(escape_html("\xF4\x90\x80\x80"), r + r + r + r);  // above U+10FFFF
    EXPECT_EQ(escape_html("\xE2\x82"), r + r);                  // cut short at the end
}

TEST(SvgNumber, OneDecimalAtMost) {
    EXPECT_EQ(htmlreport::svg_number(12.34), "12.3");
    EXPECT_EQ(htmlreport::svg_number(5.0), "5");
    EXPECT_EQ(htmlreport::svg_number(-0.04), "0");  // no "-0"
    EXPECT_EQ(htmlreport::svg_number(-7.96), "-8");
    EXPECT_EQ(htmlreport::svg_number(std::nan("")), "0");
    EXPECT_EQ(htmlreport::svg_number(INFINITY), "0");
}

TEST(Scales, LinearMapsDomainOntoRange) {
    const htmlreport::LinearScale y{0, 2, 160, 14};  // a value axis: up is smaller y
    EXPECT_DOUBLE_EQ(y(0), 160);
    EXPECT_DOUBLE_EQ(y(2), 14);
    EXPECT_DOUBLE_EQ(y(1), 87);
    const htmlreport::LinearScale empty{3, 3, 10, 20};
    EXPECT_EQ(empty(3), 10);  // an empty domain maps to the start, not NaN
    EXPECT_EQ(htmlreport::nice_ceiling(0.3), 0.5);
    EXPECT_EQ(htmlreport::nice_ceiling(2.2), 2.5);
    EXPECT_EQ(htmlreport::nice_ceiling(7), 10);
    EXPECT_EQ(htmlreport::nice_ceiling(1), 1);
    EXPECT_EQ(htmlreport::nice_ceiling(0), 1);
    const std::vector<double> t = htmlreport::nice_ticks(0, 1, 5);
    ASSERT_EQ(t.size(), 6u);          // 0, 0.2, ..., 1 with the end included despite rounding
    EXPECT_NEAR(t.back(), 1, 1e-12);  // 5 * 0.2 in binary: rounding only
    EXPECT_TRUE(htmlreport::nice_ticks(1, 1, 5).empty());
    const std::vector<double> neg = htmlreport::nice_ticks(-1, 3, 4);
    EXPECT_EQ(neg.front(), -1);
    EXPECT_EQ(neg.back(), 3);
}

TEST(Scales, SkyMapSeenFromBelow) {
    htmlreport::PolarMap m;
    m.cx = 150;
    m.cy = 150;
    m.radius = 120;
    double x, y;
    m.point(90, 0, &x, &y);     // north on the horizon: top
    EXPECT_NEAR(x, 150, 1e-9);  // sin and cos of multiples of pi/2: rounding only
    EXPECT_NEAR(y, 30, 1e-9);
    m.point(90, 90, &x, &y);  // east: left
    EXPECT_NEAR(x, 30, 1e-9);
    EXPECT_NEAR(y, 150, 1e-9);
    m.point(45, 270, &x, &y);  // west at 45 degrees: right, half way out
    EXPECT_NEAR(x, 210, 1e-9);
    EXPECT_NEAR(y, 150, 1e-9);
    m.point(0, 123, &x, &y);  // the zenith: the centre, whatever the azimuth
    EXPECT_NEAR(x, 150, 1e-9);
    EXPECT_NEAR(y, 150, 1e-9);
}

TEST(Figures, HistogramMarksTheThreshold) {
    std::vector<std::uint64_t> h(256, 0);
    h[40] = 1000;
    h[220] = 300;
    const std::string s = htmlreport::histogram_svg(h, 127);
    // Levels 0..256 onto x 14..310: the line between levels 127 and 128 at 14 + 128 * 296 / 256.
    EXPECT_NE(s.find("class=\"thr\" d=\"M162 "), std::string::npos) << s;
    EXPECT_NE(s.find("threshold 127"), std::string::npos);
    EXPECT_TRUE(htmlreport::check_html(s).ok) << htmlreport::check_html(s).problem;
    // A 16-bit histogram is drawn in 256 bars, its threshold on its own scale.
    std::vector<std::uint64_t> wide(65536, 1);
    const std::string w = htmlreport::histogram_svg(wide, 32767);
    const std::size_t bars = w.find("class=\"bars\" d=\"");
    EXPECT_EQ(count_of(w.substr(bars, w.find("\"/>", bars) - bars), "H"), 256u);
    EXPECT_NE(w.find("class=\"thr\" d=\"M162 "), std::string::npos);
    EXPECT_NE(htmlreport::histogram_svg({}, -1).find("no histogram"), std::string::npos);
}

TEST(Figures, SkyMapCellsAndSunTrack) {
    std::vector<htmlreport::CellGap> cells = {
        {0, 45, 0, 180, 1.0},
        {0, 45, 180, 360, 0.0},
        {45, 90, 0, 360, std::nan("")},
        {std::nan(""), 90, 0, 90, 0.5}};  // a cell without a zenith range is left out
    const std::vector<htmlreport::SunSample> sun = {
        {95, 60, false}, {80, 90, true}, {60, 135, true}, {50, 180, false}, {91, 300, true}};
    const std::string s = htmlreport::sky_map_svg(cells, sun);
    EXPECT_TRUE(htmlreport::check_html(s).ok) << htmlreport::check_html(s).problem;
    EXPECT_EQ(count_of(s, "fill=\"#ffffff\""), 1u);  // the open cell
    EXPECT_EQ(count_of(s, "fill=\"#000000\""), 1u);
    EXPECT_EQ(count_of(s, "fill=\"#808080\""), 0u);      // no cell without a zenith range
    EXPECT_EQ(count_of(s, "class=\"cell nopix\""), 1u);  // the empty ring
    // The whole ring is drawn in two halves: two outer and two inner arcs.
    const std::size_t ring = s.find("class=\"cell nopix\" d=\"");
    EXPECT_EQ(count_of(s.substr(ring, s.find("\"/>", ring) - ring), "A"), 4u);
    // Sunflecks: the two visible samples above the horizon, one dot each.
    const std::size_t fleck = s.find("class=\"fleck\" d=\"");
    ASSERT_NE(fleck, std::string::npos);
    EXPECT_EQ(count_of(s.substr(fleck, s.find("\"/>", fleck) - fleck), "h0"), 2u);
    EXPECT_EQ(s.find("nan"), std::string::npos);
}

TEST(Figures, SkyMapDrawsCellsOfOneShadeInOnePath) {
    // 9 rings by 36 sectors, the gap fraction falling from the zenith outwards: nine shades,
    // 324 cells, and as many sectors drawn as there are cells.
    std::vector<htmlreport::CellGap> cells;
    for (int iz = 0; iz < 9; ++iz)
        for (int ia = 0; ia < 36; ++ia)
            cells.push_back({10.0 * iz, 10.0 * (iz + 1), 10.0 * ia, 10.0 * (ia + 1), 1 - iz / 8.0});
    const std::string s = htmlreport::sky_map_svg(cells, {});
    EXPECT_EQ(count_of(s, "<path class=\"cell\""), 9u);
    EXPECT_EQ(count_of(s, "Z"), 324u);
    // Shades: 33 greys, gap fractions rounded to the nearest 1/32: 0.47 -> 15/32 -> 119.5 -> 120.
    EXPECT_EQ(count_of(htmlreport::sky_map_svg({{0, 90, 0, 360, 0.47}}, {}), "#787878"), 1u);
}

TEST(Figures, LongSunTrackStaysCompact) {
    // A year at 2-minute steps, as a sun track may come: far more vertices than the budget.
    std::vector<htmlreport::SunSample> sun;
    for (int day = 0; day < 365; ++day)
        for (int k = 0; k < 360; ++k) {
            const double zen = 20 + 60 * std::fabs(k - 180) / 180.0 + 10 * std::sin(day / 58.0);
            sun.push_back({zen, 90 + k * 0.5, (k + day) % 7 == 0});
        }
    const std::string s = htmlreport::sky_map_svg({}, sun);
    EXPECT_LT(s.size(), 60000u) << s.size();
    EXPECT_NE(s.find("1 path in"), std::string::npos);  // the thinning is said on the map
}

TEST(Figures, ProfilesSkipWhatCannotBeDrawn) {
    const std::vector<htmlreport::RingValue> rings = {
        {5, 0.5, -std::log(0.5) * std::cos(5 * 0.0174532925)},
        {75, 0.0, INFINITY},
        {85, std::nan(""), std::nan("")}};
    const std::vector<htmlreport::Curve> curves = {
        {"<b>fit</b>", htmlreport::Quantity::kContactNumber, {{0, 0.7}, {45, 0.7}, {90, 0.7}}},
        {"other", htmlreport::Quantity::kGapFraction, {{0, 0.5}}}};
    const std::string k =
        htmlreport::profile_svg(htmlreport::Quantity::kContactNumber, rings, curves);
    EXPECT_TRUE(htmlreport::check_html(k).ok) << htmlreport::check_html(k).problem;
    EXPECT_EQ(count_of(k, "class=\"pt\""), 1u);  // the infinite and the NaN ring left out
    EXPECT_NE(k.find("&lt;b&gt;fit&lt;/b&gt;"), std::string::npos);  // method names escaped
    EXPECT_EQ(k.find("other"), std::string::npos);  // a gap-fraction curve is not drawn here
    const std::string p =
        htmlreport::profile_svg(htmlreport::Quantity::kGapFraction, rings, curves);
    EXPECT_EQ(count_of(p, "class=\"pt\""), 2u);  // P = 0 is a point on the gap-fraction plot
    EXPECT_EQ(p.find("nan"), std::string::npos);
    EXPECT_EQ(k.find("inf"), std::string::npos);
}

// ---------------------------------------------------------------------------------------------
// Whole pages.

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> list_dir(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

struct TempDir {
    std::string path;
    TempDir() {
        char name[] = "/tmp/htmlreport_test_XXXXXX";
        path = mkdtemp(name);
    }
    ~TempDir() {
        nftw(
            path.c_str(),
            [](const char* p, const struct stat*, int, FTW*) { return std::remove(p); }, 16,
            FTW_DEPTH | FTW_PHYS);
    }
};

// A photograph of 80 x 60 pixels: a bright disc of sky with a dark cross of canopy.
struct SmallPhoto {
    std::vector<std::uint8_t> grey = std::vector<std::uint8_t>(80 * 60, 20);
    SmallPhoto() {
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 80; ++x)
                if (std::hypot(x - 40, y - 30) < 28 && std::abs(x - 40) > 3 && std::abs(y - 30) > 3)
                    grey[std::size_t(y) * 80 + std::size_t(x)] = 210;
    }
};

htmlreport::PhotoEntry analysed_entry(const std::string& name, const SmallPhoto& photo) {
    htmlreport::PhotoEntry e;
    e.name = name;
    e.row = {name, "0.5"};
    e.analysed = true;
    htmlreport::Analysis& a = e.analysis;
    a.grey = photo.grey.data();
    a.width = 80;
    a.height = 60;
    a.threshold = 128;
    a.disc_cx = 40;
    a.disc_cy = 30;
    a.disc_radius = 29;
    a.nz = 3;
    a.na = 4;
    a.histogram.assign(256, 0);
    a.histogram[20] = 500;
    a.histogram[210] = 2000;
    for (int iz = 0; iz < 3; ++iz)
        for (int ia = 0; ia < 4; ++ia)
            a.cells.push_back({30.0 * iz, 30.0 * (iz + 1), 90.0 * ia, 90.0 * (ia + 1), 0.25 * ia});
    a.rings = {{15, 0.8, 0.2}, {45, 0.5, 0.49}, {75, 0.0, INFINITY}};
    a.curves = {{"ellipsoid", htmlreport::Quantity::kGapFraction, {{0, 0.9}, {90, 0.1}}}};
    a.sun_track = {{60, 100, true}, {50, 150, false}, {55, 200, true}};
    return e;
}

htmlreport::BatchInfo info() {
    htmlreport::BatchInfo i;
    i.version = "skygap version 9 <test>";
    i.settings = {{"threshold", "ridler & co"}};
    i.columns = {{"photo", "the photograph's \"file\""}, {"openness", "share of open sky"}};
    return i;
}

TEST(Page, NamesAndMessagesCannotInjectMarkup) {
    TempDir dir;
    const SmallPhoto photo;
    htmlreport::Batch batch;
    batch.info = info();
    batch.photos.push_back(analysed_entry("<script>alert(1)</script>.jpg", photo));
    batch.photos[0].warnings = {"disc assumed", "<img src=x onerror=alert(2)>"};
    htmlreport::PhotoEntry failed;
    failed.name = "\"><svg onload=alert(3)>.jpg";
    failed.ok = false;
    failed.message = "</td></tr></table><script>alert(4)</script>";
    failed.row = {failed.name, ""};
    batch.photos.push_back(failed);
    std::string why;
    ASSERT_TRUE(htmlreport::write_report(dir.path, batch, &why)) << why;
    const std::string page = read_file(dir.path + "/index.html");
    // Exactly one script element (the sorting script) and no element an attacker named.
    EXPECT_EQ(count_of(page, "<script"), 1u);
    EXPECT_EQ(page.find("<img src=x"), std::string::npos);
    EXPECT_EQ(page.find("<svg onload"), std::string::npos);
    EXPECT_EQ(page.find("alert(1)</script>"), std::string::npos);
    EXPECT_NE(page.find("&lt;script&gt;alert(1)&lt;/script&gt;.jpg"), std::string::npos);
    EXPECT_NE(page.find("&quot;&gt;&lt;svg onload=alert(3)&gt;.jpg"), std::string::npos);
    const htmlreport::HtmlCheck check = htmlreport::check_html(page);
    EXPECT_TRUE(check.ok) << check.problem;
    // Ids and asset names come from positions: p1 and p2, assets/p1.*.
    for (const std::string& ref : check.references) {
        if (ref[0] == '#' || ref.compare(0, 5, "data:") == 0) continue;
        EXPECT_EQ(ref, std::string("assets/p1.") + htmlreport::thumbnail_extension());
        struct stat st;
        EXPECT_EQ(stat((dir.path + "/" + ref).c_str(), &st), 0) << ref;
    }
}

TEST(Page, StandsAloneAndMarksWhatNeedsALook) {
    TempDir dir;
    const SmallPhoto photo;
    htmlreport::Batch batch;
    batch.info = info();
    batch.photos.push_back(analysed_entry("a.jpg", photo));
    batch.photos.push_back(analysed_entry("b.jpg", photo));
    batch.photos[1].warnings = {"rings with no gap"};
    htmlreport::PhotoEntry failed;
    failed.name = "c.jpg";
    failed.ok = false;
    failed.message = "c.jpg: cannot be opened";
    batch.photos.push_back(failed);
    std::string why;
    ASSERT_TRUE(htmlreport::write_report(dir.path + "/new", batch, &why)) << why;  // made
    const std::string page = read_file(dir.path + "/new/index.html");
    const htmlreport::HtmlCheck check = htmlreport::check_html(page);
    ASSERT_TRUE(check.ok) << check.problem;
    // Every text the page needs is in it: definitions, settings, version; nothing external.
    EXPECT_NE(page.find("<dd>the photograph&#39;s &quot;file&quot;</dd>"), std::string::npos);
    EXPECT_NE(page.find("<td>ridler &amp; co</td>"), std::string::npos);
    EXPECT_NE(page.find("skygap version 9 &lt;test&gt;"), std::string::npos);
    for (const std::string& ref : check.references)
        EXPECT_TRUE(ref[0] == '#' || ref.compare(0, 7, "assets/") == 0 || ref == "data:,") << ref;
    EXPECT_EQ(page.find("http"), std::string::npos);
    // The attention list: b (warning) and c (failed), not a; their rows marked.
    const std::size_t attention = page.find("<section id=\"attention\">");
    const std::string list = page.substr(attention, page.find("</section>", attention) - attention);
    EXPECT_NE(list.find("Needs a look (2)"), std::string::npos);
    EXPECT_EQ(list.find("a.jpg"), std::string::npos);
    EXPECT_NE(list.find("2. b.jpg</a>: rings with no gap"), std::string::npos);
    EXPECT_NE(list.find("3. c.jpg</a>: failed: c.jpg: cannot be opened"), std::string::npos);
    EXPECT_NE(page.find("<tr data-i=\"2\" class=\"warn\">"), std::string::npos);
    EXPECT_NE(page.find("<tr data-i=\"3\" class=\"failed\">"), std::string::npos);
    // A failed row without fields keeps the table rectangular: three cells (#, photo, openness).
    const std::size_t row3 = page.find("<tr data-i=\"3\"");
    EXPECT_EQ(count_of(page.substr(row3, page.find("</tr>", row3) - row3), "<td"), 3u);
    // The ring without gap is named under its plot.
    EXPECT_NE(page.find("the rings at 75 degrees"), std::string::npos);
    EXPECT_EQ(list_dir(dir.path + "/new/assets").size(), 2u);
    // Nothing left behind but the page and the assets (no temporaries).
    EXPECT_EQ(list_dir(dir.path + "/new").size(), 2u);
}

TEST(Page, FailuresAreReportedAndLeaveTheEarlierPage) {
    TempDir dir;
    const SmallPhoto photo;
    htmlreport::Batch batch;
    batch.info = info();
    batch.photos.push_back(analysed_entry("a.jpg", photo));
    std::string why;
    // DIR is a file.
    const std::string file = dir.path + "/plain";
    std::fclose(std::fopen(file.c_str(), "w"));
    EXPECT_FALSE(htmlreport::write_report(file, batch, &why));
    EXPECT_EQ(why.rfind(file, 0), 0u) << why;  // the message names the path
    // DIR's parent is missing: one level is made, not a chain.
    EXPECT_FALSE(htmlreport::write_report(dir.path + "/x/y", batch, &why));
    // An earlier page stays whole when the page cannot be written: index.html is a folder.
    ASSERT_TRUE(htmlreport::write_report(dir.path + "/r", batch, &why)) << why;
    const std::string before = read_file(dir.path + "/r/index.html");
    ASSERT_EQ(mkdir((dir.path + "/s").c_str(), 0777), 0);
    ASSERT_EQ(mkdir((dir.path + "/s/index.html").c_str(), 0777), 0);
    EXPECT_FALSE(htmlreport::write_report(dir.path + "/s", batch, &why));
    EXPECT_NE(why.find("index.html"), std::string::npos) << why;
    // A second run replaces the page whole.
    batch.photos.push_back(analysed_entry("b.jpg", photo));
    ASSERT_TRUE(htmlreport::write_report(dir.path + "/r", batch, &why)) << why;
    const std::string after = read_file(dir.path + "/r/index.html");
    EXPECT_NE(after, before);
    EXPECT_TRUE(htmlreport::check_html(after).ok);
    EXPECT_EQ(list_dir(dir.path + "/r").size(), 2u);
}

TEST(Page, ThousandPhotographsStayUnderFiftyMegabytes) {
    // The page of a large batch: every photograph with its figures and a sun track of four
    // days; the page itself must stay far below 50 MB (thumbnails are separate files).
    TempDir dir;
    const SmallPhoto photo;
    htmlreport::ReportWriter writer(dir.path);
    ASSERT_TRUE(writer.ok()) << writer.message();
    std::vector<htmlreport::SunSample> sun;
    for (int day = 0; day < 4; ++day)
        for (int k = 0; k < 240; ++k)
            sun.push_back(
                {25 + 60 * std::fabs(k - 120) / 120.0 + 8 * day, 90 + k * 0.75, k % 5 == 0});
    for (int k = 0; k < 1000; ++k) {
        htmlreport::PhotoEntry e = analysed_entry("photo" + std::to_string(k) + ".jpg", photo);
        e.analysis.sun_track = sun;
        e.analysis.histogram.assign(256, 0);
        for (int g = 0; g < 256; ++g)
            e.analysis.histogram[std::size_t(g)] = std::uint64_t(g * k % 977);
        e.row.assign(60, "0.123456");
        ASSERT_TRUE(writer.add(e)) << writer.message();
    }
    htmlreport::BatchInfo i = info();
    i.columns.resize(60, {"column", "definition"});
    ASSERT_TRUE(writer.finish(i)) << writer.message();
    struct stat st;
    ASSERT_EQ(stat((dir.path + "/index.html").c_str(), &st), 0);
    std::printf("page of 1000 photographs: %.1f MB\n", double(st.st_size) / 1e6);
    EXPECT_LT(st.st_size, 25'000'000);  // half the limit: room for richer sun tracks
}

}  // namespace
