// lumenfall-bench: every benchmark, then a table of each one beside its baseline from
// the same run (the console report as usual first; --benchmark_filter narrows both).
// --simd=none|mmx|sse2|avx2 caps the vector kernels of the fast blur.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

#include "bench_support.h"
#include "effect/blur/simd_level.h"

namespace {

using lumenfall::bench::Comparison;

// The console report, remembering the time of every benchmark (the median when
// repetitions are asked for).
class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred || run.iterations == 0) continue;
      const std::string name = run.run_name.function_name;
      const double seconds = run.real_accumulated_time / double(run.iterations);
      if (run.run_type == Run::RT_Aggregate) {
        if (run.aggregate_name == "median") medians_[name] = seconds;
      } else {
        times_[name] = seconds;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  bool Find(const std::string& name, double& seconds) const {
    auto m = medians_.find(name);
    if (m != medians_.end()) {
      seconds = m->second;
      return true;
    }
    auto t = times_.find(name);
    if (t == times_.end()) return false;
    seconds = t->second;
    return true;
  }

 private:
  std::map<std::string, double> times_, medians_;
};

const char* LevelName(lumenfall::SimdLevel level) {
  switch (level) {
    case lumenfall::SimdLevel::Avx2: return "AVX2";
    case lumenfall::SimdLevel::Sse2: return "SSE2";
    case lumenfall::SimdLevel::Mmx: return "MMX";
    case lumenfall::SimdLevel::None: return "none";
  }
  return "?";
}

void PrintComparisons(const RecordingReporter& reporter) {
  std::printf("\n| benchmark | time (us) | baseline | baseline (us) | ratio | goal | met |\n");
  std::printf("|---|---:|---|---:|---:|---|---|\n");
  for (const Comparison& c : lumenfall::bench::Comparisons()) {
    double t = 0, b = 0;
    if (!reporter.Find(c.name, t) || !reporter.Find(c.baseline, b)) continue;
    const bool speedup = c.kind == Comparison::Kind::Speedup;
    const double ratio = speedup ? b / t : t / b;
    std::string goal = "-", met = "-";
    if (c.goal > 0) {
      char text[64];
      std::snprintf(text, sizeof text, speedup ? ">= %.0fx faster" : "<= %.0fx", c.goal);
      goal = text;
      met = (speedup ? ratio >= c.goal : ratio <= c.goal) ? "yes" : "NO";
    }
    std::printf("| %s | %.1f | %s | %.1f | %s%.2fx | %s | %s |\n", c.name.c_str(), t * 1e6,
                c.baseline.c_str(), b * 1e6, speedup ? "speedup " : "", ratio, goal.c_str(),
                met.c_str());
  }
}

}  // namespace

// --simd=none|mmx|sse2|avx2 caps the vector kernels, to measure what older processors get.
bool TakeSimdOption(int& argc, char** argv) {
  int kept = 1;
  bool ok = true;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--simd=", 0) != 0) {
      argv[kept++] = argv[i];
      continue;
    }
    const std::string level = arg.substr(7);
    if (level == "none") lumenfall::SetSimdLimit(lumenfall::SimdLevel::None);
    else if (level == "mmx") lumenfall::SetSimdLimit(lumenfall::SimdLevel::Mmx);
    else if (level == "sse2") lumenfall::SetSimdLimit(lumenfall::SimdLevel::Sse2);
    else if (level == "avx2") lumenfall::SetSimdLimit(lumenfall::SimdLevel::Avx2);
    else {
      std::fprintf(stderr, "lumenfall-bench: --simd takes none, mmx, sse2 or avx2, not '%s'\n",
                   level.c_str());
      ok = false;
    }
  }
  argc = kept;
  return ok;
}

int main(int argc, char** argv) {
  if (!TakeSimdOption(argc, argv)) return 1;
  lumenfall::bench::RegisterBlurBenchmarks();
  lumenfall::bench::RegisterFrameBenchmarks();
  lumenfall::bench::RegisterStretchBenchmarks();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::printf("vector kernels: %s\n", LevelName(lumenfall::ActiveSimdLevel()));
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintComparisons(reporter);
  benchmark::Shutdown();
  return 0;
}
