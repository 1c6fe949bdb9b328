#include "LabTransform.h"

LabTransform::LabTransform(const CColorCorrection& correction)
{
    CV_Assert(correction.IsCalibrated());
    // Every camera value through the tone model's own conversion.
    cv::Mat values(256, 3, CV_64FC1);
    for (int v = 0; v < 256; ++v) {
        for (int c = 0; c < 3; ++c) {
            values.at<double>(v, c) = v * 1.0;
        }
    }
    const cv::Mat lin = correction.LinearModel().Convert(values);
    for (int v = 0; v < 256; ++v) {
        for (int c = 0; c < 3; ++c) {
            tone_[c][v] = lin.at<double>(v, c);
        }
    }
    const cv::Mat& coef = correction.XyzModel().Coefficients();
    CV_Assert(coef.rows == 4 && coef.cols == 3 && coef.type() == CV_64FC1);
    for (int t = 0; t < 4; ++t) {
        for (int m = 0; m < 3; ++m) {
            coef_[t][m] = coef.at<double>(t, m);
        }
    }
}
