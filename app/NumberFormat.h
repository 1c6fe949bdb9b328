// Fast, exact text formatting of doubles for the L*a*b* output file.
//
// FormatG6 writes exactly the characters that `std::ostream << v` writes with
// the default flags and precision 6 in the classic "C" locale, which is what
// `printf("%g", v)` writes with glibc:
//
//   - six significant digits, correctly rounded from the exact binary value
//     (exact decimal ties go to the even digit);
//   - fixed notation when the decimal exponent X of the rounded value is in
//     [-4, 5], otherwise exponent notation with at least two exponent digits
//     ("1e+06", "1.5e-07", "1e-300");
//   - trailing zeros and a trailing decimal point removed;
//   - "-0" for negative zero, "inf", "-inf", "nan" and "-nan" (a NaN with the
//     sign bit set).
//
// It assumes the default floating-point environment (round to nearest), as
// every part of the program does.
#pragma once

#include <cstddef>

namespace velvane {

// Longest text FormatG6 produces: "-1.23456e-308".
constexpr std::size_t kFormatG6MaxChars = 13;

// Room the caller must provide at `out`. FormatG6 writes whole 8-byte words
// and may therefore write scratch bytes past the returned end (never past
// out + kFormatG6BufferChars).
constexpr std::size_t kFormatG6BufferChars = 16;

// Writes the text of `v` starting at `out` and returns the end of the text.
// No terminating NUL is written. `out` must have room for
// kFormatG6BufferChars characters.
char* FormatG6(double v, char* out);

namespace detail {

// The fast path of FormatG6 alone: writes the text and returns its end when it
// can prove the rounding, returns nullptr (having possibly written scratch
// bytes) when the value must go to the exact fallback. Exposed for tests.
char* TryFormatG6Fast(double v, char* out);

}  // namespace detail
}  // namespace velvane
