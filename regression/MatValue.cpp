#include "MatValue.h"

namespace {

template <typename T>
double Read(const cv::Mat& arr, int row, int col, int channel)
{
    return static_cast<double>(arr.ptr<T>(row)[col * arr.channels() + channel]);
}

}  // namespace

double GetValue(const cv::Mat& arr, int row, int col, int channel)
{
    CV_Assert(row >= 0 && row < arr.rows && col >= 0 && col < arr.cols);
    if (channel < 0 || channel >= arr.channels()) {
        return 0.0;
    }
    switch (arr.depth()) {
    case CV_8U: return Read<uchar>(arr, row, col, channel);
    case CV_8S: return Read<schar>(arr, row, col, channel);
    case CV_16U: return Read<ushort>(arr, row, col, channel);
    case CV_16S: return Read<short>(arr, row, col, channel);
    case CV_32S: return Read<int>(arr, row, col, channel);
    case CV_32F: return Read<float>(arr, row, col, channel);
    case CV_64F: return Read<double>(arr, row, col, channel);
    case CV_16F: return static_cast<double>(static_cast<float>(arr.ptr<cv::float16_t>(row)[col * arr.channels() + channel]));
    default: CV_Error(cv::Error::StsUnsupportedFormat, "GetValue: unsupported element depth");
    }
}
