#include "NumberFormat.h"

#include <charconv>
#include <cstdint>
#include <cstring>

#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "NumberFormat.cpp assembles the text in little-endian 64-bit words"
#endif

// How the fast path works, and why it is exact
// ============================================
//
// Let |v| = m * 2^(e2 - 63) with m in [2^63, 2^64) an integer (subnormals are
// normalised, so this holds for every finite nonzero double) and
// e2 = floor(log2 |v|).
//
// 1. Decimal exponent. k = floor(e2 * log10 2), computed as (e2 * 78913) >> 18,
//    which equals the floor for every |e2| <= 1100 (checked exhaustively
//    against a long double log10; >> on a negative int is arithmetic in GCC
//    and Clang). Since
//    10^k <= 2^e2 <= |v| < 2^(e2+1) < 2 * 10^(k+1), the decimal exponent of |v|
//    is k or k+1; it is k+1 iff |v| >= 10^(k+1), decided by comparing m with
//    the table mantissa of 10^(k+1) when that power lies in the binade of v.
//    The table is not exact, so this guess e may be wrong when |v| is within
//    a relative 2^-63 of 10^(k+1); step 4 shows that this does no harm.
//
// 2. Scaling. The table holds 10^j ~ P_j * 2^c_j, P_j in [2^63, 2^64), for
//    j in [-330, 330]. P_j is built by repeated exact-or-truncated 128-bit
//    multiplication (division) by 10: each of the at most 330 steps truncates
//    a 128-bit value >= 2^127, a relative error below 2^-127, so the 128-bit
//    value is within a relative 330 * 2^-127 < 2^-118 of 10^j; rounding it to
//    64 bits adds at most half a unit, a relative 2^-64. Hence
//    P_j * 2^c_j = 10^j * (1 + d_j), |d_j| < 2^-64 + 2^-118 < 2^-63.
//    (For 0 <= j <= 27, 10^j = 5^j * 2^j with 5^j < 2^63, so P_j is exact.)
//
//    With q = 5 - e, the exact 128-bit product Z = m * P_q is the scaled value
//    S' = Z * 2^-s, s = 63 - e2 - c_q, a fixed-point number with s fraction
//    bits, and S' = S * (1 + d_q) where S = |v| * 10^q is the exact value whose
//    integer rounding gives the six digits. S < 2 * 10^6 < 2^21 (step 1), so
//    |S - S'| < 2^21 * 2^-63 = 2^-42.
//
// 3. Rounding. If the fraction of S' is farther than 2^-40 from 1/2, no
//    half-integer lies between S and S' (they are less than 2^-42 apart), so
//    round(S) = round(S') whatever the rounding rule for ties; the fast path
//    rounds S' half up. Otherwise the value goes to std::to_chars, which
//    rounds the exact binary value like printf (ties to even). Exact decimal
//    ties, e.g. 0.0009765625 or 1234565, always land in that window. The test
//    reads the top 64 bits of Z only: with t = s - 64 (in [43, 47] for S' in
//    [2^16, 2^20)), the window is 2^(t-40) >= 8 units of that word, and the
//    dropped low word is worth less than one unit, so the test is
//    conservative.
//
// 4. Exponent boundaries. Rounding at a guessed exponent e gives the correct
//    result whenever 99999.95 <= S < 1000000.5:
//    - S in [10^5, 10^6): e is the true exponent.
//    - S in [10^6, 10^6 + 0.5): the true exponent is e+1 and round(S/10) =
//      10^5; round(S) = 10^6 is turned into 10^5 at exponent e+1. The same
//      rule handles a true round-up such as 999999.5 -> "1e+06".
//    - S in [99999.95, 10^5): the true exponent is e-1 and 10*S rounds to
//      10^6, i.e. 10^5 at exponent e, which is round(S) at e.
//    A wrong guess from step 1 leaves S within a relative 2^-62 of 10^5 or
//    10^6, inside these ranges. Any rounded n outside [10^5, 10^6] is
//    rejected to the fallback as well (cannot happen, but costs nothing).
//
// 5. Form. printf's %g takes X, the exponent after rounding to six digits,
//    and uses fixed notation with 5 - X decimals when -4 <= X < 6. Rounding
//    v to 5 - X decimals gives the same six digits (after a round-up to 10^X
//    the coarser position still rounds to 10^X), so the fixed form is the six
//    digits with the point moved, and trailing zeros dropped.

namespace velvane {
namespace {

__extension__ typedef unsigned __int128 U128;

struct Pow10 {
  std::uint64_t mant;  // in [2^63, 2^64)
  int exp2;            // 10^j ~ mant * 2^exp2
};

constexpr int kPow10Min = -330;
constexpr int kPow10Max = 330;

struct Pow10Table {
  Pow10 entry[kPow10Max - kPow10Min + 1];
  constexpr const Pow10& operator[](int j) const { return entry[j - kPow10Min]; }
};

// Rounds a 128-bit normalised mantissa (value w * 2^exp2_128) to 64 bits.
constexpr Pow10 RoundTo64(U128 w, int exp2_128) {
  std::uint64_t hi = static_cast<std::uint64_t>(w >> 64);
  int exp2 = exp2_128 + 64;
  if ((static_cast<std::uint64_t>(w) >> 63) != 0) {
    if (hi == ~std::uint64_t{0}) {
      hi = std::uint64_t{1} << 63;
      ++exp2;
    } else {
      ++hi;
    }
  }
  return {hi, exp2};
}

constexpr Pow10Table MakePow10Table() {
  Pow10Table t{};
  const U128 one = U128{1} << 127;
  t.entry[-kPow10Min] = RoundTo64(one, -127);

  U128 w = one;  // 10^j ~ w * 2^x, w in [2^127, 2^128)
  int x = -127;
  for (int j = 1; j <= kPow10Max; ++j) {
    // w * 10 = (w * 5) * 2; w * 5 has 130 or 131 bits, keep the top 128.
    const U128 lo5 = U128{static_cast<std::uint64_t>(w)} * 5;
    const U128 hi5 = U128{static_cast<std::uint64_t>(w >> 64)} * 5 + (lo5 >> 64);
    const int shift = (hi5 >> 66) != 0 ? 3 : 2;
    w = (hi5 << (64 - shift)) | (U128{static_cast<std::uint64_t>(lo5)} >> shift);
    x += 1 + shift;
    t.entry[j - kPow10Min] = RoundTo64(w, x);
  }

  w = one;
  x = -127;
  for (int j = -1; j >= kPow10Min; --j) {
    // w / 10 = (w / 5) / 2; floor(w * 2^shift / 5) keeps 128 bits.
    const U128 quot = w / 5;
    const U128 rem = w % 5;
    const int shift = (quot >> 125) != 0 ? 2 : 3;
    w = (quot << shift) + (rem << shift) / 5;
    x -= 1 + shift;
    t.entry[j - kPow10Min] = RoundTo64(w, x);
  }
  return t;
}

constexpr Pow10Table kPow10 = MakePow10Table();

static_assert(kPow10[0].mant == std::uint64_t{1} << 63 && kPow10[0].exp2 == -63, "10^0");
static_assert(kPow10[27].mant == 7450580596923828125ull << 1 && kPow10[27].exp2 == 26,
              "10^27 = 5^27 * 2^27 is exact");

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

inline std::uint64_t DigitPair(std::uint32_t x) {
  std::uint16_t pair;
  std::memcpy(&pair, kDigitPairs + 2 * x, 2);
  return pair;
}

}  // namespace

char* detail::TryFormatG6Fast(double v, char* out) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  if ((bits >> 63) != 0) {
    *out++ = '-';
  }
  if (biased == 0x7FF) {
    std::memcpy(out, fraction != 0 ? "nan" : "inf", 3);
    return out + 3;
  }

  // |v| = m * 2^(e2 - 63), m in [2^63, 2^64), e2 = floor(log2 |v|).
  std::uint64_t m;
  int e2;
  if (biased != 0) {
    m = (fraction | (std::uint64_t{1} << 52)) << 11;
    e2 = biased - 1023;
  } else {
    if (fraction == 0) {
      *out = '0';
      return out + 1;
    }
    const int lz = __builtin_clzll(fraction);
    m = fraction << lz;
    e2 = -1011 - lz;
  }

  // Decimal exponent (step 1).
  int e10 = (e2 * 78913) >> 18;
  {
    const Pow10& next = kPow10[e10 + 1];
    if (next.exp2 + 63 == e2 && m >= next.mant) {
      ++e10;
    }
  }

  // Scale to [10^5, 10^6) and round (steps 2 to 4).
  const Pow10& scale = kPow10[5 - e10];
  const U128 z = U128{m} * scale.mant;
  const int t = 63 - e2 - scale.exp2 - 64;
  if (t < 41 || t > 63) {
    return nullptr;
  }
  const std::uint64_t hi = static_cast<std::uint64_t>(z >> 64);
  const std::uint64_t fracBits = hi & ((std::uint64_t{1} << t) - 1);
  const std::uint64_t half = std::uint64_t{1} << (t - 1);
  const std::uint64_t window = std::uint64_t{1} << (t - 40);
  if (fracBits - (half - window) <= 2 * window) {
    return nullptr;  // within 2^-40 of a half: let the exact path decide
  }
  std::uint32_t n = static_cast<std::uint32_t>(hi >> t) + (fracBits > half ? 1u : 0u);
  if (n == 1000000) {
    n = 100000;
    ++e10;
  } else if (n < 100000 || n > 1000000) {
    return nullptr;
  }

  // Six ASCII digits in bytes 0..5 of `digits` (byte 0 first).
  const std::uint32_t top = n / 10000;
  const std::uint32_t rest = n % 10000;
  const std::uint64_t digits =
      DigitPair(top) | DigitPair(rest / 100) << 16 | DigitPair(rest % 100) << 32;
  // Significant digits without trailing zeros: the last nonzero digit byte.
  const std::uint64_t values = digits - 0x303030303030ull;
  const int nd = ((63 - __builtin_clzll(values)) >> 3) + 1;

  if (e10 >= 0 && e10 < 6) {
    // Fixed, point after digit e10: "123.456", "1234.5", "100000".
    const int lead = e10 + 1;
    const std::uint64_t leadMask = (std::uint64_t{1} << (8 * lead)) - 1;
    const std::uint64_t word =
        (digits & leadMask) | std::uint64_t{'.'} << (8 * lead) | (digits & ~leadMask) << 8;
    std::memcpy(out, &word, 8);
    return out + (nd > lead ? nd + 1 : lead);
  }
  if (e10 < 0 && e10 >= -4) {
    // Fixed below one: "0.0123456".
    const int zeros = -e10 - 1;
    std::memcpy(out, "0.000000", 8);
    std::memcpy(out + 2 + zeros, &digits, 8);
    return out + 2 + zeros + nd;
  }
  // Exponent form: "1.23456e+07", "1e-300".
  const std::uint64_t word = (digits & 0xFF) | std::uint64_t{'.'} << 8 | (digits & ~0xFFull) << 8;
  std::memcpy(out, &word, 8);
  out += nd > 1 ? nd + 1 : 1;
  out[0] = 'e';
  std::uint32_t absExp;
  if (e10 < 0) {
    out[1] = '-';
    absExp = static_cast<std::uint32_t>(-e10);
  } else {
    out[1] = '+';
    absExp = static_cast<std::uint32_t>(e10);
  }
  if (absExp >= 100) {
    out[2] = static_cast<char>('0' + absExp / 100);
    std::memcpy(out + 3, kDigitPairs + 2 * (absExp % 100), 2);
    return out + 5;
  }
  std::memcpy(out + 2, kDigitPairs + 2 * absExp, 2);
  return out + 4;
}

char* FormatG6(double v, char* out) {
  if (char* end = detail::TryFormatG6Fast(v, out)) {
    return end;
  }
  // Exact path: std::to_chars with a precision formats like printf's %g.
  return std::to_chars(out, out + kFormatG6BufferChars, v, std::chars_format::general, 6).ptr;
}

}  // namespace velvane
