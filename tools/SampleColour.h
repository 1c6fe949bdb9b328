#pragma once

// Colour data and colour science of the sample data generator: the chart's
// reference values, their conversion to the system's XYZ, and the sRGB
// display model behind the monitor tables.

#include <opencv2/core.hpp>

#include <array>

namespace samples {

// One patch of the classic 24-patch chart: name and CIE L*a*b* (D50).
struct ChartPatch {
    const char* name;
    double L, a, b;
};

inline constexpr int kPatchCount = 24;

// The 24 patches in classic order: row by row of the landscape chart, dark
// skin first, black last (patches 18 to 23 are the neutral series).
extern const std::array<ChartPatch, kPatchCount> kClassicChart;

// White of the reference values (D50) and white of the system's XYZ.
inline const cv::Vec3d kD50White{96.422, 100.0, 82.521};
inline const cv::Vec3d kSystemWhite{92.219, 100.0, 95.965};

// CIE L*a*b* to XYZ against `white` (XYZ on the scale of the white).
cv::Vec3d LabToXYZ(const cv::Vec3d& lab, const cv::Vec3d& white);

// Bradford chromatic adaptation matrix that takes XYZ seen under `from` to
// the corresponding XYZ under `to`.
cv::Matx33d BradfordAdaptation(const cv::Vec3d& from, const cv::Vec3d& to);

// XYZ of the 24 chart patches, adapted from D50 to the system white
// (Y = 100 for the perfect white).
std::array<cv::Vec3d, kPatchCount> ChartXYZ();

// Monitor tables: 17 levels per channel, 0, 16, ..., 240 and 255.
inline constexpr int kMonitorLevels = 17;
int MonitorLevel(int index);

// XYZ (white Y = 100) shown by an sRGB display for 8-bit R, G, B: sRGB
// transfer function, sRGB primaries, D65 white.
cv::Vec3d MonitorXYZ(const cv::Vec3d& rgb);

}  // namespace samples
