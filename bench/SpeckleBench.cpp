// Speed of RemoveSmallRegion and of its parts on two generated 24-megapixel PNG files:
//   0: a speckle mask (black, many small white speckles, some large white blobs),
//      cleaned with polarity 1 (speckles of up to 40 pixels become black);
//   1: a document page (white with noise, black text-like strokes, dark specks),
//      cleaned with polarity 0 (dark specks of up to 20 pixels become white).
// Every benchmark reports megapixels per second (MP/s). The files are written once into
// a temporary folder, removed at exit.
//
//   build/bench/specklecut_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include "RegionFill.h"
#include "specklecut.h"

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Scene {
    const char* name;
    std::string path;
    int sizeLimit;
    int polarity;
};

cv::Mat SpeckleMask(std::mt19937& rng)
{
    cv::Mat m(4000, 6000, CV_8UC1, cv::Scalar(0));
    std::uniform_int_distribution<int> px(0, m.cols - 1);
    std::uniform_int_distribution<int> py(0, m.rows - 1);
    std::uniform_int_distribution<int> small(0, 3);
    std::uniform_int_distribution<int> large(40, 400);
    for (int i = 0; i < 60; ++i) {
        cv::ellipse(m, {px(rng), py(rng)}, {large(rng), large(rng)}, px(rng) % 180, 0, 360, cv::Scalar(255), -1,
                    cv::LINE_8);
    }
    for (int i = 0; i < 300000; ++i) {
        const int r = small(rng);
        if (r == 0) {
            m.at<std::uint8_t>(py(rng), px(rng)) = 255;
        } else {
            cv::circle(m, {px(rng), py(rng)}, r - 1, cv::Scalar(255), -1, cv::LINE_8);
        }
    }
    return m;
}

cv::Mat DocumentPage(std::mt19937& rng)
{
    cv::Mat page(6000, 4000, CV_8UC1);
    cv::randu(page, 235, 256);
    std::uniform_int_distribution<int> stroke(4, 30);
    std::uniform_int_distribution<int> jitter(-14, 14);
    std::uniform_int_distribution<int> letters(2, 9);
    std::uniform_int_distribution<int> ink(0, 8);
    for (int line = 0; line < 130; ++line) {
        const int base = 200 + line * 43;
        int x = 250;
        while (x < page.cols - 300) {
            const int n = letters(rng);
            for (int l = 0; l < n; ++l) {
                for (int s = 0; s < 3; ++s) {
                    const cv::Point a(x + jitter(rng) / 2 + 7, base - stroke(rng));
                    const cv::Point b(x + jitter(rng) / 2 + 7, base + jitter(rng) / 4);
                    cv::line(page, a, b, cv::Scalar(ink(rng)), 3, cv::LINE_8);
                }
                x += 22;
            }
            x += 22;
        }
    }
    std::uniform_int_distribution<int> px(0, page.cols - 2);
    std::uniform_int_distribution<int> py(0, page.rows - 2);
    for (int i = 0; i < 150000; ++i) {
        const cv::Point p(px(rng), py(rng));
        page.at<std::uint8_t>(p) = static_cast<std::uint8_t>(ink(rng));
        if (i % 3 == 0) {
            page.at<std::uint8_t>(p.y + 1, p.x + 1) = static_cast<std::uint8_t>(ink(rng));
        }
    }
    return page;
}

class Scenes {
public:
    Scenes()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "specklecut-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            throw std::runtime_error("mkdtemp failed");
        }
        dir_ = pattern;
        std::mt19937 rng(42);
        scenes_.push_back({"speckles", (dir_ / "speckles.png").string(), 40, 1});
        scenes_.push_back({"page", (dir_ / "page.png").string(), 20, 0});
        if (!cv::imwrite(scenes_[0].path, SpeckleMask(rng)) || !cv::imwrite(scenes_[1].path, DocumentPage(rng))) {
            throw std::runtime_error("cannot write the benchmark images");
        }
    }
    ~Scenes()
    {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    Scenes(const Scenes&) = delete;
    Scenes& operator=(const Scenes&) = delete;

    const Scene& operator[](std::int64_t i) const { return scenes_.at(static_cast<std::size_t>(i)); }
    std::string Output(const Scene& s) const { return (dir_ / (std::string(s.name) + "-out.png")).string(); }

private:
    std::filesystem::path dir_;
    std::vector<Scene> scenes_;
};

const Scenes& AllScenes()
{
    static const Scenes scenes;
    return scenes;
}

void Report(benchmark::State& state, const cv::Mat& img, const Scene& scene)
{
    state.SetLabel(scene.name);
    state.counters["MP/s"] =
        benchmark::Counter(static_cast<double>(img.total()) * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
}

cv::Mat Candidates(const cv::Mat& grey, int polarity)
{
    cv::Mat mask;
    if (polarity == 1) {
        cv::threshold(grey, mask, 9, 255, cv::THRESH_BINARY);
    } else {
        cv::threshold(grey, mask, 10, 255, cv::THRESH_BINARY_INV);
    }
    return mask;
}

void BM_Read(benchmark::State& state)
{
    const Scene& scene = AllScenes()[state.range(0)];
    cv::Mat img;
    for (auto _ : state) {
        img = cv::imread(scene.path, cv::IMREAD_GRAYSCALE);
        benchmark::DoNotOptimize(img.data);
    }
    Report(state, img, scene);
}

// The library's labelling and fill, in memory (range 1: 1 for 8-, 0 for 4-connectivity).
void BM_Label(benchmark::State& state)
{
    const Scene& scene = AllScenes()[state.range(0)];
    const cv::Mat src = cv::imread(scene.path, cv::IMREAD_GRAYSCALE);
    cv::Mat img;
    for (auto _ : state) {
        state.PauseTiming();
        src.copyTo(img);
        state.ResumeTiming();
        specklecut::FillSmallRegions(img, scene.sizeLimit, scene.polarity, state.range(1) == 1);
        benchmark::DoNotOptimize(img.data);
    }
    Report(state, img, scene);
}

// OpenCV's labelling with statistics alone, on the candidate mask of the same image.
void BM_ConnectedComponents(benchmark::State& state)
{
    const Scene& scene = AllScenes()[state.range(0)];
    const cv::Mat mask = Candidates(cv::imread(scene.path, cv::IMREAD_GRAYSCALE), scene.polarity);
    cv::Mat labels, stats, centroids;
    const int connectivity = state.range(1) == 1 ? 8 : 4;
    for (auto _ : state) {
        benchmark::DoNotOptimize(cv::connectedComponentsWithStats(mask, labels, stats, centroids, connectivity, CV_32S));
    }
    Report(state, mask, scene);
}

// The same fill done with OpenCV's labelling: mask, label, look up each label's verdict.
void BM_ConnectedComponentsFill(benchmark::State& state)
{
    const Scene& scene = AllScenes()[state.range(0)];
    const cv::Mat src = cv::imread(scene.path, cv::IMREAD_GRAYSCALE);
    const auto fill = static_cast<std::uint8_t>(255u - 255u * static_cast<unsigned>(scene.polarity));
    const int connectivity = state.range(1) == 1 ? 8 : 4;
    cv::Mat img, labels, stats, centroids;
    std::vector<std::uint8_t> small;
    for (auto _ : state) {
        state.PauseTiming();
        src.copyTo(img);
        state.ResumeTiming();
        const int n = cv::connectedComponentsWithStats(Candidates(img, scene.polarity), labels, stats, centroids,
                                                       connectivity, CV_32S);
        small.assign(static_cast<std::size_t>(n), 0);
        for (int i = 1; i < n; ++i) {
            small[static_cast<std::size_t>(i)] = stats.at<int>(i, cv::CC_STAT_AREA) <= scene.sizeLimit ? 1 : 0;
        }
        for (int y = 0; y < img.rows; ++y) {
            const int* l = labels.ptr<int>(y);
            std::uint8_t* p = img.ptr<std::uint8_t>(y);
            for (int x = 0; x < img.cols; ++x) {
                p[x] = small[static_cast<std::size_t>(l[x])] ? fill : p[x];
            }
        }
        benchmark::DoNotOptimize(img.data);
    }
    Report(state, img, scene);
}

void BM_Write(benchmark::State& state)
{
    const Scene& scene = AllScenes()[state.range(0)];
    cv::Mat img = cv::imread(scene.path, cv::IMREAD_GRAYSCALE);
    specklecut::FillSmallRegions(img, scene.sizeLimit, scene.polarity, true);
    const std::string out = AllScenes().Output(scene);
    for (auto _ : state) {
        if (!cv::imwrite(out, img)) {
            state.SkipWithError("imwrite failed");
        }
    }
    Report(state, img, scene);
}

void BM_RemoveSmallRegion(benchmark::State& state)
{
    const Scene& scene = AllScenes()[state.range(0)];
    const std::string out = AllScenes().Output(scene);
    for (auto _ : state) {
        if (RemoveSmallRegion(scene.path.c_str(), out.c_str(), scene.sizeLimit, scene.polarity, 1) != SPECKLECUT_OK) {
            state.SkipWithError("RemoveSmallRegion failed");
        }
    }
    Report(state, cv::imread(scene.path, cv::IMREAD_GRAYSCALE), scene);
}

BENCHMARK(BM_Read)->ArgName("scene")->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Label)->ArgNames({"scene", "eight"})->ArgsProduct({{0, 1}, {1, 0}})
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ConnectedComponents)->ArgNames({"scene", "eight"})->ArgsProduct({{0, 1}, {1, 0}})
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ConnectedComponentsFill)->ArgNames({"scene", "eight"})->ArgsProduct({{0, 1}, {1}})
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Write)->ArgName("scene")->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RemoveSmallRegion)->ArgName("scene")->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
