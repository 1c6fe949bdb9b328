// Value generators and the printf comparison shared by the quick FormatG6 test
// and the long check.
#pragma once

#include "NumberFormat.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace velvane::formatcases {

using Rng = std::mt19937_64;

enum class Kind {
  RandomBits,  // any bit pattern: every magnitude, subnormals, inf, nan
  Typical,     // magnitudes 1e-3..1e3, both signs
  NearHalf,    // within a few ulps of a decimal rounding boundary x.xxxxx5, every exponent
  NearPow10,   // within a few ulps of 10^j, every j
  Subnormal,
  ExactTie,    // exactly representable decimal ties (7 digits ending in 5)
};
constexpr Kind kAllKinds[] = {Kind::RandomBits, Kind::NearHalf,  Kind::Typical,
                              Kind::NearPow10,  Kind::Subnormal, Kind::ExactTie};

inline const char* KindName(Kind kind) {
  switch (kind) {
    case Kind::RandomBits: return "random bits";
    case Kind::Typical: return "typical";
    case Kind::NearHalf: return "near x.xxxxx5";
    case Kind::NearPow10: return "near 10^j";
    case Kind::Subnormal: return "subnormal";
    case Kind::ExactTie: return "exact tie";
  }
  return "?";
}

inline double FromBits(std::uint64_t bits) {
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

inline double Nudge(double v, int ulps) {
  for (; ulps > 0; --ulps) v = std::nextafter(v, HUGE_VAL);
  for (; ulps < 0; ++ulps) v = std::nextafter(v, -HUGE_VAL);
  return v;
}

inline int Uniform(Rng& rng, int lo, int hi) {
  return std::uniform_int_distribution<int>(lo, hi)(rng);
}

inline double WithRandomSign(Rng& rng, double v) { return (rng() & 1) != 0 ? -v : v; }

// The double nearest to the decimal "<digits>e<exp10>".
inline double ParseDecimal(long long digits, int exp10) {
  char text[48];
  std::snprintf(text, sizeof text, "%llde%d", digits, exp10);
  return std::strtod(text, nullptr);
}

inline double MakeValue(Kind kind, Rng& rng) {
  switch (kind) {
    case Kind::RandomBits:
      return FromBits(rng());
    case Kind::Typical: {
      const double magnitude = std::pow(10.0, std::uniform_real_distribution<double>(-3, 3)(rng));
      return WithRandomSign(rng, magnitude);
    }
    case Kind::NearHalf: {
      // Six digits n, a 5 appended, at decimal exponent x: the boundary between
      // n and n+1 in the sixth digit. Favour the boundaries that change the
      // number of digits (999999.5 -> 1e+06) and the smallest n.
      const int pick = Uniform(rng, 0, 7);
      const long long n = pick == 0 ? 999999 : pick == 1 ? 100000 : Uniform(rng, 100000, 999999);
      const int x = Uniform(rng, -324, 308);
      const double v = ParseDecimal(n * 10 + 5, x - 6);
      return WithRandomSign(rng, Nudge(v, Uniform(rng, -3, 3)));
    }
    case Kind::NearPow10: {
      const double v = ParseDecimal(1, Uniform(rng, -323, 308));
      return WithRandomSign(rng, Nudge(v, Uniform(rng, -3, 3)));
    }
    case Kind::Subnormal: {
      const std::uint64_t fraction = (rng() >> 12) >> Uniform(rng, 0, 51);
      return WithRandomSign(rng, FromBits(fraction == 0 ? 1 : fraction));
    }
    case Kind::ExactTie: {
      // D * 10^p with D of seven digits ending in 5, exactly representable:
      // p < 0 needs 5^-p | D, giving u / 2^-p with u = D / 5^-p odd;
      // p >= 0 needs D * 5^p < 2^53.
      const int p = Uniform(rng, -9, 14);
      if (p < 0) {
        long long pow5 = 1;
        for (int i = 0; i < -p; ++i) pow5 *= 5;
        const long long uLo = (1000000 + pow5 - 1) / pow5;
        const long long uHi = 9999999 / pow5;
        long long u = std::uniform_int_distribution<long long>(uLo, uHi)(rng) | 1;
        if (u > uHi) u -= 2;
        return WithRandomSign(rng, std::ldexp(static_cast<double>(u), p));
      }
      long long pow5 = 1;
      for (int i = 0; i < p; ++i) pow5 *= 5;
      const long long dHi = std::min<long long>(9999999, ((1LL << 53) - 1) / pow5);
      const long long d = std::uniform_int_distribution<long long>(100000, dHi / 10 - 1)(rng) * 10 + 5;
      return WithRandomSign(rng, std::ldexp(static_cast<double>(d * pow5), p));
    }
  }
  return 0;
}

// Formats values with FormatG6 into a heap buffer of exactly the documented
// size (so the address sanitizer sees any write past it) and compares each with
// snprintf("%g").
class Checker {
 public:
  // Returns false on a mismatch and keeps the first few for the report.
  bool Check(double v) {
    ++checked_;
    char* const out = buffer_.data();
    char* const end = FormatG6(v, out);
    char expected[64];
    const int expectedLength = std::snprintf(expected, sizeof expected, "%g", v);
    const std::size_t length = static_cast<std::size_t>(end - out);
    if (detail::TryFormatG6Fast(v, scratch_.data()) == nullptr) ++fallbacks_;
    if (length <= kFormatG6MaxChars && length == static_cast<std::size_t>(expectedLength) &&
        std::memcmp(out, expected, length) == 0) {
      return true;
    }
    if (++mismatches_ <= 10) {
      char bitsText[40];
      std::snprintf(bitsText, sizeof bitsText, "%a", v);
      report_ += std::string(bitsText) + ": got \"" + std::string(out, length) + "\", printf \"" +
                 expected + "\"\n";
    }
    return false;
  }

  void Merge(const Checker& other) {
    checked_ += other.checked_;
    fallbacks_ += other.fallbacks_;
    mismatches_ += other.mismatches_;
    report_ += other.report_;
  }

  std::uint64_t checked() const { return checked_; }
  std::uint64_t mismatches() const { return mismatches_; }
  std::uint64_t fallbacks() const { return fallbacks_; }
  const std::string& report() const { return report_; }

 private:
  std::vector<char> buffer_ = std::vector<char>(kFormatG6BufferChars);
  std::vector<char> scratch_ = std::vector<char>(kFormatG6BufferChars);
  std::uint64_t checked_ = 0;
  std::uint64_t mismatches_ = 0;
  std::uint64_t fallbacks_ = 0;
  std::string report_;
};

}  // namespace velvane::formatcases
