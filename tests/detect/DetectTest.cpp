#include "CDetectCasmatch.h"
#include "CDetectMacbeth.h"
#include "../support/TempDir.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <random>

namespace {

// A temporary working directory holding a small chart template as
// data/MacbethTmpl_korr_v2.jpg (the detectors look it up relative to the
// working directory).
class DetectTest : public testing::Test {
protected:
    void SetUp() override
    {
        old_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_.path());
        std::filesystem::create_directory("data");
        // A miniature chart: 4 x 3 flat blocks of distinct colours.
        cv::Mat texture(48, 64, CV_8UC3);
        std::mt19937 rng(3);
        for (int by = 0; by < 3; ++by) {
            for (int bx = 0; bx < 4; ++bx) {
                const cv::Scalar colour(static_cast<double>(rng() % 256), static_cast<double>(rng() % 256),
                                        static_cast<double>(rng() % 256));
                texture(cv::Rect(bx * 16, by * 16, 16, 16)).setTo(colour);
            }
        }
        ASSERT_TRUE(cv::imwrite("data/MacbethTmpl_korr_v2.jpg", texture));
        // What the detector will hold, decoded exactly as it decodes it.
        templ_ = cv::imread("data/MacbethTmpl_korr_v2.jpg", cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION);
    }
    void TearDown() override { std::filesystem::current_path(old_); }

    // A grey canvas with the template pasted with its top-left at `at`.
    cv::Mat Canvas(cv::Size size, cv::Point at) const
    {
        cv::Mat canvas(size, CV_8UC3, cv::Scalar(90, 100, 110));
        cv::randu(canvas, cv::Scalar::all(60), cv::Scalar::all(140));
        templ_.copyTo(canvas(cv::Rect(at, templ_.size())));
        return canvas;
    }

    TempDir dir_;
    std::filesystem::path old_;
    cv::Mat templ_;
};

}  // namespace

TEST_F(DetectTest, TemplatesLoadWithTheirChartConstants)
{
    CDetectMacbeth macbeth;
    ASSERT_TRUE(macbeth.LoadTemplate());
    EXPECT_EQ(macbeth.PatchCount(), 24);
    EXPECT_EQ(macbeth.AngleStep(), 180.0);
    EXPECT_EQ(macbeth.PatchHalfSize(), 10);
    EXPECT_EQ(macbeth.PatchCenters().size(), 24u);

    // No Casmatch template in this folder: the message goes to standard error.
    CDetectCasmatch casmatch;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_FALSE(casmatch.LoadTemplate());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Can't open template file.\ndata\\CasmatchTmpl.jpg: No such file or directory\n");
    EXPECT_TRUE(casmatch.PatchCenters().empty());

    cv::imwrite("data/CasmatchTmpl.jpg", templ_);
    ASSERT_TRUE(casmatch.LoadTemplate());
    EXPECT_EQ(casmatch.PatchCount(), 18);
    EXPECT_EQ(casmatch.AngleStep(), 2.0);
    EXPECT_EQ(casmatch.PatchHalfSize(), 3);
}

TEST_F(DetectTest, MissingPhotographIsReportedOnBothStreams)
{
    CDetectMacbeth detector;
    ASSERT_TRUE(detector.LoadTemplate());
    cv::imwrite("photo.png", Canvas({120, 100}, {10, 10}));
    ASSERT_TRUE(detector.LoadInputImage("photo.png"));
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_FALSE(detector.LoadInputImage("missing.png"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Reading : missing.png\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Can't open input file for detection.\nmissing.png: No such file or directory\n");
    EXPECT_TRUE(detector.InputImage().empty());  // the earlier photograph is gone
}

TEST_F(DetectTest, ExactCopyIsFoundAtAngleZeroWithScoreZero)
{
    CDetectMacbeth detector;
    ASSERT_TRUE(detector.LoadTemplate());
    cv::imwrite("photo.png", Canvas({200, 160}, {70, 45}));
    ASSERT_TRUE(detector.LoadInputImage("photo.png"));
    cv::Point pos;
    double angle = -1.0;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(detector.FindRotatedTemplate(&pos, &angle));
    const std::string line = testing::internal::GetCapturedStdout();
    EXPECT_EQ(angle, 0.0);
    EXPECT_EQ(pos, cv::Point(70 + 64 / 2, 45 + 48 / 2));
    EXPECT_EQ(line.rfind("Matching Angle   0, Coef 0.0000, Position( 102,   69), Time ", 0), 0u) << line;
    EXPECT_EQ(line.substr(line.size() - 3), "ms\n");
}

TEST_F(DetectTest, HalfTurnedChartIsFoundAt180)
{
    CDetectMacbeth detector;
    ASSERT_TRUE(detector.LoadTemplate());
    cv::Mat canvas = Canvas({200, 160}, {70, 45});
    cv::rotate(canvas, canvas, cv::ROTATE_180);
    detector.SetInputImage(canvas);
    cv::Point pos;
    double angle = -1.0;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(detector.FindRotatedTemplate(&pos, &angle));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(angle, 180.0);
    // The copy's top-left went to (200 - 70 - 64, 160 - 45 - 48); the turned
    // template lies one pixel off its centre, so allow that pixel.
    EXPECT_NEAR(pos.x, 66 + 32, 1);
    EXPECT_NEAR(pos.y, 67 + 24, 1);
}

TEST_F(DetectTest, RegionOfInterestIsSearchedAndReportedInImageCoordinates)
{
    CDetectMacbeth detector;
    ASSERT_TRUE(detector.LoadTemplate());
    // An exact copy at (10, 10) and a slightly disturbed one at (150, 90).
    cv::Mat canvas = Canvas({260, 170}, {10, 10});
    cv::Mat second = templ_.clone();
    second += cv::Scalar::all(3);
    second.copyTo(canvas(cv::Rect({150, 90}, templ_.size())));
    detector.SetInputImage(canvas);
    detector.SetInputRoi(cv::Rect(120, 60, 130, 100));
    cv::Point pos;
    double angle = -1.0;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(detector.FindRotatedTemplate(&pos, &angle));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(pos, cv::Point(150 + 32, 90 + 24));
    EXPECT_TRUE(detector.HasInputRoi());  // the search leaves the region alone

    // Detect searches the whole photograph and finds the exact copy.
    testing::internal::CaptureStdout();
    ASSERT_TRUE(detector.Detect());
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(detector.HasInputRoi());
    EXPECT_EQ(detector.PatchCenters()[0], cv::Point(10 + 32 + 285, 10 + 24 - 475));
}

TEST_F(DetectTest, SearchRefusesWhatItCannotSearch)
{
    struct Case {
        bool loadTemplate;
        cv::Size photo;  // empty: no photograph
        const char* message;
    };
    const Case cases[] = {
        {false, {200, 160}, "No chart template is loaded: the chart cannot be searched.\n"},
        {true, {}, "No calibration photograph is loaded: the chart cannot be searched.\n"},
        {true, {63, 160}, "The calibration photograph is smaller than the chart template.\n"},
        {true, {200, 47}, "The calibration photograph is smaller than the chart template.\n"},
    };
    for (const Case& c : cases) {
        CDetectMacbeth detector;
        if (c.loadTemplate) {
            ASSERT_TRUE(detector.LoadTemplate());
        }
        if (!c.photo.empty()) {
            detector.SetInputImage(cv::Mat(c.photo, CV_8UC3, cv::Scalar::all(0)));
        }
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_FALSE(detector.Detect());
        cv::Mat samples;
        EXPECT_FALSE(detector.MeasurePatches(samples));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.substr(0, err.find('\n') + 1), c.message);
        EXPECT_TRUE(samples.empty());
    }
}

TEST_F(DetectTest, LayoutFollowsTheGridAndTurnsWithTheChart)
{
    CDetectMacbeth detector;
    ASSERT_TRUE(detector.LoadTemplate());
    struct Expect {
        int patch;
        cv::Point at;
    };
    detector.LayoutPatches({1000, 800}, 0.0);
    for (const Expect& e : {Expect{0, {1285, 325}}, Expect{5, {1285, 1275}}, Expect{6, {1095, 325}},
                            Expect{18, {715, 325}}, Expect{23, {715, 1275}}}) {
        EXPECT_EQ(detector.PatchCenters()[e.patch], e.at) << "patch " << e.patch << " at 0";
    }
    detector.LayoutPatches({1000, 800}, 180.0);
    for (const Expect& e : {Expect{0, {715, 1275}}, Expect{5, {715, 325}}, Expect{23, {1285, 325}}}) {
        EXPECT_EQ(detector.PatchCenters()[e.patch], e.at) << "patch " << e.patch << " at 180";
    }
}

TEST_F(DetectTest, PatchesAreMeasuredClippedOrMarkedOutside)
{
    CDetectMacbeth detector;
    ASSERT_TRUE(detector.LoadTemplate());
    // B = x, G = y, R = 7, so a mean tells which pixels were averaged.
    cv::Mat photo(320, 20, CV_8UC3);
    for (int y = 0; y < photo.rows; ++y) {
        for (int x = 0; x < photo.cols; ++x) {
            photo.at<cv::Vec3b>(y, x) = cv::Vec3b(static_cast<uchar>(x), static_cast<uchar>(y), 7);
        }
    }
    // Patch 18 at (-5, 100) and patch 19 at (-5, 290): both clipped at the
    // left; patch 20 at (-5, 480) lies below the photograph.
    detector.SetInputImage(photo);
    detector.LayoutPatches({280, 575}, 0.0);
    ASSERT_EQ(detector.PatchCenters()[18], cv::Point(-5, 100));
    detector.SetInputRoi(cv::Rect(0, 0, 5, 5));
    cv::Mat samples(2, 2, CV_8UC1);
    ASSERT_TRUE(detector.MeasurePatches(samples));
    ASSERT_EQ(samples.type(), CV_32FC1);
    ASSERT_EQ(samples.rows, 24);
    ASSERT_EQ(samples.cols, 3);
    EXPECT_EQ(samples.at<float>(18, 0), 2.5f);    // columns 0 to 5
    EXPECT_EQ(samples.at<float>(18, 1), 100.0f);  // rows 90 to 110
    EXPECT_EQ(samples.at<float>(18, 2), 7.0f);
    EXPECT_EQ(samples.at<float>(19, 0), 2.5f);
    for (int ch = 0; ch < 3; ++ch) {
        EXPECT_EQ(samples.at<float>(20, ch), -1.0f);
        EXPECT_EQ(samples.at<float>(0, ch), -1.0f);  // far right of a 20-pixel-wide photo
    }
    EXPECT_FALSE(detector.HasInputRoi());

    // A flat patch is measured exactly; the top-left corner at y = height is
    // outside.
    cv::Mat flat(400, 1400, CV_8UC3, cv::Scalar(10, 20, 30));
    detector.SetInputImage(flat);
    detector.LayoutPatches({700, 410 - 475}, 0.0);  // patch 5 centre y = 410: corner y = 400
    ASSERT_TRUE(detector.MeasurePatches(samples));
    EXPECT_EQ(samples.at<float>(4, 0), 10.0f);
    EXPECT_EQ(samples.at<float>(4, 1), 20.0f);
    EXPECT_EQ(samples.at<float>(4, 2), 30.0f);
    EXPECT_EQ(samples.at<float>(5, 0), -1.0f);
}
