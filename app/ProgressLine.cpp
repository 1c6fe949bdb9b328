#include "ProgressLine.h"

#include <iomanip>
#include <sstream>

std::string ProgressLine::Text(int64_t index) const
{
    std::ostringstream s;
    s << std::setprecision(3) << Percent(index);
    return "\r[" + s.str() + "% / 100%] ";
}

void ProgressLine::Show(const std::string& text)
{
    if (shown_ && text == last_) {
        return;
    }
    out_ << text;
    last_ = text;
    shown_ = true;
}

void ProgressLine::Report(int64_t index)
{
    Show(Text(index));
}

void ProgressLine::ReportRange(int64_t first, int64_t last)
{
    while (first <= last) {
        const std::string text = Text(first);
        Show(text);
        if (Text(last) == text) {
            return;
        }
        // Smallest index after `first` whose text differs.
        int64_t lo = first;  // text(lo) == text
        int64_t hi = last;   // text(hi) != text
        while (hi - lo > 1) {
            const int64_t mid = lo + (hi - lo) / 2;
            (Text(mid) == text ? lo : hi) = mid;
        }
        first = hi;
    }
}
