#pragma once

#include <opencv2/core.hpp>

namespace specklecut {

// Fills, in place, the small regions of an 8-bit one-channel image.
//
// Candidate pixels are those of value 10 and above when `polarity` is 1, of value 10
// and below otherwise. A region is a set of candidates connected through edges
// (`eightConnected` false) or edges and corners (true). Every region whose pixel count,
// compared as an unsigned 64-bit number with `sizeLimit` sign-extended, is at most the
// limit gets the fill value: 0 for polarity 1, otherwise the low 8 bits of
// 255 - 255 * polarity. All other pixels keep their values.
//
// Extra memory: two rows of runs, and 4 bytes per run that touches no run of the row
// above (a provisional region). Throws std::invalid_argument if `grey` is not CV_8UC1,
// std::bad_alloc when memory runs out.
void FillSmallRegions(cv::Mat& grey, int sizeLimit, int polarity, bool eightConnected);

}  // namespace specklecut
