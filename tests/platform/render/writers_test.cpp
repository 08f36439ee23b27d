// The output writers: the all-or-nothing output file, PNG and GIF read back with their
// own libraries, the y4m layout and colour values, and the palette reduction.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <png.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/render/image_writers.h"
#include "temp_folder.h"

namespace lumenfall {
namespace {

namespace fs = std::filesystem;

using testing::ReadAll;
using testing::TempFolder;

RgbImage Gradient(uint32_t w, uint32_t h) {
  RgbImage image;
  image.Resize(w, h);
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      uint8_t* p = &image.rgb[(size_t{y} * w + x) * 3];
      p[0] = static_cast<uint8_t>(x * 255 / (w - 1));
      p[1] = static_cast<uint8_t>(y * 255 / (h - 1));
      p[2] = static_cast<uint8_t>((x + y) & 0xFF);
    }
  }
  return image;
}

TEST(OutputFile, CommitRenamesAndAbandonLeavesNothing) {
  TempFolder dir;
  const std::string target = (dir / "out.raw").string();
  std::string error;
  {
    OutputFile f;
    ASSERT_TRUE(f.Open(target, error)) << error;
    EXPECT_FALSE(fs::exists(target));  // nothing under the real name while writing
    EXPECT_TRUE(fs::exists(f.TemporaryPath()));
    EXPECT_EQ(fs::path(f.TemporaryPath()).parent_path(), fs::path(target).parent_path());
    ASSERT_TRUE(WriteBytes(f.Stream(), "abc", 3, error));
    f.Abandon();
  }
  EXPECT_TRUE(dir.Names().empty());

  {
    OutputFile f;  // destroyed without Commit: the same as Abandon
    ASSERT_TRUE(f.Open(target, error)) << error;
    ASSERT_TRUE(WriteBytes(f.Stream(), "abc", 3, error));
  }
  EXPECT_TRUE(dir.Names().empty());

  std::ofstream(target) << "old contents";
  {
    OutputFile f;
    ASSERT_TRUE(f.Open(target, error)) << error;
    ASSERT_TRUE(WriteBytes(f.Stream(), "abc", 3, error));
    EXPECT_EQ(ReadAll(target), "old contents");  // replaced only at the commit
    ASSERT_TRUE(f.Commit(error)) << error;
  }
  EXPECT_EQ(ReadAll(target), "abc");
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"out.raw"});
  // Readable by others, as a normally created file (not mkstemp's private mode).
  EXPECT_NE(fs::status(target).permissions() & fs::perms::group_read, fs::perms::none);
}

TEST(OutputFile, AnExistingPipeIsWrittenInPlaceNotReplaced) {
  // A device such as /dev/null, or a pipe a player reads, must stay what it is: a
  // temporary renamed over it would put a plain file in its place.
  TempFolder dir;
  const std::string pipe = (dir / "stream.raw").string();
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  std::string received;
  std::thread reader([&] {
    std::ifstream in(pipe, std::ios::binary);
    received.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  });
  std::string error;
  {
    OutputFile f;
    ASSERT_TRUE(f.Open(pipe, error)) << error;
    EXPECT_TRUE(f.TemporaryPath().empty());
    ASSERT_TRUE(WriteBytes(f.Stream(), "frames", 6, error));
    EXPECT_TRUE(f.Commit(error)) << error;
  }
  reader.join();
  EXPECT_EQ(received, "frames");
  EXPECT_TRUE(fs::is_fifo(pipe));
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"stream.raw"});
}

TEST(OutputFile, FailuresNameTheFileAndLeaveNoTemporary) {
  TempFolder dir;
  std::string error;
  OutputFile f;
  EXPECT_FALSE(f.Open((dir / "missing" / "out.raw").string(), error));
  EXPECT_NE(error.find("missing/out.raw"), std::string::npos) << error;
  EXPECT_NE(error.find("No such file"), std::string::npos) << error;
  EXPECT_FALSE(f.Open((dir / "").string(), error));
  EXPECT_NE(error.find("names a folder"), std::string::npos) << error;

  // A name taken by a folder is refused before anything is written.
  fs::create_directory(dir / "taken.raw");
  std::ofstream(dir / "taken.raw" / "keep") << "x";
  EXPECT_FALSE(f.Open((dir / "taken.raw").string(), error));
  EXPECT_NE(error.find("taken.raw"), std::string::npos) << error;
  EXPECT_NE(error.find("names a folder"), std::string::npos) << error;
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"taken.raw"});
  EXPECT_TRUE(fs::is_directory(dir / "taken.raw"));

  // Writing to a full device fails at the latest when the stream is flushed.
  FILE* full = std::fopen("/dev/full", "wb");
  if (full != nullptr) {
    std::vector<uint8_t> big(1 << 20, 1);
    const bool wrote = WriteBytes(full, big.data(), big.size(), error) && std::fflush(full) == 0;
    EXPECT_FALSE(wrote);
    std::fclose(full);
  }
}

TEST(PngWriter, RoundTripsExactly) {
  TempFolder dir;
  const RgbImage image = Gradient(37, 23);
  const std::string path = (dir / "g.png").string();
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::string error;
  ASSERT_TRUE(WritePngRgb(f, image, error)) << error;
  std::fclose(f);

  png_image back;
  std::memset(&back, 0, sizeof back);
  back.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&back, path.c_str())) << back.message;
  EXPECT_EQ(back.width, 37u);
  EXPECT_EQ(back.height, 23u);
  back.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(back));
  ASSERT_TRUE(png_image_finish_read(&back, nullptr, pixels.data(), 0, nullptr)) << back.message;
  EXPECT_EQ(pixels, image.rgb);

  RgbImage wrongSize = image;
  wrongSize.rgb.pop_back();
  EXPECT_FALSE(WritePngRgb(stdout, wrongSize, error));
  EXPECT_FALSE(WritePngRgb(nullptr, image, error));
}

TEST(MedianCut, KeepsFewColoursExactly) {
  RgbImage image;
  image.Resize(16, 16);
  for (size_t i = 0; i < 256; ++i) {
    image.rgb[i * 3] = static_cast<uint8_t>(i);  // 256 different reds
    image.rgb[i * 3 + 1] = 7;
    image.rgb[i * 3 + 2] = static_cast<uint8_t>(255 - i);
  }
  std::vector<uint8_t> indices;
  std::vector<RgbColour> palette;
  QuantizeMedianCut(image, 256, indices, palette);
  ASSERT_EQ(palette.size(), 256u);
  for (size_t i = 0; i < 256; ++i) {
    const RgbColour& c = palette[indices[i]];
    EXPECT_EQ(c[0], image.rgb[i * 3]);
    EXPECT_EQ(c[1], image.rgb[i * 3 + 1]);
    EXPECT_EQ(c[2], image.rgb[i * 3 + 2]);
  }
  // A one-colour image has a one-colour palette.
  RgbImage flat;
  flat.Resize(5, 5);
  QuantizeMedianCut(flat, 256, indices, palette);
  EXPECT_EQ(palette.size(), 1u);
  EXPECT_EQ(indices, std::vector<uint8_t>(25, 0));
}

TEST(MedianCut, ATrailLikeRampStaysSmooth) {
  // A red trail dying to black under a white highlight: 766 colours along one curve,
  // far more than a palette holds. Median cut must spread its 256 entries along it.
  RgbImage image;
  image.Resize(766, 4);
  for (uint32_t y = 0; y < 4; ++y) {
    for (uint32_t x = 0; x < 766; ++x) {
      uint8_t* p = &image.rgb[(size_t{y} * 766 + x) * 3];
      p[0] = static_cast<uint8_t>(std::min<uint32_t>(x, 255));
      p[1] = static_cast<uint8_t>(x > 255 ? std::min<uint32_t>(x - 255, 255) : 0);
      p[2] = static_cast<uint8_t>(x > 510 ? x - 510 : 0);
    }
  }
  std::vector<uint8_t> indices;
  std::vector<RgbColour> palette;
  QuantizeMedianCut(image, 256, indices, palette);
  EXPECT_LE(palette.size(), 256u);
  int worst = 0;
  for (size_t i = 0; i < indices.size(); ++i) {
    for (int c = 0; c < 3; ++c) {
      const int d = std::abs(int(palette[indices[i]][size_t(c)]) - int(image.rgb[i * 3 + size_t(c)]));
      worst = std::max(worst, d);
    }
  }
  EXPECT_LE(worst, 2);  // 766 steps over 256 colours: about 3 steps a colour
}

struct GifBack {
  int width = 0, height = 0, frames = 0;
  std::vector<RgbImage> images;
  std::vector<int> delays;
  bool loops = false;
};

GifBack ReadGif(const std::string& path) {
  GifBack out;
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
  if (gif == nullptr) return out;
  if (DGifSlurp(gif) == GIF_OK) {
    out.width = gif->SWidth;
    out.height = gif->SHeight;
    out.frames = gif->ImageCount;
    for (int i = 0; i < gif->ImageCount; ++i) {
      const SavedImage& s = gif->SavedImages[i];
      const ColorMapObject* map = s.ImageDesc.ColorMap ? s.ImageDesc.ColorMap : gif->SColorMap;
      RgbImage image;
      image.Resize(static_cast<uint32_t>(s.ImageDesc.Width), static_cast<uint32_t>(s.ImageDesc.Height));
      for (size_t p = 0; p < size_t(s.ImageDesc.Width) * size_t(s.ImageDesc.Height); ++p) {
        const GifColorType c = map->Colors[s.RasterBits[p]];
        image.rgb[p * 3] = c.Red;
        image.rgb[p * 3 + 1] = c.Green;
        image.rgb[p * 3 + 2] = c.Blue;
      }
      out.images.push_back(image);
      GraphicsControlBlock gcb;
      out.delays.push_back(DGifSavedExtensionToGCB(gif, i, &gcb) == GIF_OK ? gcb.DelayTime : -1);
      for (int e = 0; e < s.ExtensionBlockCount; ++e) {
        const ExtensionBlock& b = s.ExtensionBlocks[e];
        if (b.Function == APPLICATION_EXT_FUNC_CODE && b.ByteCount == 11 &&
            std::memcmp(b.Bytes, "NETSCAPE2.0", 11) == 0)
          out.loops = true;
      }
    }
  }
  DGifCloseFile(gif, &error);
  return out;
}

TEST(GifWriter, AnAnimationThatLoopsWithItsFramesAndDelay) {
  TempFolder dir;
  const std::string path = (dir / "a.gif").string();
  RgbImage first;
  first.Resize(20, 10);
  for (size_t i = 0; i < 200; ++i) first.rgb[i * 3] = static_cast<uint8_t>(i);  // 200 reds
  RgbImage second = first;
  for (size_t i = 0; i < 200; ++i) second.rgb[i * 3 + 2] = 99;
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::string error;
  {
    GifAnimationWriter gif;
    ASSERT_TRUE(gif.Begin(f, 20, 10, 8, error)) << error;
    ASSERT_TRUE(gif.AddFrame(first, error)) << error;
    ASSERT_TRUE(gif.AddFrame(second, error)) << error;
    RgbImage wrong;
    wrong.Resize(10, 10);
    EXPECT_FALSE(gif.AddFrame(wrong, error));
    EXPECT_EQ(error, "a GIF frame of the wrong size");
    ASSERT_TRUE(gif.Finish(error)) << error;
  }
  std::fclose(f);

  const GifBack back = ReadGif(path);
  ASSERT_EQ(back.frames, 2);
  EXPECT_EQ(back.width, 20);
  EXPECT_EQ(back.height, 10);
  EXPECT_EQ(back.delays, (std::vector<int>{8, 8}));
  EXPECT_TRUE(back.loops);
  EXPECT_EQ(back.images[0].rgb, first.rgb);  // 200 colours fit exactly
  EXPECT_EQ(back.images[1].rgb, second.rgb);
}

TEST(GifWriter, AnAbandonedAnimationWritesNothingMore) {
  TempFolder dir;
  const std::string path = (dir / "a.gif").string();
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::string error;
  long before = 0;
  {
    GifAnimationWriter gif;
    ASSERT_TRUE(gif.Begin(f, 4, 4, 4, error));
    std::fflush(f);
    before = std::ftell(f);
    gif.Abandon();
  }
  std::fflush(f);
  EXPECT_EQ(std::ftell(f), before);  // no trailer after the abandon
  std::fclose(f);
  GifAnimationWriter unstarted;
  RgbImage image;
  image.Resize(1, 1);
  EXPECT_FALSE(unstarted.AddFrame(image, error));
  EXPECT_EQ(error, "the GIF was not started");
  EXPECT_FALSE(unstarted.Finish(error));
  EXPECT_FALSE(unstarted.Begin(nullptr, 1, 1, 4, error));
}

TEST(Y4mWriter, HeaderPlanesAndVideoRangeColours) {
  // BT.601 video range: black 16/128/128, white 235/128/128, red about 81/90/240.
  uint8_t y = 0, u = 0, v = 0;
  RgbToYuv601(0, 0, 0, y, u, v);
  EXPECT_EQ((std::vector<int>{y, u, v}), (std::vector<int>{16, 128, 128}));
  RgbToYuv601(255, 255, 255, y, u, v);
  EXPECT_EQ((std::vector<int>{y, u, v}), (std::vector<int>{235, 128, 128}));
  RgbToYuv601(255, 0, 0, y, u, v);
  EXPECT_NEAR(y, 81, 1);
  EXPECT_NEAR(u, 90, 1);
  EXPECT_NEAR(v, 240, 1);
  RgbToYuv601(0, 0, 255, y, u, v);
  EXPECT_NEAR(y, 41, 1);
  EXPECT_NEAR(u, 240, 1);
  EXPECT_NEAR(v, 110, 1);

  TempFolder dir;
  const std::string path = (dir / "v.y4m").string();
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::string error;
  Y4mWriter writer;
  ASSERT_TRUE(writer.Begin(f, 3, 3, 25, 1, error));
  RgbImage image;
  image.Resize(3, 3);  // odd: chroma is 2 x 2, the edge blocks hold fewer pixels
  for (size_t i = 0; i < 9; ++i) image.rgb[i * 3 + 2] = 255;  // all blue
  image.rgb[0] = image.rgb[1] = image.rgb[2] = 255;           // but a white corner
  ASSERT_TRUE(writer.AddFrame(image, error));
  ASSERT_TRUE(writer.AddFrame(image, error));
  std::fclose(f);

  const std::string data = ReadAll(path);
  const std::string header = "YUV4MPEG2 W3 H3 F25:1 Ip A1:1 C420jpeg XYSCSS=420JPEG\n";
  ASSERT_EQ(data.substr(0, header.size()), header);
  const size_t frame = 6 + 9 + 4 + 4;
  ASSERT_EQ(data.size(), header.size() + 2 * frame);
  const std::string body = data.substr(header.size(), frame);
  EXPECT_EQ(body.substr(0, 6), "FRAME\n");
  const auto at = [&](size_t i) { return static_cast<int>(static_cast<uint8_t>(body[6 + i])); };
  EXPECT_EQ(at(0), 235);  // the white corner's luma
  RgbToYuv601(0, 0, 255, y, u, v);
  EXPECT_EQ(at(1), y);
  EXPECT_EQ(at(8), y);
  // Chroma: the top-left block averages one white and three blue pixels; the
  // bottom-right block is the single blue corner pixel.
  uint8_t y2 = 0, uMix = 0, vMix = 0;
  RgbToYuv601((255 + 2) / 4, (255 + 2) / 4, (255 * 4 + 2) / 4, y2, uMix, vMix);
  EXPECT_EQ(at(9), uMix);
  EXPECT_EQ(at(13), vMix);
  EXPECT_EQ(at(12), u);
  EXPECT_EQ(at(16), v);
  EXPECT_EQ(data.substr(header.size()), body + body);

  Y4mWriter bad;
  EXPECT_FALSE(bad.Begin(stdout, 3, 3, 0, 1, error));
  EXPECT_FALSE(bad.AddFrame(image, error));
  EXPECT_EQ(error, "the y4m stream was not started");
  RgbImage wrong;
  wrong.Resize(4, 3);
  EXPECT_FALSE(writer.AddFrame(wrong, error));
  EXPECT_EQ(error, "a y4m frame of the wrong size");
}

}  // namespace
}  // namespace lumenfall
