#include "CAnalysis.h"

#include "OutputFile.h"
#include "ProgressLine.h"
#include "LabTransform.h"
#include "LabWriter.h"

#include <opencv2/imgcodecs.hpp>

#include <cstdio>
#include <iostream>

namespace {

cv::Mat ReadPhotograph(const char* path)
{
    try {
        return cv::imread(path, cv::IMREAD_COLOR);
    } catch (const cv::Exception&) {
        return cv::Mat();
    }
}

}  // namespace

CAnalysis::CAnalysis() : colorCorrection(std::make_unique<CColorCorrection>()) {}

CAnalysis::~CAnalysis() = default;

bool CAnalysis::Run(const char* path_img, const char* path_calib, const char* path_out)
{
    colorCorrection->LoadReferenceData();
    if (!colorCorrection->Calibrate(path_calib)) {
        std::fprintf(stderr, "Calibration failed: no output was written to %s.\n", path_out);
        return false;
    }

    const cv::Mat mat_img = ReadPhotograph(path_img);
    if (mat_img.empty()) {
        std::fprintf(stderr, "Can't read the photograph %s: no output was written to %s.\n", path_img,
                     path_out);
        return false;
    }

    OutputFile ofs;
    std::string error;
    if (!ofs.Open(path_out, error)) {
        std::fprintf(stderr, "Can't write the output file %s: %s.\n", path_out, error.c_str());
        return false;
    }
    const int64_t total = static_cast<int64_t>(mat_img.rows) * mat_img.cols;
    ProgressLine progress(std::cout, total);
    const LabTransform transform(*colorCorrection);
    WriteLab(mat_img, transform, ofs, &progress);
    std::cout.flush();
    if (!ofs.Commit(error)) {
        std::fprintf(stderr, "\nCan't write the output file %s: %s.\n", path_out, error.c_str());
        return false;
    }
    return true;
}
