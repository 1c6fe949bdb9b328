#include "CAnalysis.h"

#include "OutputFile.h"
#include "ProgressLine.h"
#include "LabTransform.h"
#include "LabWriter.h"

#include "ImageFile.h"

#include <opencv2/imgcodecs.hpp>

#include <cstdio>
#include <iostream>

#include <sys/stat.h>

namespace {

// True when both paths name one existing file.
bool SameFile(const char* a, const char* b)
{
    struct stat sa, sb;
    return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
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

    std::string problem;
    const cv::Mat mat_img = ReadImageFile(path_img, cv::IMREAD_COLOR, &problem);
    if (mat_img.empty()) {
        std::fprintf(stderr, "Can't read the photograph %s: %s; no output was written to %s.\n", path_img,
                     problem.c_str(), path_out);
        return false;
    }
    for (const char* input : {path_img, path_calib}) {
        if (SameFile(input, path_out)) {
            std::fprintf(stderr, "Can't write the output file %s: it is the input photograph %s.\n", path_out,
                         input);
            return false;
        }
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
