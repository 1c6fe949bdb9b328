#include "CDetectMacbeth.h"

bool CDetectMacbeth::LoadTemplate()
{
    return LoadChartTemplate(kTemplatePath, kPatchCount, kAngleStep, kPatchHalfSize);
}

bool CDetectMacbeth::Detect()
{
    ResetInputRoi();
    cv::Point pos;
    double angle = 0.0;
    if (!FindRotatedTemplate(&pos, &angle)) {
        return false;
    }
    return LayoutPatches(pos, angle);
}

bool CDetectMacbeth::LayoutPatches(cv::Point pos, double angle)
{
    patchCenters.resize(kPatchCount);
    const int d = angle < 90.0 ? 1 : -1;
    const int x0 = pos.x + d * 285;
    const int y0 = pos.y - d * 475;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 6; ++c) {
            patchCenters[6 * r + c] = cv::Point(x0 - d * kPitch * r, y0 + d * kPitch * c);
        }
    }
    patchesLaidOut = true;
    return true;
}
