// skyimage: the sky disc of a circular fish-eye photograph, found from the border between the
// black frame around the picture and the picture.
//
// The frame is dark everywhere (the lens lets no light there); the picture inside the disc is
// brighter wherever it shows sky or lit canopy, but canopy near the horizon may be as dark as
// the frame. So the border is looked for from outside: along every row from both ends and every
// column from both ends, the first pixel brighter than the frame (two in a row) is an edge
// point. Where the canopy at the rim is dark that point lies inside the disc, never outside it
// (but for noise), and the circle is fitted robustly: circles through three edge points at a
// time (random sample consensus, Fischler and Bolles 1981, with a fixed seed) are scored by
// the edge points on them less the points outside them, and the best one is refined by least
// squares of the geometric distances (Gauss-Newton) over its points.
#pragma once

#include "skyimage/photo.h"

namespace skyimage {

struct DiscFit {
    double cx = 0, cy = 0;  // centre: column and row, 0 at the centre of the top-left pixel
    double radius = 0;      // pixels
    double rms = 0;         // rms distance of the edge points on the circle from it, pixels
    int edge_points = 0;    // edge points found along rows and columns
    int on_circle = 0;      // of which on the fitted circle
    int frame_level = 0;    // brightest level of the frame (the corners), in the photo's levels
};

// Finds the disc of PHOTO (8 or 16 bit). Returns null with the fit, or the reason no disc was
// found: the corners of the picture are not dark (no frame: a frameless photograph, or one cut
// inside its disc), or the border shows on too little of a circle.
const char* find_disc(const Photo& photo, DiscFit* fit);

}  // namespace skyimage
