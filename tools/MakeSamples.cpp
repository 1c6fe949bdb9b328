// velvane_make_samples: writes the sample data set that velvane calibrates
// and converts with (reference tables, chart templates, a calibration
// photograph and a photograph to analyse). Every run writes the same bytes.
//
// Usage: velvane_make_samples [OUTPUT_DIR]     (default: samples)

#include "SampleCamera.h"
#include "SampleColour.h"
#include "SampleScenes.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace samples;

namespace {

// Fixed noise seeds of the photographs.
constexpr std::uint64_t kCalibrationSeed = 0xca11b0001ULL;
constexpr std::uint64_t kCalibration180Seed = 0xca11b0180ULL;
constexpr std::uint64_t kPhotoSeed = 0x9407000001ULL;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// A text file written line by line; any failure throws with the path.
class TextFile {
public:
    explicit TextFile(fs::path p) : path(std::move(p)), file(std::fopen(path.c_str(), "w"))
    {
        if (!file) {
            throw std::runtime_error("cannot create " + path.string() + ": " + std::strerror(errno));
        }
    }
    void Line(const std::string& text)
    {
        if (std::fputs(text.c_str(), file.get()) < 0 || std::fputc('\n', file.get()) == EOF) {
            throw std::runtime_error("cannot write " + path.string());
        }
    }
    void Close()
    {
        if (std::fclose(file.release()) != 0) {
            throw std::runtime_error("cannot write " + path.string());
        }
    }

private:
    fs::path path;
    std::unique_ptr<std::FILE, FileCloser> file;
};

std::string Format(const char* format, double a, double b, double c)
{
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, format, a, b, c);
    return buffer;
}

void Report(const fs::path& path, const std::string& note = {})
{
    std::printf("wrote %s (%ju bytes)%s\n", path.c_str(), static_cast<std::uintmax_t>(fs::file_size(path)),
                note.c_str());
}

// Measured XYZ of the 24 chart patches: label, X, Y, Z.
void WriteChartTable(const fs::path& path)
{
    const std::array<cv::Vec3d, kPatchCount> xyz = ChartXYZ();
    TextFile out(path);
    out.Line("patch,X,Y,Z");
    for (int k = 0; k < kPatchCount; ++k) {
        out.Line(kClassicChart[k].name + Format(",%.6f,%.6f,%.6f", xyz[k][0], xyz[k][1], xyz[k][2]));
    }
    out.Close();
    Report(path);
}

// The monitor tables: 17 x 17 x 17 R, G, B (R slowest, B fastest) and the
// X, Y, Z that an sRGB display shows for each, line for line.
void WriteMonitorTables(const fs::path& rgbPath, const fs::path& xyzPath)
{
    TextFile rgbOut(rgbPath);
    TextFile xyzOut(xyzPath);
    rgbOut.Line("R,G,B");
    xyzOut.Line("X,Y,Z");
    for (int r = 0; r < kMonitorLevels; ++r) {
        for (int g = 0; g < kMonitorLevels; ++g) {
            for (int b = 0; b < kMonitorLevels; ++b) {
                const cv::Vec3d rgb(MonitorLevel(r), MonitorLevel(g), MonitorLevel(b));
                const cv::Vec3d xyz = MonitorXYZ(rgb);
                rgbOut.Line(Format("%.0f,%.0f,%.0f", rgb[0], rgb[1], rgb[2]));
                xyzOut.Line(Format("%.6f,%.6f,%.6f", xyz[0], xyz[1], xyz[2]));
            }
        }
    }
    rgbOut.Close();
    xyzOut.Close();
    Report(rgbPath);
    Report(xyzPath);
}

void WriteImage(const fs::path& path, const cv::Mat& image, const std::string& note = {})
{
    std::vector<int> params;
    if (path.extension() == ".png") {
        params = {cv::IMWRITE_PNG_COMPRESSION, 6};
    } else {
        params = {cv::IMWRITE_JPEG_QUALITY, 90};
    }
    if (!cv::imwrite(path.string(), image, params)) {
        throw std::runtime_error("cannot write image " + path.string());
    }
    Report(path, note);
}

std::string CentreNote(cv::Point centre)
{
    return ", chart centre (" + std::to_string(centre.x) + ", " + std::to_string(centre.y) + ")";
}

void WriteSamples(const fs::path& folder)
{
    const fs::path data = folder / "data";
    std::error_code ec;
    fs::create_directories(data, ec);
    if (ec) {
        throw std::runtime_error("cannot create folder " + data.string() + ": " + ec.message());
    }

    WriteChartTable(data / "MeasuredMacbethXYZ.csv");
    WriteMonitorTables(data / "MonitorRGB4913DG.csv", data / "MonitorXYZ4913N.csv");

    const Camera camera;
    WriteImage(data / "MacbethTmpl_korr_v2.jpg", camera.Expose(RenderChart(camera), 0.0, 0));
    WriteImage(data / "CasmatchTmpl.jpg", camera.Expose(RenderSmallChart(camera), 0.0, 0));

    const cv::Mat calibration = RenderCalibrationScene(camera);
    WriteImage(folder / "calibration.jpg",
               camera.Expose(calibration, Camera::kNoiseSigma, kCalibrationSeed),
               CentreNote(kCalibrationChartCentre));
    // The same table photographed upside down: pixel (x, y) moves to
    // (W - 1 - x, H - 1 - y).
    cv::Mat turned;
    cv::rotate(calibration, turned, cv::ROTATE_180);
    const cv::Point turnedCentre(kCalibrationSize.width - 1 - kCalibrationChartCentre.x,
                                 kCalibrationSize.height - 1 - kCalibrationChartCentre.y);
    WriteImage(folder / "calibration_180.jpg",
               camera.Expose(turned, Camera::kNoiseSigma, kCalibration180Seed),
               CentreNote(turnedCentre) + ", chart upside down");

    WriteImage(folder / "photo.png", camera.Expose(RenderPhotoScene(camera), Camera::kNoiseSigma, kPhotoSeed));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 2 || (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0))) {
        std::fprintf(stderr, "usage: %s [OUTPUT_DIR]   (default: samples)\n", argv[0]);
        return argc > 2 ? 2 : 0;
    }
    const fs::path folder = argc == 2 ? fs::path(argv[1]) : fs::path("samples");
    try {
        WriteSamples(folder);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velvane_make_samples: %s\n", e.what());
        return 1;
    }
    return 0;
}
