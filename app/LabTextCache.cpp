#include "LabTextCache.h"

#include "NumberFormat.h"

#include <cstring>

namespace {

char* AppendSeparator(char* p)
{
    p[0] = ',';
    p[1] = ' ';
    return p + 2;
}

uint32_t Slot(uint32_t key)
{
    return (key * 2654435761u) >> (32 - LabTextCache::kBits);
}

}  // namespace

LabTextCache::LabTextCache() : entries_(size_t{1} << kBits) {}

char* LabTextCache::FormatRow(const LabTransform& transform, const uint8_t* bgr, int width, char* p,
                              int64_t& hits)
{
    for (int j = 0; j < width; ++j) {
        const uint8_t* px = bgr + 3 * j;
        const uint32_t key = px[0] | static_cast<uint32_t>(px[1]) << 8 | static_cast<uint32_t>(px[2]) << 16;
        Entry& e = entries_[Slot(key)];
        if (e.key == key) {
            ++hits;
        } else {
            double lab[3];
            transform.Convert(px, lab);
            char* t = velvane::FormatG6(lab[0], e.text);
            t = velvane::FormatG6(lab[1], AppendSeparator(t));
            t = velvane::FormatG6(lab[2], AppendSeparator(t));
            e.key = key;
            e.length = static_cast<uint32_t>(t - e.text);
        }
        // A fixed-size copy is cheaper than one of the exact length; the
        // caller's buffer has room for the excess.
        std::memcpy(p, e.text, 48);
        p += e.length;
        if (j != width - 1) {
            p = AppendSeparator(p);
        }
    }
    *p++ = '\n';
    return p;
}
