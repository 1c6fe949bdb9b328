#include "FormatCases.h"
#include "NumberFormat.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <sstream>
#include <string>

// Sanitized builds run the random sweeps with fewer values.
#if defined(__SANITIZE_ADDRESS__)
#define VELVANE_FORMAT_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELVANE_FORMAT_TEST_SANITIZED 1
#endif
#endif
#ifdef VELVANE_FORMAT_TEST_SANITIZED
constexpr int kValuesPerKind = 200000;
#else
constexpr int kValuesPerKind = 500000;
#endif

namespace velvane {
namespace {

using formatcases::Checker;
using formatcases::Kind;

std::string Format(double v) {
  char buffer[kFormatG6BufferChars];
  return std::string(buffer, FormatG6(v, buffer));
}

std::string StreamText(double v) {
  std::ostringstream stream;
  stream << v;
  return stream.str();
}

TEST(FormatG6, BoundaryCases) {
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {
      {999999.5, "1e+06"},            // rounds up into the exponent form
      {999999.49999999994, "999999"},
      {1e6, "1e+06"},
      {99999.95, "99999.9"},          // binary value is just below ...95
      {9.999995e-05, "0.0001"},       // binary value is just above, rounds to 10^-4 -> fixed
      {9.99999e-05, "9.99999e-05"},
      {9.9999949999999e-05, "9.99999e-05"},
      {0.0001, "0.0001"},             // smallest exponent of the fixed form
      {1e-05, "1e-05"},
      {1.000005, "1.00001"},          // binary value is above the decimal tie
      {2.5e-06, "2.5e-06"},
      {100000.5, "100000"},           // exact ties go to the even digit
      {123456.5, "123456"},
      {123457.5, "123458"},
      {1234565.0, "1.23456e+06"},
      {0.0009765625, "0.000976562"},  // 2^-10
      {0.001953125, "0.00195312"},    // 2^-9
      {123456.0, "123456"},
      {1234567.0, "1.23457e+06"},
      {0.1, "0.1"},
      {100.0, "100"},
      {-53.28, "-53.28"},
      {3.14159265, "3.14159"},
      {1.5e-07, "1.5e-07"},
      {1e-300, "1e-300"},
      {1e+21, "1e+21"},
      {1e+23, "1e+23"},
      {DBL_MAX, "1.79769e+308"},
      {DBL_MIN, "2.22507e-308"},
      {DBL_TRUE_MIN, "4.94066e-324"},
      {-DBL_TRUE_MIN, "-4.94066e-324"},
  };
  Checker checker;
  for (const Case& c : cases) {
    EXPECT_EQ(Format(c.value), c.text) << "value " << c.value;
    for (int ulps = -4; ulps <= 4; ++ulps) {
      checker.Check(formatcases::Nudge(c.value, ulps));
      checker.Check(-formatcases::Nudge(c.value, ulps));
    }
  }
  EXPECT_EQ(checker.mismatches(), 0u) << checker.report();
}

TEST(FormatG6, SpecialValuesAsTheStreamWritesThem) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {
      {0.0, "0"},
      {-0.0, "-0"},
      {inf, "inf"},
      {-inf, "-inf"},
      {nan, "nan"},
      {std::copysign(nan, -1.0), "-nan"},
      {formatcases::FromBits(0x7FF0000000000001ull), "nan"},   // signalling, payload 1
      {formatcases::FromBits(0xFFF8000000000123ull), "-nan"},  // quiet, payload, sign
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StreamText(c.value), c.text) << "stream spelling changed";
    EXPECT_EQ(Format(c.value), c.text);
  }
}

TEST(FormatG6, MatchesTheStreamOnSampledValues) {
  formatcases::Rng rng(7);
  for (const Kind kind : formatcases::kAllKinds) {
    int mismatches = 0;
    for (int i = 0; i < 5000; ++i) {
      const double v = formatcases::MakeValue(kind, rng);
      const std::string expected = StreamText(v);
      if (Format(v) != expected && ++mismatches <= 5) {
        ADD_FAILURE() << formatcases::KindName(kind) << ": " << expected << " vs " << Format(v);
      }
    }
    EXPECT_EQ(mismatches, 0) << formatcases::KindName(kind);
  }
}

TEST(FormatG6, MatchesPrintfAcrossMagnitudes) {
  formatcases::Rng rng(20240611);
  for (const Kind kind : formatcases::kAllKinds) {
    Checker checker;
    for (int i = 0; i < kValuesPerKind; ++i) {
      checker.Check(formatcases::MakeValue(kind, rng));
    }
    EXPECT_EQ(checker.mismatches(), 0u) << formatcases::KindName(kind) << "\n" << checker.report();
    // A fast path that gives up on ordinary values would be correct but slow.
    if (kind == Kind::RandomBits || kind == Kind::Typical) {
      EXPECT_LE(checker.fallbacks(), checker.checked() / 100000) << formatcases::KindName(kind);
    }
  }
}

TEST(FormatG6, FastPathHandlesEveryBinaryExponent) {
  // 1.5 * 2^e and the largest mantissa at every exponent: a wrong decimal
  // exponent estimate for some binade would send all of it to the slow path.
  int fallbacks = 0;
  char buffer[kFormatG6BufferChars];
  for (int e = -1074; e <= 1023; ++e) {
    for (const double mantissa : {1.5, 1.9999999999999998, 1.0000000000000002}) {
      const double v = std::ldexp(e < -1022 ? 1.0 : mantissa, e);
      if (detail::TryFormatG6Fast(v, buffer) == nullptr) ++fallbacks;
    }
  }
  EXPECT_LE(fallbacks, 10);
}

}  // namespace
}  // namespace velvane
