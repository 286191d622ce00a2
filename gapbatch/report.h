// gapbatch: the batch page (--report DIR) from what the analysis of each photograph gave.
#pragma once

#include <string>
#include <vector>

#include "batch.h"
#include "htmlreport/htmlreport.h"
#include "skyimage/analysis.h"
#include "structure/structure.h"
#include "sunfleck/sunfleck.h"

namespace gapbatch {

// The page's part of one analysed photograph, made on the thread that analysed it while the
// photograph is at hand: its thumbnail drawn (so that the photograph need not be kept), the
// histogram of the disc with the threshold, the gap fraction of every cell, the rings in use
// with the fitted curves of Miller's spherical canopy and of the ellipsoidal model, and the sun
// followed across the photograph (every tenth minute of about eight days of the period)
// when it has a site. PHOTO is the
// workspace's photograph as process_photo left it; LIGHT null without a site.
htmlreport::Analysis report_analysis(const PhotoJob& job, const skyimage::Photo& photo,
                                     const skyimage::PhotoResult& result,
                                     const structure::Result& methods,
                                     const sunfleck::PhotoLight* light);

// What the page marks a photograph with: its disc assumed or reaching beyond the photograph, a
// threshold at an end of the disc's histogram, leaf-angle classes of negative area, rings in
// use without any gap. RESULT null for a photograph that failed.
std::vector<std::string> report_warnings(const Row& row, const skyimage::PhotoResult* result);

// The run as the page states it: the program's version, the command line, the settings in
// force and the definition of every column.
htmlreport::BatchInfo report_info(const Options& options, int argc, char** argv,
                                  std::size_t photographs);

}  // namespace gapbatch
