#pragma once

#include "CColorCorrection.h"
#include "Lab.h"

#include <cstdint>

// The calibrated camera-to-L*a*b* conversion prepared once for whole rows of
// 8-bit pixels: each channel's tone curve becomes a 256-entry table (camera
// values are 8-bit, so the table holds every value the curve is asked for),
// the affine XYZ map keeps its four coefficients per output, and the L*a*b*
// step is XYZToLab. Every number is computed with the same operations, in
// the same order, as LinearizeColor, ColorToXYZ and XYZToLab on one colour,
// so both give identical doubles.
class LabTransform {
public:
    // Needs a calibrated correction object.
    explicit LabTransform(const CColorCorrection& correction);

    // Converts one B, G, R pixel to L*, a*, b*.
    void Convert(const uint8_t bgr[3], double lab[3]) const
    {
        const double lin[3] = {tone_[0][bgr[0]], tone_[1][bgr[1]], tone_[2][bgr[2]]};
        double xyz[3];
        for (int m = 0; m < 3; ++m) {
            // Design row (1, b, g, r) times the coefficient column, summed
            // from zero in term order, as the matrix product does.
            double s = 0.0;
            s += 1.0 * coef_[0][m];
            s += lin[0] * coef_[1][m];
            s += lin[1] * coef_[2][m];
            s += lin[2] * coef_[3][m];
            xyz[m] = s;
        }
        XYZToLab(xyz, lab);
    }

    // Converts `count` interleaved B, G, R pixels into 3 x count doubles.
    void ConvertRow(const uint8_t* bgr, int count, double* lab) const
    {
        for (int j = 0; j < count; ++j) {
            Convert(bgr + 3 * j, lab + 3 * j);
        }
    }

private:
    double tone_[3][256];
    double coef_[4][3];
};
