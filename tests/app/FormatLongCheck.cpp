// Long check of FormatG6 against snprintf("%g"): many random values of every
// kind, spread over threads.
//
//   format_long_check [count] [threads] [seed]
//
// Prints the counts per kind and the time; exits with 1 on any mismatch.
#include "FormatCases.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using velvane::formatcases::Checker;
using velvane::formatcases::Kind;
using velvane::formatcases::kAllKinds;

constexpr int kKinds = sizeof kAllKinds / sizeof kAllKinds[0];

// Share of each kind in a block of 20 values, in the order of kAllKinds.
constexpr int kShare[kKinds] = {7, 4, 5, 1, 1, 2};

struct Result {
  Checker perKind[kKinds];
};

void Run(std::uint64_t count, std::uint64_t seed, Result& result) {
  velvane::formatcases::Rng rng(seed);
  std::uint64_t done = 0;
  while (done < count) {
    for (int k = 0; k < kKinds && done < count; ++k) {
      for (int i = 0; i < kShare[k] && done < count; ++i, ++done) {
        result.perKind[k].Check(velvane::formatcases::MakeValue(kAllKinds[k], rng));
      }
    }
  }
}

std::uint64_t ParseCount(const char* text) {
  char* end = nullptr;
  const double value = std::strtod(text, &end);  // accepts 1e8
  if (end == text || *end != '\0' || !(value >= 1)) {
    std::fprintf(stderr, "format_long_check: bad number \"%s\"\n", text);
    std::exit(2);
  }
  return static_cast<std::uint64_t>(value);
}

}  // namespace

int main(int argc, char** argv) {
  const std::uint64_t count = argc > 1 ? ParseCount(argv[1]) : 100000000;
  const unsigned threads = argc > 2 ? static_cast<unsigned>(ParseCount(argv[2])) : 2;
  const std::uint64_t seed = argc > 3 ? ParseCount(argv[3]) : 1;

  const auto start = std::chrono::steady_clock::now();
  std::vector<Result> results(threads);
  std::vector<std::thread> workers;
  for (unsigned t = 0; t < threads; ++t) {
    const std::uint64_t share = count / threads + (t < count % threads ? 1 : 0);
    workers.emplace_back(Run, share, seed * 1000003 + t, std::ref(results[t]));
  }
  for (std::thread& worker : workers) worker.join();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  Checker total;
  for (int k = 0; k < kKinds; ++k) {
    Checker kind;
    for (const Result& r : results) kind.Merge(r.perKind[k]);
    std::printf("%-14s %12llu checked %8llu exact-path %llu mismatches\n",
                velvane::formatcases::KindName(kAllKinds[k]),
                static_cast<unsigned long long>(kind.checked()),
                static_cast<unsigned long long>(kind.fallbacks()),
                static_cast<unsigned long long>(kind.mismatches()));
    total.Merge(kind);
  }
  std::printf("total          %12llu checked %8llu exact-path %llu mismatches, %.1f s, %u threads\n",
              static_cast<unsigned long long>(total.checked()),
              static_cast<unsigned long long>(total.fallbacks()),
              static_cast<unsigned long long>(total.mismatches()), seconds, threads);
  if (total.mismatches() != 0) {
    std::fputs(total.report().c_str(), stdout);
    return 1;
  }
  return 0;
}
