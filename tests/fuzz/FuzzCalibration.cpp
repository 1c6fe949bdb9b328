// Arbitrary bytes as the chart template and the calibration photograph,
// through loading, chart search and patch measurement.
//
// Input: two bytes giving the template's length, the template file, then the
// photograph file. Run with OPENCV_IO_MAX_IMAGE_PIXELS set (scripts/fuzz.sh
// does) so that the decoded sizes, and the search, stay small.

#include "CDetectMacbeth.h"
#include "FuzzSupport.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    QuietConsole();
    // The detector finds its template relative to the working directory.
    std::filesystem::current_path(ScratchDir());
    std::filesystem::create_directories("data");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) {
        return 0;
    }
    const size_t split = std::min(size - 2, static_cast<size_t>(data[0] | (data[1] << 8)));
    WriteScratch("data/MacbethTmpl_korr_v2.jpg", data + 2, split);
    WriteScratch("calib.img", data + 2 + split, size - 2 - split);

    CDetectMacbeth detector;
    if (!detector.LoadTemplate()) {
        return 0;
    }
    if (!detector.LoadInputImage("calib.img")) {
        return 0;
    }
    cv::Mat samples;
    if (detector.Detect()) {
        if (!detector.MeasurePatches(samples) || samples.rows != 24 || samples.cols != 3) {
            std::abort();
        }
    } else if (detector.MeasurePatches(samples)) {
        std::abort();  // nothing was located, so nothing may be measured
    }
    return 0;
}
