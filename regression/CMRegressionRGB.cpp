#include "CMRegressionRGB.h"

#include "MatValue.h"

CMRegressionRGB::CMRegressionRGB(int termCount_) : CMRegression(termCount_) {}

bool CMRegressionRGB::Fit(const cv::Mat& src, const cv::Mat& dst)
{
    return CMRegression::Fit(src, dst);
}

cv::Mat CMRegressionRGB::Convert(const cv::Mat& src) const
{
    return CMRegression::Convert(src);
}

double CMRegressionRGB::GetTerm(const cv::Mat& src, int row, int term) const
{
    const double c0 = GetValue(src, row, 0, 0);
    const double c1 = GetValue(src, row, 1, 0);
    const double c2 = GetValue(src, row, 2, 0);
    switch (term) {
    case 0: return 1.0;
    case 1: return c0;
    case 2: return c1;
    case 3: return c2;
    case 4: return c0 * c1;
    case 5: return c1 * c2;
    case 6: return c2 * c0;
    case 7: return c0 * c0;
    case 8: return c1 * c1;
    case 9: return c2 * c2;
    case 10: return c0 * c1 * c2;
    case 11: return c0 * c0 * c0;
    case 12: return c1 * c1 * c1;
    case 13: return c2 * c2 * c2;
    default: return 0.0;
    }
}
