#include "RegionFill.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Run-based labelling in two passes over the rows, with no label image.
//
// Pass 1 cuts every row into runs of candidate pixels and links each run to the runs of
// the row above that touch it. A run that touches none opens a provisional region; a run
// that touches some takes the provisional region of the first of them, and the regions of
// all the runs it touches are joined in a union-find forest that also sums the pixel
// counts. Afterwards every provisional region learns the verdict of its whole region.
//
// Pass 2 cuts the rows into runs again and links them by the same rule, which hands out
// the very same provisional regions in the same order, so the verdicts can be looked up
// without storing a label per pixel or per run; the runs of small regions are filled in
// place. Each row is read before it is filled, and the runs of the row above are kept.

namespace specklecut {
namespace {

constexpr std::uint8_t kThreshold = 10;

struct Run {
    std::int32_t begin;  // first column
    std::int32_t end;    // one past the last column
    std::int32_t region; // provisional region
};

template <bool Bright>
inline bool IsCandidate(std::uint8_t v)
{
    return Bright ? v >= kThreshold : v <= kThreshold;
}

// First column in [from, cols) whose candidate state is `Want`, or cols.
template <bool Bright, bool Want>
inline std::int32_t Seek(const std::uint8_t* row, std::int32_t from, std::int32_t cols)
{
    if (from >= cols || IsCandidate<Bright>(row[from]) == Want) {
        return from;  // short runs and gaps end here
    }
    ++from;
#if defined(__SSE2__)
    const __m128i threshold = _mm_set1_epi8(static_cast<char>(kThreshold));
    while (cols - from >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + from));
        const __m128i candidate = Bright ? _mm_cmpeq_epi8(_mm_max_epu8(v, threshold), v)
                                         : _mm_cmpeq_epi8(_mm_min_epu8(v, threshold), v);
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(candidate));
        if (!Want) {
            mask ^= 0xFFFFu;
        }
        if (mask != 0) {
            return from + __builtin_ctz(mask);
        }
        from += 16;
    }
#endif
    while (from < cols && IsCandidate<Bright>(row[from]) != Want) {
        ++from;
    }
    return from;
}

// Cuts one row into its runs of candidates. `runs` has room for the most runs a row can
// hold, so it never reallocates.
template <bool Bright>
void CutRow(const std::uint8_t* row, std::int32_t cols, std::vector<Run>& runs)
{
    runs.clear();
    std::int32_t x = Seek<Bright, true>(row, 0, cols);
    while (x < cols) {
        const std::int32_t end = Seek<Bright, false>(row, x + 1, cols);
        runs.push_back({x, end, 0});
        x = Seek<Bright, true>(row, end, cols);
    }
}

// Union-find forest over the provisional regions. An entry below 0 is a root and holds
// minus the pixel count of its region, saturated at 2^31 (more than any limit that needs
// an exact count); an entry of 0 or more is the parent, always of a smaller index. After
// Decide every entry holds its region's verdict instead: 1 to fill, 0 to keep.
class Forest {
public:
    std::int32_t Open(std::int32_t count)
    {
        if (parent_.size() >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
            throw std::bad_alloc();
        }
        parent_.push_back(-count);
        return static_cast<std::int32_t>(parent_.size() - 1);
    }

    std::int32_t Root(std::int32_t x)
    {
        // Path halving: every visited entry skips to its grandparent.
        for (;;) {
            const std::int32_t p = parent_[x];
            if (p < 0) {
                return x;
            }
            const std::int32_t g = parent_[p];
            if (g < 0) {
                return p;
            }
            parent_[x] = g;
            x = g;
        }
    }

    void Join(std::int32_t a, std::int32_t b)
    {
        a = Root(a);
        b = Root(b);
        if (a == b) {
            return;
        }
        if (a > b) {
            std::swap(a, b);
        }
        parent_[a] = Sum(parent_[a], parent_[b]);
        parent_[b] = a;
    }

    void Grow(std::int32_t x, std::int32_t count)
    {
        const std::int32_t r = Root(x);
        parent_[r] = Sum(parent_[r], -count);
    }

    // Gives every entry its region's verdict. Returns whether any region is filled.
    bool Decide(std::uint64_t limit)
    {
        bool any = false;
        for (std::size_t i = 0; i < parent_.size(); ++i) {
            const std::int32_t p = parent_[i];
            if (p < 0) {
                const auto count = static_cast<std::uint64_t>(-static_cast<std::int64_t>(p));
                parent_[i] = count <= limit ? 1 : 0;
                any = any || parent_[i] != 0;
            } else {
                parent_[i] = parent_[static_cast<std::size_t>(p)];  // p < i: already a verdict
            }
        }
        return any;
    }

    bool Fills(std::int32_t x) const { return parent_[static_cast<std::size_t>(x)] != 0; }

private:
    // Sum of two negated counts, saturated at the lowest int32.
    static std::int32_t Sum(std::int32_t a, std::int32_t b)
    {
        const std::int64_t s = static_cast<std::int64_t>(a) + b;
        const std::int64_t lowest = std::numeric_limits<std::int32_t>::min();
        return static_cast<std::int32_t>(s < lowest ? lowest : s);
    }

    std::vector<std::int32_t> parent_;
};

// Gives each run of `cur` the provisional region of the first run of `prev` it touches,
// or the next new one. With `Learn`, new regions are opened in `forest` and the regions
// and counts of touching runs are joined; without, the regions are only handed out again,
// counted by `next`.
template <bool Learn>
void Link(const std::vector<Run>& prev, std::vector<Run>& cur, std::int32_t reach, Forest& forest,
          std::int32_t& next)
{
    // Runs a (above) and b touch when a.begin < b.end + reach and a.end + reach > b.begin,
    // reach being 1 with corner neighbours and 0 without.
    std::size_t j = 0;
    const std::size_t n = prev.size();
    for (Run& r : cur) {
        while (j < n && prev[j].end + reach <= r.begin) {
            ++j;
        }
        if (j < n && prev[j].begin < r.end + reach) {
            r.region = prev[j].region;
            if (Learn) {
                for (std::size_t k = j + 1; k < n && prev[k].begin < r.end + reach; ++k) {
                    forest.Join(r.region, prev[k].region);
                }
                forest.Grow(r.region, r.end - r.begin);
            }
        } else {
            r.region = Learn ? forest.Open(r.end - r.begin) : next++;
        }
    }
}

template <bool Bright>
void FillAll(cv::Mat& grey, std::uint8_t fill)
{
    for (int y = 0; y < grey.rows; ++y) {
        std::uint8_t* row = grey.ptr<std::uint8_t>(y);
        for (int x = 0; x < grey.cols; ++x) {
            row[x] = IsCandidate<Bright>(row[x]) ? fill : row[x];
        }
    }
}

template <bool Bright>
void FillSmall(cv::Mat& grey, std::uint64_t limit, std::uint8_t fill, std::int32_t reach)
{
    const std::int32_t cols = grey.cols;
    const std::size_t maxRuns = static_cast<std::size_t>(cols) / 2 + 1;
    std::vector<Run> prev;
    std::vector<Run> cur;
    prev.reserve(maxRuns);
    cur.reserve(maxRuns);

    Forest forest;
    std::int32_t unused = 0;
    for (int y = 0; y < grey.rows; ++y) {
        CutRow<Bright>(grey.ptr<std::uint8_t>(y), cols, cur);
        Link<true>(prev, cur, reach, forest, unused);
        prev.swap(cur);
    }
    if (!forest.Decide(limit)) {
        return;
    }

    prev.clear();
    std::int32_t next = 0;
    for (int y = 0; y < grey.rows; ++y) {
        std::uint8_t* row = grey.ptr<std::uint8_t>(y);
        CutRow<Bright>(row, cols, cur);
        Link<false>(prev, cur, reach, forest, next);
        for (const Run& r : cur) {
            if (forest.Fills(r.region)) {
                std::memset(row + r.begin, fill, static_cast<std::size_t>(r.end - r.begin));
            }
        }
        prev.swap(cur);
    }
}

}  // namespace

void FillSmallRegions(cv::Mat& grey, int sizeLimit, int polarity, bool eightConnected)
{
    if (grey.type() != CV_8UC1 || grey.dims != 2) {
        throw std::invalid_argument("FillSmallRegions needs an 8-bit one-channel image");
    }
    if (grey.cols >= std::numeric_limits<std::int32_t>::max()) {
        throw std::bad_alloc();  // run ends would not fit
    }
    const bool bright = polarity == 1;
    // 255 - 255 * polarity in 32-bit arithmetic, low 8 bits; unsigned to wrap without UB.
    const auto fill = static_cast<std::uint8_t>(255u - 255u * static_cast<std::uint32_t>(polarity));
    const auto limit = static_cast<std::uint64_t>(static_cast<std::int64_t>(sizeLimit));
    const std::uint64_t pixels = static_cast<std::uint64_t>(grey.rows) * static_cast<std::uint64_t>(grey.cols);

    if (limit == 0 || pixels == 0) {
        return;  // every region has at least one pixel
    }
    if (limit >= pixels) {
        // No region can exceed the limit: every candidate is filled.
        bright ? FillAll<true>(grey, fill) : FillAll<false>(grey, fill);
        return;
    }
    const std::int32_t reach = eightConnected ? 1 : 0;
    bright ? FillSmall<true>(grey, limit, fill, reach) : FillSmall<false>(grey, limit, fill, reach);
}

}  // namespace specklecut
