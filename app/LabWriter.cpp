#include "LabWriter.h"

#include "LabTextCache.h"
#include "NumberFormat.h"

#include <atomic>
#include <memory>
#include <cstring>
#include <new>
#include <vector>

namespace {

// About this many pixels go into one block of work.
constexpr int kBlockPixels = 1 << 16;

// A thread whose colour cache served fewer than this share of a block's
// pixels converts its next kCacheRestBlocks blocks without it, then tries it
// again.
constexpr double kCacheMinHitRate = 0.5;
constexpr int kCacheRestBlocks = 32;

char* AppendSeparator(char* p)
{
    p[0] = ',';
    p[1] = ' ';
    return p + 2;
}

}  // namespace

size_t LabRowTextCapacity(int width)
{
    // Every value with its separator, the newline, and room for what the
    // formatter and the colour cache may write past the end of the text.
    return static_cast<size_t>(width) * 3 * (velvane::kFormatG6MaxChars + 2) + 1 + 64;
}

char* FormatLabRow(const double* lab, int width, char* p)
{
    const int count = 3 * width;
    for (int k = 0; k < count; ++k) {
        p = velvane::FormatG6(lab[k], p);
        if (k != count - 1) {
            p = AppendSeparator(p);
        }
    }
    *p++ = '\n';
    return p;
}

int LabBlockRows(int width)
{
    return width >= kBlockPixels ? 1 : kBlockPixels / width;
}

bool WriteLab(const cv::Mat& image, const LabTransform& transform, OutputFile& out, ProgressLine* progress,
              int blockRows, LabCacheUse cacheUse)
{
    CV_Assert(image.type() == CV_8UC3);
    const int h = image.rows;
    const int w = image.cols;
    if (h == 0 || w == 0) {
        return true;
    }
    if (blockRows <= 0) {
        blockRows = LabBlockRows(w);
    }
    const int blocks = (h + blockRows - 1) / blockRows;
    std::atomic<bool> ok{true};
    std::atomic<bool> outOfMemory{false};

#pragma omp parallel
    {
        std::vector<double> lab;
        std::vector<char> text;
        std::unique_ptr<LabTextCache> cache;
        int restBlocks = 0;  // blocks left to convert without the cache
        try {
            lab.resize(static_cast<size_t>(w) * 3);
            text.resize(LabRowTextCapacity(w) * static_cast<size_t>(blockRows));
            if (cacheUse != LabCacheUse::kNever) {
                cache = std::make_unique<LabTextCache>();
            }
        } catch (const std::bad_alloc&) {
            outOfMemory = true;
        }

#pragma omp for ordered schedule(dynamic, 1)
        for (int b = 0; b < blocks; ++b) {
            const int first = b * blockRows;
            const int last = std::min(h, first + blockRows);
            char* end = text.data();
            const bool work = ok && !outOfMemory;
            if (work && cache && restBlocks == 0) {
                int64_t hits = 0;
                for (int i = first; i < last; ++i) {
                    end = cache->FormatRow(transform, image.ptr<uint8_t>(i), w, end, hits);
                }
                const double pixels = static_cast<double>(last - first) * w;
                if (cacheUse == LabCacheUse::kAdaptive && static_cast<double>(hits) < kCacheMinHitRate * pixels) {
                    restBlocks = kCacheRestBlocks;
                }
            } else if (work) {
                for (int i = first; i < last; ++i) {
                    transform.ConvertRow(image.ptr<uint8_t>(i), w, lab.data());
                    end = FormatLabRow(lab.data(), w, end);
                }
                if (restBlocks > 0) {
                    --restBlocks;
                }
            }
#pragma omp ordered
            {
                if (work && ok && !outOfMemory) {
                    if (!out.Write(text.data(), static_cast<size_t>(end - text.data()))) {
                        ok = false;
                    } else if (progress) {
                        progress->ReportRange(static_cast<int64_t>(first) * w,
                                              static_cast<int64_t>(last) * w - 1);
                    }
                }
            }
        }
    }
    if (outOfMemory) {
        out.Fail("out of memory");
        return false;
    }
    return ok;
}
