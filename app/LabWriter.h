#pragma once

#include "LabTransform.h"
#include "OutputFile.h"
#include "ProgressLine.h"

#include <opencv2/core.hpp>

#include <cstdint>

// Writes the text of one image row: 3 x width values, ", " between them, no
// separator after the last, then a newline. `out` must hold
// LabRowTextCapacity(width) bytes. Returns the end of the text.
char* FormatLabRow(const double* lab, int width, char* out);
size_t LabRowTextCapacity(int width);

// When the writer keeps the text of recently seen colours (LabTextCache):
// by default while it serves enough pixels; always or never for tests and
// benchmarks. The output is the same in every case.
enum class LabCacheUse { kAdaptive, kAlways, kNever };

// Writes the L*, a*, b* of every pixel of `image` (8-bit B, G, R), byte for
// byte what the per-pixel reference writes. Blocks of rows are converted and
// formatted in parallel and written strictly in row order by the thread
// that finished the previous block; memory in flight per thread is a block
// of text, a row of values and a 1 MiB colour cache. Progress is reported
// after each block. Returns false when a write fails (the output then holds
// the error). `blockRows` 0 chooses the block size from the width.
bool WriteLab(const cv::Mat& image, const LabTransform& transform, OutputFile& out, ProgressLine* progress,
              int blockRows = 0, LabCacheUse cacheUse = LabCacheUse::kAdaptive);

// Rows per block for an image `width` pixels wide.
int LabBlockRows(int width);
