#pragma once

#include "LabTransform.h"

#include <cstdint>
#include <vector>

// The text "L, a, b" of recently seen colours, for one thread.
//
// The text of a pixel depends only on its B, G, R, and photographs repeat
// colours a lot, so a direct-mapped table keyed by the 24-bit colour spares
// the conversion and the formatting of most pixels. Where colours hardly
// repeat (noise), the table costs more than it saves: the writer then
// leaves it aside for a while (see LabWriter).
class LabTextCache {
public:
    static constexpr int kBits = 14;  // 16K entries of one cache line: 1 MiB

    LabTextCache();

    // Appends the text of one row of `width` pixels, as FormatLabRow does,
    // and counts the pixels found in the table. `out` needs
    // LabRowTextCapacity(width) bytes.
    char* FormatRow(const LabTransform& transform, const uint8_t* bgr, int width, char* out, int64_t& hits);

private:
    static constexpr uint32_t kNoKey = 0xFFFFFFFFu;

    struct alignas(64) Entry {
        uint32_t key = kNoKey;
        uint32_t length = 0;
        char text[56];  // at most 43 characters, plus the formatter's scratch
    };
    static_assert(sizeof(Entry) == 64, "one cache line per entry");

    std::vector<Entry> entries_;
};
