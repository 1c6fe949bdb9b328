#include "CDetect.h"

#include "ImageFile.h"
#include "ReferencePath.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <omp.h>

#include <cstdio>

namespace {

// Reads an image as 8-bit B, G, R without applying any EXIF orientation.
cv::Mat ReadColorImage(const std::string& path, std::string& problem)
{
    return ReadImageFile(path, cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION, &problem);
}

void Complain(const char* message)
{
    std::fprintf(stderr, "%s\n", message);
}

}  // namespace

bool CDetect::ReadTemplateImage(const char* path)
{
    templateImage.release();
    std::string problem;
    templateImage = ReadColorImage(ResolveReferencePath(path), problem);
    if (templateImage.empty()) {
        Complain("Can't open template file.");
        std::fprintf(stderr, "%s: %s\n", path, problem.c_str());
        return false;
    }
    return true;
}

bool CDetect::LoadChartTemplate(const char* path, int count, double step, int halfSize)
{
    if (!ReadTemplateImage(path)) {
        return false;
    }
    patchCount = count;
    angleStep = step;
    patchHalfSize = halfSize;
    patchCenters.assign(static_cast<size_t>(count), cv::Point());
    patchesLaidOut = false;
    return true;
}

bool CDetect::LoadInputImage(const char* path)
{
    inputImage.release();
    ResetInputRoi();
    std::string problem;
    inputImage = ReadColorImage(path, problem);
    std::printf("Reading : %s\n", path);
    if (inputImage.empty()) {
        Complain("Can't open input file for detection.");
        std::fprintf(stderr, "%s: %s\n", path, problem.c_str());
        return false;
    }
    return true;
}

void CDetect::SetInputImage(const cv::Mat& image)
{
    CV_Assert(image.type() == CV_8UC3);
    inputImage = image;
    ResetInputRoi();
}

void CDetect::SetInputRoi(const cv::Rect& roi)
{
    inputRoi = roi & cv::Rect(0, 0, inputImage.cols, inputImage.rows);
    hasRoi = true;
}

void CDetect::ResetInputRoi()
{
    inputRoi = cv::Rect();
    hasRoi = false;
}

bool CDetect::FindRotatedTemplate(cv::Point* pos, double* angle)
{
    if (templateImage.empty()) {
        Complain("No chart template is loaded: the chart cannot be searched.");
        return false;
    }
    if (inputImage.empty()) {
        Complain("No calibration photograph is loaded: the chart cannot be searched.");
        return false;
    }
    const cv::Mat search = hasRoi ? inputImage(inputRoi) : inputImage;
    const int w = search.cols;
    const int h = search.rows;
    const int tw = templateImage.cols;
    const int th = templateImage.rows;
    if (w < tw || h < th) {
        Complain("The calibration photograph is smaller than the chart template.");
        return false;
    }
    const int n = static_cast<int>(360.0 / angleStep);
    if (n <= 0) {
        Complain("The chart search tries no angle.");
        return false;
    }

    double best = -1.0;
    bool failed = false;
    const double start = omp_get_wtime();
    const cv::Point2f center(static_cast<float>(tw / 2.0), static_cast<float>(th / 2.0));

#pragma omp parallel for schedule(dynamic, 1)
    for (int k = 0; k < n; ++k) {
        const double a = k * angleStep;
        try {
        cv::Mat rotateMat;
        cv::getRotationMatrix2D(center, a, 1.0).convertTo(rotateMat, CV_32FC1);
        cv::Mat rotateTemplate;
        cv::warpAffine(templateImage, rotateTemplate, rotateMat, templateImage.size(),
                       cv::INTER_NEAREST | cv::WARP_FILL_OUTLIERS, cv::BORDER_CONSTANT,
                       cv::Scalar::all(255));
        cv::Mat match;
        cv::matchTemplate(search, rotateTemplate, match, cv::TM_SQDIFF_NORMED);
        double minC = 0.0;
        double maxC = 0.0;
        cv::Point minPos;
        cv::Point maxPos;
        cv::minMaxLoc(match, &minC, &maxC, &minPos, &maxPos);
#pragma omp critical(velvane_rotated_template_best)
        {
            if (best < 0.0 || best > minC) {
                *angle = a;
                best = minC;
                *pos = cv::Point(minPos.x + tw / 2, minPos.y + th / 2);
                if (hasRoi) {
                    pos->x += inputRoi.x;
                    pos->y += inputRoi.y;
                }
            }
        }
        } catch (const cv::Exception&) {
            // Out of memory for the score image, typically; no exception may
            // leave the parallel region.
#pragma omp atomic write
            failed = true;
        }
    }
    if (failed) {
        Complain("The chart search failed: the calibration photograph is too large to search.");
        return false;
    }

    const double elapsed = (omp_get_wtime() - start) * 1000.0;
    std::printf("Matching Angle %3.0f, Coef %.4f, Position(%4d, %4d), Time %.0fms\n", *angle, best,
                pos->x, pos->y, elapsed);
    return true;
}

bool CDetect::MeasurePatches(cv::Mat& samples)
{
    if (inputImage.empty()) {
        Complain("No calibration photograph is loaded: the chart patches cannot be measured.");
        return false;
    }
    if (!patchesLaidOut) {
        Complain("The chart has not been located: the chart patches cannot be measured.");
        return false;
    }
    samples.release();
    cv::Mat result(patchCount, 3, CV_32FC1);
    const cv::Rect whole(0, 0, inputImage.cols, inputImage.rows);
    const int h = patchHalfSize;
    const int s = 2 * h + 1;
    for (int i = 0; i < patchCount; ++i) {
        const cv::Point c = patchCenters[static_cast<size_t>(i)];
        const cv::Point topLeft(c.x - h, c.y - h);
        const cv::Point bottomRight(c.x + h, c.y + h);
        cv::Scalar mean(-1.0, -1.0, -1.0);
        if (whole.contains(topLeft) || whole.contains(bottomRight)) {
            mean = cv::mean(inputImage(cv::Rect(topLeft.x, topLeft.y, s, s) & whole));
        }
        float* row = result.ptr<float>(i);
        for (int ch = 0; ch < 3; ++ch) {
            row[ch] = static_cast<float>(mean[ch]);
        }
    }
    ResetInputRoi();
    samples = result;
    return true;
}
