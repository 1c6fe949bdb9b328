#pragma once

// The simulated camera that photographs the sample scenes.
//
// Scenes are built in camera-linear B, G, R (CV_32FC3, 1.0 = the response to
// the perfect white in the green channel). The camera
//   1. maps scene XYZ to camera-linear R, G, B through a 3 x 3 matrix: the
//      sRGB primaries mixed by channel cross-talk, with per-channel gains
//      that leave a slight warm cast on neutrals (no exact white balance);
//   2. applies a tone curve: gamma 1/2.2 with a small shadow toe, from a
//      black level of 16 to at most 232 on the 8-bit scale;
//   3. adds Gaussian noise (fixed seed) and blurs slightly (Gaussian,
//      sigma 1 pixel), then rounds to 8-bit B, G, R.

#include <opencv2/core.hpp>

#include <cstdint>

namespace samples {

class Camera {
public:
    Camera();

    // Camera-linear B, G, R of a scene colour given as XYZ (white Y = 100).
    cv::Vec3f Linear(const cv::Vec3d& xyz) const;

    // Tone curve: camera-linear value to the 8-bit scale (not rounded).
    static double Tone(double linear);

    // Photographs a camera-linear scene: tone curve, noise of the given
    // sigma in 8-bit levels (none when 0) from `seed`, blur, rounding.
    // Returns CV_8UC3.
    cv::Mat Expose(const cv::Mat& linearBgr, double noiseSigma, std::uint64_t seed) const;

    // XYZ (/100) to camera-linear R, G, B.
    const cv::Matx33d& Matrix() const { return xyzToCamera; }

    static constexpr double kNoiseSigma = 1.5;
    static constexpr double kBlurSigma = 1.0;

private:
    cv::Matx33d xyzToCamera;
};

}  // namespace samples
