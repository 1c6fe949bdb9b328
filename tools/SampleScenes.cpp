#include "SampleScenes.h"

#include "SampleColour.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <vector>

namespace samples {

namespace {

// Fixed seeds of the scene textures.
constexpr std::uint64_t kTableSeed = 0x7ab1e5eedULL;

cv::Scalar ToScalar(const cv::Vec3f& v)
{
    return {v[0], v[1], v[2]};
}

// Camera-linear colour of chart patch k, lit `light` times the chart.
cv::Vec3f PatchColour(const Camera& camera, int k, double light = 1.0)
{
    static const std::array<cv::Vec3d, kPatchCount> xyz = ChartXYZ();
    return camera.Linear(xyz[k] * light);
}

// Camera-linear colour of a neutral of reflectance `r` under the system white.
cv::Vec3f Neutral(const Camera& camera, double r)
{
    return camera.Linear(kSystemWhite * r);
}

cv::Vec3f Mix(const cv::Vec3f& a, const cv::Vec3f& b, double t)
{
    const float w = static_cast<float>(t);
    return a * (1.0f - w) + b * w;
}

void FillRotatedRect(cv::Mat& img, const cv::RotatedRect& rect, const cv::Scalar& colour)
{
    cv::Point2f corners[4];
    rect.points(corners);
    std::vector<cv::Point> poly;
    for (const cv::Point2f& p : corners) {
        poly.emplace_back(cvRound(p.x), cvRound(p.y));
    }
    cv::fillConvexPoly(img, poly, colour, cv::LINE_8);
}

// Dark chart body: a neutral of 2 % reflectance.
constexpr double kBodyReflectance = 0.02;

}  // namespace

cv::Point PatchOffset(int k)
{
    const int r = k / 6;
    const int c = k % 6;
    return {285 - kPatchPitch * r, -475 + kPatchPitch * c};
}

cv::Mat RenderChart(const Camera& camera)
{
    cv::Mat chart(kChartHeight, kChartWidth, CV_32FC3,
                  ToScalar(Neutral(camera, kBodyReflectance)));
    for (int k = 0; k < kPatchCount; ++k) {
        const cv::Point c = kChartCentre + PatchOffset(k);
        const cv::Rect square(c.x - kPatchHalfSide, c.y - kPatchHalfSide, 2 * kPatchHalfSide + 1,
                              2 * kPatchHalfSide + 1);
        chart(square).setTo(ToScalar(PatchColour(camera, k)));
    }
    return chart;
}

cv::Mat RenderCalibrationScene(const Camera& camera)
{
    const cv::Size size = kCalibrationSize;
    const cv::Rect chartRect(kCalibrationChartCentre - kChartCentre,
                             cv::Size(kChartWidth, kChartHeight));

    // Objects on the table: a notebook with a label, an eraser, a mug seen
    // from above, a pencil and a written card. Each draws itself with a
    // colour, so the same shapes give the shadow mask.
    struct Object {
        std::function<void(cv::Mat&, const cv::Scalar&, cv::Point)> draw;
        std::function<void(cv::Mat&, const Camera&)> paint;
    };
    const cv::RotatedRect notebook({190.f, 1050.f}, {260.f, 380.f}, -8.f);
    const cv::RotatedRect eraser({190.f, 330.f}, {200.f, 90.f}, 15.f);
    const cv::RotatedRect pencil({1400.f, 720.f}, {360.f, 22.f}, 35.f);
    const cv::RotatedRect card({1420.f, 1130.f}, {280.f, 340.f}, 6.f);
    const cv::Point mug(1420, 270);
    auto shifted = [](cv::RotatedRect r, cv::Point d) {
        r.center += cv::Point2f(static_cast<float>(d.x), static_cast<float>(d.y));
        return r;
    };
    const std::vector<Object> objects = {
        {[&](cv::Mat& m, const cv::Scalar& s, cv::Point d) { FillRotatedRect(m, shifted(notebook, d), s); },
         [&](cv::Mat& m, const Camera& cam) {
             FillRotatedRect(m, notebook, ToScalar(PatchColour(cam, 7, 0.95)));
             FillRotatedRect(m, cv::RotatedRect({180.f, 975.f}, {150.f, 60.f}, -8.f),
                             ToScalar(PatchColour(cam, 18, 0.9)));
         }},
        {[&](cv::Mat& m, const cv::Scalar& s, cv::Point d) { FillRotatedRect(m, shifted(eraser, d), s); },
         [&](cv::Mat& m, const Camera& cam) {
             FillRotatedRect(m, eraser, ToScalar(PatchColour(cam, 13, 0.9)));
         }},
        {[&](cv::Mat& m, const cv::Scalar& s, cv::Point d) { cv::circle(m, mug + d, 115, s, cv::FILLED); },
         [&](cv::Mat& m, const Camera& cam) {
             cv::circle(m, mug, 115, ToScalar(PatchColour(cam, 6, 0.95)), cv::FILLED);
             cv::circle(m, mug, 96, ToScalar(PatchColour(cam, 6, 0.5)), cv::FILLED);
             cv::circle(m, mug + cv::Point(4, 5), 84, ToScalar(PatchColour(cam, 0, 0.35)), cv::FILLED);
         }},
        {[&](cv::Mat& m, const cv::Scalar& s, cv::Point d) { FillRotatedRect(m, shifted(pencil, d), s); },
         [&](cv::Mat& m, const Camera& cam) {
             FillRotatedRect(m, pencil, ToScalar(PatchColour(cam, 11, 0.95)));
         }},
        {[&](cv::Mat& m, const cv::Scalar& s, cv::Point d) { FillRotatedRect(m, shifted(card, d), s); },
         [&](cv::Mat& m, const Camera& cam) {
             FillRotatedRect(m, card, ToScalar(PatchColour(cam, 18, 0.97)));
             const cv::Scalar ink = ToScalar(PatchColour(cam, 22, 0.8));
             const double a = 6.0 * CV_PI / 180.0;
             for (int line = 0; line < 9; ++line) {
                 const float along = -120.f + 30.f * static_cast<float>(line);
                 const float length = line % 3 == 2 ? 140.f : 210.f;
                 const cv::Point2f centre(
                     1420.f - along * static_cast<float>(std::sin(a)) - (210.f - length) / 2.f,
                     1130.f + along * static_cast<float>(std::cos(a)));
                 FillRotatedRect(m, cv::RotatedRect(centre, {length, 6.f}, 6.f), ink);
             }
         }},
        {[&](cv::Mat& m, const cv::Scalar& s, cv::Point d) { m(chartRect + d).setTo(s); }, nullptr},
    };

    // Table top: a warm grey that brightens towards the lower right, under a
    // lamp whose light falls off away from the chart, with a slow blotchy
    // texture and a fine grain.
    cv::RNG rng(kTableSeed);
    cv::Mat coarse(size.height / 50 + 2, size.width / 50 + 2, CV_32F);
    rng.fill(coarse, cv::RNG::UNIFORM, -1.0, 1.0);
    cv::Mat blotches;
    cv::resize(coarse, blotches, size, 0, 0, cv::INTER_CUBIC);
    cv::Mat grain(size, CV_32F);
    rng.fill(grain, cv::RNG::NORMAL, 0.0, 1.0);
    cv::GaussianBlur(grain, grain, cv::Size(0, 0), 3.0);

    cv::Mat shadow = cv::Mat::zeros(size, CV_32F);
    for (const Object& o : objects) {
        o.draw(shadow, cv::Scalar(1.0), cv::Point(16, 12));
    }
    cv::GaussianBlur(shadow, shadow, cv::Size(0, 0), 9.0);

    const cv::Vec3f tableWhite = camera.Linear(cv::Vec3d(kSystemWhite[0] * 1.03, kSystemWhite[1],
                                                         kSystemWhite[2] * 0.90));
    const double diagonal2 = double(size.width) * size.width + double(size.height) * size.height;
    cv::Mat scene(size, CV_32FC3);
    for (int y = 0; y < size.height; ++y) {
        cv::Vec3f* row = scene.ptr<cv::Vec3f>(y);
        for (int x = 0; x < size.width; ++x) {
            const double base = 0.20 + 0.16 * (0.65 * x / size.width + 0.35 * y / size.height);
            const double dx = x - kCalibrationChartCentre.x;
            const double dy = y - kCalibrationChartCentre.y;
            const double lamp = 1.1 - 0.9 * (dx * dx + dy * dy) / diagonal2;
            const double reflectance = base + 0.03 * blotches.at<float>(y, x) + 0.012 * grain.at<float>(y, x);
            const double shade = 1.0 - 0.45 * shadow.at<float>(y, x);
            row[x] = tableWhite * static_cast<float>(reflectance * lamp * shade);
        }
    }
    for (const Object& o : objects) {
        if (o.paint) {
            o.paint(scene, camera);
        }
    }
    RenderChart(camera).copyTo(scene(chartRect));
    return scene;
}

cv::Mat RenderPhotoScene(const Camera& camera)
{
    const cv::Size size = kPhotoSize;
    const int horizon = 270;
    cv::Mat scene(size, CV_32FC3);

    // Sky from a deep blue at the top to a pale haze at the horizon; ground
    // from yellow green to foliage, darker towards the sides.
    const cv::Vec3f skyTop = PatchColour(camera, 2, 1.9);
    const cv::Vec3f haze = PatchColour(camera, 19, 1.05);
    const cv::Vec3f groundNear = PatchColour(camera, 3, 0.8);
    const cv::Vec3f groundFar = PatchColour(camera, 10, 0.85);
    for (int y = 0; y < size.height; ++y) {
        cv::Vec3f* row = scene.ptr<cv::Vec3f>(y);
        for (int x = 0; x < size.width; ++x) {
            if (y < horizon) {
                row[x] = Mix(skyTop, haze, std::pow(double(y) / horizon, 1.3));
            } else {
                const double t = double(y - horizon) / (size.height - horizon);
                const double side = std::abs(x - size.width / 2) / double(size.width / 2);
                row[x] = Mix(groundFar, groundNear, t) * static_cast<float>(1.0 - 0.2 * side);
            }
        }
    }

    // A hill and a cloud behind everything else.
    cv::ellipse(scene, cv::Point(470, horizon + 10), cv::Size(260, 75), 0, 180, 360,
                ToScalar(PatchColour(camera, 5, 0.7)), cv::FILLED);
    cv::ellipse(scene, cv::Point(230, 70), cv::Size(90, 28), 0, 0, 360,
                ToScalar(PatchColour(camera, 18, 0.95)), cv::FILLED);
    cv::ellipse(scene, cv::Point(290, 60), cv::Size(60, 22), 0, 0, 360,
                ToScalar(PatchColour(camera, 18, 0.9)), cv::FILLED);

    // A kite: two triangles of magenta and purplish blue, with a cyan tail.
    const std::vector<cv::Point> kiteLeft = {{100, 70}, {150, 30}, {140, 120}};
    const std::vector<cv::Point> kiteRight = {{150, 30}, {195, 80}, {140, 120}};
    cv::fillConvexPoly(scene, kiteLeft, ToScalar(PatchColour(camera, 16, 1.1)));
    cv::fillConvexPoly(scene, kiteRight, ToScalar(PatchColour(camera, 7, 1.1)));
    cv::line(scene, {140, 120}, {120, 160}, ToScalar(PatchColour(camera, 17, 1.1)), 3);
    cv::line(scene, {120, 160}, {135, 200}, ToScalar(PatchColour(camera, 17, 1.1)), 3);

    // A box lit from the upper left: bright top, mid front, dark side.
    const cv::Vec3f red = PatchColour(camera, 14);
    cv::fillConvexPoly(scene, std::vector<cv::Point>{{360, 300}, {500, 300}, {540, 270}, {400, 270}},
                       ToScalar(red * 1.05f));
    cv::fillConvexPoly(scene, std::vector<cv::Point>{{360, 300}, {500, 300}, {500, 420}, {360, 420}},
                       ToScalar(red * 0.75f));
    cv::fillConvexPoly(scene, std::vector<cv::Point>{{500, 300}, {540, 270}, {540, 390}, {500, 420}},
                       ToScalar(red * 0.4f));

    // Flowers on the grass (partly hidden by the ball), and two skin-coloured
    // pebbles.
    const int flowerPatch[] = {9, 15, 4, 16, 8, 15, 12};
    for (int i = 0; i < 7; ++i) {
        const cv::Point p(40 + 45 * i + (i % 2) * 15, 300 + (i * 37) % 60);
        cv::circle(scene, p, 9, ToScalar(PatchColour(camera, flowerPatch[i])), cv::FILLED);
        cv::circle(scene, p, 3, ToScalar(PatchColour(camera, 15, 1.1)), cv::FILLED);
    }
    cv::ellipse(scene, cv::Point(300, 400), cv::Size(30, 16), 10, 0, 360,
                ToScalar(PatchColour(camera, 1)), cv::FILLED);
    cv::ellipse(scene, cv::Point(585, 440), cv::Size(26, 14), -15, 0, 360,
                ToScalar(PatchColour(camera, 0)), cv::FILLED);

    // An orange ball with diffuse shading.
    const cv::Point ball(170, 350);
    const int radius = 62;
    const cv::Vec3d light = cv::normalize(cv::Vec3d(-0.5, -0.6, 0.62));
    const cv::Vec3f orange = PatchColour(camera, 6);
    for (int y = ball.y - radius; y <= ball.y + radius; ++y) {
        cv::Vec3f* row = scene.ptr<cv::Vec3f>(y);
        for (int x = ball.x - radius; x <= ball.x + radius; ++x) {
            const double nx = double(x - ball.x) / radius;
            const double ny = double(y - ball.y) / radius;
            const double r2 = nx * nx + ny * ny;
            if (r2 > 1.0) {
                continue;
            }
            const cv::Vec3d normal(nx, ny, std::sqrt(1.0 - r2));
            const double shade = 0.25 + 0.85 * std::max(0.0, normal.dot(light));
            row[x] = orange * static_cast<float>(shade);
        }
    }

    // The six neutrals as a strip along the bottom.
    for (int i = 0; i < 6; ++i) {
        const cv::Rect step(30 + 85 * i, 445, 85, 25);
        scene(step).setTo(ToScalar(PatchColour(camera, 18 + i)));
    }
    return scene;
}

cv::Mat RenderSmallChart(const Camera& camera)
{
    // 3 rows of 6 squares of 30 pixels at a pitch of 36, on a dark body:
    // the first two rows take the chart's twelve chromatic patches, the
    // third its neutral series.
    const int pitch = 36;
    const int side = 30;
    const int margin = 10;
    cv::Mat chart(2 * margin + 2 * pitch + side, 2 * margin + 5 * pitch + side, CV_32FC3,
                  ToScalar(Neutral(camera, kBodyReflectance)));
    for (int i = 0; i < 18; ++i) {
        const int patch = i < 12 ? i : i + 6;
        const cv::Rect square(margin + pitch * (i % 6), margin + pitch * (i / 6), side, side);
        chart(square).setTo(ToScalar(PatchColour(camera, patch)));
    }
    return chart;
}

}  // namespace samples
