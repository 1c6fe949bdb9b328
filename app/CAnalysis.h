#pragma once

#include "CColorCorrection.h"

#include <memory>

// One analysis run: calibrates the camera from a photograph of the chart,
// converts every pixel of a photograph to L*, a*, b* and writes them to a
// text file, one line per image row, with a progress line on the console.
class CAnalysis {
public:
    CAnalysis();
    ~CAnalysis();

    CAnalysis(const CAnalysis&) = delete;
    CAnalysis& operator=(const CAnalysis&) = delete;

    // Returns false, with a message on standard error, when calibration
    // fails, the photograph cannot be read or the output cannot be written;
    // the output path is then left as it was.
    bool Run(const char* path_img, const char* path_calib, const char* path_out);

    const CColorCorrection& ColorCorrection() const { return *colorCorrection; }

private:
    std::unique_ptr<CColorCorrection> colorCorrection;
};
