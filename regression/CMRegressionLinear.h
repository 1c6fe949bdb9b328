#pragma once

#include "CMRegression.h"

// Tone linearisation: one cubic per channel, fitted from the six neutral
// patches (rows 18 to 23) of the chart's patch matrix against fixed reference
// values, and applied to each channel on its own.
//
// Coefficient layout: coefMat is 12 x 3; rows 4i to 4i+3 of column i hold the
// coefficients of x^0 to x^3 of channel i, every other entry is zero.
class CMRegressionLinear : public CMRegression {
public:
    // Reference values of patch rows 18 to 23.
    static constexpr double kReflectance[6] = {1.5, 1.05, 0.7, 0.44, 0.23, 0.05};
    static constexpr int kFirstGreyRow = 18;

    CMRegressionLinear();

    // Fits the three tone curves from rows 18 to 23 of `patches` (at least 24
    // rows, at most 3 columns, any single-channel type). Always returns true.
    bool FitToneCurves(const cv::Mat& patches);

    double GetTerm(const cv::Mat& src, int row, int term) const override;
    cv::Mat Convert(const cv::Mat& src) const override;
    // Evaluates each column's cubic on that column; src has at most 3 columns.
    virtual cv::Mat ApplyToneCurves(const cv::Mat& src) const;
};
