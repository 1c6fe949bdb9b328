#pragma once

#include <cstdint>
#include <ostream>
#include <string>

// The console progress text "\r[P% / 100%] ", where P is the share of pixels
// finished before the current one: float(index) / float(total), widened and
// multiplied by 100, shown with 3 significant digits.
//
// A text is written only when it differs from the one written before it, so
// the console shows what it would show if every pixel wrote its text, with
// a few thousand writes instead of one per pixel.
class ProgressLine {
public:
    ProgressLine(std::ostream& out, int64_t total) : out_(out), total_(total) {}

    // The percentage for pixel `index` in single precision, widened.
    double Percent(int64_t index) const
    {
        return static_cast<double>(static_cast<float>(index) / static_cast<float>(total_)) * 100.0;
    }
    // The text shown for pixel `index`.
    std::string Text(int64_t index) const;

    // Reports pixel `index`.
    void Report(int64_t index);
    // Reports pixels first to last (inclusive) in order. The text is monotone
    // in the index, so only the places where it changes are looked up.
    void ReportRange(int64_t first, int64_t last);

private:
    void Show(const std::string& text);

    std::ostream& out_;
    int64_t total_;
    std::string last_;
    bool shown_ = false;
};
