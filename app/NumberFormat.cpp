#include "NumberFormat.h"

#include <cstdio>

char* FormatG6(double v, char* out)
{
    return out + std::snprintf(out, kFormatG6MaxChars + 1, "%g", v);
}
