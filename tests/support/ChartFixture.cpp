#include "ChartFixture.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <sys/wait.h>

std::array<cv::Vec3b, 24> ChartFixture::PatchColours()
{
    std::array<cv::Vec3b, 24> colours{};
    cv::RNG rng(12345);
    for (int k = 0; k < 18; ++k) {
        colours[k] = cv::Vec3b(static_cast<uchar>(rng.uniform(30, 230)), static_cast<uchar>(rng.uniform(30, 230)),
                               static_cast<uchar>(rng.uniform(30, 230)));
    }
    const int greys[6] = {235, 196, 152, 108, 66, 28};
    for (int k = 0; k < 6; ++k) {
        colours[18 + k] = cv::Vec3b(static_cast<uchar>(greys[k] - 3), static_cast<uchar>(greys[k]),
                                    static_cast<uchar>(greys[k] + 2));
    }
    return colours;
}

cv::Mat ChartFixture::MeasuredXYZ()
{
    // Plausible values, not an exact function of the patch colours.
    cv::Mat xyz(24, 3, CV_64FC1);
    const auto colours = PatchColours();
    for (int k = 0; k < 24; ++k) {
        const double b = colours[k][0] / 255.0, g = colours[k][1] / 255.0, r = colours[k][2] / 255.0;
        xyz.at<double>(k, 0) = 100.0 * (0.18 * b + 0.36 * g + 0.41 * r) * (1.0 + 0.01 * (k % 5));
        xyz.at<double>(k, 1) = 100.0 * (0.07 * b + 0.72 * g + 0.21 * r) * (1.0 - 0.01 * (k % 3));
        xyz.at<double>(k, 2) = 100.0 * (0.95 * b + 0.12 * g + 0.02 * r) * (1.0 + 0.005 * (k % 7));
    }
    return xyz;
}

cv::Mat ChartFixture::RenderChart(cv::Size size, cv::Point centre, double angle)
{
    cv::Mat photo(size, CV_8UC3, cv::Scalar(40, 45, 50));
    const auto colours = PatchColours();
    const int d = angle < 90.0 ? 1 : -1;
    cv::rectangle(photo, cv::Rect(centre.x - 400, centre.y - 590, 800, 1180), cv::Scalar(20, 20, 20), cv::FILLED);
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 6; ++c) {
            const cv::Point p(centre.x + d * (285 - 190 * r), centre.y + d * (-475 + 190 * c));
            cv::rectangle(photo, cv::Rect(p.x - 75, p.y - 75, 150, 150), cv::Scalar(colours[6 * r + c]),
                          cv::FILLED);
        }
    }
    return photo;
}

namespace {

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
}

}  // namespace

void ChartFixture::WriteWorkingFolder(const TempDir& dir, double angle)
{
    std::filesystem::create_directories(dir.path() / "data");
    const cv::Mat upright = RenderChart(CalibrationSize(), Centre(), 0.0);
    // The template: the middle of the upright chart, centred on the grid.
    const cv::Mat templ = upright(cv::Rect(Centre().x - 120, Centre().y - 120, 240, 240)).clone();
    cv::imwrite(dir / "data/MacbethTmpl_korr_v2.jpg", templ, {cv::IMWRITE_JPEG_QUALITY, 95});
    cv::imwrite(dir / "data/CasmatchTmpl.jpg", templ(cv::Rect(0, 0, 60, 40)));
    cv::imwrite(dir / "calib.png", angle < 90.0 ? upright : RenderChart(CalibrationSize(), Centre(), angle));

    std::ostringstream xyz;
    xyz << "patch,X,Y,Z\n";
    xyz.precision(17);
    const cv::Mat m = MeasuredXYZ();
    for (int k = 0; k < 24; ++k) {
        xyz << "p" << k << "," << m.at<double>(k, 0) << "," << m.at<double>(k, 1) << "," << m.at<double>(k, 2) << "\n";
    }
    WriteText(dir / "data/MeasuredMacbethXYZ.csv", xyz.str());

    std::ostringstream rgb, mxyz;
    rgb << "R,G,B\n";
    mxyz << "X,Y,Z\n";
    for (int i = 0; i < 4913; ++i) {
        const int r = (i / 289) * 16, g = ((i / 17) % 17) * 16, b = (i % 17) * 16;
        rgb << r << "," << g << "," << b << "\n";
        mxyz << 0.41 * r + 0.36 * g + 0.18 * b << "," << 0.21 * r + 0.72 * g + 0.07 * b << ","
             << 0.02 * r + 0.12 * g + 0.95 * b << "\n";
    }
    WriteText(dir / "data/MonitorRGB4913DG.csv", rgb.str());
    WriteText(dir / "data/MonitorXYZ4913N.csv", mxyz.str());
}

namespace {

std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') {
            q += "'\\''";
        } else {
            q += c;
        }
    }
    return q + "'";
}

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

RunResult RunIn(const std::string& dir, const std::string& program, const std::vector<std::string>& args)
{
    TempDir capture;
    std::string command = "cd " + Quote(dir) + " && " + Quote(program);
    for (const std::string& a : args) {
        command += " " + Quote(a);
    }
    command += " >" + Quote(capture / "out") + " 2>" + Quote(capture / "err");
    const int raw = std::system(command.c_str());
    RunResult result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    result.out = Slurp(capture / "out");
    result.err = Slurp(capture / "err");
    return result;
}
