#pragma once

#include <opencv2/core.hpp>

// Reads component `channel` (0 to 3) of the element at (row, col) of any
// matrix as a double, whatever its element depth. Components beyond the
// matrix's channel count read as 0.0.
double GetValue(const cv::Mat& arr, int row, int col, int channel);
