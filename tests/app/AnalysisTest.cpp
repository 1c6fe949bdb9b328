// End-to-end runs of the velvane program in a temporary working folder.

#include "../support/ChartFixture.h"
#include "../support/TempDir.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <cmath>
#include <cstdlib>
#include <regex>
#include <sstream>

namespace {

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<double> ParseValues(const std::string& line)
{
    std::vector<double> values;
    size_t start = 0;
    while (true) {
        const size_t sep = line.find(", ", start);
        values.push_back(std::strtod(line.substr(start, sep - start).c_str(), nullptr));
        if (sep == std::string::npos) {
            break;
        }
        start = sep + 2;
    }
    return values;
}

// The calibration chain computed independently of the program's models:
// least squares by SVD, the L*a*b* formula written out again.
class IndependentChain {
public:
    IndependentChain()
    {
        const auto colours = ChartFixture::PatchColours();
        const double refl[6] = {1.5, 1.05, 0.7, 0.44, 0.23, 0.05};
        for (int ch = 0; ch < 3; ++ch) {
            cv::Mat a(6, 4, CV_64FC1), y(6, 1, CV_64FC1, const_cast<double*>(refl));
            for (int i = 0; i < 6; ++i) {
                const double v = colours[18 + i][ch];
                a.at<double>(i, 0) = 1;
                a.at<double>(i, 1) = v;
                a.at<double>(i, 2) = v * v;
                a.at<double>(i, 3) = v * v * v;
            }
            cv::solve(a, y, tone_[ch], cv::DECOMP_SVD);
        }
        cv::Mat a(24, 4, CV_64FC1);
        cv::Mat xyz = ChartFixture::MeasuredXYZ();
        for (int k = 0; k < 24; ++k) {
            a.at<double>(k, 0) = 1;
            for (int ch = 0; ch < 3; ++ch) {
                a.at<double>(k, 1 + ch) = static_cast<float>(Tone(ch, colours[k][ch]));
            }
            for (int c = 0; c < 3; ++c) {
                xyz.at<double>(k, c) = static_cast<float>(xyz.at<double>(k, c));
            }
        }
        cv::solve(a, xyz, affine_, cv::DECOMP_SVD);
    }

    cv::Vec3d Lab(const cv::Vec3b& bgr) const
    {
        double xyz[3];
        for (int m = 0; m < 3; ++m) {
            xyz[m] = affine_.at<double>(0, m);
            for (int ch = 0; ch < 3; ++ch) {
                xyz[m] += affine_.at<double>(1 + ch, m) * Tone(ch, bgr[ch]);
            }
        }
        auto f = [](double t) { return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116.0; };
        const double fx = f(xyz[0] / 92.219), fy = f(xyz[1] / 100.0), fz = f(xyz[2] / 95.965);
        return {116 * fy - 16, 500 * (fx - fy), 200 * (fy - fz)};
    }

private:
    double Tone(int ch, double v) const
    {
        const cv::Mat& c = tone_[ch];
        return c.at<double>(0) + c.at<double>(1) * v + c.at<double>(2) * v * v + c.at<double>(3) * v * v * v;
    }

    cv::Mat tone_[3];
    cv::Mat affine_;
};

class AnalysisTest : public testing::Test {
protected:
    void SetUp() override { ChartFixture::WriteWorkingFolder(dir_); }

    RunResult Run(const std::vector<std::string>& args) const { return RunIn(dir_.path().string(), VELVANE_BIN, args); }

    // A small photograph of the given colours, row-major.
    std::string WritePhoto(const std::string& name, int w, int h, const std::vector<cv::Vec3b>& pixels) const
    {
        cv::Mat photo(h, w, CV_8UC3);
        for (int i = 0; i < w * h; ++i) {
            photo.at<cv::Vec3b>(i / w, i % w) = pixels[static_cast<size_t>(i) % pixels.size()];
        }
        cv::imwrite(dir_ / name, photo);
        return name;
    }

    // No temporary file left beside the outputs.
    void ExpectNoStrayFiles() const
    {
        for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
            const std::string name = entry.path().filename().string();
            EXPECT_NE(name[0], '.') << "left behind: " << name;
        }
    }

    TempDir dir_;
};

}  // namespace

TEST_F(AnalysisTest, OutputFormatFollowsTheImageShape)
{
    struct Case {
        int w, h;
    };
    const std::vector<cv::Vec3b> colours = {{10, 200, 30}, {128, 128, 128}, {10, 200, 30}, {255, 0, 7}};
    for (const Case c : {Case{1, 1}, Case{3, 2}, Case{1, 4}, Case{5, 3}}) {
        WritePhoto("photo.png", c.w, c.h, colours);
        const RunResult r = Run({"photo.png", "calib.png", "out.txt"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        const std::string text = ReadFile(dir_ / "out.txt");
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.back(), '\n');
        const auto lines = SplitLines(text);
        ASSERT_EQ(static_cast<int>(lines.size()), c.h);
        for (const std::string& line : lines) {
            EXPECT_EQ(ParseValues(line).size(), static_cast<size_t>(3 * c.w)) << line;
            EXPECT_NE(line.substr(line.size() - 1), " ");
            EXPECT_EQ(line.find(",,"), std::string::npos);
        }
        // Equal colours give identical text: pixels 0 and 2 share a colour.
        if (c.w >= 3) {
            const auto v = ParseValues(lines[0]);
            EXPECT_EQ(v[0], v[6]);
            EXPECT_EQ(v[2], v[8]);
        }
    }
}

TEST_F(AnalysisTest, ConsoleShowsDetectionAndProgress)
{
    WritePhoto("photo.png", 3, 2, {{1, 2, 3}});
    const RunResult r = Run({"photo.png", "calib.png", "out.txt"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::regex expected(
        "Reading : calib\\.png\n"
        "Matching Angle   0, Coef 0\\.0\\d\\d\\d, Position\\( 520,  700\\), Time \\d+ms\n"
        "\r\\[0% / 100%\\] \r\\[16\\.7% / 100%\\] \r\\[33\\.3% / 100%\\] \r\\[50% / 100%\\] "
        "\r\\[66\\.7% / 100%\\] \r\\[83\\.3% / 100%\\] ");
    EXPECT_TRUE(std::regex_match(r.out, expected)) << r.out;
}

TEST_F(AnalysisTest, ValuesMatchAnIndependentCalibration)
{
    std::vector<cv::Vec3b> colours;
    cv::RNG rng(99);
    for (int i = 0; i < 64; ++i) {
        colours.emplace_back(static_cast<uchar>(rng.uniform(0, 256)), static_cast<uchar>(rng.uniform(0, 256)),
                             static_cast<uchar>(rng.uniform(0, 256)));
    }
    colours.emplace_back(0, 0, 0);
    colours.emplace_back(255, 255, 255);
    WritePhoto("photo.png", 11, 6, colours);
    const IndependentChain chain;
    for (double angle : {0.0, 180.0}) {
        ChartFixture::WriteWorkingFolder(dir_, angle);
        const RunResult r = Run({"photo.png", "calib.png", "out.txt"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find(angle == 0.0 ? "Matching Angle   0," : "Matching Angle 180,"), std::string::npos) << r.out;
        const auto lines = SplitLines(ReadFile(dir_ / "out.txt"));
        ASSERT_EQ(lines.size(), 6u);
        for (int i = 0; i < 66; ++i) {
            const auto values = ParseValues(lines[i / 11]);
            const cv::Vec3d lab = chain.Lab(colours[static_cast<size_t>(i)]);
            for (int c = 0; c < 3; ++c) {
                const double got = values[static_cast<size_t>(3 * (i % 11) + c)];
                EXPECT_NEAR(got, lab[c], 1e-4 * std::max(1.0, std::abs(lab[c]))) << "pixel " << i << " component " << c;
            }
        }
    }
}

TEST_F(AnalysisTest, MissingMonitorTableStillCompletes)
{
    WritePhoto("photo.png", 4, 3, {{9, 99, 199}, {50, 60, 70}});
    ASSERT_EQ(Run({"photo.png", "calib.png", "with.txt"}).status, 0);
    std::filesystem::remove(dir_.path() / "data/MonitorXYZ4913N.csv");
    const RunResult r = Run({"photo.png", "calib.png", "without.txt"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Can't open csv file: Data\\MonitorXYZ4913N.csv\nReading : calib.png\n", 0), 0u) << r.out;
    EXPECT_EQ(ReadFile(dir_ / "with.txt"), ReadFile(dir_ / "without.txt"));
}

TEST_F(AnalysisTest, FailuresLeaveTheEarlierOutputUntouched)
{
    struct Case {
        const char* name;
        std::function<void(const TempDir&)> breakIt;
        std::vector<std::string> args;
        int status;
        const char* err;  // a regular expression the whole of stderr must match
    };
    const std::string old = "earlier result\n";
    const Case cases[] = {
        {"calibration photograph missing", nullptr, {"photo.png", "nocalib.png", "out.txt"}, 1,
         "Can't open input file for detection\\.\nCalibration failed: no output was written to out\\.txt\\.\n"},
        {"template missing", [](const TempDir& d) { std::filesystem::remove(d.path() / "data/MacbethTmpl_korr_v2.jpg"); },
         {"photo.png", "calib.png", "out.txt"}, 1,
         "Can't open template file\\.\nThe measured XYZ.*\nCalibration failed: .*\n"},
        {"measured XYZ malformed", [](const TempDir& d) { d.Write("data/MeasuredMacbethXYZ.csv", "h\n1,2\n"); },
         {"photo.png", "calib.png", "out.txt"}, 1, "The measured XYZ .*\nCalibration failed: .*\n"},
        {"chart larger than the photograph", [](const TempDir& d) { cv::imwrite(d / "calib.png", cv::Mat(100, 100, CV_8UC3)); },
         {"photo.png", "calib.png", "out.txt"}, 1,
         "The calibration photograph is smaller than the chart template\\.\nCalibration failed: .*\n"},
        {"photograph unreadable", [](const TempDir& d) { d.Write("photo.png", "not an image"); },
         {"photo.png", "calib.png", "out.txt"}, 1,
         "Can't read the photograph photo\\.png: no output was written to out\\.txt\\.\n"},
        {"output folder missing", nullptr, {"photo.png", "calib.png", "nofolder/out.txt"}, 1,
         "Can't write the output file nofolder/out\\.txt: No such file or directory\\.\n"},
        {"output is a directory", [](const TempDir& d) { std::filesystem::create_directory(d.path() / "adir"); },
         {"photo.png", "calib.png", "adir"}, 1, "Can't write the output file adir: Is a directory\\.\n"},
        {"output device full", nullptr, {"photo.png", "calib.png", "/dev/full"}, 1,
         "\nCan't write the output file /dev/full: No space left on device\\.\n"},
        {"too few arguments", nullptr, {"photo.png", "calib.png"}, 2, "Usage: velvane PHOTO CALIB_PHOTO OUT\\.txt\n(.|\n)*"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ChartFixture::WriteWorkingFolder(dir_);
        WritePhoto("photo.png", 4, 3, {{9, 99, 199}});
        dir_.Write("out.txt", old);
        if (c.breakIt) {
            c.breakIt(dir_);
        }
        const RunResult r = Run(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_TRUE(std::regex_match(r.err, std::regex(c.err))) << r.err;
        EXPECT_EQ(ReadFile(dir_ / "out.txt"), old);
        ExpectNoStrayFiles();
    }
}

TEST_F(AnalysisTest, SuccessfulRunReplacesTheOutputKeepingItsMode)
{
    WritePhoto("photo.png", 2, 2, {{1, 2, 3}});
    const std::string out = dir_.Write("out.txt", "earlier result\n");
    std::filesystem::permissions(out, std::filesystem::perms(0640));
    std::filesystem::create_symlink("out.txt", dir_.path() / "link.txt");
    ASSERT_EQ(Run({"photo.png", "calib.png", "link.txt"}).status, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(dir_.path() / "link.txt"));
    EXPECT_EQ(SplitLines(ReadFile(out)).size(), 2u);
    EXPECT_EQ(std::filesystem::status(out).permissions(), std::filesystem::perms(0640));
    ExpectNoStrayFiles();

    const RunResult help = Run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: velvane PHOTO CALIB_PHOTO OUT.txt\n", 0), 0u);
    EXPECT_EQ(help.err, "");
}
