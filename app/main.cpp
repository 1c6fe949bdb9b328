#include "CAnalysis.h"
#include "OutputFile.h"

#include <opencv2/core/utils/logger.hpp>

#include <cstdio>
#include <cstring>

namespace {

const char kUsage[] =
    "Usage: velvane PHOTO CALIB_PHOTO OUT.txt\n"
    "\n"
    "Calibrates the camera from CALIB_PHOTO, a photograph of a Macbeth ColorChecker\n"
    "chart, then writes the CIE L*a*b* of every pixel of PHOTO to OUT.txt: one line\n"
    "per image row, three values per pixel, separated by \", \".\n"
    "\n"
    "The reference data is read from the working directory: data\\CasmatchTmpl.jpg,\n"
    "data\\MacbethTmpl_korr_v2.jpg, Data\\MeasuredMacbethXYZ.csv,\n"
    "Data\\MonitorRGB4913DG.csv and Data\\MonitorXYZ4913N.csv.\n"
    "An existing OUT.txt is replaced only when the whole run succeeds.\n";

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc < 4) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
    OutputFile::RemovePendingOnSignal();

    CAnalysis analysis;
    return analysis.Run(argv[1], argv[2], argv[3]) ? 0 : 1;
}
