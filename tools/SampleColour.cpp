#include "SampleColour.h"

#include <cmath>

namespace samples {

// The chart manufacturer's published reference values (CIE L*a*b*, D50
// illuminant, 2 degree observer), as distributed with ArgyllCMS in its file
// ref/ColorChecker.cie.
const std::array<ChartPatch, kPatchCount> kClassicChart = {{
    {"dark skin", 37.99, 13.56, 14.06},
    {"light skin", 65.71, 18.13, 17.81},
    {"blue sky", 49.93, -4.88, -21.93},
    {"foliage", 43.14, -13.10, 21.91},
    {"blue flower", 55.11, 8.84, -25.40},
    {"bluish green", 70.72, -33.40, -0.20},
    {"orange", 62.66, 36.07, 57.10},
    {"purplish blue", 40.02, 10.41, -45.96},
    {"moderate red", 51.12, 48.24, 16.25},
    {"purple", 30.33, 22.98, -21.59},
    {"yellow green", 72.53, -23.71, 57.26},
    {"orange yellow", 71.94, 19.36, 67.86},
    {"blue", 28.78, 14.18, -50.30},
    {"green", 55.26, -38.34, 31.37},
    {"red", 42.10, 53.38, 28.19},
    {"yellow", 81.73, 4.04, 79.82},
    {"magenta", 51.94, 49.99, -14.57},
    {"cyan", 51.04, -28.63, -28.64},
    {"white 9.5", 96.54, -0.43, 1.19},
    {"neutral 8", 81.26, -0.64, -0.34},
    {"neutral 6.5", 66.77, -0.73, -0.50},
    {"neutral 5", 50.87, -0.15, -0.27},
    {"neutral 3.5", 35.66, -0.42, -1.23},
    {"black 2", 20.46, -0.08, -0.97},
}};

namespace {

// Inverse of the CIE companding function.
double LabFInverse(double t)
{
    constexpr double delta = 6.0 / 29.0;
    return t > delta ? t * t * t : 3.0 * delta * delta * (t - 4.0 / 29.0);
}

// sRGB transfer function: 8-bit code value to linear light, 0 to 1.
double SrgbToLinear(double code)
{
    const double v = code / 255.0;
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

}  // namespace

cv::Vec3d LabToXYZ(const cv::Vec3d& lab, const cv::Vec3d& white)
{
    const double fy = (lab[0] + 16.0) / 116.0;
    const double fx = fy + lab[1] / 500.0;
    const double fz = fy - lab[2] / 200.0;
    return {white[0] * LabFInverse(fx), white[1] * LabFInverse(fy), white[2] * LabFInverse(fz)};
}

cv::Matx33d BradfordAdaptation(const cv::Vec3d& from, const cv::Vec3d& to)
{
    const cv::Matx33d bradford(0.8951, 0.2664, -0.1614,
                               -0.7502, 1.7135, 0.0367,
                               0.0389, -0.0685, 1.0296);
    const cv::Vec3d coneFrom = bradford * from;
    const cv::Vec3d coneTo = bradford * to;
    const cv::Matx33d gain = cv::Matx33d::diag(
        cv::Vec3d(coneTo[0] / coneFrom[0], coneTo[1] / coneFrom[1], coneTo[2] / coneFrom[2]));
    return bradford.inv(cv::DECOMP_LU) * gain * bradford;
}

std::array<cv::Vec3d, kPatchCount> ChartXYZ()
{
    const cv::Matx33d adapt = BradfordAdaptation(kD50White, kSystemWhite);
    std::array<cv::Vec3d, kPatchCount> xyz;
    for (int k = 0; k < kPatchCount; ++k) {
        const ChartPatch& p = kClassicChart[k];
        xyz[k] = adapt * LabToXYZ(cv::Vec3d(p.L, p.a, p.b), kD50White);
    }
    return xyz;
}

int MonitorLevel(int index)
{
    return index >= kMonitorLevels - 1 ? 255 : 16 * index;
}

cv::Vec3d MonitorXYZ(const cv::Vec3d& rgb)
{
    const cv::Matx33d srgbToXyz(0.4124, 0.3576, 0.1805,
                                0.2126, 0.7152, 0.0722,
                                0.0193, 0.1192, 0.9505);
    const cv::Vec3d linear(SrgbToLinear(rgb[0]), SrgbToLinear(rgb[1]), SrgbToLinear(rgb[2]));
    return (srgbToXyz * linear) * 100.0;
}

}  // namespace samples
