#pragma once

#include "CColorCorrection.h"
#include "OutputFile.h"
#include "ProgressLine.h"

#include <opencv2/core.hpp>

#include <ostream>

// The per-pixel conversion chain: camera B, G, R through LinearizeColor,
// ColorToXYZ and XYZToLab, one colour scalar at a time.
cv::Scalar PixelToLab(const CColorCorrection& correction, const cv::Vec3b& pixel);

// Writes the L*, a*, b* of every pixel of `image` (8-bit B, G, R) in row-major
// order, one text line per row, values separated by ", " and formatted as an
// output stream formats a double by default; reports progress per pixel.
// This is the reference that faster writers are held to.
bool WriteLabReference(const cv::Mat& image, const CColorCorrection& correction, OutputFile& out,
                       ProgressLine* progress);
