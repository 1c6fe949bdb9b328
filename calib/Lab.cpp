#include "Lab.h"

#include <cmath>

double LabF(double t)
{
    if (t > 0.008856) {
        return std::pow(t, 1.0 / 3.0);
    }
    return 7.787 * t + 16.0 / 116.0;
}

cv::Scalar XYZToLab(const cv::Scalar& xyz)
{
    const double white[3] = {kWhiteX, kWhiteY, kWhiteZ};
    const double fx = LabF(xyz[0] / white[0]);
    const double fy = LabF(xyz[1] / white[1]);
    const double fz = LabF(xyz[2] / white[2]);
    cv::Scalar lab;
    lab[0] = 116.0 * fy - 16.0;
    lab[1] = 500.0 * (fx - fy);
    lab[2] = 200.0 * (fy - fz);
    lab[3] = 0.0;
    return lab;
}
