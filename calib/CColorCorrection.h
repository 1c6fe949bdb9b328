#pragma once

#include "CDetectCasmatch.h"
#include "CDetectMacbeth.h"
#include "CMRegressionLinear.h"
#include "CMRegressionRGB.h"

#include <opencv2/core.hpp>

#include <memory>

// Everything that turns a camera colour into CIE XYZ: the chart detectors,
// the tone model (camera B, G, R to linear B, G, R), the XYZ model (linear
// B, G, R to X, Y, Z, affine), the monitor model (X, Y, Z to monitor RGB) and
// the reference matrices.
//
// Use: LoadReferenceData, then Calibrate with a photograph of the chart, then
// LinearizeColor and ColorToXYZ for any number of colours.
class CColorCorrection {
public:
    static constexpr const char* kMeasuredXYZPath = "Data\\MeasuredMacbethXYZ.csv";
    static constexpr const char* kMonitorRGBPath = "Data\\MonitorRGB4913DG.csv";
    static constexpr const char* kMonitorXYZPath = "Data\\MonitorXYZ4913N.csv";

    CColorCorrection();
    ~CColorCorrection();

    CColorCorrection(const CColorCorrection&) = delete;
    CColorCorrection& operator=(const CColorCorrection&) = delete;

    // Loads both templates, the measured XYZ of the chart and the monitor
    // tables, and fits the monitor model. Stops at the first failure.
    bool LoadReferenceData();
    // Finds and measures the chart in the photograph at `path` and fits the
    // tone and XYZ models. Fails, fitting nothing, when the measured XYZ is
    // not loaded or the chart cannot be read, found or measured.
    bool Calibrate(const char* path);
    // Camera B, G, R to linear B, G, R; zero before a successful Calibrate.
    cv::Scalar LinearizeColor(const cv::Scalar& colour) const;
    // Linear B, G, R to X, Y, Z; zero before a successful Calibrate.
    cv::Scalar ColorToXYZ(const cv::Scalar& colour) const;

    bool IsCalibrated() const { return calibrated; }
    const CDetectMacbeth& MacbethDetector() const { return *macbethDetector; }
    CDetectMacbeth& MacbethDetector() { return *macbethDetector; }
    const CMRegressionLinear& LinearModel() const { return *linearModel; }
    const CMRegressionRGB& XyzModel() const { return *xyzModel; }
    const CMRegressionRGB& MonitorModel() const { return *monitorModel; }
    const cv::Mat& PatchSamples() const { return crgb; }
    const cv::Mat& LinearPatches() const { return lrgb; }
    const cv::Mat& MeasuredXYZ() const { return xyzM; }

private:
    std::unique_ptr<CDetectCasmatch> casmatchDetector;
    std::unique_ptr<CDetectMacbeth> macbethDetector;
    std::unique_ptr<CMRegressionLinear> linearModel;
    std::unique_ptr<CMRegressionRGB> xyzModel;
    std::unique_ptr<CMRegressionRGB> monitorModel;
    cv::Mat crgb;  // 24 x 3 CV_32FC1 patch means, B, G, R
    cv::Mat lrgb;  // 24 x 3 CV_64FC1 linearised patch colours
    cv::Mat xyzM;  // 24 x 3 CV_64FC1 measured X, Y, Z of the patches
    bool calibrated = false;
};
