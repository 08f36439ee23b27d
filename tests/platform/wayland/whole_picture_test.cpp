// Our own stretch on Wayland, for compositors without the viewporter: the whole buffer
// filled in place from the strip of distinct rows, sampled as the work surfaces sample.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "display/stretch.h"
#include "effect/memory_effect.h"
#include "platform/wayland/whole_picture.h"
#include "tests/display/display_support.h"

namespace lumenfall {
namespace {

TEST(WaylandPicture, FillsTheWholeBufferExactlyAsTheWorkSurfacesStretch) {
  // Every source pixel different, the fourth byte 0 as XRGB8888 leaves it.
  std::vector<uint8_t> source = test::DistinctPixels(0);
  DisplayState display;
  SetupDisplayState(display, 400, 300, 32, 0, 0, 0);
  VisualConverter picture;
  ASSERT_TRUE(picture.Configure(display, VisualFormat{32, 0xFF0000, 0x00FF00, 0x0000FF, false}));
  ASSERT_TRUE(picture.Convert(source.data(), 400, 300, 400 * 4));
  const PixelBuffer src{source.data(), 400, 300, 400 * 4, 4};

  // Up, down, the output sizes of the tests, and doubled for an output scale of 2.
  const uint32_t sizes[][2] = {{400, 300}, {1, 1}, {640, 480}, {800, 600}, {1920, 1080},
                               {1280, 2160}, {333, 77}, {3840, 2160}};
  for (const auto& size : sizes) {
    const uint32_t w = size[0], h = size[1];
    const int32_t pitch = int32_t(w * 4);
    std::vector<uint8_t> out(size_t(pitch) * h, 0xEE), expected(size_t(pitch) * h, 0xEE);
    ASSERT_TRUE(StretchWholePicture(picture, out.data(), w, h, pitch));
    const PixelBuffer dst{expected.data(), w, h, pitch, 4};
    ASSERT_TRUE(StretchCopyReference(dst, Rect{0, 0, int32_t(w), int32_t(h)}, src, Rect{0, 0, 400, 300}));
    EXPECT_EQ(out, expected) << w << " x " << h;
  }
  std::vector<uint8_t> none(4);
  EXPECT_FALSE(StretchWholePicture(picture, none.data(), 0, 1, 4)) << "nothing to fill";
}

}  // namespace
}  // namespace lumenfall
