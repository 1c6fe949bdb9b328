#include "RegionFill.h"

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include <climits>
#include <cstdint>
#include <random>
#include <sstream>
#include <vector>

namespace {

// The plain way: a label image, breadth-first growth of each region from its first pixel
// in raster order, then a composition pass. Labels: 0 unvisited candidate, 1 in the
// region being grown, 2 small region, 3 source value kept.
cv::Mat ReferenceFill(const cv::Mat& src, int sizeLimit, int polarity, int eightConnected)
{
    const int rows = src.rows;
    const int cols = src.cols;
    cv::Mat out = cv::Mat::zeros(src.size(), CV_8UC1);
    cv::Mat label = cv::Mat::zeros(src.size(), CV_8UC1);
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < cols; ++x) {
            const int v = src.at<std::uint8_t>(y, x);
            if (polarity == 1 ? v < 10 : v > 10) {
                label.at<std::uint8_t>(y, x) = 3;
            }
        }
    }
    const int offsets[8][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}, {-1, -1}, {-1, 1}, {1, -1}, {1, 1}};
    const int neighbours = eightConnected == 1 ? 8 : 4;
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < cols; ++x) {
            if (label.at<std::uint8_t>(y, x) != 0) {
                continue;
            }
            std::vector<cv::Point> region{{x, y}};
            label.at<std::uint8_t>(y, x) = 1;
            for (std::size_t i = 0; i < region.size(); ++i) {
                for (int k = 0; k < neighbours; ++k) {
                    const int nx = region[i].x + offsets[k][0];
                    const int ny = region[i].y + offsets[k][1];
                    if (nx < 0 || nx >= cols || ny < 0 || ny >= rows || label.at<std::uint8_t>(ny, nx) != 0) {
                        continue;
                    }
                    label.at<std::uint8_t>(ny, nx) = 1;
                    region.push_back({nx, ny});
                }
            }
            const auto limit = static_cast<std::uint64_t>(static_cast<std::int64_t>(sizeLimit));
            const int verdict = static_cast<std::uint64_t>(region.size()) <= limit ? 1 : 2;
            for (const cv::Point& p : region) {
                label.at<std::uint8_t>(p) = static_cast<std::uint8_t>(label.at<std::uint8_t>(p) + verdict);
            }
        }
    }
    const auto fill = static_cast<std::uint8_t>((255 - 255LL * polarity) & 0xFF);
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < cols; ++x) {
            const int l = label.at<std::uint8_t>(y, x);
            if (l == 2) {
                out.at<std::uint8_t>(y, x) = fill;
            } else if (l == 3) {
                out.at<std::uint8_t>(y, x) = src.at<std::uint8_t>(y, x);
            }
        }
    }
    return out;
}

// Blobs of bright and dark pixels with noise on top; values crowd around the threshold
// (9, 10, 11) so both polarities and the value 10 are exercised.
cv::Mat RandomImage(std::mt19937& rng, int rows, int cols, double density, int blob)
{
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_int_distribution<int> anyHigh(10, 255);
    std::uniform_int_distribution<int> anyLow(0, 10);
    const int highs[] = {10, 11, 128, 255};
    const int lows[] = {0, 9, 10, 3};
    std::uniform_int_distribution<int> pick(0, 4);

    cv::Mat coarse(rows / blob + 1, cols / blob + 1, CV_8UC1);
    for (int y = 0; y < coarse.rows; ++y) {
        for (int x = 0; x < coarse.cols; ++x) {
            coarse.at<std::uint8_t>(y, x) = unit(rng) < density ? 1 : 0;
        }
    }
    cv::Mat img(rows, cols, CV_8UC1);
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < cols; ++x) {
            bool high = coarse.at<std::uint8_t>(y / blob, x / blob) != 0;
            if (unit(rng) < 0.25) {
                high = unit(rng) < density;
            }
            const int k = pick(rng);
            const int v = high ? (k < 4 ? highs[k] : anyHigh(rng)) : (k < 4 ? lows[k] : anyLow(rng));
            img.at<std::uint8_t>(y, x) = static_cast<std::uint8_t>(v);
        }
    }
    return img;
}

std::string Describe(const cv::Mat& got, const cv::Mat& want)
{
    std::ostringstream s;
    for (int y = 0; y < got.rows; ++y) {
        for (int x = 0; x < got.cols; ++x) {
            if (got.at<std::uint8_t>(y, x) != want.at<std::uint8_t>(y, x)) {
                s << "first difference at (x " << x << ", y " << y << "): got "
                  << int(got.at<std::uint8_t>(y, x)) << ", want " << int(want.at<std::uint8_t>(y, x));
                return s.str();
            }
        }
    }
    return "equal";
}

TEST(RegionFill, MatchesBreadthFirstReferenceOnRandomImages)
{
    const cv::Size sizes[] = {{1, 1}, {7, 1}, {1, 9}, {2, 2}, {17, 3}, {33, 31}, {64, 48}, {123, 77}};
    const double densities[] = {0.3, 0.5, 0.6};
    const int blobs[] = {1, 3, 8};
    const int polarities[] = {1, 0, 2, -3};
    std::mt19937 rng(20240611);
    int compared = 0;
    for (const cv::Size& size : sizes) {
        for (double density : densities) {
            for (int blob : blobs) {
                const cv::Mat src = RandomImage(rng, size.height, size.width, density, blob);
                const int pixels = size.area();
                const int limits[] = {-1, 0, 1, 2, 3, 5, 17, 100, pixels - 1, pixels, INT_MAX, INT_MIN};
                for (int polarity : polarities) {
                    for (int eight = 0; eight <= 1; ++eight) {
                        for (int limit : limits) {
                            cv::Mat got = src.clone();
                            specklecut::FillSmallRegions(got, limit, polarity, eight == 1);
                            const cv::Mat want = ReferenceFill(src, limit, polarity, eight);
                            ASSERT_EQ(cv::norm(got, want, cv::NORM_INF), 0.0)
                                << size << " density " << density << " blob " << blob << " polarity "
                                << polarity << " eight " << eight << " limit " << limit << ": "
                                << Describe(got, want);
                            ++compared;
                        }
                    }
                }
            }
        }
    }
    EXPECT_GT(compared, 0);
}

// Shapes whose parts meet late or only through corners: combs whose teeth join at the
// last (or first) row, diagonal staircases, and nested rings joined by bridges.
TEST(RegionFill, MatchesReferenceOnCombsAndSpirals)
{
    cv::Mat comb(40, 41, CV_8UC1, cv::Scalar(0));
    for (int x = 0; x < comb.cols; x += 2) {
        comb.col(x).setTo(255);
    }
    comb.row(comb.rows - 1).setTo(200);
    cv::Mat upsideDown;
    cv::flip(comb, upsideDown, 0);
    cv::Mat staircase(30, 30, CV_8UC1, cv::Scalar(0));
    for (int i = 0; i < 30; ++i) {
        staircase.at<std::uint8_t>(i, i) = 255;  // joined only through corners
        staircase.at<std::uint8_t>(29 - i, i) = 10;
    }
    cv::Mat rings(41, 41, CV_8UC1, cv::Scalar(0));
    {
        int top = 0, left = 0, bottom = 40, right = 40;
        while (top <= bottom && left <= right) {
            rings.row(top).colRange(left, right + 1).setTo(255);
            rings.col(right).rowRange(top, bottom + 1).setTo(255);
            if (top + 2 <= bottom) {
                rings.row(bottom).colRange(left, right + 1).setTo(255);
            }
            if (left + 2 <= right && top + 2 <= bottom) {
                rings.col(left).rowRange(top + 2, bottom + 1).setTo(255);
            }
            top += 2;
            left += 2;
            bottom -= 2;
            right -= 2;
            if (top <= bottom) {
                rings.at<std::uint8_t>(top, left - 2 + 1) = 255;  // bridge to the next ring
            }
        }
    }
    for (const cv::Mat& shape : {comb, upsideDown, staircase, rings}) {
        for (const cv::Mat& src : {shape, cv::Mat(255 - shape)}) {
            for (int polarity : {1, 0}) {
                for (int eight = 0; eight <= 1; ++eight) {
                    for (int limit : {1, 20, 30, 60, 200, 800}) {
                        cv::Mat got = src.clone();
                        specklecut::FillSmallRegions(got, limit, polarity, eight == 1);
                        const cv::Mat want = ReferenceFill(src, limit, polarity, eight);
                        ASSERT_EQ(cv::norm(got, want, cv::NORM_INF), 0.0)
                            << "polarity " << polarity << " eight " << eight << " limit " << limit << ": "
                            << Describe(got, want);
                    }
                }
            }
        }
    }
}

TEST(RegionFill, WorksOnAViewIntoALargerImage)
{
    std::mt19937 rng(7);
    cv::Mat whole = RandomImage(rng, 50, 60, 0.5, 2);
    const cv::Mat before = whole.clone();
    const cv::Rect rect(5, 4, 37, 29);
    cv::Mat view = whole(rect);
    const cv::Mat want = ReferenceFill(view.clone(), 6, 1, 1);
    specklecut::FillSmallRegions(view, 6, 1, true);
    EXPECT_EQ(cv::norm(view, want, cv::NORM_INF), 0.0);
    cv::Mat outside(whole.size(), CV_8UC1, cv::Scalar(255));
    outside(rect).setTo(0);
    EXPECT_EQ(cv::norm(whole, before, cv::NORM_INF, outside), 0.0) << "pixels outside the view changed";
}

}  // namespace
