#pragma once

#include <opencv2/core.hpp>

// Base of the least-squares colour models. A model maps sample matrices
// (one colour per row, one component per column) through T terms computed
// from each sample: fitting solves the normal equations (X'X) C = X'Y, and
// converting computes X C.
//
// Matrices passed in may have any single-channel element type and are only
// read; every matrix a model creates is CV_64FC1.
class CMRegression {
public:
    explicit CMRegression(int termCount);
    virtual ~CMRegression() = default;

    CMRegression(const CMRegression&) = delete;
    CMRegression& operator=(const CMRegression&) = delete;

    // Fits the coefficients from N source rows and the first N rows of dst.
    // The normal matrix is inverted by LU; a singular one leaves all
    // coefficients at zero. Always returns true.
    virtual bool Fit(const cv::Mat& src, const cv::Mat& dst);
    // Root-mean-square error per target column of Convert(src) against dst,
    // dividing by N. Always returns true.
    virtual bool EstimateError(const cv::Mat& src, const cv::Mat& dst);
    // Value of term `term` for sample `row` of src. Called concurrently for
    // different rows: implementations only read.
    virtual double GetTerm(const cv::Mat& src, int row, int term) const = 0;
    // Converts every row of src; returns a new CV_64FC1 matrix of src's shape.
    virtual cv::Mat Convert(const cv::Mat& src) const;

    // Converts one colour (components 0 to 2; component 3 is ignored) through
    // Convert. Component 3 of the result is 0.
    cv::Scalar ConvertColor(const cv::Scalar& color) const;
    // N x T design matrix of src, rows filled in parallel.
    cv::Mat MakeDesignMatrix(const cv::Mat& src) const;

    int TermCount() const { return termCount; }
    const cv::Mat& Coefficients() const { return coefMat; }
    const cv::Mat& Errors() const { return errorMat; }

protected:
    int termCount;
    cv::Mat coefMat;   // T x M, CV_64FC1; empty until the first Fit
    cv::Mat errorMat;  // 1 x M, CV_64FC1; empty until the first EstimateError
};
