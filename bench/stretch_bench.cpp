// The 400 x 300 picture stretched over full-HD and 4K screens at 32 bits, against
// copying the destination's bytes with memcpy.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "bench_support.h"
#include "display/stretch.h"

namespace lumenfall::bench {

namespace {

struct StretchCase {
  uint32_t width, height;
  bool fast;
};

void RunStretch(benchmark::State& state, StretchCase c) {
  std::vector<uint8_t> source(size_t{kWorkWidth} * kWorkHeight * 4);
  for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(i * 7 + (i >> 9));
  std::vector<uint8_t> screen(size_t{c.width} * c.height * 4);
  const PixelBuffer src{source.data(), kWorkWidth, kWorkHeight, kWorkWidth * 4, 4};
  const PixelBuffer dst{screen.data(), c.width, c.height, static_cast<int32_t>(c.width * 4), 4};
  const Rect from{0, 0, kWorkWidth, kWorkHeight};
  const Rect to{0, 0, static_cast<int32_t>(c.width), static_cast<int32_t>(c.height)};
  for (auto _ : state) {
    if (c.fast) {
      StretchCopy(dst, to, src, from);
    } else {
      StretchCopyReference(dst, to, src, from);
    }
    benchmark::DoNotOptimize(screen.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(screen.size()));
}

void RunScreenCopy(benchmark::State& state, uint32_t width, uint32_t height) {
  const size_t bytes = size_t{width} * height * 4;
  std::vector<uint8_t> from(bytes, 0x5A), to(bytes);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

std::string Size(uint32_t w, uint32_t h) { return std::to_string(w) + "x" + std::to_string(h); }

}  // namespace

void RegisterStretchBenchmarks() {
  const uint32_t sizes[][2] = {{1920, 1080}, {3840, 2160}};
  for (const auto& s : sizes) {
    const std::string size = Size(s[0], s[1]);
    const std::string fast = "Stretch/32bit/400x300-to-" + size + "/fast";
    const std::string reference = "Stretch/32bit/400x300-to-" + size + "/reference";
    const std::string floor = "Stretch/32bit/memcpy-" + size;
    benchmark::RegisterBenchmark(fast.c_str(), RunStretch, StretchCase{s[0], s[1], true})
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(reference.c_str(), RunStretch, StretchCase{s[0], s[1], false})
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(floor.c_str(), RunScreenCopy, s[0], s[1])
        ->Unit(benchmark::kMicrosecond);
    AddComparison({fast, floor, Comparison::Kind::TimesBaseline, 3.0});
    AddComparison({fast, reference, Comparison::Kind::Speedup, 0.0});
  }
}

}  // namespace lumenfall::bench
