#pragma once

#include "CMRegression.h"

// Polynomial model of the three components c0, c1, c2 of a sample: the first
// `termCount` terms of 1, c0, c1, c2, c0c1, c1c2, c2c0, c0^2, c1^2, c2^2,
// c0c1c2, c0^3, c1^3, c2^3. With 4 terms it is an affine map.
class CMRegressionRGB : public CMRegression {
public:
    explicit CMRegressionRGB(int termCount);

    bool Fit(const cv::Mat& src, const cv::Mat& dst) override;
    double GetTerm(const cv::Mat& src, int row, int term) const override;
    cv::Mat Convert(const cv::Mat& src) const override;
};
