#include "CColorCorrection.h"
#include "../support/ChartFixture.h"
#include "../support/TempDir.h"

#include <gtest/gtest.h>

namespace {

// Runs in a working folder holding the reference data and "calib.png".
class ColorCorrectionTest : public testing::Test {
protected:
    void SetUp() override
    {
        ChartFixture::WriteWorkingFolder(dir_);
        old_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_.path());
        testing::internal::CaptureStdout();
    }
    void TearDown() override
    {
        testing::internal::GetCapturedStdout();
        std::filesystem::current_path(old_);
    }

    TempDir dir_;
    std::filesystem::path old_;
};

}  // namespace

TEST_F(ColorCorrectionTest, CalibratesFromTheChartAndFitsXYZFromFloatCopies)
{
    CColorCorrection cc;
    EXPECT_EQ(cc.LinearizeColor(cv::Scalar(10, 20, 30)), cv::Scalar::all(0));
    EXPECT_EQ(cc.ColorToXYZ(cv::Scalar(10, 20, 30)), cv::Scalar::all(0));
    ASSERT_TRUE(cc.LoadReferenceData());
    EXPECT_EQ(cc.MonitorModel().Coefficients().rows, 4);
    EXPECT_EQ(cc.MonitorModel().Errors().cols, 3);
    ASSERT_TRUE(cc.Calibrate("calib.png"));

    // The flat patches are measured exactly.
    const auto colours = ChartFixture::PatchColours();
    const cv::Mat& crgb = cc.PatchSamples();
    ASSERT_EQ(crgb.type(), CV_32FC1);
    for (int k = 0; k < 24; ++k) {
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(crgb.at<float>(k, c), colours[k][c]) << k << "," << c;
        }
    }

    // The XYZ model equals a fit from the float roundings of lrgb and xyzM.
    cv::Mat lrgbF, xyzF;
    cc.LinearPatches().convertTo(lrgbF, CV_32FC1);
    cc.MeasuredXYZ().convertTo(xyzF, CV_32FC1);
    CMRegressionRGB fromFloats(4);
    fromFloats.Fit(lrgbF, xyzF);
    EXPECT_EQ(cv::norm(fromFloats.Coefficients(), cc.XyzModel().Coefficients(), cv::NORM_INF), 0.0);

    // The chain, and member 3 ignored on the way in and zero on the way out.
    const cv::Scalar lin = cc.LinearizeColor(cv::Scalar(10, 20, 30, 77));
    EXPECT_EQ(lin, cc.LinearModel().ConvertColor(cv::Scalar(10, 20, 30)));
    EXPECT_EQ(lin[3], 0.0);
    EXPECT_EQ(cc.ColorToXYZ(lin), cc.XyzModel().ConvertColor(lin));

    // A second calibration from the same photograph changes nothing.
    const cv::Mat coef = cc.XyzModel().Coefficients().clone();
    ASSERT_TRUE(cc.Calibrate("calib.png"));
    EXPECT_EQ(cv::norm(coef, cc.XyzModel().Coefficients(), cv::NORM_INF), 0.0);

    // A failed calibration keeps the earlier one.
    EXPECT_FALSE(cc.Calibrate("missing.png"));
    EXPECT_TRUE(cc.IsCalibrated());
    EXPECT_EQ(cv::norm(coef, cc.XyzModel().Coefficients(), cv::NORM_INF), 0.0);
}

TEST_F(ColorCorrectionTest, ExactAffineMeasurementsAreReproduced)
{
    // Replace the measured XYZ by an exact affine function of the linearised
    // patches of a first calibration.
    CColorCorrection first;
    ASSERT_TRUE(first.LoadReferenceData());
    ASSERT_TRUE(first.Calibrate("calib.png"));
    const cv::Mat& lrgb = first.LinearPatches();
    std::string table = "patch,X,Y,Z\n";
    char line[200];
    for (int k = 0; k < 24; ++k) {
        const double b = lrgb.at<double>(k, 0), g = lrgb.at<double>(k, 1), r = lrgb.at<double>(k, 2);
        std::snprintf(line, sizeof line, "p%d,%.17g,%.17g,%.17g\n", k, 2 + 20 * b + 30 * g + 40 * r,
                      1 + 10 * b + 60 * g + 20 * r, 3 + 70 * b + 10 * g + 5 * r);
        table += line;
    }
    dir_.Write("data/MeasuredMacbethXYZ.csv", table);

    CColorCorrection cc;
    ASSERT_TRUE(cc.LoadReferenceData());
    ASSERT_TRUE(cc.Calibrate("calib.png"));
    for (int k = 0; k < 24; ++k) {
        const cv::Scalar xyz = cc.ColorToXYZ(
            cv::Scalar(lrgb.at<double>(k, 0), lrgb.at<double>(k, 1), lrgb.at<double>(k, 2)));
        for (int c = 0; c < 3; ++c) {
            const double expected = cc.MeasuredXYZ().at<double>(k, c);
            EXPECT_NEAR(xyz[c], expected, 1e-5 * std::max(1.0, std::abs(expected))) << k << "," << c;
        }
    }
}

TEST_F(ColorCorrectionTest, MissingTablesStopTheLoadWhereTheySay)
{
    std::filesystem::remove("data/MonitorXYZ4913N.csv");
    CColorCorrection cc;
    EXPECT_FALSE(cc.LoadReferenceData());
    EXPECT_FALSE(cc.MeasuredXYZ().empty());
    EXPECT_TRUE(cc.Calibrate("calib.png"));

    std::filesystem::remove("data/MeasuredMacbethXYZ.csv");
    CColorCorrection noXYZ;
    EXPECT_FALSE(noXYZ.LoadReferenceData());
    EXPECT_TRUE(noXYZ.MeasuredXYZ().empty());
    testing::internal::CaptureStderr();
    EXPECT_FALSE(noXYZ.Calibrate("calib.png"));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("calibration is impossible"), std::string::npos);
    EXPECT_FALSE(noXYZ.IsCalibrated());
}
