// The frame sequencer's schedule, composition and line order, pinned on a simulated
// clock with in-memory surfaces.
//
// Text is drawn with a small synthetic font (every glyph a 4 x 4 block of full coverage
// in 8 x 5 cells), so the expected pixel values follow from the blend rule alone:
// coverage 254 at text alpha A gives a = (254 x A) >> 8, and white over black at 32
// bits becomes (255 x a) >> 8 in each channel.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "display/memory_surface.h"
#include "effect/clock.h"
#include "effect/frame_sequencer.h"
#include "effect/memory_effect.h"
#include "effect/random.h"

namespace lumenfall {
namespace {

constexpr int kCellWidth = 8;
constexpr int kCellHeight = 5;
constexpr int kGlyphWidth = 4;

// 94 cells: 4 glyph rows of four 254 bytes, 0xFF, fill; then a separator row of 0xFF.
std::vector<uint8_t> MakeBlockFont() {
  std::vector<uint8_t> bytes;
  for (int cell = 0; cell < 94; ++cell) {
    for (int row = 0; row < kCellHeight - 1; ++row) {
      for (int i = 0; i < kGlyphWidth; ++i) bytes.push_back(254);
      bytes.push_back(0xFF);
      for (int i = kGlyphWidth + 1; i < kCellWidth; ++i) bytes.push_back(0);
    }
    for (int i = 0; i < kCellWidth; ++i) bytes.push_back(0xFF);
  }
  return bytes;
}

const BitmapFont& BlockFont() {
  static const std::vector<uint8_t> bytes = MakeBlockFont();
  static const BitmapFont font{bytes.data(), bytes.size()};
  return font;
}

// A line of n glyphs measures 5n pixels and is centred at x = (400 - 5n) / 2, at
// y = (300 - 5) / 2 = 147.
int LineStartX(int glyphs) { return (400 - 5 * glyphs) / 2; }
constexpr int kLineTop = 147;

// White at 32 bits, over black, for text alpha A and full coverage.
uint8_t WhiteOverBlack(uint32_t alpha) {
  const uint32_t a = (254 * alpha) >> 8;
  return static_cast<uint8_t>((255 * a) >> 8);
}

struct Rig {
  explicit Rig(uint32_t start = 1000)
      : clock(start),
        effect(EmulatedFormat{32}, clock, 1, &BlockFont()),
        engine(effect.Engine()),
        zoom(effect.Zoom()),
        trail(effect.Trail()),
        show(effect.Show()) {}
  Rig(const Rig&) = delete;
  Rig& operator=(const Rig&) = delete;

  int Frame(uint32_t now, TextSet set) {
    clock.Set(now);
    return FrameSequencer(engine, 1, set);
  }
  // Puts the sequencer in the middle of a line: last frame at `last`, at `phase`.
  void Place(uint32_t last, uint32_t phase, int32_t line) {
    engine.sequencer.lastFrameTick = last;
    engine.sequencer.cyclePhase = phase;
    engine.sequencer.lineIndex = line;
  }
  // A pattern with every channel busy, so that the zoom and the blur change it.
  void FillTrail() {
    std::vector<uint8_t>& b = trail.Bytes();
    for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>((i * 37 + i / 1600) & 0xFF);
  }
  uint8_t Blue(MemorySurface& s, uint32_t x, uint32_t y) { return s.PixelAt(x, y)[0]; }

  SimulatedClock clock;
  MemoryEffect effect;
  EffectEngine& engine;
  MemorySurface &zoom, &trail, &show;
};

const char* const kOneLine[] = {"A", nullptr};
const char* const kThreeLines[] = {"A", "AAA", "AAAAA", nullptr};
const char* const kNoLines[] = {nullptr, "AAAAAAAAAA", nullptr};

// The generator's state before a given one, to force a draw: the multiplicative inverse
// of 214013 modulo 2^32 (Newton's iteration).
uint32_t InverseMultiplier() {
  uint32_t x = 214013u;  // right to 3 bits for an odd number
  for (int i = 0; i < 5; ++i) x *= 2u - 214013u * x;
  return x;
}
uint32_t LcgBack(uint32_t next) { return (next - 2531011u) * InverseMultiplier(); }

// The expected zoom: destination (i, j) takes the source at the centre of its cell.
void ExpectZoomOf(const std::vector<uint8_t>& before, const Rect& r, MemorySurface& zoom) {
  const uint32_t sw = static_cast<uint32_t>(r.right - r.left);
  const uint32_t sh = static_cast<uint32_t>(r.bottom - r.top);
  int mismatches = 0;
  for (uint32_t j = 0; j < 300 && mismatches < 5; ++j) {
    for (uint32_t i = 0; i < 400 && mismatches < 5; ++i) {
      const uint32_t sx = static_cast<uint32_t>(r.left) + (2 * i + 1) * sw / 800;
      const uint32_t sy = static_cast<uint32_t>(r.top) + (2 * j + 1) * sh / 600;
      for (uint32_t c = 0; c < 4; ++c) {
        if (zoom.PixelAt(i, j)[c] != before[(sy * 400 + sx) * 4 + c]) {
          ADD_FAILURE() << "zoom pixel (" << i << ", " << j << ") channel " << c;
          ++mismatches;
          break;
        }
      }
    }
  }
}

TEST(Random, SrandOneGivesTheClassicSequence) {
  RandomState r;
  SeedRandom(r, 1);
  const int expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};
  for (int e : expected) EXPECT_EQ(NextRandom(r), e);
  SeedRandom(r, 0);
  EXPECT_EQ(NextRandom(r), 38);  // 2531011 = 0x00269EC3: bits 16-30 are 0x26
  EXPECT_EQ(r.state, 2531011u);
}

TEST(Random, StaysInFifteenBitsAndReachesBothEnds) {
  RandomState r;
  r.state = LcgBack(0x7FFF0000u);  // next state has bits 16-30 all set
  EXPECT_EQ(NextRandom(r), 32767);
  r.state = LcgBack(0xFFFF0000u);  // bit 31 is not part of the result
  EXPECT_EQ(NextRandom(r), 32767);
  r.state = LcgBack(0x8000FFFFu);
  EXPECT_EQ(NextRandom(r), 0);
  SeedRandom(r, 12345);
  for (int i = 0; i < 10000; ++i) {
    const int v = NextRandom(r);
    ASSERT_GE(v, 0);
    ASSERT_LE(v, 32767);
  }
}

TEST(FrameSequencer, FirstFrameRecordsTheTickDrawsNoTextAndStartsLineZero) {
  Rig rig;
  rig.FillTrail();
  const std::vector<uint8_t> trailBefore = rig.trail.Bytes();
  SeedRandom(rig.engine.random, 777);

  EXPECT_EQ(rig.Frame(1000, kOneLine), 1);

  const SequencerState& s = rig.engine.sequencer;
  EXPECT_EQ(s.lastFrameTick, 1000u);
  EXPECT_EQ(s.cyclePhase, 0u);  // 0xFFFFFFFF counted as decay, then the cycle ended
  EXPECT_EQ(s.lineIndex, 0);
  // The zoom still used the initial rectangle.
  ExpectZoomOf(trailBefore, Rect{20, 25, 380, 275}, rig.zoom);
  // No text: ShowBuffer is exactly the trail.
  EXPECT_EQ(rig.show.Bytes(), rig.trail.Bytes());
  // Then a random rectangle from two draws of the generator seeded with 777, worked by
  // hand: 777 x 214013 + 2531011 = 168819112, bits 16-30 give 2575, and 2575 x 20 / 32767
  // = 1.57 gives the left margin 1; 168819112 x 214013 + 2531011 mod 2^32 = 222253515
  // gives 3391, and 3391 x 25 / 32767 = 2.59 the top margin 2.
  EXPECT_EQ(s.zoomRect, (Rect{1, 2, 399, 298}));
  EXPECT_EQ(rig.engine.random.state, 222253515u);
}

TEST(FrameSequencer, UnderEightMillisecondsChangesNothing) {
  Rig rig;
  rig.FillTrail();
  ASSERT_EQ(rig.Frame(1000, kOneLine), 1);
  rig.FillTrail();
  const SequencerState before = rig.engine.sequencer;
  const RandomState randomBefore = rig.engine.random;
  const auto zoom = rig.zoom.Bytes(), trail = rig.trail.Bytes(), show = rig.show.Bytes();

  for (uint32_t dt : {0u, 1u, 7u}) {
    EXPECT_EQ(rig.Frame(1000 + dt, kOneLine), 0) << dt;
    EXPECT_EQ(rig.engine.sequencer.lastFrameTick, before.lastFrameTick);
    EXPECT_EQ(rig.engine.sequencer.cyclePhase, before.cyclePhase);
    EXPECT_EQ(rig.engine.sequencer.lineIndex, before.lineIndex);
    EXPECT_EQ(rig.engine.sequencer.zoomRect, before.zoomRect);
    EXPECT_EQ(rig.engine.random.state, randomBefore.state);
    EXPECT_EQ(rig.zoom.Bytes(), zoom);
    EXPECT_EQ(rig.trail.Bytes(), trail);
    EXPECT_EQ(rig.show.Bytes(), show);
  }
}

TEST(FrameSequencer, WholeStepsOfElapsedTimeAndTheRemainderIsDropped) {
  Rig rig;
  ASSERT_EQ(rig.Frame(1000, kOneLine), 1);
  EXPECT_EQ(rig.Frame(1015, kOneLine), 1);  // 15 ms: one step, 7 ms dropped
  EXPECT_EQ(rig.engine.sequencer.cyclePhase, 1u);
  EXPECT_EQ(rig.engine.sequencer.lastFrameTick, 1015u);
  EXPECT_EQ(rig.Frame(1022, kOneLine), 0);  // had the 7 ms been kept, 14 would run
  EXPECT_EQ(rig.engine.sequencer.cyclePhase, 1u);
  EXPECT_EQ(rig.Frame(1023, kOneLine), 1);  // 8 ms after the last frame that ran
  EXPECT_EQ(rig.engine.sequencer.cyclePhase, 2u);
  EXPECT_EQ(rig.Frame(1063, kOneLine), 1);  // the nominal tick: 5 steps
  EXPECT_EQ(rig.engine.sequencer.cyclePhase, 7u);
}

TEST(FrameSequencer, ElapsedTimeSurvivesTheCounterWrap) {
  Rig rig;
  rig.Place(0xFFFFFFF0u, 10, 0);
  EXPECT_EQ(rig.Frame(0x10, kOneLine), 1);  // 32 ms across the wrap
  EXPECT_EQ(rig.engine.sequencer.cyclePhase, 14u);
  EXPECT_EQ(rig.engine.sequencer.lastFrameTick, 0x10u);
  rig.Place(0xFFFFFFFFu, 10, 0);
  EXPECT_EQ(rig.Frame(0x7, kOneLine), 1);  // 8 ms
  EXPECT_EQ(rig.engine.sequencer.cyclePhase, 11u);
}

// lastFrameTick 0 stands for "no frame yet", so a clock that reads exactly 0 is not
// recorded: the frame at 0 runs as a first frame, and so does the next one, which then
// records its own time and does not move the phase. The schedule loses those steps.
TEST(FrameSequencer, AFrameAtTickZeroLeavesTheNextOneAFirstFrame) {
  Rig rig(0);
  EXPECT_EQ(rig.Frame(0, kOneLine), 1);
  EXPECT_EQ(rig.engine.sequencer.lastFrameTick, 0u);
  EXPECT_EQ(rig.engine.sequencer.cyclePhase, 0u);
  EXPECT_EQ(rig.engine.sequencer.lineIndex, 0);
  EXPECT_EQ(rig.Frame(40, kOneLine), 1);
  EXPECT_EQ(rig.engine.sequencer.lastFrameTick, 40u);
  EXPECT_EQ(rig.engine.sequencer.cyclePhase, 0u);  // not 5
  EXPECT_EQ(rig.Frame(80, kOneLine), 1);
  EXPECT_EQ(rig.engine.sequencer.cyclePhase, 5u);

  // The same after the counter wraps onto 0 exactly.
  Rig wrapped;
  wrapped.Place(0xFFFFFFF8u, 100, 0);
  EXPECT_EQ(wrapped.Frame(0, kOneLine), 1);
  EXPECT_EQ(wrapped.engine.sequencer.cyclePhase, 101u);
  EXPECT_EQ(wrapped.engine.sequencer.lastFrameTick, 0u);
  EXPECT_EQ(wrapped.Frame(40, kOneLine), 1);
  EXPECT_EQ(wrapped.engine.sequencer.cyclePhase, 101u);
}

TEST(FrameSequencer, ALongPauseEndsTheCycleAndMovesOnOneLine) {
  Rig rig;
  rig.Place(1000, 100, 1);
  EXPECT_EQ(rig.Frame(11000, kThreeLines), 1);  // 10 s: the phase jumps by 1250 to 1350
  EXPECT_EQ(rig.show.Bytes(), rig.trail.Bytes());  // no text drawn that frame
  for (uint8_t b : rig.show.Bytes()) ASSERT_EQ(b, 0);
  EXPECT_EQ(rig.engine.sequencer.cyclePhase, 0u);
  EXPECT_EQ(rig.engine.sequencer.lineIndex, 2);

  EXPECT_EQ(rig.Frame(11040, kThreeLines), 1);  // the next line fades in from phase 5
  EXPECT_EQ(rig.engine.sequencer.cyclePhase, 5u);
  EXPECT_EQ(rig.Blue(rig.show, static_cast<uint32_t>(LineStartX(5)), kLineTop),
            WhiteOverBlack(5));
}

TEST(FrameSequencer, FadeInDrawsOnlyIntoShowBufferAtTheCyclePhase) {
  Rig rig;
  const uint32_t x = static_cast<uint32_t>(LineStartX(1));
  for (uint32_t phase : {5u, 100u, 254u, 255u}) {
    rig.Place(1000, phase - 1, 0);
    ASSERT_EQ(rig.Frame(1008, kOneLine), 1);
    ASSERT_EQ(rig.engine.sequencer.cyclePhase, phase);
    SCOPED_TRACE(phase);
    // Every channel of the glyph's block; the trail stays black.
    for (uint32_t dy = 0; dy < 4; ++dy) {
      for (uint32_t dx = 0; dx < 4; ++dx) {
        for (uint32_t c = 0; c < 3; ++c)
          EXPECT_EQ(rig.show.PixelAt(x + dx, kLineTop + dy)[c], WhiteOverBlack(phase));
      }
    }
    EXPECT_EQ(rig.show.PixelAt(x - 1, kLineTop)[0], 0);
    EXPECT_EQ(rig.show.PixelAt(x + 4, kLineTop)[0], 0);
    EXPECT_EQ(rig.show.PixelAt(x, kLineTop + 4)[0], 0);
    for (uint8_t b : rig.trail.Bytes()) ASSERT_EQ(b, 0);
  }
  EXPECT_EQ(WhiteOverBlack(255), 252);  // a = 253 at alpha 255
  EXPECT_EQ(WhiteOverBlack(254), 251);

  // Phase 0 is composed only by a frame that records its tick (lastFrameTick 0) while
  // the phase already is 0: alpha 0 draws nothing.
  Rig zero;
  zero.Place(0, 0, 0);
  ASSERT_EQ(zero.Frame(2000, kOneLine), 1);
  EXPECT_EQ(zero.engine.sequencer.cyclePhase, 0u);
  EXPECT_EQ(zero.engine.sequencer.lastFrameTick, 2000u);
  for (uint8_t b : zero.show.Bytes()) ASSERT_EQ(b, 0);
}

TEST(FrameSequencer, BurnInDrawsIntoTrailBufferAfterTheBlurThenCopies) {
  Rig rig;
  const uint32_t x = static_cast<uint32_t>(LineStartX(1));
  rig.Place(1000, 255, 0);
  ASSERT_EQ(rig.Frame(1008, kOneLine), 1);
  ASSERT_EQ(rig.engine.sequencer.cyclePhase, 256u);
  // Drawn at full alpha into the trail after the blur (crisp: the block's exact value,
  // nothing around it), then copied.
  EXPECT_EQ(rig.Blue(rig.trail, x, kLineTop), 252);
  EXPECT_EQ(rig.Blue(rig.trail, x + 3, kLineTop + 3), 252);
  EXPECT_EQ(rig.Blue(rig.trail, x - 1, kLineTop), 0);
  EXPECT_EQ(rig.show.Bytes(), rig.trail.Bytes());

  // The next frame zooms and blurs it outward: light beyond the block's edge.
  ASSERT_EQ(rig.Frame(1016, kOneLine), 1);
  ASSERT_EQ(rig.engine.sequencer.cyclePhase, 257u);
  EXPECT_EQ(rig.show.Bytes(), rig.trail.Bytes());
  int lit = 0;
  for (uint32_t y = kLineTop - 3; y < kLineTop + 7; ++y)
    for (uint32_t dx = 0; dx < 3; ++dx) lit += rig.Blue(rig.trail, x - 1 - dx, y) != 0;
  EXPECT_GT(lit, 0);

  // Phase 511 still burns in; 512 shows only the trail.
  rig.trail.Bytes().assign(rig.trail.Bytes().size(), 0);
  rig.Place(1016, 510, 0);
  ASSERT_EQ(rig.Frame(1024, kOneLine), 1);
  EXPECT_EQ(rig.Blue(rig.trail, x, kLineTop), 252);
  rig.trail.Bytes().assign(rig.trail.Bytes().size(), 0);
  rig.Place(1024, 511, 0);
  ASSERT_EQ(rig.Frame(1032, kOneLine), 1);
  for (uint8_t b : rig.trail.Bytes()) ASSERT_EQ(b, 0);
  EXPECT_EQ(rig.show.Bytes(), rig.trail.Bytes());
}

TEST(FrameSequencer, ANominalLineTakes128FramesInThreeBands) {
  Rig rig;
  ASSERT_EQ(rig.Frame(1000, kOneLine), 1);
  int fade = 0, burn = 0, decay = 0;
  std::vector<uint32_t> fadePhases;
  for (int k = 1; k <= 128; ++k) {
    ASSERT_EQ(rig.Frame(1000 + 40u * uint32_t(k), kOneLine), 1);
    const uint32_t p = rig.engine.sequencer.cyclePhase;
    if (k == 128) {
      EXPECT_EQ(p, 0u);  // phase 640 ended the cycle
      ++decay;
    } else if (p < 256) {
      ++fade;
      fadePhases.push_back(p);
    } else if (p < 512) {
      ++burn;
    } else {
      ++decay;
    }
  }
  EXPECT_EQ(fade, 51);
  EXPECT_EQ(burn, 51);
  EXPECT_EQ(decay, 26);
  EXPECT_EQ(fadePhases.front(), 5u);
  EXPECT_EQ(fadePhases.back(), 255u);
  EXPECT_EQ(rig.engine.sequencer.lineIndex, 0);  // a one-line set starts over
}

TEST(FrameSequencer, LinesComeInOrderAndStartOverAfterTheLast) {
  Rig rig;
  ASSERT_EQ(rig.Frame(1000, kThreeLines), 1);
  uint32_t now = 1000;
  const int32_t expectedLines[] = {0, 1, 2, 0, 1, 2, 0};
  for (int32_t line : expectedLines) {
    // A fade-in frame at phase 200: the line drawn is entry lineIndex (its width shows
    // which).
    now += 200 * 8;
    ASSERT_EQ(rig.Frame(now, kThreeLines), 1);
    ASSERT_EQ(rig.engine.sequencer.lineIndex, line);
    const int glyphs = 1 + 2 * line;
    const auto x = static_cast<uint32_t>(LineStartX(glyphs));
    EXPECT_EQ(rig.Blue(rig.show, x, kLineTop), WhiteOverBlack(200)) << "line " << line;
    EXPECT_EQ(rig.Blue(rig.show, x - 1, kLineTop), 0) << "line " << line;
    // Jump to the end of the cycle.
    now += 640 * 8;
    ASSERT_EQ(rig.Frame(now, kThreeLines), 1);
    EXPECT_EQ(rig.engine.sequencer.cyclePhase, 0u);
  }
}

TEST(FrameSequencer, ASetWithoutLinesDrawsNothing) {
  Rig rig;
  uint32_t now = 1000;
  for (int k = 0; k < 400; ++k, now += 40) {
    ASSERT_EQ(rig.Frame(now, kNoLines), 1);
    ASSERT_EQ(rig.engine.sequencer.lineIndex, 0);
  }
  // The entry after the terminator was never drawn: all black.
  for (uint8_t b : rig.show.Bytes()) ASSERT_EQ(b, 0);
  for (uint8_t b : rig.trail.Bytes()) ASSERT_EQ(b, 0);
  // A null set behaves the same.
  ASSERT_EQ(rig.Frame(now + 40, nullptr), 1);
  for (uint8_t b : rig.show.Bytes()) ASSERT_EQ(b, 0);
}

TEST(FrameSequencer, TheZoomStretchesZoomRectOverZoomBuffer) {
  const Rect whole{0, 0, 400, 300};
  for (const Rect& zoomRect : {Rect{7, 11, 393, 289}, whole}) {
    SCOPED_TRACE(zoomRect.left);
    Rig rig;
    rig.FillTrail();
    const std::vector<uint8_t> before = rig.trail.Bytes();
    rig.Place(1000, 600, 0);
    rig.engine.sequencer.zoomRect = zoomRect;
    ASSERT_EQ(rig.Frame(1040, kOneLine), 1);
    ExpectZoomOf(before, zoomRect, rig.zoom);
    // A margin of 0 copies that axis one to one.
    if (zoomRect == whole) {
      EXPECT_EQ(rig.zoom.Bytes(), before);
    }
  }
}

// The generator's state that makes the state after its next draw (ForceFirst), or
// after the draw following that one (ForceSecond), the given one.
uint32_t ForceFirst(uint32_t stateAfterFirst) { return LcgBack(stateAfterFirst); }
uint32_t ForceSecond(uint32_t stateAfterSecond) { return LcgBack(LcgBack(stateAfterSecond)); }

TEST(FrameSequencer, RandomExtremesGiveTheExtremeMargins) {
  struct Case {
    uint32_t state;
    int32_t left, top;
  };
  // The draws each state gives, and the margins worked by hand (draw x 20 / 32767 and
  // draw x 25 / 32767, truncated). One less than the largest draw already truncates
  // below the extreme margin.
  const Case cases[] = {
      {ForceFirst(0x7FFF1234u), 20, 23},   // draws 32767 and 30619 (765475 / 32767 = 23.4)
      {ForceFirst(0x00001234u), 0, 11},    // draws 0 and 15256 (381400 / 32767 = 11.6)
      {ForceSecond(0xFFFF0042u), 12, 25},  // draws 20558 (411160 / 32767 = 12.5) and 32767
      {ForceSecond(0x80000042u), 0, 0},    // draws 419 (8380 / 32767 = 0.3) and 0
      {ForceFirst(0x7FFE0000u), 19, 23},   // draws 32766 (655320 / 32767 = 19.99) and 30764
      {ForceSecond(0x7FFE0000u), 9, 24},   // draws 16070 and 32766 (819150 / 32767 = 24.99)
  };
  for (const Case& k : cases) {
    Rig rig;
    rig.Place(1000, 639, 0);
    rig.engine.random.state = k.state;
    ASSERT_EQ(rig.Frame(1008, kOneLine), 1);
    EXPECT_EQ(rig.engine.sequencer.zoomRect, (Rect{k.left, k.top, 400 - k.left, 300 - k.top}));
  }
}

TEST(RunFrameStep, OnlySelectorsOneAndFourRunTheSequencer) {
  for (uint32_t settings : {0u, 2u, 3u, 5u, 0x14u, 0x41u, 0xFFu, 0x100u, 0x10000000u}) {
    Rig rig;
    rig.FillTrail();
    const auto trail = rig.trail.Bytes();
    rig.clock.Set(1000);
    EXPECT_EQ(RunFrameStep(rig.engine, settings), 0) << settings;
    EXPECT_EQ(rig.engine.sequencer.lastFrameTick, 0u);
    EXPECT_EQ(rig.engine.sequencer.cyclePhase, 0xFFFFFFFFu);
    EXPECT_EQ(rig.trail.Bytes(), trail);
    for (uint8_t v : rig.show.Bytes()) ASSERT_EQ(v, 0);
  }
  for (uint32_t settings : {1u, 4u, 0x401u, 0x10000001u, 0x10000004u, 0xABCD0001u}) {
    Rig rig;
    rig.clock.Set(1000);
    EXPECT_EQ(RunFrameStep(rig.engine, settings), 1) << settings;
    EXPECT_EQ(rig.engine.sequencer.lastFrameTick, 1000u);
    EXPECT_EQ(rig.engine.sequencer.lineIndex, 0);
  }
}

}  // namespace
}  // namespace lumenfall
