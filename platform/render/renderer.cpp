#include "platform/render/renderer.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <numeric>

#include "display/stretch.h"
#include "effect/text_sets.h"

namespace lumenfall {

EffectRun::EffectRun(const RenderOptions& options)
    : options_(options),
      clock_(options.startMs),
      effect_(EmulatedFormat{options.depth, options.layout}, clock_, options.seed) {
  effect_.ShowOwnLines(options.lines);
}

void EffectRun::Step(uint32_t k) {
  clock_.Set(options_.startMs + k * options_.tickMs);  // wraps like the tick count
  effect_.Step(options_.flags);
}

void ScaleFrame(const MemorySurface& surface, uint32_t width, uint32_t height,
                std::vector<uint8_t>& native) {
  const SurfaceDesc& d = surface.Desc();
  const uint32_t bpp = d.bitCount / 8;
  native.assign(size_t{width} * height * bpp, 0);
  if (surface.Pixels() == nullptr || width == 0 || height == 0) return;
  const PixelBuffer src{const_cast<uint8_t*>(surface.Pixels()), d.width, d.height, d.pitch, bpp};
  const PixelBuffer dst{native.data(), width, height, static_cast<int32_t>(width * bpp), bpp};
  StretchCopy(dst, Rect{0, 0, static_cast<int32_t>(width), static_cast<int32_t>(height)}, src,
              Rect{0, 0, static_cast<int32_t>(d.width), static_cast<int32_t>(d.height)});
}

void NativeToRgb(const DisplayState& display, const std::vector<uint8_t>& native,
                 uint32_t width, uint32_t height, RgbImage& image) {
  image.Resize(width, height);
  const size_t bpp = display.format.bytesPerPixel;
  const size_t pixels = size_t{width} * height;
  if (bpp == 0 || native.size() < pixels * bpp) return;
  for (size_t i = 0; i < pixels; ++i) PixelToRgb(display, &native[i * bpp], &image.rgb[i * 3]);
}

std::string NumberedPath(const std::string& path, uint32_t k) {
  char number[16];
  std::snprintf(number, sizeof number, "-%05u", static_cast<unsigned>(k));
  const size_t slash = path.find_last_of('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || dot <= nameStart) return path + number;
  return path.substr(0, dot) + number + path.substr(dot);
}

int RunRender(const RenderOptions& options, std::string& error, const RenderProgress& progress,
              const volatile std::sig_atomic_t* stop) {
  error.clear();
  const uint32_t width = options.outWidth, height = options.outHeight;
  const uint32_t kept = options.frames / options.every;
  const bool series = options.format == OutputFormat::Png && kept > 1;
  if (options.format == OutputFormat::Unset || kept == 0 || width == 0 || height == 0 ||
      width > kMaxOutputSide || height > kMaxOutputSide ||
      (options.depth != 8 && options.depth != 16 && options.depth != 24 && options.depth != 32)) {
    error = "the render options are incomplete or out of range";
    return kExitUsage;
  }

  EffectRun run(options);
  OutputFile file;
  GifAnimationWriter gif;
  Y4mWriter y4m;
  std::vector<std::string> written;  // PNG files of this run already in place
  const auto fail = [&](int code) {
    gif.Abandon();
    file.Abandon();
    for (const std::string& path : written) unlink(path.c_str());
    return code;
  };
  const auto writeFailed = [&](const std::string& path, const std::string& reason) {
    error = (path == "-" ? std::string("cannot write to standard output")
                         : "cannot write '" + path + "'") + ": " + reason;
    return fail(kExitIoFailure);
  };

  // Time between two kept frames, for the players.
  const uint64_t msPerKept = uint64_t{options.tickMs} * options.every;
  if (!series && !file.Open(options.outPath, error)) return fail(kExitIoFailure);
  if (options.format == OutputFormat::Gif) {
    const uint64_t cs = std::clamp<uint64_t>((msPerKept + 5) / 10, 2, 65535);
    std::string reason;
    if (!gif.Begin(file.Stream(), width, height, static_cast<uint16_t>(cs), reason))
      return writeFailed(options.outPath, reason);
  } else if (options.format == OutputFormat::Y4m) {
    uint64_t num = 25, den = 1;
    if (msPerKept != 0) {
      const uint64_t g = std::gcd(uint64_t{1000}, msPerKept);
      num = 1000 / g;
      den = msPerKept / g;
      if (den > 0x7FFFFFFF) {
        num = 1;
        den = std::min<uint64_t>(msPerKept / 1000, 0x7FFFFFFF);
      }
    }
    std::string reason;
    if (!y4m.Begin(file.Stream(), width, height, static_cast<uint32_t>(num),
                   static_cast<uint32_t>(den), reason))
      return writeFailed(options.outPath, reason);
  }

  std::vector<uint8_t> native;
  RgbImage rgb;
  for (uint32_t k = 0; k < options.frames; ++k) {
    if (stop != nullptr && *stop != 0) {
      error = "interrupted; nothing was written";
      return fail(kExitInterrupted);
    }
    run.Step(k);
    if ((k + 1) % options.every == 0) {
      ScaleFrame(run.Show(), width, height, native);
      std::string reason;
      switch (options.format) {
        case OutputFormat::Raw:
          if (!WriteBytes(file.Stream(), native.data(), native.size(), reason))
            return writeFailed(options.outPath, reason);
          break;
        case OutputFormat::Png:
          NativeToRgb(run.Display(), native, width, height, rgb);
          if (series) {
            OutputFile one;
            const std::string path = NumberedPath(options.outPath, k);
            if (!one.Open(path, error)) return fail(kExitIoFailure);
            if (!WritePngRgb(one.Stream(), rgb, reason)) return writeFailed(path, reason);
            if (!one.Commit(error)) return fail(kExitIoFailure);
            written.push_back(path);
          } else if (!WritePngRgb(file.Stream(), rgb, reason)) {
            return writeFailed(options.outPath, reason);
          }
          break;
        case OutputFormat::Gif:
          NativeToRgb(run.Display(), native, width, height, rgb);
          if (!gif.AddFrame(rgb, reason)) return writeFailed(options.outPath, reason);
          break;
        case OutputFormat::Y4m:
          NativeToRgb(run.Display(), native, width, height, rgb);
          if (!y4m.AddFrame(rgb, reason)) return writeFailed(options.outPath, reason);
          break;
        case OutputFormat::Unset:
          break;
      }
    }
    if (progress) progress(k + 1, options.frames);
  }

  if (options.format == OutputFormat::Gif) {
    std::string reason;
    if (!gif.Finish(reason)) return writeFailed(options.outPath, reason);
  }
  if (!series && !file.Commit(error)) return fail(kExitIoFailure);
  return kExitDone;
}

int ListLines(const RenderOptions& options, FILE* out, std::string& error) {
  const TextSet set = TextSetForSettings(options.flags, options.lines.Set());
  const int count = TextSetLength(set);
  for (int i = 0; i < count; ++i) {
    if (std::fputs(set[i], out) < 0 || std::fputc('\n', out) == EOF) {
      error = "cannot write to standard output";
      return kExitIoFailure;
    }
  }
  if (std::fflush(out) != 0 || std::ferror(out)) {
    error = "cannot write to standard output";
    return kExitIoFailure;
  }
  return kExitDone;
}

}  // namespace lumenfall
