// lumenfall-bench: every benchmark, then a table of each one beside its baseline from
// the same run (the console report as usual first; --benchmark_filter narrows both).
// --simd LEVEL (none, mmx, sse2, avx2) caps the vector kernels of the fast blur.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "bench_support.h"
#include "effect/blur/simd_level.h"
#include "shell/simd_choice.h"

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

// --simd LEVEL (or --simd=LEVEL) caps the vector kernels, to measure what older processors
// get; LUMENFALL_SIMD does the same. False after a one-line mistake.
bool TakeSimdOption(int& argc, char** argv) {
  const std::string problem =
      lumenfall::SimdEnvironmentProblem(std::getenv(lumenfall::kSimdEnvironmentVariable));
  if (!problem.empty()) {
    std::fprintf(stderr, "lumenfall-bench: %s\n", problem.c_str());
    return false;
  }
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    std::string value;
    if (arg.rfind("--simd=", 0) == 0) {
      value = arg.substr(7);
    } else if (arg == "--simd" && i + 1 < argc) {
      value = argv[++i];
    } else {
      argv[kept++] = argv[i];
      continue;
    }
    lumenfall::SimdLevel level;
    std::string error;
    if (!lumenfall::ParseSimdOption(value, level, error)) {
      std::fprintf(stderr, "lumenfall-bench: %s\n", error.c_str());
      return false;
    }
    lumenfall::SetSimdLimit(level);
  }
  argc = kept;
  return true;
}

int main(int argc, char** argv) {
  if (!TakeSimdOption(argc, argv)) return 1;
  lumenfall::bench::RegisterBlurBenchmarks();
  lumenfall::bench::RegisterFrameBenchmarks();
  lumenfall::bench::RegisterStretchBenchmarks();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::printf("vector kernels: %s\n", lumenfall::SimdLevelName(lumenfall::ActiveSimdLevel()));
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintComparisons(reporter);
  benchmark::Shutdown();
  return 0;
}
