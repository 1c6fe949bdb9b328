#include "CColorCorrection.h"

#include "CsvMatrix.h"

#include <cstdio>

CColorCorrection::CColorCorrection()
    : casmatchDetector(std::make_unique<CDetectCasmatch>()),
      macbethDetector(std::make_unique<CDetectMacbeth>()),
      linearModel(std::make_unique<CMRegressionLinear>()),
      xyzModel(std::make_unique<CMRegressionRGB>(4)),
      monitorModel(std::make_unique<CMRegressionRGB>(4))
{
}

CColorCorrection::~CColorCorrection()
{
    // Owned objects go in the order in which they were created.
    casmatchDetector.reset();
    macbethDetector.reset();
    linearModel.reset();
    xyzModel.reset();
    monitorModel.reset();
}

bool CColorCorrection::LoadReferenceData()
{
    if (!casmatchDetector->LoadTemplate()) {
        return false;
    }
    if (!macbethDetector->LoadTemplate()) {
        return false;
    }
    xyzM.release();
    xyzM = LoadCsvMatrix(kMeasuredXYZPath, 24, 3, 2, 2);
    if (xyzM.empty()) {
        return false;
    }
    const cv::Mat monitorRGB = LoadCsvMatrix(kMonitorRGBPath, 4913, 3, 2, 1);
    if (monitorRGB.empty()) {
        return false;
    }
    const cv::Mat monitorXYZ = LoadCsvMatrix(kMonitorXYZPath, 4913, 3, 2, 1);
    if (monitorXYZ.empty()) {
        return false;
    }
    monitorModel->Fit(monitorXYZ, monitorRGB);
    monitorModel->EstimateError(monitorXYZ, monitorRGB);
    return true;
}

bool CColorCorrection::Calibrate(const char* path)
{
    if (xyzM.empty()) {
        std::fprintf(stderr, "The measured XYZ of the chart (%s) is not loaded: calibration is impossible.\n",
                     kMeasuredXYZPath);
        return false;
    }
    if (!macbethDetector->LoadInputImage(path)) {
        return false;
    }
    if (!macbethDetector->Detect()) {
        return false;
    }
    if (!macbethDetector->MeasurePatches(crgb)) {
        return false;
    }
    for (int k = 0; k < crgb.rows; ++k) {
        const float* row = crgb.ptr<float>(k);
        if (row[0] == -1.0f && row[1] == -1.0f && row[2] == -1.0f) {
            std::fprintf(stderr,
                         "Warning: chart patch %d lies outside the calibration photograph %s; "
                         "it enters the fits as -1, -1, -1.\n",
                         k, path);
        }
    }

    linearModel->FitToneCurves(crgb);
    lrgb.release();
    lrgb = linearModel->Convert(crgb);

    // The XYZ model is fitted from single-precision copies of both matrices.
    const int n = lrgb.rows;
    cv::Mat lrgbRemoved(n, 3, CV_32FC1);
    cv::Mat xyzMRemoved(n, 3, CV_32FC1);
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < 3; ++c) {
            lrgbRemoved.at<float>(r, c) = static_cast<float>(lrgb.at<double>(r, c));
            xyzMRemoved.at<float>(r, c) = static_cast<float>(xyzM.at<double>(r, c));
        }
    }
    xyzModel->Fit(lrgbRemoved, xyzMRemoved);
    calibrated = true;
    return true;
}

cv::Scalar CColorCorrection::LinearizeColor(const cv::Scalar& colour) const
{
    return calibrated ? linearModel->ConvertColor(colour) : cv::Scalar::all(0.0);
}

cv::Scalar CColorCorrection::ColorToXYZ(const cv::Scalar& colour) const
{
    return calibrated ? xyzModel->ConvertColor(colour) : cv::Scalar::all(0.0);
}
