#include "ReferenceWriter.h"

#include "Lab.h"

#include <sstream>

cv::Scalar PixelToLab(const CColorCorrection& correction, const cv::Vec3b& pixel)
{
    const cv::Scalar roiCam(pixel[0] * 1.0, pixel[1] * 1.0, pixel[2] * 1.0, 0.0);
    const cv::Scalar roiLin = correction.LinearizeColor(roiCam);
    const cv::Scalar roiXYZ = correction.ColorToXYZ(roiLin);
    return XYZToLab(roiXYZ);
}

bool WriteLabReference(const cv::Mat& image, const CColorCorrection& correction, OutputFile& out,
                       ProgressLine* progress)
{
    const int h = image.rows;
    const int w = image.cols;
    for (int i = 0; i < h; ++i) {
        std::ostringstream line;
        for (int j = 0; j < w; ++j) {
            const cv::Scalar roiLab = PixelToLab(correction, image.at<cv::Vec3b>(i, j));
            line << roiLab[0] << ", " << roiLab[1] << ", " << roiLab[2];
            if (j != w - 1) {
                line << ", ";
            }
            if (progress) {
                progress->Report(static_cast<int64_t>(i) * w + j);
            }
        }
        line << '\n';
        const std::string text = line.str();
        if (!out.Write(text.data(), text.size())) {
            return false;
        }
    }
    return true;
}
