#pragma once

// The scenes of the sample data, built in camera-linear B, G, R (CV_32FC3)
// for the simulated camera.

#include "SampleCamera.h"

#include <opencv2/core.hpp>

namespace samples {

// The 24-patch chart as the program finds it: portrait, the classic chart
// turned 90 degrees clockwise. Patch k = 6 r + c has its centre at
// (285 - 190 r, -475 + 190 c) from the chart centre: patch 0 is the top
// patch of the rightmost line, the lines run top to bottom and follow one
// another from right to left, the neutral series is the leftmost line.
inline constexpr int kPatchPitch = 190;
inline constexpr int kPatchHalfSide = 75;  // patch squares of 151 x 151 pixels
inline constexpr int kChartWidth = 801;   // chart body, 40 pixels around the patches
inline constexpr int kChartHeight = 1181;
// The chart centre inside the body: (kChartWidth / 2, kChartHeight / 2).
inline const cv::Point kChartCentre{kChartWidth / 2, kChartHeight / 2};

// Offset of the centre of patch k from the chart centre, chart upright.
cv::Point PatchOffset(int k);

// The chart body with its 24 patches, kChartWidth x kChartHeight.
cv::Mat RenderChart(const Camera& camera);

// The calibration scene: the chart, upright, with its centre at
// kCalibrationChartCentre on a table top with a few objects around it.
inline const cv::Size kCalibrationSize{1600, 1400};
inline const cv::Point kCalibrationChartCentre{790, 705};
cv::Mat RenderCalibrationScene(const Camera& camera);

// The photograph to analyse: a small outdoor-like scene of gradients and
// shapes in chart colours, with a strip of the six neutrals.
inline const cv::Size kPhotoSize{640, 480};
cv::Mat RenderPhotoScene(const Camera& camera);

// A small 18-patch chart (3 rows of 6).
cv::Mat RenderSmallChart(const Camera& camera);

}  // namespace samples
