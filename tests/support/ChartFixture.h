#pragma once

// Builds a complete working folder for the program in a temporary directory:
// a calibration photograph of a synthetic chart in the detector's layout, the
// chart template, the measured XYZ table and the monitor tables.

#include "TempDir.h"

#include <opencv2/core.hpp>

#include <array>
#include <string>

struct ChartFixture {
    // Patch colours B, G, R in detector order; rows 18 to 23 are greys from
    // light to dark.
    static std::array<cv::Vec3b, 24> PatchColours();
    // The measured X, Y, Z written to the table (24 x 3, CV_64FC1).
    static cv::Mat MeasuredXYZ();

    // A photograph of the chart with its centre at `centre`, upright
    // (angle 0) or upside down (angle 180).
    static cv::Mat RenderChart(cv::Size size, cv::Point centre, double angle);

    // Writes data/ (templates and tables) and "calib.png" into `dir`.
    static void WriteWorkingFolder(const TempDir& dir, double angle = 0.0);
    // The centre of the chart in "calib.png".
    static cv::Point Centre() { return {520, 700}; }
    static cv::Size CalibrationSize() { return {1040, 1400}; }
};

// Runs a command line in `dir`; returns the exit status and fills stdout and
// stderr. Arguments are quoted for the shell.
struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};
RunResult RunIn(const std::string& dir, const std::string& program, const std::vector<std::string>& args);
