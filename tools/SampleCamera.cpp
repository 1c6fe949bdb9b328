#include "SampleCamera.h"

#include "SampleColour.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace samples {

Camera::Camera()
{
    // Linear sRGB from XYZ (/100), then cross-talk between the colour
    // channels (rows R, G, B; each row sums to 1).
    const cv::Matx33d xyzToSrgb(3.2406, -1.5372, -0.4986,
                                -0.9689, 1.8758, 0.0415,
                                0.0557, -0.2040, 1.0570);
    const cv::Matx33d crossTalk(0.78, 0.17, 0.05,
                                0.09, 0.80, 0.11,
                                0.04, 0.16, 0.80);
    const cv::Matx33d raw = crossTalk * xyzToSrgb;
    // Gains: the system white gives R 0.95, G 1.0, B 0.88.
    const cv::Vec3d white = raw * (kSystemWhite * 0.01);
    const cv::Vec3d target(0.95, 1.0, 0.88);
    const cv::Matx33d gain = cv::Matx33d::diag(
        cv::Vec3d(target[0] / white[0], target[1] / white[1], target[2] / white[2]));
    xyzToCamera = gain * raw;
}

cv::Vec3f Camera::Linear(const cv::Vec3d& xyz) const
{
    const cv::Vec3d rgb = xyzToCamera * (xyz * 0.01);
    return {static_cast<float>(std::max(rgb[2], 0.0)), static_cast<float>(std::max(rgb[1], 0.0)),
            static_cast<float>(std::max(rgb[0], 0.0))};
}

double Camera::Tone(double linear)
{
    if (linear <= 0.0) {
        return 16.0;
    }
    const double toe = linear / (linear + 0.01);
    return 16.0 + 216.0 * std::pow(linear, 1.0 / 2.2) * toe;
}

cv::Mat Camera::Expose(const cv::Mat& linearBgr, double noiseSigma, std::uint64_t seed) const
{
    CV_Assert(linearBgr.type() == CV_32FC3);
    cv::Mat levels(linearBgr.size(), CV_32FC3);
    for (int y = 0; y < linearBgr.rows; ++y) {
        const cv::Vec3f* in = linearBgr.ptr<cv::Vec3f>(y);
        cv::Vec3f* out = levels.ptr<cv::Vec3f>(y);
        for (int x = 0; x < linearBgr.cols; ++x) {
            for (int c = 0; c < 3; ++c) {
                out[x][c] = static_cast<float>(Tone(in[x][c]));
            }
        }
    }
    if (noiseSigma > 0.0) {
        cv::Mat noise(linearBgr.size(), CV_32FC3);
        cv::RNG rng(seed);
        rng.fill(noise, cv::RNG::NORMAL, 0.0, noiseSigma);
        levels += noise;
    }
    cv::GaussianBlur(levels, levels, cv::Size(0, 0), kBlurSigma, kBlurSigma, cv::BORDER_REPLICATE);
    cv::Mat image;
    levels.convertTo(image, CV_8UC3);
    return image;
}

}  // namespace samples
