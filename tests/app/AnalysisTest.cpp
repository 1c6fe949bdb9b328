// End-to-end runs of the velvane program in a temporary working folder.

#include "../support/ChartFixture.h"
#include "../support/TempDir.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

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

// Whole-text match where '*' in the pattern stands for any run of characters.
bool Matches(const std::string& text, const std::string& pattern)
{
    size_t t = 0, p = 0, star = std::string::npos, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (star != std::string::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
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

    const std::string old_ = "earlier result\n";

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
    EXPECT_TRUE(Matches(r.out,
                        "Reading : calib.png\n"
                        "Matching Angle   0, Coef 0.00*, Position( 520,  700), Time *ms\n"
                        "\r[0% / 100%] \r[16.7% / 100%] \r[33.3% / 100%] \r[50% / 100%] "
                        "\r[66.7% / 100%] \r[83.3% / 100%] "))
        << r.out;
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

namespace {

void Truncate(const TempDir& d, const std::string& name, double keep)
{
    const std::string bytes = ReadFile(d / name);
    d.Write(name, bytes.substr(0, static_cast<size_t>(static_cast<double>(bytes.size()) * keep)));
}

void Remove(const TempDir& d, const std::string& name) { std::filesystem::remove(d.path() / name); }

}  // namespace

TEST_F(AnalysisTest, BadInputAndFailuresLeaveTheEarlierOutputUntouched)
{
    struct Case {
        const char* name;
        std::function<void(const TempDir&)> breakIt;
        std::vector<std::string> args;
        int status;
        std::string err;  // the whole of stderr; '*' stands for any text
    };
    const std::string calibFailed = "Calibration failed: no output was written to out.txt.\n";
    const std::string noDetection = "Can't open input file for detection.\n";
    const std::string noTemplate = "Can't open template file.\ndata\\MacbethTmpl_korr_v2.jpg: ";
    const std::string noXYZ =
        "The measured XYZ of the chart (Data\\MeasuredMacbethXYZ.csv) is not loaded: calibration is "
        "impossible.\n";
    const std::vector<std::string> normal = {"photo.png", "calib.png", "out.txt"};
    const Case cases[] = {
        {"calibration photograph missing", nullptr, {"photo.png", "nocalib.png", "out.txt"}, 1,
         noDetection + "nocalib.png: No such file or directory\n" + calibFailed},
        {"calibration photograph empty", [](const TempDir& d) { d.Write("calib.png", ""); }, normal, 1,
         noDetection + "calib.png: the file is empty\n" + calibFailed},
        {"calibration photograph a truncated JPEG",
         [](const TempDir& d) {
             cv::imwrite(d / "calib.jpg", cv::imread(d / "calib.png"));
             Truncate(d, "calib.jpg", 0.5);
         },
         {"photo.png", "calib.jpg", "out.txt"}, 1,
         noDetection + "calib.jpg: the file is damaged (the JPEG data ends early)\n" + calibFailed},
        {"calibration photograph a truncated PNG", [](const TempDir& d) { Truncate(d, "calib.png", 0.5); }, normal, 1,
         noDetection + "calib.png: the file is damaged (libpng error: *)\n" + calibFailed},
        {"calibration photograph binary garbage", [](const TempDir& d) { d.Write("calib.png", std::string("\x89PNG\0\0\xff", 7)); },
         normal, 1, noDetection + "calib.png: *\n" + calibFailed},
        {"template missing", [](const TempDir& d) { Remove(d, "data/MacbethTmpl_korr_v2.jpg"); }, normal, 1,
         noTemplate + "No such file or directory\n" + noXYZ + calibFailed},
        {"template empty", [](const TempDir& d) { d.Write("data/MacbethTmpl_korr_v2.jpg", ""); }, normal, 1,
         noTemplate + "the file is empty\n" + noXYZ + calibFailed},
        {"measured XYZ missing", [](const TempDir& d) { Remove(d, "data/MeasuredMacbethXYZ.csv"); }, normal, 1,
         noXYZ + calibFailed},
        {"measured XYZ empty", [](const TempDir& d) { d.Write("data/MeasuredMacbethXYZ.csv", ""); }, normal, 1,
         noXYZ + calibFailed},
        {"measured XYZ too short", [](const TempDir& d) { d.Write("data/MeasuredMacbethXYZ.csv", "h\n1,2\n"); }, normal, 1,
         noXYZ + calibFailed},
        {"measured XYZ with NUL bytes",
         [](const TempDir& d) { d.Write("data/MeasuredMacbethXYZ.csv", std::string("h\np,1\0,2,3\n", 11)); }, normal, 1,
         noXYZ + calibFailed},
        {"chart larger than the photograph", [](const TempDir& d) { cv::imwrite(d / "calib.png", cv::Mat(100, 100, CV_8UC3)); },
         normal, 1, "The calibration photograph is smaller than the chart template.\n" + calibFailed},
        {"photograph missing", [](const TempDir& d) { Remove(d, "photo.png"); }, normal, 1,
         "Can't read the photograph photo.png: No such file or directory; no output was written to out.txt.\n"},
        {"photograph empty", [](const TempDir& d) { d.Write("photo.png", ""); }, normal, 1,
         "Can't read the photograph photo.png: the file is empty; no output was written to out.txt.\n"},
        {"photograph not an image", [](const TempDir& d) { d.Write("photo.png", "not an image"); }, normal, 1,
         "Can't read the photograph photo.png: not an image file the program can read; no output was written to "
         "out.txt.\n"},
        {"photograph a truncated PNG",
         [](const TempDir& d) {
             cv::Mat big(300, 400, CV_8UC3);
             cv::randu(big, cv::Scalar::all(0), cv::Scalar::all(256));
             cv::imwrite(d / "photo.png", big);
             Truncate(d, "photo.png", 0.6);
         },
         normal, 1, "Can't read the photograph photo.png: the file is damaged (libpng error: *); no output *\n"},
        {"photograph a directory", [](const TempDir& d) { Remove(d, "photo.png"); std::filesystem::create_directory(d.path() / "photo.png"); },
         normal, 1, "Can't read the photograph photo.png: Is a directory; no output was written to out.txt.\n"},
        {"output folder missing", nullptr, {"photo.png", "calib.png", "nofolder/out.txt"}, 1,
         "Can't write the output file nofolder/out.txt: No such file or directory.\n"},
        {"output is a directory", [](const TempDir& d) { std::filesystem::create_directory(d.path() / "adir"); },
         {"photo.png", "calib.png", "adir"}, 1, "Can't write the output file adir: Is a directory.\n"},
        {"output is the photograph", nullptr, {"photo.png", "calib.png", "photo.png"}, 1,
         "Can't write the output file photo.png: it is the input photograph photo.png.\n"},
        {"output device full", nullptr, {"photo.png", "calib.png", "/dev/full"}, 1,
         "\nCan't write the output file /dev/full: No space left on device.\n"},
        {"too few arguments", nullptr, {"photo.png", "calib.png"}, 2, "Usage: velvane PHOTO CALIB_PHOTO OUT.txt\n*"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ChartFixture::WriteWorkingFolder(dir_);
        WritePhoto("photo.png", 4, 3, {{9, 99, 199}});
        dir_.Write("out.txt", old_);
        const std::string photo = ReadFile(dir_ / "photo.png");
        if (c.breakIt) {
            c.breakIt(dir_);
        }
        const RunResult r = Run(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_TRUE(Matches(r.err, c.err)) << r.err;
        EXPECT_EQ(ReadFile(dir_ / "out.txt"), old_);
        if (!c.breakIt) {
            EXPECT_EQ(ReadFile(dir_ / "photo.png"), photo);
        }
        ExpectNoStrayFiles();
        std::filesystem::remove_all(dir_.path() / "photo.png");
    }
}

TEST_F(AnalysisTest, UnusualButReadableInputsSucceed)
{
    struct Case {
        const char* name;
        std::function<void(const TempDir&)> prepare;
        std::vector<std::string> args;
        const char* out;
        int rows, cols;
    };
    const auto greyPhoto = [](const TempDir& d) { cv::imwrite(d / "photo.png", cv::Mat(3, 5, CV_8UC1, cv::Scalar(77))); };
    const auto deepPhoto = [](const TempDir& d) { cv::imwrite(d / "photo.png", cv::Mat(2, 4, CV_16UC3, cv::Scalar(100, 20000, 65535))); };
    const auto alphaPhoto = [](const TempDir& d) { cv::imwrite(d / "photo.png", cv::Mat(4, 2, CV_8UC4, cv::Scalar(1, 2, 3, 0))); };
    const auto oddNames = [](const TempDir& d) {
        std::filesystem::create_directories(d.path() / "my photos");
        std::filesystem::copy_file(d.path() / "calib.png", d.path() / "my photos/étalonnage 1.png");
        cv::imwrite(d / "my photos/фото 2.png", cv::Mat(2, 3, CV_8UC3, cv::Scalar(5, 6, 7)));
    };
    const auto monitorTableEmpty = [](const TempDir& d) {
        d.Write("data/MonitorRGB4913DG.csv", "");
        cv::imwrite(d / "photo.png", cv::Mat(1, 1, CV_8UC3, cv::Scalar(5, 6, 7)));
    };
    const Case cases[] = {
        {"grey-scale photograph", greyPhoto, {"photo.png", "calib.png", "out.txt"}, "out.txt", 3, 5},
        {"16-bit photograph", deepPhoto, {"photo.png", "calib.png", "out.txt"}, "out.txt", 2, 4},
        {"photograph with alpha", alphaPhoto, {"photo.png", "calib.png", "out.txt"}, "out.txt", 4, 2},
        {"spaces and non-ASCII in paths", oddNames,
         {"my photos/фото 2.png", "my photos/étalonnage 1.png", "my photos/résultat 3.txt"}, "my photos/résultat 3.txt", 2, 3},
        {"empty monitor table", monitorTableEmpty, {"photo.png", "calib.png", "out.txt"}, "out.txt", 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ChartFixture::WriteWorkingFolder(dir_);
        c.prepare(dir_);
        const RunResult r = Run(c.args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        const auto lines = SplitLines(ReadFile(dir_ / c.out));
        ASSERT_EQ(static_cast<int>(lines.size()), c.rows);
        EXPECT_EQ(static_cast<int>(ParseValues(lines[0]).size()), 3 * c.cols);
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

namespace {

// Starts velvane in `dir` with its console sent to /dev/null.
pid_t Start(const std::string& dir, const std::vector<std::string>& args)
{
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) {
            _exit(127);
        }
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        std::vector<char*> argv{const_cast<char*>(VELVANE_BIN)};
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        execv(VELVANE_BIN, argv.data());
        _exit(127);
    }
    return pid;
}

// The temporary output file in `dir`, once it holds data; empty if the
// process ends first.
std::string WaitForTemporaryOutput(const TempDir& dir, pid_t pid)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (std::chrono::steady_clock::now() < deadline) {
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            const std::string name = entry.path().filename().string();
            std::error_code ec;
            if (name.rfind(".out.txt.", 0) == 0 && std::filesystem::file_size(entry.path(), ec) > 0) {
                return entry.path().string();
            }
        }
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            return std::string();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return std::string();
}

}  // namespace

TEST_F(AnalysisTest, StoppedInThePixelLoopTheEarlierOutputSurvives)
{
    // Large enough that the conversion runs for a while.
    cv::Mat big(3000, 4000, CV_8UC3);
    cv::randu(big, cv::Scalar::all(0), cv::Scalar::all(256));
    cv::imwrite(dir_ / "big.jpg", big, {cv::IMWRITE_JPEG_QUALITY, 80});
    for (int sig : {SIGINT, SIGTERM, SIGKILL}) {
        SCOPED_TRACE(strsignal(sig));
        dir_.Write("out.txt", old_);
        const pid_t pid = Start(dir_.path().string(), {"big.jpg", "calib.png", "out.txt"});
        const std::string temp = WaitForTemporaryOutput(dir_, pid);
        ASSERT_FALSE(temp.empty()) << "the run ended before its output was under way";
        kill(pid, sig);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status));
        EXPECT_EQ(WTERMSIG(status), sig);
        EXPECT_EQ(ReadFile(dir_ / "out.txt"), old_);
        if (sig == SIGKILL) {
            // Nothing can run on SIGKILL: the hidden partial file stays behind.
            EXPECT_TRUE(std::filesystem::exists(temp));
            std::filesystem::remove(temp);
        } else {
            EXPECT_FALSE(std::filesystem::exists(temp));
        }
        ExpectNoStrayFiles();
    }
}
