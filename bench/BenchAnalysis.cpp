// End-to-end speed of the velvane analysis run, of each of its phases, and
// peak memory of the conversion-and-output phase, on generated photographs.
//
// At start-up the benchmark writes, once, into a folder that also gets a copy
// of samples/data (it becomes the working folder, as velvane expects):
//   photo-2mp.jpg        1600 x 1200, photo-like (gradients, shapes, shading,
//   photo-24mp.jpg       6000 x 4000  mild noise), JPEG quality 92;
//   calibration.jpg      samples/calibration.jpg as it is (1600 x 1400);
//   calibration-24mp.jpg samples/calibration.jpg pasted unscaled at (2400, 1600)
//                        into a 6000 x 4000 photo-like background, JPEG q92;
//   photo-2mp-noisy.jpg  the 2-megapixel scene with heavy noise (photo 2), for
//                        WriteLab only: colours hardly repeat, so the
//                        writer's colour cache can't help.
// The chart must be found in both calibration photographs at the same place
// (shifted by the paste offset); otherwise the program stops.
//
// Arguments "photo" and "calib": 0 for the 2-megapixel, 1 for the 24-megapixel
// file. Every benchmark reports items_per_second (items = pixels, so M/s reads
// as megapixels per second), per_px (time per pixel) and, where text is
// produced, bytes_per_second (bytes of output text). Output files are written
// to the same folder, on disk, and removed afterwards.
//
//   build/bench/bench_analysis --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//   [--bench_data=DIR]   keep the generated inputs in DIR (default: a
//                        temporary folder removed at exit)
#include "CAnalysis.h"
#include "CColorCorrection.h"
#include "CDetectMacbeth.h"
#include "CMRegressionLinear.h"
#include "CMRegressionRGB.h"
#include "ImageFile.h"
#include "LabTransform.h"
#include "LabWriter.h"
#include "NumberFormat.h"
#include "OutputFile.h"
#include "ProgressLine.h"
#include "ReferenceWriter.h"

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/core/utils/logger.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <fcntl.h>
#include <omp.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#ifndef VELVANE_SAMPLES_DIR
#error "VELVANE_SAMPLES_DIR must name the samples folder"
#endif

namespace fs = std::filesystem;

namespace {

// Photograph 2, the 2-megapixel scene with heavy noise, is used only to show
// how the memo prototype fares when few colours repeat.
const cv::Size kPhotoSizes[3] = {{1600, 1200}, {6000, 4000}, {1600, 1200}};
const double kPhotoNoise[3] = {2.5, 2.5, 12.0};
const char* const kPhotoNames[3] = {"photo-2mp.jpg", "photo-24mp.jpg", "photo-2mp-noisy.jpg"};
const char* const kCalibNames[2] = {"calibration.jpg", "calibration-24mp.jpg"};
const cv::Point kPasteOffset{2400, 1600};
// A 0.1-megapixel crop of the 2-megapixel photograph for the per-pixel chain.
const cv::Rect kCrop{600, 475, 400, 250};

// ---------------------------------------------------------------- console

class NullBuffer : public std::streambuf {
protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

NullBuffer g_nullBuffer;
std::ostream g_nullOut(&g_nullBuffer);

// Sends standard output, both the file descriptor (printf) and std::cout, to
// nowhere while alive.
class QuietStdout {
public:
    QuietStdout()
    {
        std::cout.flush();
        std::fflush(stdout);
        saved_ = dup(STDOUT_FILENO);
        const int devnull = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (devnull >= 0) {
            dup2(devnull, STDOUT_FILENO);
            close(devnull);
        }
        coutBuffer_ = std::cout.rdbuf(&g_nullBuffer);
    }
    ~QuietStdout()
    {
        std::cout.rdbuf(coutBuffer_);
        std::fflush(stdout);
        if (saved_ >= 0) {
            dup2(saved_, STDOUT_FILENO);
            close(saved_);
        }
    }
    QuietStdout(const QuietStdout&) = delete;
    QuietStdout& operator=(const QuietStdout&) = delete;

private:
    int saved_ = -1;
    std::streambuf* coutBuffer_ = nullptr;
};

// ---------------------------------------------------------------- photographs

// A smooth random field: values in [lo, hi] on a coarse grid, upsampled.
cv::Mat SmoothField(cv::Size size, int channels, cv::Size grid, std::mt19937& rng, float lo, float hi)
{
    std::uniform_real_distribution<float> u(lo, hi);
    cv::Mat coarse(grid, CV_32FC(channels));
    for (int y = 0; y < grid.height; ++y) {
        float* p = coarse.ptr<float>(y);
        for (int k = 0; k < grid.width * channels; ++k) {
            p[k] = u(rng);
        }
    }
    cv::Mat field;
    cv::resize(coarse, field, size, 0, 0, cv::INTER_CUBIC);
    return field;
}

// A photograph-like scene (8-bit B, G, R): broad colour gradients, soft bumps,
// translucent shapes lit from above, lamp fall-off, a slight blur and mild
// noise of `sigma` levels. Positions and sizes are relative, so every size
// shows the same kind of scene; `seed` chooses the scene.
cv::Mat PhotoLike(cv::Size size, std::uint32_t seed, double sigma = 2.5)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    cv::Mat img = SmoothField(size, 3, {3, 3}, rng, 30.0f, 220.0f);
    img += SmoothField(size, 3, {12, 9}, rng, -25.0f, 25.0f);
    // Fine texture, a few levels deep: a 150 x 100 grid (40 pixels apart at 24 MP).
    img += SmoothField(size, 3, {150, 100}, rng, -6.0f, 6.0f);

    const cv::Rect whole(0, 0, size.width, size.height);
    const float scale = static_cast<float>(std::min(size.width, size.height));
    for (int s = 0; s < 70; ++s) {
        const cv::Point c(static_cast<int>(u(rng) * static_cast<float>(size.width)),
                          static_cast<int>(u(rng) * static_cast<float>(size.height)));
        const float rf = (0.02f + 0.16f * u(rng) * u(rng)) * scale;
        const int r = static_cast<int>(rf);
        const cv::Scalar colour(20.0 + 215.0 * u(rng), 20.0 + 215.0 * u(rng), 20.0 + 215.0 * u(rng));
        const double alpha = 0.5 + 0.45 * u(rng);
        const int kind = static_cast<int>(rng() % 4);
        const float angle = 180.0f * u(rng);
        const float aspect = 0.3f + 0.7f * u(rng);
        const cv::Rect roi = cv::Rect(c.x - r, c.y - r, 2 * r + 1, 2 * r + 1) & whole;
        if (roi.empty()) {
            continue;
        }
        const cv::Point o = c - roi.tl();
        cv::Mat mask = cv::Mat::zeros(roi.size(), CV_8UC1);
        switch (kind) {
        case 0:
            cv::ellipse(mask, o, cv::Size(r, static_cast<int>(rf * aspect)), angle, 0, 360, cv::Scalar(255), -1);
            break;
        case 1: {
            cv::Point2f corners[4];
            cv::RotatedRect(o, cv::Size2f(1.4f * rf, 1.4f * rf * aspect), angle).points(corners);
            std::vector<cv::Point> poly(corners, corners + 4);
            cv::fillConvexPoly(mask, poly, cv::Scalar(255));
            break;
        }
        case 2: {
            std::vector<cv::Point> tri;
            for (int k = 0; k < 3; ++k) {
                tri.emplace_back(o.x + static_cast<int>((2.0f * u(rng) - 1.0f) * rf),
                                 o.y + static_cast<int>((2.0f * u(rng) - 1.0f) * rf));
            }
            cv::fillConvexPoly(mask, tri, cv::Scalar(255));
            break;
        }
        default:
            cv::ellipse(mask, o, cv::Size(r, static_cast<int>(rf * aspect)), angle, 0, 270, cv::Scalar(255),
                        std::max(1, r / 6));
            break;
        }
        // The shape's colour, lit from above: brighter at the top.
        cv::Mat layer(roi.size(), CV_32FC3, colour);
        for (int y = 0; y < layer.rows; ++y) {
            cv::Mat row = layer.row(y);
            row.convertTo(row, -1, 1.15 - 0.4 * y / std::max(1, layer.rows - 1));
        }
        cv::Mat region = img(roi);
        cv::Mat blended;
        cv::addWeighted(region, 1.0 - alpha, layer, alpha, 0.0, blended);
        blended.copyTo(region, mask);
    }

    const cv::Mat light = SmoothField(size, 1, {4, 3}, rng, 0.72f, 1.08f);
    for (int y = 0; y < size.height; ++y) {
        float* p = img.ptr<float>(y);
        const float* l = light.ptr<float>(y);
        for (int x = 0; x < size.width; ++x) {
            p[3 * x] *= l[x];
            p[3 * x + 1] *= l[x];
            p[3 * x + 2] *= l[x];
        }
    }
    cv::GaussianBlur(img, img, cv::Size(0, 0), 0.8);
    cv::Mat noise(size, CV_32FC3);
    cv::RNG(seed).fill(noise, cv::RNG::NORMAL, 0.0, sigma);
    img += noise;
    cv::Mat out;
    img.convertTo(out, CV_8UC3);
    return out;
}

void WriteJpeg(const fs::path& path, const cv::Mat& img)
{
    if (!cv::imwrite(path.string(), img, {cv::IMWRITE_JPEG_QUALITY, 92})) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

// ---------------------------------------------------------------- working folder

class Workspace {
public:
    // Fills `dir` (a new temporary folder when empty) and makes it the working folder.
    explicit Workspace(const std::string& dir)
    {
        if (dir.empty()) {
            std::string pattern = (fs::temp_directory_path() / "velvane-bench-XXXXXX").string();
            if (!mkdtemp(pattern.data())) {
                throw std::runtime_error("mkdtemp failed");
            }
            dir_ = pattern;
            temporary_ = true;
        } else {
            dir_ = fs::absolute(dir);
            fs::create_directories(dir_);
        }
        const fs::path samples(VELVANE_SAMPLES_DIR);
        fs::create_directories(dir_ / "data");
        for (const auto& entry : fs::directory_iterator(samples / "data")) {
            fs::copy_file(entry.path(), dir_ / "data" / entry.path().filename(),
                          fs::copy_options::overwrite_existing);
        }
        fs::copy_file(samples / "calibration.jpg", dir_ / kCalibNames[0], fs::copy_options::overwrite_existing);
        for (int i = 0; i < 3; ++i) {
            WriteJpeg(dir_ / kPhotoNames[i], PhotoLike(kPhotoSizes[i], 11, kPhotoNoise[i]));
        }
        cv::Mat calib = PhotoLike(kPhotoSizes[1], 23);
        const cv::Mat chart = cv::imread((samples / "calibration.jpg").string(), cv::IMREAD_COLOR);
        if (chart.empty()) {
            throw std::runtime_error("cannot read samples/calibration.jpg");
        }
        chart.copyTo(calib(cv::Rect(kPasteOffset, chart.size())));
        WriteJpeg(dir_ / kCalibNames[1], calib);
        fs::current_path(dir_);
    }
    ~Workspace()
    {
        std::error_code ec;
        if (temporary_) {
            fs::remove_all(dir_, ec);
        }
    }
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

private:
    fs::path dir_;
    bool temporary_ = false;
};

std::unique_ptr<Workspace> g_workspace;

std::string PhotoPath(int64_t i) { return g_workspace->Path(kPhotoNames[i]); }
std::string CalibPath(int64_t i) { return g_workspace->Path(kCalibNames[i]); }
std::string OutPath(const std::string& name) { return g_workspace->Path("out-" + name + ".txt"); }

// ---------------------------------------------------------------- shared state

// A calibrated correction object per calibration photograph.
std::unique_ptr<CColorCorrection> g_calibrated[2];

const CColorCorrection& Calibrated(int64_t i) { return *g_calibrated[i]; }
CColorCorrection& MutableCalibrated(int64_t i) { return *g_calibrated[i]; }

const LabTransform& Transform()
{
    static const LabTransform transform(Calibrated(0));
    return transform;
}

// Decoded photographs, their L*a*b* values and their text in WriteLab's
// blocks, computed on first use and kept until FreeCaches.
struct PhotoCache {
    cv::Mat image;
    std::vector<double> lab;
    std::vector<std::vector<char>> blocks;
};
PhotoCache g_cache[3];

void FreeCaches()
{
    for (PhotoCache& c : g_cache) {
        c = PhotoCache();
    }
    malloc_trim(0);
}

const cv::Mat& Photo(int64_t i)
{
    PhotoCache& c = g_cache[i];
    if (c.image.empty()) {
        c.image = ReadImageFile(PhotoPath(i), cv::IMREAD_COLOR);
        if (c.image.empty()) {
            throw std::runtime_error("cannot read " + PhotoPath(i));
        }
    }
    return c.image;
}

const std::vector<double>& LabValues(int64_t i)
{
    PhotoCache& c = g_cache[i];
    if (c.lab.empty()) {
        const cv::Mat& img = Photo(i);
        const int w = img.cols;
        c.lab.resize(img.total() * 3);
        const LabTransform& transform = Transform();
        double* lab = c.lab.data();
#pragma omp parallel for schedule(static)
        for (int y = 0; y < img.rows; ++y) {
            transform.ConvertRow(img.ptr<uint8_t>(y), w, lab + static_cast<size_t>(y) * w * 3);
        }
    }
    return c.lab;
}

const std::vector<std::vector<char>>& TextBlocks(int64_t i)
{
    PhotoCache& c = g_cache[i];
    if (c.blocks.empty()) {
        const std::vector<double>& lab = LabValues(i);
        const int h = c.image.rows;
        const int w = c.image.cols;
        const int rows = LabBlockRows(w);
        const int blocks = (h + rows - 1) / rows;
        c.blocks.resize(static_cast<size_t>(blocks));
#pragma omp parallel
        {
            std::vector<char> text(LabRowTextCapacity(w) * static_cast<size_t>(rows));
#pragma omp for schedule(dynamic, 1)
            for (int b = 0; b < blocks; ++b) {
                char* end = text.data();
                for (int y = b * rows; y < std::min(h, (b + 1) * rows); ++y) {
                    end = FormatLabRow(lab.data() + static_cast<size_t>(y) * w * 3, w, end);
                }
                c.blocks[static_cast<size_t>(b)].assign(text.data(), end);
            }
        }
    }
    return c.blocks;
}

// ---------------------------------------------------------------- reporting

void ReportPixels(benchmark::State& state, int64_t pixels, uint64_t textBytes = 0)
{
    state.SetItemsProcessed(state.iterations() * pixels);
    if (textBytes > 0) {
        state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(textBytes));
    }
    state.counters["per_px"] = benchmark::Counter(static_cast<double>(pixels),
                                                  benchmark::Counter::kIsIterationInvariantRate |
                                                      benchmark::Counter::kInvert);
}

uint64_t FileSize(const std::string& path)
{
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    return ec ? 0 : static_cast<uint64_t>(size);
}

// Removes an output file and lets the file system finish the deletion (the
// disk may be mounted with online discard), so that the next benchmark does
// not share the cores with it.
void RemoveFile(const std::string& path)
{
    std::error_code ec;
    if (fs::remove(path, ec)) {
        sync();
    }
}

bool OpenOutput(benchmark::State& state, OutputFile& out, const std::string& path)
{
    std::string error;
    if (!out.Open(path, error)) {
        state.SkipWithError(("cannot open " + path + ": " + error).c_str());
        return false;
    }
    return true;
}

// Commits; adds the time Commit took (fsync, rename) to `seconds` if given.
bool CommitOutput(benchmark::State& state, OutputFile& out, double* seconds = nullptr)
{
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    const bool ok = out.Commit(error);
    if (seconds) {
        *seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    if (!ok) {
        state.SkipWithError(("cannot write the output: " + error).c_str());
        return false;
    }
    return true;
}

// A field of /proc/self/status in bytes ("VmRSS", "VmHWM"); -1 if missing.
double StatusBytes(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.compare(0, key.size(), key) == 0) {
            return std::strtod(line.c_str() + key.size(), nullptr) * 1024.0;
        }
    }
    return -1.0;
}

bool ResetPeakRss()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.close();
    return !clear.fail();
}

// A byte count, shown in binary units (M = MiB).
benchmark::Counter Bytes(double v)
{
    return benchmark::Counter(v, benchmark::Counter::kDefaults, benchmark::Counter::OneK::kIs1024);
}

// Counter "commit": seconds per iteration spent in Commit (fsync + rename).
void ReportCommit(benchmark::State& state, double seconds)
{
    state.counters["commit"] = benchmark::Counter(seconds, benchmark::Counter::kAvgIterations);
}

// ---------------------------------------------------------------- phases

void BM_LoadReferenceData(benchmark::State& state)
{
    for (auto _ : state) {
        CColorCorrection correction;
        if (!correction.LoadReferenceData()) {
            state.SkipWithError("LoadReferenceData failed");
            break;
        }
    }
}

// LoadInputImage + Detect on a calibration photograph; items are its pixels.
// Counter peak_growth: peak RSS during the search above the RSS before it.
void BM_ChartSearch(benchmark::State& state)
{
    const int64_t calib = state.range(0);
    const std::string path = CalibPath(calib);
    CDetectMacbeth detector;
    if (!detector.LoadTemplate()) {
        state.SkipWithError("cannot load the chart template");
        return;
    }
    double growth = 0.0;
    int64_t pixels = 0;
    for (auto _ : state) {
        // Untimed: drop the previous photograph and reset the peak RSS.
        state.PauseTiming();
        detector.SetInputImage(cv::Mat(1, 1, CV_8UC3));
        malloc_trim(0);
        const bool reset = ResetPeakRss();
        const double before = StatusBytes("VmRSS");
        state.ResumeTiming();
        bool found = false;
        {
            QuietStdout quiet;
            found = detector.LoadInputImage(path.c_str()) && detector.Detect();
        }
        if (!found) {
            state.SkipWithError("the chart search failed");
            break;
        }
        state.PauseTiming();
        if (reset) {
            growth = std::max(growth, StatusBytes("VmHWM") - before);
        }
        pixels = static_cast<int64_t>(detector.InputImage().total());
        state.ResumeTiming();
    }
    if (detector.PatchCenters() != Calibrated(calib).MacbethDetector().PatchCenters()) {
        state.SkipWithError("the chart was found elsewhere than at start-up");
    }
    ReportPixels(state, pixels);
    state.counters["peak_growth"] = Bytes(growth);
}

// The fits of Calibrate after the chart search, on the models directly:
// MeasurePatches, FitToneCurves, Convert, the single-precision copies, Fit.
void BM_Fits(benchmark::State& state)
{
    const int64_t calib = state.range(0);
    CColorCorrection& correction = MutableCalibrated(calib);
    CDetectMacbeth& detector = correction.MacbethDetector();
    const cv::Mat& xyzM = correction.MeasuredXYZ();
    CMRegressionLinear linear;
    CMRegressionRGB xyz(4);
    for (auto _ : state) {
        cv::Mat crgb;
        if (!detector.MeasurePatches(crgb)) {
            state.SkipWithError("MeasurePatches failed");
            break;
        }
        linear.FitToneCurves(crgb);
        const cv::Mat lrgb = linear.Convert(crgb);
        const int n = lrgb.rows;
        cv::Mat lrgb32(n, 3, CV_32FC1);
        cv::Mat xyz32(n, 3, CV_32FC1);
        for (int r = 0; r < n; ++r) {
            for (int c = 0; c < 3; ++c) {
                lrgb32.at<float>(r, c) = static_cast<float>(lrgb.at<double>(r, c));
                xyz32.at<float>(r, c) = static_cast<float>(xyzM.at<double>(r, c));
            }
        }
        xyz.Fit(lrgb32, xyz32);
    }
    if (cv::norm(xyz.Coefficients(), correction.XyzModel().Coefficients(), cv::NORM_INF) != 0.0) {
        state.SkipWithError("the fit differs from Calibrate's");
    }
}

// ReadImageFile as Run calls it; bytes are the decoded B, G, R bytes.
void BM_Decode(benchmark::State& state)
{
    const std::string path = PhotoPath(state.range(0));
    cv::Mat img;
    for (auto _ : state) {
        img = ReadImageFile(path, cv::IMREAD_COLOR);
        if (img.empty()) {
            state.SkipWithError("cannot read the photograph");
            break;
        }
    }
    ReportPixels(state, static_cast<int64_t>(img.total()));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(img.total() * 3));
}

// LabTransform over every row, blocks of rows on all threads as WriteLab
// schedules them; no text.
void BM_Convert(benchmark::State& state)
{
    const cv::Mat& img = Photo(state.range(0));
    const LabTransform& transform = Transform();
    const int h = img.rows;
    const int w = img.cols;
    const int rows = LabBlockRows(w);
    const int blocks = (h + rows - 1) / rows;
    for (auto _ : state) {
#pragma omp parallel
        {
            std::vector<double> lab(static_cast<size_t>(w) * 3);
#pragma omp for schedule(dynamic, 1)
            for (int b = 0; b < blocks; ++b) {
                for (int y = b * rows; y < std::min(h, (b + 1) * rows); ++y) {
                    transform.ConvertRow(img.ptr<uint8_t>(y), w, lab.data());
                    benchmark::DoNotOptimize(lab.data());
                    benchmark::ClobberMemory();
                }
            }
        }
    }
    ReportPixels(state, static_cast<int64_t>(img.total()));
}

// FormatLabRow over precomputed values, blocks on all threads; no writing.
void BM_Format(benchmark::State& state)
{
    const int64_t photo = state.range(0);
    const std::vector<double>& lab = LabValues(photo);
    const cv::Mat& img = Photo(photo);
    const int h = img.rows;
    const int w = img.cols;
    const int rows = LabBlockRows(w);
    const int blocks = (h + rows - 1) / rows;
    uint64_t bytes = 0;
    for (auto _ : state) {
        uint64_t total = 0;
#pragma omp parallel reduction(+ : total)
        {
            std::vector<char> text(LabRowTextCapacity(w) * static_cast<size_t>(rows));
#pragma omp for schedule(dynamic, 1)
            for (int b = 0; b < blocks; ++b) {
                char* end = text.data();
                for (int y = b * rows; y < std::min(h, (b + 1) * rows); ++y) {
                    end = FormatLabRow(lab.data() + static_cast<size_t>(y) * w * 3, w, end);
                }
                benchmark::DoNotOptimize(text.data());
                benchmark::ClobberMemory();
                total += static_cast<uint64_t>(end - text.data());
            }
        }
        bytes = total;
    }
    ReportPixels(state, static_cast<int64_t>(img.total()), bytes);
}

// Precomputed text, in WriteLab's blocks, through OutputFile to disk + Commit.
void BM_Write(benchmark::State& state)
{
    const int64_t photo = state.range(0);
    const std::vector<std::vector<char>>& blocks = TextBlocks(photo);
    const std::string path = OutPath("write");
    double commit = 0.0;
    for (auto _ : state) {
        OutputFile out;
        if (!OpenOutput(state, out, path)) {
            break;
        }
        for (const std::vector<char>& block : blocks) {
            out.Write(block.data(), block.size());
        }
        if (!CommitOutput(state, out, &commit)) {
            break;
        }
    }
    ReportPixels(state, static_cast<int64_t>(Photo(photo).total()), FileSize(path));
    ReportCommit(state, commit);
    RemoveFile(path);
}

// The floor of the conversion-and-output phase: the same numbers, computed
// beforehand, formatted by blocks on all threads and written strictly in
// order through OutputFile, as WriteLab does, without the conversion.
bool WriteFloor(const std::vector<double>& lab, int h, int w, OutputFile& out)
{
    const int rows = LabBlockRows(w);
    const int blocks = (h + rows - 1) / rows;
    std::atomic<bool> ok{true};
#pragma omp parallel
    {
        std::vector<char> text(LabRowTextCapacity(w) * static_cast<size_t>(rows));
#pragma omp for ordered schedule(dynamic, 1)
        for (int b = 0; b < blocks; ++b) {
            char* end = text.data();
            for (int y = b * rows; y < std::min(h, (b + 1) * rows); ++y) {
                end = FormatLabRow(lab.data() + static_cast<size_t>(y) * w * 3, w, end);
            }
#pragma omp ordered
            {
                if (ok && !out.Write(text.data(), static_cast<size_t>(end - text.data()))) {
                    ok = false;
                }
            }
        }
    }
    return ok;
}

// Times `write` into an OutputFile on disk, Commit included, and reports
// pixels, bytes and the time spent committing.
template <typename Write>
void TimeOutput(benchmark::State& state, const char* name, const cv::Mat& img, Write write)
{
    const std::string path = OutPath(name);
    double commit = 0.0;
    for (auto _ : state) {
        OutputFile out;
        if (!OpenOutput(state, out, path)) {
            break;
        }
        write(out);
        if (!CommitOutput(state, out, &commit)) {
            break;
        }
    }
    ReportPixels(state, static_cast<int64_t>(img.total()), FileSize(path));
    ReportCommit(state, commit);
    RemoveFile(path);
}

void BM_Floor(benchmark::State& state)
{
    const int64_t photo = state.range(0);
    const std::vector<double>& lab = LabValues(photo);
    const cv::Mat& img = Photo(photo);
    TimeOutput(state, "floor", img, [&](OutputFile& out) { WriteFloor(lab, img.rows, img.cols, out); });
}

// The whole conversion-and-output phase: WriteLab into an OutputFile on disk
// and Commit, progress to a null stream. Argument "cache": 0 lets the writer
// use its colour cache as it decides, 1 never uses it.
void BM_WriteLab(benchmark::State& state)
{
    const cv::Mat& img = Photo(state.range(0));
    const LabCacheUse cacheUse = state.range(1) == 0 ? LabCacheUse::kAdaptive : LabCacheUse::kNever;
    TimeOutput(state, "writelab", img, [&](OutputFile& out) {
        ProgressLine progress(g_nullOut, static_cast<int64_t>(img.total()));
        WriteLab(img, Transform(), out, &progress, 0, cacheUse);
    });
}

// The per-pixel reference chain (WriteLabReference) on a 0.1-megapixel crop
// of the 2-megapixel photograph, to a file on disk + Commit. Arguments:
// progress 1 reports every pixel to a null stream, 0 reports nothing;
// threads 0 leaves OpenMP at its default (the chain's models open parallel
// regions for every pixel, so its speed then depends on how busy the other
// core is), 1 runs those regions on one thread (the chain's own work).
void BM_ReferenceChain(benchmark::State& state)
{
    const cv::Mat crop = Photo(0)(kCrop).clone();
    const CColorCorrection& correction = Calibrated(0);
    const std::string path = OutPath("reference");
    const int threads = omp_get_max_threads();
    if (state.range(1) == 1) {
        omp_set_num_threads(1);
    }
    for (auto _ : state) {
        OutputFile out;
        if (!OpenOutput(state, out, path)) {
            break;
        }
        ProgressLine progress(g_nullOut, static_cast<int64_t>(crop.total()));
        WriteLabReference(crop, correction, out, state.range(0) != 0 ? &progress : nullptr);
        if (!CommitOutput(state, out)) {
            break;
        }
    }
    omp_set_num_threads(threads);
    ReportPixels(state, static_cast<int64_t>(crop.total()), FileSize(path));
    RemoveFile(path);
}

// ---------------------------------------------------------------- whole run

// CAnalysis::Run as main calls it (a fresh object per run), standard output
// silenced. Argument: 0 = 2 MP photo + 2 MP calibration, 1 = 24 MP + 24 MP.
void BM_Run(benchmark::State& state)
{
    FreeCaches();
    const int64_t size = state.range(0);
    const std::string photo = PhotoPath(size);
    const std::string calib = CalibPath(size);
    const std::string path = OutPath("run");
    for (auto _ : state) {
        CAnalysis analysis;
        bool ok = false;
        {
            QuietStdout quiet;
            ok = analysis.Run(photo.c_str(), calib.c_str(), path.c_str());
        }
        if (!ok) {
            state.SkipWithError("Run failed");
            break;
        }
    }
    const cv::Size s = kPhotoSizes[size];
    ReportPixels(state, static_cast<int64_t>(s.area()), FileSize(path));
    RemoveFile(path);
}

// ---------------------------------------------------------------- peak memory

// Peak RSS of decoding the photograph and WriteLab + Commit, after
// calibration. Counters: decoded (W * H * 3 bytes), rss_at_reset, peak
// (VmHWM afterwards), growth (peak - rss_at_reset) and budget (decoded +
// 64 MiB, the target for growth).
void BM_PeakMemory(benchmark::State& state)
{
    FreeCaches();
    const std::string photo = PhotoPath(state.range(0));
    const std::string path = OutPath("memory");
    const CColorCorrection& correction = Calibrated(0);
    double decoded = 0.0;
    double atReset = 0.0;
    double peak = 0.0;
    for (auto _ : state) {
        malloc_trim(0);
        if (!ResetPeakRss()) {
            state.SkipWithError("cannot write /proc/self/clear_refs");
            break;
        }
        atReset = StatusBytes("VmRSS");
        if (StatusBytes("VmHWM") > atReset + 1024.0 * 1024.0) {
            state.SkipWithError("the peak RSS was not reset");
            break;
        }
        const cv::Mat img = ReadImageFile(photo, cv::IMREAD_COLOR);
        if (img.empty()) {
            state.SkipWithError("cannot read the photograph");
            break;
        }
        OutputFile out;
        if (!OpenOutput(state, out, path)) {
            break;
        }
        ProgressLine progress(g_nullOut, static_cast<int64_t>(img.total()));
        const LabTransform transform(correction);
        WriteLab(img, transform, out, &progress);
        if (!CommitOutput(state, out)) {
            break;
        }
        peak = StatusBytes("VmHWM");
        decoded = static_cast<double>(img.total() * 3);
    }
    RemoveFile(path);
    state.counters["decoded"] = Bytes(decoded);
    state.counters["rss_at_reset"] = Bytes(atReset);
    state.counters["peak"] = Bytes(peak);
    state.counters["growth"] = Bytes(peak - atReset);
    state.counters["budget"] = Bytes(decoded + 64.0 * 1024.0 * 1024.0);
}

// ---------------------------------------------------------------- registration

void Photos(benchmark::internal::Benchmark* b)
{
    b->ArgName("photo")->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_LoadReferenceData)->Unit(benchmark::kMillisecond)->UseRealTime();
// Before the benchmarks that write large files: the chain opens OpenMP regions
// for every pixel, which makes it sensitive to anything else busy on the cores.
BENCHMARK(BM_ReferenceChain)->ArgNames({"progress", "threads"})->Args({1, 0})->Args({0, 0})->Args({1, 1})
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ChartSearch)->ArgName("calib")->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
// Several seconds per search: one search per repetition, three repetitions.
BENCHMARK(BM_ChartSearch)->ArgName("calib")->Arg(1)->Iterations(1)->Repetitions(3)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Fits)->ArgName("calib")->DenseRange(0, 1)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_Decode)->Apply(Photos);
BENCHMARK(BM_Convert)->Apply(Photos);
BENCHMARK(BM_Format)->Apply(Photos);
BENCHMARK(BM_Write)->Apply(Photos);
BENCHMARK(BM_Floor)->Apply(Photos);
BENCHMARK(BM_WriteLab)->ArgNames({"photo", "cache"})->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Run)->ArgName("size")->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Run)->ArgName("size")->Arg(1)->Iterations(1)->Repetitions(3)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PeakMemory)->ArgName("photo")->DenseRange(0, 1)->Iterations(1)
    ->Unit(benchmark::kMillisecond)->UseRealTime();

// ---------------------------------------------------------------- start-up

std::string PointText(cv::Point p)
{
    std::ostringstream s;
    s << "(" << p.x << ", " << p.y << ")";
    return s.str();
}

// Calibrates from both calibration photographs and checks that the chart was
// found at the same place in both (shifted by the paste offset).
void CalibrateBoth()
{
    for (int i = 0; i < 2; ++i) {
        g_calibrated[i] = std::make_unique<CColorCorrection>();
        QuietStdout quiet;
        if (!g_calibrated[i]->LoadReferenceData() || !g_calibrated[i]->Calibrate(CalibPath(i).c_str())) {
            throw std::runtime_error("calibration from " + CalibPath(i) + " failed");
        }
    }
    const std::vector<cv::Point>& small = Calibrated(0).MacbethDetector().PatchCenters();
    const std::vector<cv::Point>& large = Calibrated(1).MacbethDetector().PatchCenters();
    // Patch 0 lies at (+285, -475) from the chart centre of an upright chart.
    const cv::Point centre = small.at(0) + cv::Point(-285, 475);
    const cv::Point centreLarge = large.at(0) + cv::Point(-285, 475);
    benchmark::AddCustomContext("chart_centre_2mp", PointText(centre));
    benchmark::AddCustomContext("chart_centre_24mp", PointText(centreLarge) + ", expected " +
                                                         PointText(centre + kPasteOffset));
    for (size_t k = 0; k < small.size(); ++k) {
        if (large.at(k) != small[k] + kPasteOffset) {
            throw std::runtime_error("the chart in " + CalibPath(1) + " was found at " + PointText(centreLarge) +
                                     ", not at " + PointText(centre + kPasteOffset));
        }
    }
}

std::string LoadAverage()
{
    std::ifstream f("/proc/loadavg");
    std::string a, b, c;
    f >> a >> b >> c;
    return a + " " + b + " " + c;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string dataDir;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const char* flag = "--bench_data=";
        if (std::strncmp(argv[i], flag, std::strlen(flag)) == 0) {
            dataDir = argv[i] + std::strlen(flag);
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
    try {
        g_workspace = std::make_unique<Workspace>(dataDir);
        CalibrateBoth();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_analysis: %s\n", e.what());
        return 1;
    }
    benchmark::AddCustomContext("load_average_at_start", LoadAverage());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    FreeCaches();
    for (auto& c : g_calibrated) {
        c.reset();
    }
    g_workspace.reset();
    return 0;
}
