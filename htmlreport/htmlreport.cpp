// The batch page: its sections, style sheet and sorting script, and the files behind it.
#include "htmlreport/htmlreport.h"

#include <errno.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "fileio/fileio.h"
#include "htmlreport/pieces.h"
#include "htmlreport/thumbnail.h"

namespace htmlreport {

namespace {

// The look of the page and its figures. Photo sections are laid out only when scrolled into
// view (content-visibility), which keeps a page of a thousand photographs quick to open.
constexpr char kStyle[] = R"(
body{font:14px/1.4 sans-serif;margin:0 1.5em 2em;color:#222;background:#fafafa}
h1{font-size:1.6em;margin:.6em 0 .2em}h2{margin-top:1.6em;border-bottom:1px solid #ccc}
h3{margin:.2em 0}nav a{margin-right:1em}.version{color:#555;margin:0}
.scroll{overflow:auto;max-height:70vh;border:1px solid #ccc;background:#fff}
table.sum{border-collapse:collapse;font-size:12px;white-space:nowrap}
table.sum th{position:sticky;top:0;background:#e8e8e8;cursor:pointer;user-select:none}
table.sum th,table.sum td{border:1px solid #ddd;padding:2px 5px;text-align:right}
table.sum td.name{text-align:left}
table.sum th[aria-sort=ascending]::after{content:" \25B2"}
table.sum th[aria-sort=descending]::after{content:" \25BC"}
tr.warn{background:#fff4d6}tr.failed{background:#fde0e0}
.mark{color:#b00;font-weight:bold}
ul.attn li.failed{color:#900}ul.attn li.warn{color:#7a5200}
section.photo{content-visibility:auto;contain-intrinsic-size:auto 640px;background:#fff;
border:1px solid #ddd;margin:1em 0;padding:.6em}
section.photo.failed{border-color:#e99}section.photo.warn{border-color:#eb5}
.figs{display:flex;flex-wrap:wrap;gap:12px;align-items:flex-start}
figure{margin:0;max-width:400px}figcaption{font-size:12px;color:#444}
.fail{color:#900;font-weight:bold}ul.warnings{color:#7a5200;margin:.2em 0}
.fig{background:#fff}.fig .lb{font-size:10px;fill:#333}.fig .cp{font-size:12px;font-weight:bold}
.fig .zl{fill:#c00;font-size:9px}
.fig .ax{stroke:#555;fill:none;stroke-width:1}.fig .grid{stroke:#e2e2e2;fill:none}
.fig .bars{fill:#6b7f99;stroke:none}.fig .thr{stroke:#d00;stroke-width:1.5;fill:none}
.fig .thl{fill:#d00}
.fig .cell{stroke:#8a8a8a;stroke-width:.4}.fig .nopix{fill:#d9a0c8}
.fig .zc{fill:none;stroke:#c00;stroke-width:.5;stroke-dasharray:2 2}
.fig .sun{fill:none;stroke:#f08c00;stroke-width:1}
.fig .fleck{fill:none;stroke:#ffd400;stroke-width:3.5;stroke-linecap:round}
.fig .pt{fill:#1f5fbf;stroke:#fff;stroke-width:.8}
.fig .curve{fill:none;stroke-width:1.6}.fig .lg{font-size:9px}
.fig .c0{stroke:#d62728}.fig .c1{stroke:#2ca02c}.fig .c2{stroke:#9467bd}
.fig .c3{stroke:#ff7f0e}.fig .c4{stroke:#17becf}.fig .c5{stroke:#8c564b}
table.kv{border-collapse:collapse}table.kv th,table.kv td{border:1px solid #ddd;padding:2px 8px;
text-align:left}dl.cols dt{font-weight:bold;font-family:monospace}dl.cols dd{margin:0 0 .5em 2em}
)";

// Sorts the summary by the clicked column, numbers as numbers, empty fields last, ties in
// batch order; a second click reverses.
constexpr char kScript[] = R"(
(function () {
  var table = document.getElementById("summary-table");
  if (!table || !table.tHead || !table.tBodies.length) return;
  var head = table.tHead.rows[0].cells, body = table.tBodies[0];
  var col = -1, dir = 1;
  function key(row, c) {
    var cell = row.cells[c];
    if (!cell) return "";
    var v = cell.getAttribute("data-v");
    return (v !== null ? v : cell.textContent).trim();
  }
  function sortBy(c) {
    dir = c === col ? -dir : 1;
    col = c;
    var keyed = Array.prototype.map.call(body.rows, function (r) {
      var k = key(r, c);
      return {r: r, k: k, n: k === "" ? NaN : Number(k), i: Number(r.getAttribute("data-i"))};
    });
    keyed.sort(function (a, b) {
      var ea = a.k === "", eb = b.k === "";
      if (ea !== eb) return ea ? 1 : -1;
      var na = !isNaN(a.n), nb = !isNaN(b.n), d;
      if (na && nb) d = a.n - b.n;
      else if (na !== nb) d = na ? -1 : 1;
      else d = a.k === b.k ? 0 : (a.k > b.k ? 1 : -1);
      return d !== 0 ? d * dir : a.i - b.i;
    });
    var frag = document.createDocumentFragment();
    keyed.forEach(function (o) { frag.appendChild(o.r); });
    body.appendChild(frag);
    for (var j = 0; j < head.length; j++)
      head[j].setAttribute("aria-sort", j === c ? (dir > 0 ? "ascending" : "descending") : "none");
  }
  Array.prototype.forEach.call(head, function (th, c) {
    th.tabIndex = 0;
    th.addEventListener("click", function () { sortBy(c); });
    th.addEventListener("keydown", function (e) { if (e.key === "Enter") sortBy(c); });
  });
})();
)";

// V as %g prints it.
std::string shortest(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

// A percentage with one decimal.
std::string percent(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1f%%", v);
    return text;
}

// Makes folder PATH unless it is one already.
bool make_folder(const std::string& path, std::string* why) {
    if (mkdir(path.c_str(), 0777) == 0) return true;
    const int err = errno;
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
    *why = path + ": cannot make the folder (" + std::strerror(err) + ")";
    return false;
}

// Writes TEXT to PATH through a temporary renamed over it.
bool write_whole(const std::string& path, const std::string& text, std::string* why) {
    fileio::AtomicFile out(path.c_str());
    if (!out.ok()) {
        *why = out.message();
        return false;
    }
    if (std::fwrite(text.data(), 1, text.size(), out.file()) != text.size()) {
        *why = path + ": cannot be written";
        return false;  // the destructor removes the temporary
    }
    if (!out.commit()) {
        *why = out.message();
        return false;
    }
    return true;
}

bool write_thumbnail(const std::string& path, const Thumbnail& t, std::string* why) {
    fileio::AtomicFile out(path.c_str());
    if (!out.ok()) {
        *why = out.message();
        return false;
    }
    const bool png = std::strcmp(thumbnail_extension(), "png") == 0;
    if (!(png ? write_palette_png(out.file(), t) : write_palette_bmp(out.file(), t))) {
        *why = path + ": cannot be written";
        return false;
    }
    if (!out.commit()) {
        *why = out.message();
        return false;
    }
    return true;
}

std::string join(const std::vector<std::string>& items, const char* separator) {
    std::string out;
    for (std::size_t k = 0; k < items.size(); ++k) {
        if (k > 0) out += separator;
        out += escape_html(items[k]);
    }
    return out;
}

std::string row_class(bool ok, bool warned) { return !ok ? "failed" : warned ? "warn" : ""; }

}  // namespace

ReportWriter::ReportWriter(std::string dir) : dir_(std::move(dir)) {
    if (dir_.empty()) dir_ = ".";
    while (dir_.size() > 1 && dir_.back() == '/') dir_.pop_back();
    ok_ = make_folder(dir_, &message_) && make_folder(dir_ + "/assets", &message_);
}

bool ReportWriter::add(const PhotoEntry& photo) {
    if (!ok_) return false;
    const std::size_t index = rows_.size() + 1;
    const std::string id = "p" + std::to_string(index);
    const std::string name = escape_html(photo.name);
    const std::string cls = row_class(photo.ok, !photo.warnings.empty());

    std::string s = "<section class=\"photo" + (cls.empty() ? "" : " " + cls) + "\" id=\"" + id +
                    "\"><h3>" + std::to_string(index) + ". " + name + "</h3>\n";
    if (!photo.ok) s += "<p class=\"fail\">Failed: " + escape_html(photo.message) + "</p>\n";
    if (!photo.warnings.empty()) {
        s += "<ul class=\"warnings\">";
        for (const std::string& w : photo.warnings) s += "<li>" + escape_html(w) + "</li>";
        s += "</ul>\n";
    }
    if (photo.analysed) {
        const Analysis& a = photo.analysis;
        s += "<div class=\"figs\">\n<figure>";
        Thumbnail drawn;
        std::string why;
        const bool have = a.thumbnail != nullptr || make_thumbnail(a, &drawn, &why);
        const Thumbnail& thumb = a.thumbnail != nullptr ? *a.thumbnail : drawn;
        if (have) {
            const std::string asset = "assets/" + id + "." + thumbnail_extension();
            if (!write_thumbnail(dir_ + "/" + asset, thumb, &message_)) {
                ok_ = false;
                return false;
            }
            s += "<img src=\"" + asset + "\" width=\"" + std::to_string(thumb.width) +
                 "\" height=\"" + std::to_string(thumb.height) +
                 "\" loading=\"lazy\" alt=\"photograph " + name + "\">";
            s += "<figcaption>The photograph (" + std::to_string(a.width) + " x " +
                 std::to_string(a.height) +
                 " pixels), sky blue, the counted disc's rim red "
                 "(centre " +
                 std::to_string(a.disc_cx) + ", " + std::to_string(a.disc_cy) + ", radius " +
                 shortest(a.disc_radius) +
                 "), ring and sector boundaries "
                 "yellow; dimmed outside the disc.</figcaption>";
        } else {
            s += "<p class=\"fail\">No thumbnail: " + escape_html(why) + "</p>";
        }
        s += "</figure>\n<figure>" + histogram_svg(a.histogram, a.threshold) +
             "<figcaption>Grey levels of the disc's pixels" +
             (a.threshold >= 0 ? std::string("; sky is above the threshold.")
                               : std::string("; a classified image has no threshold.")) +
             "</figcaption></figure>\n";
        s += "<figure>" + sky_map_svg(a.cells, a.sun_track) +
             "<figcaption>Gap fraction of each sky cell (" + std::to_string(a.nz) + " rings x " +
             std::to_string(a.na) +
             " sectors) as the sky is seen from below: north at the "
             "top, east on the left; distance from the centre proportional to the zenith "
             "angle.";
        if (!a.sun_track.empty()) {
            std::size_t above = 0, visible = 0;
            for (const SunSample& q : a.sun_track) {
                if (q.zenith_deg < 90) ++above;
                if (q.zenith_deg < 90 && q.visible) ++visible;
            }
            s += " The sun is visible in " + std::to_string(visible) + " of " +
                 std::to_string(above) + " samples above the horizon" +
                 (above > 0 ? " (" + percent(100.0 * double(visible) / double(above)) + ")"
                            : std::string()) +
                 ".";
        }
        s += "</figcaption></figure>\n";
        s += "<figure>" + profile_svg(Quantity::kGapFraction, a.rings, a.curves) +
             "<figcaption>Mean gap fraction of each ring in use (dots) and the methods' "
             "fitted curves.</figcaption></figure>\n";
        std::vector<std::string> no_gap;
        for (const RingValue& r : a.rings)
            if (!std::isfinite(r.contact_number)) no_gap.push_back(shortest(r.zenith_deg));
        s += "<figure>" + profile_svg(Quantity::kContactNumber, a.rings, a.curves) +
             "<figcaption>Contact number of each ring in use and the methods' fitted curves.";
        if (!no_gap.empty())
            s += " Not drawn, no gap (contact number infinite): the rings at " +
                 join(no_gap, ", ") + " degrees.";
        s += "</figcaption></figure>\n</div>\n";
    }
    s += "<p><a href=\"#summary\">Back to the summary</a></p></section>\n";
    sections_.push_back(std::move(s));

    Row row;
    row.name = photo.name;
    row.ok = photo.ok;
    row.message = photo.message;
    row.warnings = photo.warnings;
    row.fields = photo.row;
    rows_.push_back(std::move(row));
    return true;
}

bool ReportWriter::finish(const BatchInfo& info) {
    if (!ok_) return false;
    const std::string title = escape_html(info.title);
    const std::string version = escape_html(info.version);
    std::size_t failed = 0, warned = 0;
    for (const Row& r : rows_) {
        failed += !r.ok;
        warned += r.ok && !r.warnings.empty();
    }
    std::string s;
    s.reserve(4096 + 8192 * rows_.size());
    s += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
         "<title>" +
         title + "</title>\n<link rel=\"icon\" href=\"data:,\">\n<style>" + kStyle +
         "</style>\n</head>\n<body>\n<header>\n<h1>" + title + "</h1>\n<p class=\"version\">" +
         version + "</p>\n<p>" + std::to_string(rows_.size()) +
         " photographs: " + std::to_string(rows_.size() - failed) + " analysed, " +
         std::to_string(failed) + " failed, " + std::to_string(warned) +
         " analysed with warnings.</p>\n"
         "<nav><a href=\"#attention\">Needs a look</a> <a href=\"#summary\">Summary</a> "
         "<a href=\"#photos\">Photographs</a> <a href=\"#settings\">Settings</a> "
         "<a href=\"#columns\">Columns</a></nav>\n</header>\n";

    // The photographs that need a look.
    s += "<section id=\"attention\">\n<h2>Needs a look (" + std::to_string(failed + warned) +
         ")</h2>\n";
    if (failed + warned == 0) {
        s += "<p>Every photograph was analysed without a warning.</p>\n";
    } else {
        s += "<ul class=\"attn\">\n";
        for (std::size_t k = 0; k < rows_.size(); ++k) {
            const Row& r = rows_[k];
            if (r.ok && r.warnings.empty()) continue;
            s += "<li class=\"" + row_class(r.ok, true) + "\"><a href=\"#p" +
                 std::to_string(k + 1) + "\">" + std::to_string(k + 1) + ". " +
                 escape_html(r.name) + "</a>: ";
            if (!r.ok) s += "failed: " + escape_html(r.message) + (r.warnings.empty() ? "" : "; ");
            s += join(r.warnings, "; ") + "</li>\n";
        }
        s += "</ul>\n";
    }
    s += "</section>\n";

    // The summary table: the columns as given, plus any field beyond them.
    std::size_t ncols = info.columns.size();
    for (const Row& r : rows_) ncols = std::max(ncols, r.fields.size());
    s += "<section id=\"summary\">\n<h2>Summary</h2>\n<p>Click a column heading to sort by it, "
         "again to reverse; sorting by # restores the batch order. Rows marked "
         "<span class=\"mark\">&#10007;</span> failed, <span class=\"mark\">!</span> have "
         "warnings; each row's number leads to its photograph.</p>\n"
         "<div class=\"scroll\"><table class=\"sum\" id=\"summary-table\">\n<thead><tr>"
         "<th title=\"position in the batch\">#</th>";
    for (std::size_t c = 0; c < ncols; ++c) {
        if (c < info.columns.size()) {
            s += "<th title=\"" + escape_html(info.columns[c].definition) + "\">" +
                 escape_html(info.columns[c].name) + "</th>";
        } else {
            s += "<th>column " + std::to_string(c + 1) + "</th>";
        }
    }
    s += "</tr></thead>\n<tbody>\n";
    for (std::size_t k = 0; k < rows_.size(); ++k) {
        const Row& r = rows_[k];
        const std::string cls = row_class(r.ok, !r.warnings.empty());
        const std::string n = std::to_string(k + 1);
        s += "<tr data-i=\"" + n + "\"" + (cls.empty() ? "" : " class=\"" + cls + "\"") +
             "><td data-v=\"" + n + "\"><a href=\"#p" + n + "\">" + n + "</a>";
        if (!r.ok)
            s += " <span class=\"mark\">&#10007;</span>";
        else if (!r.warnings.empty())
            s += " <span class=\"mark\">!</span>";
        s += "</td>";
        for (std::size_t c = 0; c < ncols; ++c) {
            const std::string field = c < r.fields.size() ? escape_html(r.fields[c]) : "";
            if (c == 0) {
                s += "<td class=\"name\"><a href=\"#p" + n + "\">" + field + "</a></td>";
            } else {
                s += "<td>" + field + "</td>";
            }
        }
        s += "</tr>\n";
    }
    s += "</tbody></table></div>\n</section>\n";

    s += "<section id=\"photos\">\n<h2>Photographs</h2>\n<p>Each photograph: the picture with "
         "the cells that were counted, the histogram of its disc, the sky map and the rings' "
         "profiles. Sky maps:</p>\n" +
         sky_map_legend_svg() + "\n";
    for (const std::string& section : sections_) s += section;
    s += "</section>\n";

    s += "<section id=\"settings\">\n<h2>Settings of the run</h2>\n<table class=\"kv\">\n"
         "<tr><th>program</th><td>" +
         version + "</td></tr>\n";
    for (const auto& kv : info.settings)
        s += "<tr><th>" + escape_html(kv.first) + "</th><td>" + escape_html(kv.second) +
             "</td></tr>\n";
    s += "</table>\n</section>\n";

    s += "<section id=\"columns\">\n<h2>Columns of the summary</h2>\n<dl class=\"cols\">\n";
    for (const Column& c : info.columns)
        s += "<dt>" + escape_html(c.name) + "</dt><dd>" + escape_html(c.definition) + "</dd>\n";
    s += "</dl>\n</section>\n<footer><p>" + version + "</p></footer>\n<script>" + kScript +
         "</script>\n</body>\n</html>\n";
    if (!write_whole(dir_ + "/index.html", s, &message_)) {
        ok_ = false;
        return false;
    }
    return true;
}

bool write_report(const std::string& dir, const Batch& batch, std::string* why) {
    ReportWriter writer(dir);
    for (const PhotoEntry& photo : batch.photos) {
        if (!writer.add(photo)) break;
    }
    if (!writer.ok() || !writer.finish(batch.info)) {
        *why = writer.message();
        return false;
    }
    return true;
}

}  // namespace htmlreport
