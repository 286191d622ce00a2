// angles: pi and the degree conversions, defined once for the whole suite.
//
// Angles are degrees in every file, prompt and report, and radians inside the formulas: degrees
// are multiplied by kDegToRad (pi/180) and radians by kRadToDeg (180/pi), these very doubles.
#pragma once

namespace angles {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;
constexpr double kHalfPi = 1.5707963267948966;
constexpr double kDegToRad = 0.017453292519943295;  // pi / 180
constexpr double kRadToDeg = 57.29577951308232;     // 180 / pi

}  // namespace angles
