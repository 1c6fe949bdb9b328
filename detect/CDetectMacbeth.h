#pragma once

#include "CDetect.h"

// Detector of the 24-patch Macbeth ColorChecker, photographed in portrait:
// four vertical lines of six patches on a 190-pixel pitch. At angle 0 patch 0
// is the top patch of the rightmost line, each line runs top to bottom and
// the lines follow from right to left; patches 18 to 23 (the leftmost line)
// are the neutral series. At 180 degrees the grid is turned half a turn.
class CDetectMacbeth : public CDetect {
public:
    static constexpr const char* kTemplatePath = "data\\MacbethTmpl_korr_v2.jpg";
    static constexpr int kPatchCount = 24;
    static constexpr double kAngleStep = 180.0;
    static constexpr int kPatchHalfSize = 10;
    static constexpr int kPitch = 190;

    bool LoadTemplate() override;

    // Searches the whole photograph and lays out the 24 patch centres.
    bool Detect();
    // Lays out the patch centres around the chart centre `pos` for a chart
    // found at `angle` degrees (below 90: upright, otherwise upside down).
    bool LayoutPatches(cv::Point pos, double angle);
};
