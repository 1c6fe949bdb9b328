// Runs velvane_make_samples into temporary folders and checks the written
// sample data the way velvane uses it: table shapes and values, and the
// chart's position and patches in the calibration photographs.

#include "Lab.h"
#include "../support/TempDir.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Exit status of the generator run with `args` (stdout and stderr to files
// in `logDir`).
int RunGenerator(const std::string& args, const TempDir& logDir)
{
    const std::string command = std::string("\"") + VELVANE_MAKE_SAMPLES + "\" " + args + " >\"" +
                                (logDir / "out.txt") + "\" 2>\"" + (logDir / "err.txt") + "\"";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Table {
    std::string header;
    std::vector<std::vector<std::string>> rows;
};

Table ReadTable(const std::string& path)
{
    std::istringstream in(ReadFile(path));
    Table t;
    std::getline(in, t.header);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields;
        std::istringstream fs(line);
        for (std::string f; std::getline(fs, f, ',');) {
            fields.push_back(f);
        }
        t.rows.push_back(fields);
    }
    return t;
}

cv::Mat Load(const std::string& path)
{
    return cv::imread(path, cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION);
}

struct Match {
    double angle = 0;
    double score = -1;
    cv::Point pos;
    double scores[2] = {0, 0};  // best score at 0 and at 180 degrees
};

// The chart search as velvane runs it: the template turned by 0 and 180
// degrees about (tw / 2.0, th / 2.0), nearest neighbour, white fill.
Match FindChart(const cv::Mat& photo, const cv::Mat& templ)
{
    Match best;
    for (int i = 0; i < 2; ++i) {
        const double angle = 180.0 * i;
        const cv::Mat rotation =
            cv::getRotationMatrix2D(cv::Point2f(static_cast<float>(templ.cols / 2.0), static_cast<float>(templ.rows / 2.0)), angle, 1.0);
        cv::Mat turned;
        cv::warpAffine(templ, turned, rotation, templ.size(), cv::INTER_NEAREST, cv::BORDER_CONSTANT,
                       cv::Scalar::all(255));
        cv::Mat scores;
        cv::matchTemplate(photo, turned, scores, cv::TM_SQDIFF_NORMED);
        double minScore = 0;
        cv::Point minPos;
        cv::minMaxLoc(scores, &minScore, nullptr, &minPos, nullptr);
        best.scores[i] = minScore;
        if (best.score < 0 || best.score > minScore) {
            best.angle = angle;
            best.score = minScore;
            best.pos = minPos + cv::Point(templ.cols / 2, templ.rows / 2);
        }
    }
    return best;
}

// Centre of patch k for a chart centred at `pos`, upright (d = 1) or upside
// down (d = -1).
cv::Point PatchCentre(cv::Point pos, int d, int k)
{
    return {pos.x + d * 285 - d * 190 * (k / 6), pos.y - d * 475 + d * 190 * (k % 6)};
}

cv::Vec3d Mean21(const cv::Mat& image, cv::Point centre)
{
    const cv::Rect square(centre.x - 10, centre.y - 10, 21, 21);
    EXPECT_EQ(square & cv::Rect(0, 0, image.cols, image.rows), square) << "square outside the image";
    const cv::Scalar m = cv::mean(image(square & cv::Rect(0, 0, image.cols, image.rows)));
    return {m[0], m[1], m[2]};
}

// Measures the 24 patches of `photo` from the found chart and checks each
// against the template's patches: close to its own patch, nearer to it than
// to any other.
void ExpectPatchesMatchTemplate(const cv::Mat& photo, const cv::Mat& templ, const Match& found)
{
    const int d = found.angle < 90.0 ? 1 : -1;
    const cv::Point templCentre(templ.cols / 2, templ.rows / 2);
    std::vector<cv::Vec3d> reference;
    for (int k = 0; k < 24; ++k) {
        reference.push_back(Mean21(templ, PatchCentre(templCentre, 1, k)));
    }
    for (int k = 0; k < 24; ++k) {
        const cv::Vec3d measured = Mean21(photo, PatchCentre(found.pos, d, k));
        const double own = cv::norm(measured - reference[k], cv::NORM_INF);
        EXPECT_LT(own, 4.0) << "patch " << k << " measured " << measured << ", template " << reference[k];
        for (int j = 0; j < 24; ++j) {
            if (j != k) {
                EXPECT_GT(cv::norm(measured - reference[j]), 4.0 * own + 8.0) << "patch " << k << " vs " << j;
            }
        }
    }
}

class SampleData : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder = std::make_unique<TempDir>();
        logs = std::make_unique<TempDir>();
        ASSERT_EQ(RunGenerator("\"" + folder->path().string() + "\"", *logs), 0)
            << ReadFile(*logs / "err.txt");
    }
    static void TearDownTestSuite()
    {
        folder.reset();
        logs.reset();
    }
    static std::string Path(const std::string& name) { return *folder / name; }

    static std::unique_ptr<TempDir> folder;
    static std::unique_ptr<TempDir> logs;
};

std::unique_ptr<TempDir> SampleData::folder;
std::unique_ptr<TempDir> SampleData::logs;

}  // namespace

TEST_F(SampleData, ChartTableHoldsReferenceXYZUnderSystemWhite)
{
    const Table t = ReadTable(Path("data/MeasuredMacbethXYZ.csv"));
    ASSERT_EQ(t.rows.size(), 24u);
    for (const auto& row : t.rows) {
        ASSERT_EQ(row.size(), 4u);
    }
    EXPECT_EQ(t.rows[0][0], "dark skin");
    EXPECT_EQ(t.rows[23][0], "black 2");

    // Seen against the system white, the adapted values give back the
    // published L*a*b*: neutrals exactly, colours close in L*.
    struct Case {
        int patch;
        double L, a, b;
        bool neutral;
    };
    const Case cases[] = {
        {0, 37.99, 13.56, 14.06, false},  {7, 40.02, 10.41, -45.96, false}, {14, 42.10, 53.38, 28.19, false},
        {15, 81.73, 4.04, 79.82, false},  {18, 96.54, -0.43, 1.19, true},   {19, 81.26, -0.64, -0.34, true},
        {21, 50.87, -0.15, -0.27, true},  {23, 20.46, -0.08, -0.97, true},
    };
    for (const Case& c : cases) {
        const auto& row = t.rows[c.patch];
        const cv::Scalar lab =
            XYZToLab(cv::Scalar(std::atof(row[1].c_str()), std::atof(row[2].c_str()), std::atof(row[3].c_str())));
        EXPECT_NEAR(lab[0], c.L, c.neutral ? 0.05 : 0.7) << "patch " << c.patch;
        if (c.neutral) {
            EXPECT_NEAR(lab[1], c.a, 0.15) << "patch " << c.patch;
            EXPECT_NEAR(lab[2], c.b, 0.15) << "patch " << c.patch;
        }
    }
}

TEST_F(SampleData, MonitorTablesPairAnSrgbGridLineForLine)
{
    const Table rgb = ReadTable(Path("data/MonitorRGB4913DG.csv"));
    const Table xyz = ReadTable(Path("data/MonitorXYZ4913N.csv"));
    ASSERT_EQ(rgb.rows.size(), 4913u);
    ASSERT_EQ(xyz.rows.size(), 4913u);

    const std::set<int> levels = {0, 16, 32, 48, 64, 80, 96, 112, 128, 144, 160, 176, 192, 208, 224, 240, 255};
    std::set<std::vector<int>> seen;
    struct Expected {
        std::vector<int> rgb;
        cv::Vec3d xyz;
    };
    const Expected expected[] = {
        {{0, 0, 0}, {0, 0, 0}},
        {{255, 255, 255}, {95.05, 100.0, 108.9}},
        {{255, 0, 0}, {41.24, 21.26, 1.93}},
        {{0, 0, 255}, {18.05, 7.22, 95.05}},
        {{128, 128, 128}, {20.52, 21.59, 23.51}},
    };
    int found = 0;
    for (size_t k = 0; k < rgb.rows.size(); ++k) {
        ASSERT_EQ(rgb.rows[k].size(), 3u) << "line " << k;
        ASSERT_EQ(xyz.rows[k].size(), 3u) << "line " << k;
        std::vector<int> v;
        for (const std::string& f : rgb.rows[k]) {
            v.push_back(std::atoi(f.c_str()));
            EXPECT_EQ(levels.count(v.back()), 1u) << "line " << k << ": " << f;
        }
        seen.insert(v);
        for (const Expected& e : expected) {
            if (e.rgb == v) {
                ++found;
                for (int c = 0; c < 3; ++c) {
                    EXPECT_NEAR(std::atof(xyz.rows[k][c].c_str()), e.xyz[c], 0.02) << "line " << k;
                }
            }
        }
    }
    EXPECT_EQ(seen.size(), 4913u);
    EXPECT_EQ(found, 5);
}

TEST_F(SampleData, ImagesHaveTheirSizes)
{
    const struct {
        const char* name;
        int width, height;
    } images[] = {
        {"data/MacbethTmpl_korr_v2.jpg", 801, 1181},
        {"calibration.jpg", 1600, 1400},
        {"calibration_180.jpg", 1600, 1400},
        {"photo.png", 640, 480},
    };
    for (const auto& i : images) {
        const cv::Mat m = Load(Path(i.name));
        ASSERT_FALSE(m.empty()) << i.name;
        EXPECT_EQ(m.size(), cv::Size(i.width, i.height)) << i.name;
    }
    const cv::Mat small = Load(Path("data/CasmatchTmpl.jpg"));
    ASSERT_FALSE(small.empty());
    EXPECT_LT(small.cols * small.rows, 100 * 1000);
}

TEST_F(SampleData, CalibrationPhotoShowsUprightChartAtKnownCentre)
{
    const cv::Mat templ = Load(Path("data/MacbethTmpl_korr_v2.jpg"));
    const cv::Mat photo = Load(Path("calibration.jpg"));
    const Match m = FindChart(photo, templ);
    EXPECT_EQ(m.angle, 0.0);
    EXPECT_EQ(m.pos, cv::Point(790, 705));
    EXPECT_LT(m.scores[0], 0.01);
    EXPECT_GT(m.scores[1], 20.0 * m.scores[0]);
    ExpectPatchesMatchTemplate(photo, templ, m);
}

TEST_F(SampleData, UpsideDownPhotoMatchesAt180)
{
    const cv::Mat templ = Load(Path("data/MacbethTmpl_korr_v2.jpg"));
    const cv::Mat photo = Load(Path("calibration_180.jpg"));
    const Match m = FindChart(photo, templ);
    EXPECT_EQ(m.angle, 180.0);
    // The chart centre is (809, 694); the turned template lands one pixel
    // up and left of it.
    EXPECT_LE(std::abs(m.pos.x - 809), 1) << m.pos;
    EXPECT_LE(std::abs(m.pos.y - 694), 1) << m.pos;
    EXPECT_LT(m.scores[1], 0.01);
    EXPECT_GT(m.scores[0], 20.0 * m.scores[1]);
    ExpectPatchesMatchTemplate(photo, templ, m);
}

TEST_F(SampleData, SecondRunWritesTheSameBytes)
{
    TempDir again;
    TempDir runLogs;
    ASSERT_EQ(RunGenerator("\"" + again.path().string() + "\"", runLogs), 0) << ReadFile(runLogs / "err.txt");
    std::set<std::string> first;
    for (const auto& e : fs::recursive_directory_iterator(folder->path())) {
        if (e.is_regular_file()) {
            first.insert(fs::relative(e.path(), folder->path()).string());
        }
    }
    std::set<std::string> second;
    for (const auto& e : fs::recursive_directory_iterator(again.path())) {
        if (e.is_regular_file()) {
            second.insert(fs::relative(e.path(), again.path()).string());
        }
    }
    EXPECT_EQ(first.size(), 8u);
    ASSERT_EQ(first, second);
    for (const std::string& name : first) {
        EXPECT_TRUE(ReadFile(*folder / name) == ReadFile(again / name)) << name;
    }
}

TEST(MakeSamples, ReportsAnOutputFolderItCannotCreate)
{
    TempDir dir;
    const std::string blocker = dir.Write("blocker", "a file, not a folder");
    EXPECT_EQ(RunGenerator("\"" + blocker + "/out\"", dir), 1);
    const std::string err = ReadFile(dir / "err.txt");
    EXPECT_NE(err.find(blocker + "/out/data"), std::string::npos) << err;
    EXPECT_EQ(RunGenerator("a b", dir), 2);
}
