// Cost of writing one double as text with six significant digits (%g), per
// number, for FormatG6 and the standard ways of doing it. Each benchmark writes
// a block of values one after the other into a buffer, as the output file
// writer does; the "per_number" counter is the figure to read.
#include "NumberFormat.h"

#include <benchmark/benchmark.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <random>
#include <streambuf>
#include <vector>

namespace {

constexpr std::size_t kBlock = 4096;
constexpr std::size_t kRoom = 32;  // per number in the output buffer

enum Values { kLab, kTypical, kRandom };

// kLab: L* in [0, 100], a* and b* in [-110, 110] as triples.
// kTypical: magnitudes log-uniform in [1e-3, 1e3], random sign.
// kRandom: random bit patterns, finite values only (every magnitude).
std::vector<double> MakeValues(Values kind) {
  std::mt19937_64 rng(42);
  std::uniform_real_distribution<double> unit(0, 1);
  std::vector<double> values(kBlock);
  for (std::size_t i = 0; i < kBlock; ++i) {
    double v = 0;
    switch (kind) {
      case kLab:
        v = i % 3 == 0 ? 100 * unit(rng) : 220 * unit(rng) - 110;
        break;
      case kTypical:
        v = std::pow(10.0, 6 * unit(rng) - 3) * ((rng() & 1) != 0 ? -1 : 1);
        break;
      case kRandom:
        do {
          const std::uint64_t bits = rng();
          std::memcpy(&v, &bits, sizeof v);
        } while (!std::isfinite(v));
        break;
    }
    values[i] = v;
  }
  return values;
}

void Finish(benchmark::State& state) {
  // Seconds per number (printed with an SI prefix, e.g. "11.2ns").
  state.counters["per_number"] = benchmark::Counter(
      static_cast<double>(kBlock),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_FormatG6(benchmark::State& state) {
  const std::vector<double> values = MakeValues(static_cast<Values>(state.range(0)));
  std::vector<char> text(kBlock * kRoom);
  for (auto _ : state) {
    char* out = text.data();
    for (const double v : values) {
      out = velvane::FormatG6(v, out);
      *out++ = ' ';
    }
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
  Finish(state);
}

void BM_Snprintf(benchmark::State& state) {
  const std::vector<double> values = MakeValues(static_cast<Values>(state.range(0)));
  std::vector<char> text(kBlock * kRoom);
  for (auto _ : state) {
    char* out = text.data();
    for (const double v : values) {
      out += std::snprintf(out, kRoom, "%g", v);
      *out++ = ' ';
    }
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
  Finish(state);
}

void BM_ToChars(benchmark::State& state) {
  const std::vector<double> values = MakeValues(static_cast<Values>(state.range(0)));
  std::vector<char> text(kBlock * kRoom);
  for (auto _ : state) {
    char* out = text.data();
    for (const double v : values) {
      out = std::to_chars(out, out + kRoom, v, std::chars_format::general, 6).ptr;
      *out++ = ' ';
    }
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
  Finish(state);
}

// A stream buffer over a fixed array, so the stream benchmark measures the
// stream's formatting rather than string growth or file output.
class ArrayBuf : public std::streambuf {
 public:
  explicit ArrayBuf(std::vector<char>& text) : text_(text) { Rewind(); }
  void Rewind() { setp(text_.data(), text_.data() + text_.size()); }

 private:
  std::vector<char>& text_;
};

void BM_Ostream(benchmark::State& state) {
  const std::vector<double> values = MakeValues(static_cast<Values>(state.range(0)));
  std::vector<char> text(kBlock * kRoom);
  ArrayBuf buf(text);
  std::ostream stream(&buf);
  for (auto _ : state) {
    buf.Rewind();
    for (const double v : values) {
      stream << v << ' ';
    }
    benchmark::ClobberMemory();
  }
  Finish(state);
}

void ValueSets(benchmark::internal::Benchmark* b) {
  b->ArgName("values");
  b->Arg(kLab)->Arg(kTypical)->Arg(kRandom);
}

}  // namespace

// values/0: L*a*b*-like, values/1: typical 1e-3..1e3, values/2: random doubles.
BENCHMARK(BM_FormatG6)->Apply(ValueSets);
BENCHMARK(BM_ToChars)->Apply(ValueSets);
BENCHMARK(BM_Snprintf)->Apply(ValueSets);
BENCHMARK(BM_Ostream)->Apply(ValueSets);

BENCHMARK_MAIN();
