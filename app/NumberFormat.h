#pragma once

#include <cstddef>

inline constexpr size_t kFormatG6MaxChars = 16;
char* FormatG6(double v, char* out);
