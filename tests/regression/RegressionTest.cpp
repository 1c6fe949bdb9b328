#include "CMRegressionLinear.h"
#include "CMRegressionRGB.h"
#include "MatValue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

// 24 samples whose XYZ is an exact affine function of B, G, R.
void MakeAffineSamples(cv::Mat& src, cv::Mat& dst)
{
    const double k[4][3] = {{1.5, -2.0, 0.25}, {0.4, 0.1, 0.02}, {0.35, 0.7, 0.1}, {0.2, 0.1, 0.9}};
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(0.0, 255.0);
    src.create(24, 3, CV_64FC1);
    dst.create(24, 3, CV_64FC1);
    for (int r = 0; r < 24; ++r) {
        for (int c = 0; c < 3; ++c) {
            src.at<double>(r, c) = u(rng);
        }
        for (int m = 0; m < 3; ++m) {
            dst.at<double>(r, m) = k[0][m] + k[1][m] * src.at<double>(r, 0) +
                                   k[2][m] * src.at<double>(r, 1) + k[3][m] * src.at<double>(r, 2);
        }
    }
}

}  // namespace

TEST(GetValue, ReadsEverySingleChannelDepthAsDouble)
{
    cv::Mat f(1, 2, CV_32FC1);
    f.at<float>(0, 1) = 0.1f;
    EXPECT_EQ(GetValue(f, 0, 1, 0), static_cast<double>(0.1f));
    cv::Mat d(1, 1, CV_64FC1, cv::Scalar(0.1));
    EXPECT_EQ(GetValue(d, 0, 0, 0), 0.1);
    cv::Mat b(1, 1, CV_8UC1, cv::Scalar(200));
    EXPECT_EQ(GetValue(b, 0, 0, 0), 200.0);
    cv::Mat s(1, 1, CV_16SC1, cv::Scalar(-300));
    EXPECT_EQ(GetValue(s, 0, 0, 0), -300.0);
    cv::Mat c3(1, 1, CV_8UC3, cv::Scalar(1, 2, 3));
    EXPECT_EQ(GetValue(c3, 0, 0, 2), 3.0);
    EXPECT_EQ(GetValue(c3, 0, 0, 3), 0.0);
}

TEST(CMRegressionRGB, TermTable)
{
    CMRegressionRGB model(14);
    const cv::Mat s = (cv::Mat_<double>(1, 3) << 2, 3, 5);
    const double expected[14] = {1, 2, 3, 5, 6, 15, 10, 4, 9, 25, 30, 8, 27, 125};
    for (int t = 0; t < 14; ++t) {
        EXPECT_EQ(model.GetTerm(s, 0, t), expected[t]) << "term " << t;
    }
    EXPECT_EQ(model.GetTerm(s, 0, 14), 0.0);
    EXPECT_EQ(model.GetTerm(s, 0, -1), 0.0);
    const cv::Mat zero = cv::Mat::zeros(1, 3, CV_64FC1);
    EXPECT_EQ(model.GetTerm(zero, 0, 0), 1.0);
}

TEST(CMRegressionRGB, ExactAffineFitIsReproduced)
{
    cv::Mat src, dst;
    MakeAffineSamples(src, dst);
    CMRegressionRGB model(4);
    ASSERT_TRUE(model.Fit(src, dst));
    ASSERT_EQ(model.Coefficients().rows, 4);
    ASSERT_EQ(model.Coefficients().cols, 3);
    const cv::Mat converted = model.Convert(src);
    ASSERT_EQ(converted.type(), CV_64FC1);
    EXPECT_LT(cv::norm(converted, dst, cv::NORM_INF), 1e-9);
    ASSERT_TRUE(model.EstimateError(src, dst));
    EXPECT_LT(cv::norm(model.Errors(), cv::NORM_INF), 1e-9);

    // ConvertColor is the single-row Convert; component 3 in is ignored.
    const cv::Scalar c = model.ConvertColor(cv::Scalar(10, 20, 30, 99));
    const cv::Mat row = model.Convert((cv::Mat_<double>(1, 3) << 10, 20, 30));
    for (int m = 0; m < 3; ++m) {
        EXPECT_EQ(c[m], row.at<double>(0, m));
    }
    EXPECT_EQ(c[3], 0.0);
}

TEST(CMRegressionRGB, FloatSourcesFitLikeTheirDoubleWidening)
{
    cv::Mat src, dst, srcF, dstF, srcD, dstD;
    MakeAffineSamples(src, dst);
    src.convertTo(srcF, CV_32FC1);
    dst.convertTo(dstF, CV_32FC1);
    srcF.convertTo(srcD, CV_64FC1);
    dstF.convertTo(dstD, CV_64FC1);
    CMRegressionRGB a(4), b(4);
    a.Fit(srcF, dstF);
    b.Fit(srcD, dstD);
    EXPECT_EQ(cv::norm(a.Coefficients(), b.Coefficients(), cv::NORM_INF), 0.0);
}

TEST(CMRegressionRGB, SingularNormalMatrixGivesZeroCoefficients)
{
    // Identical samples, and a model asking for a term beyond the list.
    cv::Mat same(5, 3, CV_64FC1, cv::Scalar(7.0));
    cv::Mat target(5, 3, CV_64FC1, cv::Scalar(3.0));
    for (int terms : {4, 15}) {
        CMRegressionRGB model(terms);
        EXPECT_TRUE(model.Fit(same, target));
        EXPECT_EQ(cv::countNonZero(model.Coefficients()), 0) << terms << " terms";
        EXPECT_EQ(cv::countNonZero(model.Convert(same)), 0);
    }
}

TEST(CMRegressionRGB, EstimateErrorDividesBySampleCount)
{
    // A constant model fits the mean; the error is the population deviation.
    CMRegressionRGB model(1);
    const cv::Mat src = cv::Mat::zeros(4, 3, CV_64FC1);
    const cv::Mat dst = (cv::Mat_<double>(4, 3) << 1, 0, 5, 2, 0, 5, 3, 0, 5, 4, 0, 5);
    model.Fit(src, dst);
    model.EstimateError(src, dst);
    ASSERT_EQ(model.Errors().cols, 3);
    EXPECT_DOUBLE_EQ(model.Errors().at<double>(0, 0), std::sqrt(1.25));
    EXPECT_EQ(model.Errors().at<double>(0, 1), 0.0);
    EXPECT_EQ(model.Errors().at<double>(0, 2), 0.0);
}

TEST(CMRegressionRGB, SecondFitReplacesCoefficientsAndFollowsTargetColumns)
{
    cv::Mat src, dst;
    MakeAffineSamples(src, dst);
    CMRegressionRGB model(4);
    model.Fit(src, dst);
    model.Fit(src, dst.colRange(0, 2));
    EXPECT_EQ(model.Coefficients().cols, 2);
}

TEST(CMRegression, UnfittedModelsConvertToZero)
{
    CMRegressionRGB rgb(4);
    CMRegressionLinear tone;
    EXPECT_EQ(rgb.ConvertColor(cv::Scalar(1, 2, 3)), cv::Scalar::all(0));
    EXPECT_EQ(tone.ConvertColor(cv::Scalar(1, 2, 3)), cv::Scalar::all(0));
}

namespace {

// A monotone cubic and the camera values at which it takes the reference
// values of the grey patches.
double Cubic(double x) { return 0.05 + 0.002 * x + 1e-5 * x * x + 5e-8 * x * x * x; }

double SolveCubic(double y)
{
    double lo = -50.0, hi = 400.0;
    for (int i = 0; i < 200; ++i) {
        const double mid = 0.5 * (lo + hi);
        (Cubic(mid) < y ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

cv::Mat GreyPatches(int type)
{
    cv::Mat patches(24, 3, CV_64FC1, cv::Scalar(-1.0));
    for (int i = 0; i < 6; ++i) {
        const double x = SolveCubic(CMRegressionLinear::kReflectance[i]);
        patches.at<double>(18 + i, 0) = x;
        patches.at<double>(18 + i, 1) = 2.0 * x;  // channel 1 has another curve
        patches.at<double>(18 + i, 2) = x;
    }
    cv::Mat typed;
    patches.convertTo(typed, type);
    return typed;
}

}  // namespace

TEST(CMRegressionLinear, ExactCubicIsReproducedPerChannel)
{
    const cv::Mat patches = GreyPatches(CV_64FC1);
    CMRegressionLinear model;
    ASSERT_TRUE(model.FitToneCurves(patches));
    EXPECT_EQ(model.TermCount(), 12);
    const cv::Mat& coef = model.Coefficients();
    ASSERT_EQ(coef.rows, 12);
    ASSERT_EQ(coef.cols, 3);
    for (int r = 0; r < 12; ++r) {
        for (int c = 0; c < 3; ++c) {
            if (r / 4 != c) {
                EXPECT_EQ(coef.at<double>(r, c), 0.0) << r << "," << c;
            }
        }
    }
    EXPECT_NEAR(coef.at<double>(0, 0), 0.05, 1e-9);
    EXPECT_NEAR(coef.at<double>(1, 0), 0.002, 1e-11);
    EXPECT_NEAR(coef.at<double>(3, 0), 5e-8, 1e-14);
    EXPECT_NEAR(coef.at<double>(9, 2), 0.002, 1e-11);

    const cv::Mat lin = model.Convert(patches);
    for (int i = 0; i < 6; ++i) {
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(lin.at<double>(18 + i, c), CMRegressionLinear::kReflectance[i], 1e-9);
        }
    }
    // Zero maps to b0 of each channel; channels do not influence each other.
    const cv::Scalar zero = model.ConvertColor(cv::Scalar(0, 0, 0, 5));
    EXPECT_EQ(zero[0], coef.at<double>(0, 0));
    EXPECT_EQ(zero[1], coef.at<double>(4, 1));
    EXPECT_EQ(zero[2], coef.at<double>(8, 2));
    EXPECT_EQ(zero[3], 0.0);
    const cv::Scalar a = model.ConvertColor(cv::Scalar(10, 20, 30));
    const cv::Scalar b = model.ConvertColor(cv::Scalar(10, 200, 31));
    EXPECT_EQ(a[0], b[0]);
    EXPECT_NE(a[1], b[1]);
}

TEST(CMRegressionLinear, FloatPatchesFitLikeTheirDoubleWidening)
{
    const cv::Mat f = GreyPatches(CV_32FC1);
    cv::Mat d;
    f.convertTo(d, CV_64FC1);
    CMRegressionLinear fromFloat, fromDouble;
    fromFloat.FitToneCurves(f);
    fromDouble.FitToneCurves(d);
    EXPECT_EQ(cv::norm(fromFloat.Coefficients(), fromDouble.Coefficients(), cv::NORM_INF), 0.0);
}

TEST(CMRegressionLinear, TermsArePowersOfOneColumn)
{
    CMRegressionLinear model;
    const cv::Mat s = (cv::Mat_<double>(1, 3) << 2, 3, 5);
    EXPECT_EQ(model.GetTerm(s, 0, 5), 3.0);
    EXPECT_EQ(model.GetTerm(s, 0, 11), 125.0);
    EXPECT_EQ(model.GetTerm(s, 0, 8), 1.0);
    const cv::Mat z = cv::Mat::zeros(1, 3, CV_64FC1);
    EXPECT_EQ(model.GetTerm(z, 0, 0), 1.0);
}
