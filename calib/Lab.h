#pragma once

#include <opencv2/core.hpp>

// White of the L*a*b* conversion: X 92.219, Y 100, Z 95.965.
inline constexpr double kWhiteX = 92.219;
inline constexpr double kWhiteY = 100.0;
inline constexpr double kWhiteZ = 95.965;

// CIE companding function: t^(1/3) above 0.008856, else 7.787 t + 16/116.
double LabF(double t);

// X, Y, Z (components 0 to 2, white Y = 100) to L*, a*, b* against the
// white above. Component 3 of the result is 0.
cv::Scalar XYZToLab(const cv::Scalar& xyz);
// The same conversion on plain arrays, for whole rows of colours.
void XYZToLab(const double xyz[3], double lab[3]);
