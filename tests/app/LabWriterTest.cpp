// The fast writer against the per-pixel reference chain, byte for byte.

#include "LabTransform.h"
#include "LabWriter.h"
#include "ProgressLine.h"
#include "ReferenceWriter.h"
#include "../support/ChartFixture.h"
#include "../support/TempDir.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <sstream>

namespace {

class LabWriterTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new TempDir;
        ChartFixture::WriteWorkingFolder(*dir_);
        const auto old = std::filesystem::current_path();
        std::filesystem::current_path(dir_->path());
        correction_ = new CColorCorrection;
        testing::internal::CaptureStdout();
        const bool loaded = correction_->LoadReferenceData();
        const bool calibrated = correction_->Calibrate("calib.png");
        testing::internal::GetCapturedStdout();
        std::filesystem::current_path(old);
        ASSERT_TRUE(loaded);
        ASSERT_TRUE(calibrated);
    }
    static void TearDownTestSuite()
    {
        delete correction_;
        delete dir_;
    }

    static std::string WriteWith(const cv::Mat& image, bool reference, std::string* progressText = nullptr,
                                 int blockRows = 0, LabCacheUse cacheUse = LabCacheUse::kAdaptive)
    {
        const std::string path = *dir_ / "out.txt";
        OutputFile out;
        std::string error;
        EXPECT_TRUE(out.Open(path, error)) << error;
        std::ostringstream console;
        ProgressLine progress(console, static_cast<int64_t>(image.rows) * image.cols);
        if (reference) {
            EXPECT_TRUE(WriteLabReference(image, *correction_, out, &progress));
        } else {
            EXPECT_TRUE(WriteLab(image, LabTransform(*correction_), out, &progress, blockRows, cacheUse));
        }
        EXPECT_TRUE(out.Commit(error)) << error;
        if (progressText) {
            *progressText = console.str();
        }
        return ReadFile(path);
    }

    static TempDir* dir_;
    static CColorCorrection* correction_;
};

TempDir* LabWriterTest::dir_ = nullptr;
CColorCorrection* LabWriterTest::correction_ = nullptr;

cv::Mat RandomImage(int w, int h, uint64_t seed)
{
    cv::Mat image(h, w, CV_8UC3);
    cv::RNG rng(seed);
    rng.fill(image, cv::RNG::UNIFORM, 0, 256);
    return image;
}

}  // namespace

TEST_F(LabWriterTest, PreparedTransformEqualsThePerPixelChain)
{
    cv::RNG rng(5);
    const LabTransform transform(*correction_);
    for (int i = 0; i < 100000; ++i) {
        const unsigned c = i < 256 ? static_cast<unsigned>(i) * 0x010101u : static_cast<unsigned>(rng.next()) & 0xFFFFFFu;
        const uint8_t bgr[3] = {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c >> 16)};
        double lab[3];
        transform.Convert(bgr, lab);
        const cv::Scalar ref = PixelToLab(*correction_, cv::Vec3b(bgr[0], bgr[1], bgr[2]));
        for (int k = 0; k < 3; ++k) {
            ASSERT_EQ(std::memcmp(&lab[k], &ref[k], sizeof(double)), 0)
                << "colour " << std::hex << c << " component " << k << ": " << lab[k] << " vs " << ref[k];
        }
    }
}

TEST_F(LabWriterTest, OutputIsByteIdenticalToTheReferenceWhateverTheThreads)
{
    cv::Mat greys(1, 256, CV_8UC3);
    for (int v = 0; v < 256; ++v) {
        greys.at<cv::Vec3b>(0, v) = cv::Vec3b(static_cast<uchar>(v), static_cast<uchar>(v), static_cast<uchar>(v));
    }
    cv::Mat saturated(5, 25, CV_8UC3);
    const uchar levels[5] = {0, 1, 128, 254, 255};
    for (int i = 0; i < 125; ++i) {
        saturated.at<cv::Vec3b>(i / 25, i % 25) = cv::Vec3b(levels[i % 5], levels[(i / 5) % 5], levels[i / 25]);
    }
    // Few colours, many times over: the cache serves most pixels.
    cv::Mat repeated(40, 60, CV_8UC3);
    for (int i = 0; i < repeated.rows * repeated.cols; ++i) {
        repeated.at<cv::Vec3b>(i / 60, i % 60) = saturated.at<cv::Vec3b>(0, (i * 7 / 3) % 25);
    }
    const cv::Mat images[] = {RandomImage(1, 1, 1), RandomImage(3, 2, 2), RandomImage(1, 9, 3), greys, greys.t(),
                              saturated, RandomImage(70, 45, 4), repeated};
    const int threadCounts[] = {1, 2, 3};
    const int saved = omp_get_max_threads();
    for (const cv::Mat& image : images) {
        std::string refProgress;
        const std::string ref = WriteWith(image, true, &refProgress);
        for (int threads : threadCounts) {
            omp_set_num_threads(threads);
            // Blocks of the default size, and of 7 rows so that images span
            // several; with the colour cache as the writer decides, always
            // and never.
            for (int blockRows : {0, 7}) {
                for (LabCacheUse use : {LabCacheUse::kAdaptive, LabCacheUse::kAlways, LabCacheUse::kNever}) {
                    std::string progress;
                    const std::string fast = WriteWith(image, false, &progress, blockRows, use);
                    EXPECT_TRUE(fast == ref) << image.cols << " x " << image.rows << " with " << threads
                                             << " threads, block rows " << blockRows << ", cache use "
                                             << static_cast<int>(use);
                    EXPECT_EQ(progress, refProgress) << image.cols << " x " << image.rows;
                }
            }
        }
    }
    omp_set_num_threads(saved);
}

TEST(ProgressLine, RangesShowWhatEveryPixelWouldShow)
{
    for (int64_t total : {int64_t{1}, int64_t{4}, int64_t{6}, int64_t{2001}, int64_t{123457}}) {
        std::ostringstream perPixel, ranged;
        ProgressLine a(perPixel, total), b(ranged, total);
        for (int64_t i = 0; i < total; ++i) {
            a.Report(i);
        }
        for (int64_t first = 0; first < total; first += 1000) {
            b.ReportRange(first, std::min(total, first + 1000) - 1);
        }
        EXPECT_EQ(ranged.str(), perPixel.str()) << total;
    }
    std::ostringstream six;
    ProgressLine p(six, 6);
    p.ReportRange(0, 5);
    EXPECT_EQ(six.str(), "\r[0% / 100%] \r[16.7% / 100%] \r[33.3% / 100%] \r[50% / 100%] \r[66.7% / 100%] \r[83.3% / 100%] ");
    std::ostringstream last;
    ProgressLine q(last, 2001);
    q.Report(2000);
    EXPECT_EQ(last.str(), "\r[100% / 100%] ");
}
