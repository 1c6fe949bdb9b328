#include "CMRegressionLinear.h"

#include "MatValue.h"

#include <cmath>

CMRegressionLinear::CMRegressionLinear() : CMRegression(12) {}

bool CMRegressionLinear::FitToneCurves(const cv::Mat& patches)
{
    const cv::Mat rgbX = patches.rowRange(kFirstGreyRow, kFirstGreyRow + 6);
    double reflectance[6];
    for (int i = 0; i < 6; ++i) {
        reflectance[i] = kReflectance[i];
    }
    const cv::Mat y(6, 1, CV_64FC1, reflectance);

    cv::Mat coef = cv::Mat::zeros(termCount, rgbX.cols, CV_64FC1);
    termCount = 4;
    for (int i = 0; i < rgbX.cols; ++i) {
        const cv::Mat x = rgbX.col(i);
        CMRegression::Fit(x, y);
        for (int j = 0; j < 4; ++j) {
            coef.at<double>(j + 4 * i, i) = GetValue(coefMat, j, 0, 0);
        }
    }
    termCount = 12;
    coefMat = coef.clone();
    return true;
}

double CMRegressionLinear::GetTerm(const cv::Mat& src, int row, int term) const
{
    const double v = GetValue(src, row, term / 4, 0);
    return std::pow(v, static_cast<double>(term % 4));
}

cv::Mat CMRegressionLinear::Convert(const cv::Mat& src) const
{
    return ApplyToneCurves(src);
}

cv::Mat CMRegressionLinear::ApplyToneCurves(const cv::Mat& src) const
{
    cv::Mat result(src.rows, src.cols, CV_64FC1);
    if (coefMat.empty()) {
        // An unfitted model converts everything to zero rather than failing.
        result.setTo(0.0);
        return result;
    }
    double b0[3] = {0.0, 0.0, 0.0};
    double b1[3] = {0.0, 0.0, 0.0};
    double b2[3] = {0.0, 0.0, 0.0};
    double b3[3] = {0.0, 0.0, 0.0};
    const int k = src.cols;
    CV_Assert(k <= 3);
    for (int i = 0; i < k; ++i) {
        b0[i] = coefMat.at<double>(4 * i, i);
        b1[i] = coefMat.at<double>(4 * i + 1, i);
        b2[i] = coefMat.at<double>(4 * i + 2, i);
        b3[i] = coefMat.at<double>(4 * i + 3, i);
    }
    const int n = src.rows;
#pragma omp parallel for schedule(dynamic, 1)
    for (int r = 0; r < n; ++r) {
        double* out = result.ptr<double>(r);
        for (int i = 0; i < k; ++i) {
            const double v = GetValue(src, r, i, 0);
            out[i] = b0[i] + b1[i] * v + b2[i] * v * v + b3[i] * v * v * v;
        }
    }
    return result;
}
