#include "CMRegression.h"

#include "MatValue.h"

#include <cmath>

CMRegression::CMRegression(int termCount_) : termCount(termCount_) {}

bool CMRegression::Fit(const cv::Mat& src, const cv::Mat& dst)
{
    const int n = src.rows;
    const int m = dst.cols;
    const int t = termCount;

    cv::Mat matData(t, t, CV_64FC1);
    cv::Mat matDataInv(t, t, CV_64FC1);
    cv::Mat matObsv(t, m, CV_64FC1);

    // Normal matrix: every term evaluated afresh for every product, summed in
    // increasing sample order.
    for (int i = 0; i < t; ++i) {
        for (int j = 0; j < t; ++j) {
            double sum = 0.0;
            for (int k = 0; k < n; ++k) {
                sum += GetTerm(src, k, i) * GetTerm(src, k, j);
            }
            matData.at<double>(i, j) = sum;
        }
    }

    // The status is deliberately ignored: a singular matrix inverts to zeros.
    cv::invert(matData, matDataInv, cv::DECOMP_LU);

    for (int l = 0; l < t; ++l) {
        for (int c = 0; c < m; ++c) {
            double sum = 0.0;
            for (int k = 0; k < n; ++k) {
                sum += GetTerm(src, k, l) * GetValue(dst, k, c, 0);
            }
            matObsv.at<double>(l, c) = sum;
        }
    }

    cv::Mat coef(t, m, CV_64FC1);
    cv::gemm(matDataInv, matObsv, 1.0, cv::noArray(), 1.0, coef);
    coefMat = coef;
    return true;
}

bool CMRegression::EstimateError(const cv::Mat& src, const cv::Mat& dst)
{
    const int n = src.rows;
    const int m = dst.cols;
    const cv::Mat estim = Convert(src);

    cv::Mat errors(1, m, CV_64FC1);
    for (int i = 0; i < m; ++i) {
        double sum = 0.0;
        for (int j = 0; j < n; ++j) {
            sum += std::pow(GetValue(dst, j, i, 0) - GetValue(estim, j, i, 0), 2.0);
        }
        errors.at<double>(0, i) = std::sqrt(sum / static_cast<double>(n));
    }
    errorMat = errors;
    return true;
}

cv::Mat CMRegression::MakeDesignMatrix(const cv::Mat& src) const
{
    const int n = src.rows;
    const int t = termCount;
    cv::Mat design(n, t, CV_64FC1);
#pragma omp parallel for schedule(dynamic, 1)
    for (int r = 0; r < n; ++r) {
        double* row = design.ptr<double>(r);
        for (int k = 0; k < t; ++k) {
            row[k] = GetTerm(src, r, k);
        }
    }
    return design;
}

cv::Mat CMRegression::Convert(const cv::Mat& src) const
{
    cv::Mat result(src.rows, src.cols, CV_64FC1);
    if (coefMat.empty()) {
        // An unfitted model converts everything to zero rather than failing.
        result.setTo(0.0);
        return result;
    }
    const cv::Mat design = MakeDesignMatrix(src);
    cv::gemm(design, coefMat, 1.0, cv::noArray(), 1.0, result);
    return result;
}

cv::Scalar CMRegression::ConvertColor(const cv::Scalar& color) const
{
    double dataA[3] = {color[0], color[1], color[2]};
    const cv::Mat dataMat(1, 3, CV_64FC1, dataA);
    const cv::Mat converted = Convert(dataMat);
    return cv::Scalar(converted.at<double>(0, 0), converted.at<double>(0, 1),
                      converted.at<double>(0, 2), 0.0);
}
