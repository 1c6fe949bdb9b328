#include "Lab.h"

#include <cmath>

double LabF(double t)
{
    if (t > 0.008856) {
        return std::pow(t, 1.0 / 3.0);
    }
    return 7.787 * t + 16.0 / 116.0;
}

void XYZToLab(const double xyz[3], double lab[3])
{
    const double white[3] = {kWhiteX, kWhiteY, kWhiteZ};
    const double fx = LabF(xyz[0] / white[0]);
    const double fy = LabF(xyz[1] / white[1]);
    const double fz = LabF(xyz[2] / white[2]);
    lab[0] = 116.0 * fy - 16.0;
    lab[1] = 500.0 * (fx - fy);
    lab[2] = 200.0 * (fy - fz);
}

cv::Scalar XYZToLab(const cv::Scalar& xyz)
{
    const double in[3] = {xyz[0], xyz[1], xyz[2]};
    double lab[3];
    XYZToLab(in, lab);
    return cv::Scalar(lab[0], lab[1], lab[2], 0.0);
}
