// The renderer's command line: the input split at NUL bytes into arguments.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/render/options.h"

using namespace lumenfall;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> words{"lumenfall-render"};
  std::string current;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      words.push_back(current);
      current.clear();
    } else {
      current.push_back(static_cast<char>(data[i]));
    }
  }
  if (!current.empty()) words.push_back(current);
  if (words.size() > 64) words.resize(64);
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  argv.push_back(nullptr);

  RenderOptions options;
  std::string error;
  const bool ok = ParseRenderOptions(static_cast<int>(words.size()), argv.data(), options, error);
  if (!ok && error.empty()) __builtin_trap();           // every refusal says why
  if (!ok && error.find('\n') != std::string::npos) __builtin_trap();  // in one line
  if (ok && !options.help && !options.listLines) {
    if (options.frames == 0 || options.frames > kMaxRenderFrames) __builtin_trap();
    if (options.outWidth == 0 || options.outWidth > kMaxOutputSide) __builtin_trap();
    if (options.outHeight == 0 || options.outHeight > kMaxOutputSide) __builtin_trap();
    if (options.every == 0) __builtin_trap();
    if (options.depth != 8 && options.depth != 16 && options.depth != 24 && options.depth != 32)
      __builtin_trap();
  }
  return 0;
}
