// htmlreport: one HTML page for a batch of photographs, with its thumbnails, viewable offline.
//
// DIR/index.html holds a sortable summary table (one row a photograph, the summary's columns),
// the photographs that need a look (failed, or with warnings) listed at the top, and per
// photograph: a thumbnail of the photograph with the sky disc, rings and sectors drawn and the
// sky pixels tinted (DIR/assets/, PNG when the build has libpng, BMP otherwise), the grey-level
// histogram of the disc with the threshold, a polar map of the gap fraction of every sky cell
// with the sun track over it, and the gap fraction and contact number of every ring against the
// zenith angle with each method's fitted curve (inline SVG). Then the settings of the run, the
// program version and the definition of every column, so that the page stands alone.
// No network reference of any kind: no external font, script, style sheet or image.
//
// Conventions of the data:
//   - Angles in degrees. Zenith angle 0 at the zenith, 90 at the horizon. Azimuth is compass
//     azimuth: north 0, east 90, south 180, west 270, of the direction in the sky.
//   - The sky map is drawn as the sky is seen from below (looking up): north at the top, east
//     on the left; the distance from the centre is proportional to the zenith angle.
//   - Photographs: column x from the left, row y from the top, pixel (x, y) at y * width + x.
//
// Memory: a batch of many photographs is written with ReportWriter, one photograph at a time:
// the thumbnail is drawn and written and the photograph's section rendered (about 15 kB) when
// the photograph is added, so that neither the photographs nor their histograms and sun tracks
// are kept until the end. write_report does the same for a batch held whole.
//
// Text from file names and messages is escaped everywhere; element ids and asset names are
// made from the photograph's position in the batch, never from its name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "skyimage/lens.h"

namespace htmlreport {

struct Thumbnail;  // thumbnail.h

// A column of the summary: its name as in the CSV header and a one-line definition.
struct Column {
    std::string name;
    std::string definition;
};

// How the sky pixels of the photograph are told from the canopy.
enum class SkyRule {
    kAboveThreshold,  // sky where the grey level is above `threshold`
    kNonZero,         // a classified image: sky where the grey level is not 0
    kMask,            // sky where `sky_mask` is not 0 (a 16-bit photograph, say)
};

// The gap fraction of one sky cell: zenith angles [zen_from_deg, zen_to_deg), compass azimuths
// [az_from_deg, az_to_deg) (az_to_deg may exceed 360 for the sector through north). NaN when
// the cell held no pixel.
struct CellGap {
    double zen_from_deg = 0, zen_to_deg = 0;
    double az_from_deg = 0, az_to_deg = 0;
    double gap_fraction = 0;
};

// One sample of the sun track: zenith angle and compass azimuth of the sun, and whether its
// direction is sky on the photograph (a sunfleck of the direct beam).
struct SunSample {
    double zenith_deg = 0;
    double azimuth_deg = 0;
    bool visible = false;
};

// One zenith ring in use: its zenith angle, mean gap fraction P and contact number
// -ln(P) cos(theta) (infinite or NaN where P is 0; such rings are named on the page).
struct RingValue {
    double zenith_deg = 0;
    double gap_fraction = 0;
    double contact_number = 0;
};

// What a fitted curve gives: the gap fraction or the contact number.
enum class Quantity { kGapFraction, kContactNumber };

// A method's fitted curve, drawn over the ring values: (zenith angle, value) points in order.
struct Curve {
    std::string method;
    Quantity quantity = Quantity::kGapFraction;
    std::vector<std::pair<double, double>> points;
};

// What an analysed photograph gives. The pointers need to stay valid only while the
// photograph is added.
struct Analysis {
    // The photograph, 8-bit grey, width x height.
    const std::uint8_t* grey = nullptr;
    int width = 0, height = 0;
    SkyRule sky_rule = SkyRule::kAboveThreshold;
    const std::uint8_t* sky_mask = nullptr;  // kMask: width x height, non-zero is sky
    // The threshold on the histogram's scale, or -1 when there is none (a classified image).
    // kAboveThreshold applies it to the grey levels above.
    int threshold = -1;
    // The sky disc in photograph pixels (as located: centre truncated, radius as given); the
    // cells are those of its bounding square, as the analysis cuts and counts it.
    int disc_cx = 0, disc_cy = 0;
    double disc_radius = 0;
    skyimage::Lens lens;
    int nz = 0, na = 0;          // rings of 90/nz degrees and sectors of the grid
    double declination_deg = 0;  // East positive, as the analysis turned the azimuths
    // Grey-level histogram of the disc: 256 levels, or 65536 for a 16-bit photograph.
    std::vector<std::uint64_t> histogram;
    std::vector<CellGap> cells;        // nz x na, any order
    std::vector<SunSample> sun_track;  // empty when no site was given
    std::vector<RingValue> rings;      // the rings in use
    std::vector<Curve> curves;
    // The thumbnail drawn beforehand (make_thumbnail), e.g. on the thread that held the
    // photograph; GREY and SKY_MASK may then be null. Drawn from GREY when null.
    std::shared_ptr<const Thumbnail> thumbnail;
};

// One photograph of the batch, in input order.
struct PhotoEntry {
    std::string name;
    bool ok = true;
    std::string message;                // why it failed
    std::vector<std::string> warnings;  // e.g. "disc assumed"
    std::vector<std::string> row;       // one field per column, as in the CSV
    bool analysed = false;              // `analysis` holds the photograph's results
    Analysis analysis;
};

// The run.
struct BatchInfo {
    std::string title = "Batch report";
    std::string version;                                        // the program's banner and version
    std::vector<std::pair<std::string, std::string>> settings;  // name, value
    std::vector<Column> columns;
};

struct Batch {
    BatchInfo info;
    std::vector<PhotoEntry> photos;
};

// Writes DIR/index.html and the thumbnails in DIR/assets/ for BATCH. DIR is made when missing
// (one level). Every file is written atomically (a temporary renamed over the target), the page
// last, so that an existing page is replaced only by a complete one. Returns false with a
// one-line reason "PATH: problem" in WHY.
bool write_report(const std::string& dir, const Batch& batch, std::string* why);

// The same, one photograph at a time.
class ReportWriter {
   public:
    // Makes DIR and DIR/assets when missing. ok() tells whether that worked; message() why not.
    explicit ReportWriter(std::string dir);
    bool ok() const { return ok_; }
    const std::string& message() const { return message_; }

    // Adds the next photograph: writes its thumbnail and renders its section. False (and the
    // writer stays usable for nothing) when an asset cannot be written.
    bool add(const PhotoEntry& photo);

    // Writes DIR/index.html. False with message() when it cannot be written.
    bool finish(const BatchInfo& info);

   private:
    struct Row {
        std::string name;
        bool ok = true;
        std::string message;
        std::vector<std::string> warnings;
        std::vector<std::string> fields;
    };
    std::string dir_;
    bool ok_ = true;
    std::string message_;
    std::vector<Row> rows_;
    std::vector<std::string> sections_;
};

// The file type of the thumbnails of this build: "png" with libpng, "bmp" without.
const char* thumbnail_extension();

}  // namespace htmlreport
