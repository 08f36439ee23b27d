// What the kernels read, made once per pass: the rule's steps and each format's tables.
#include <bit>
#include <cstring>
#include <vector>

#include "effect/blur/kernels.h"

namespace lumenfall::blurkernels {

// The six rules by what they step; any other function is not ours to take apart.
bool StepsForRule(ColourDecayRule rule, RuleSteps& steps) {
  constexpr uint32_t R = 0xFF0000, G = 0x00FF00, B = 0x0000FF;
  if (rule == FadeToRed) steps = MakeRuleSteps(G | B, R);
  else if (rule == FadeToGreen) steps = MakeRuleSteps(R | B, G);
  else if (rule == FadeToBlue) steps = MakeRuleSteps(R | G, B);
  else if (rule == FadeToYellow) steps = MakeRuleSteps(B, R | G);
  else if (rule == FadeToMagenta) steps = MakeRuleSteps(G, R | B);
  else if (rule == FadeToCyan) steps = MakeRuleSteps(R, G | B);
  else return false;
  return true;
}

RuleSteps MakeRuleSteps(uint32_t always, uint32_t conditional) {
  RuleSteps r;
  r.always = always;
  r.conditional = conditional;
  r.alwaysLanes = SpreadLanes(always);
  r.alwaysSteps = r.alwaysLanes & kLaneTwelve;
  r.conditionalSteps = SpreadLanes(conditional) & kLaneTwelve;
  return r;
}

void FillPaletteTables(const DisplayState& display, KernelContext& k) {
  for (uint32_t i = 0; i < 256; ++i) k.ramp8[i] = static_cast<uint8_t>(display.greyRamp.entry[i]);
  for (uint32_t i = 0; i < 256; ++i) {
    const PaletteEntry& e = display.greyPalette.entry[i];
    const uint32_t sOld = uint32_t{e.peRed} + e.peGreen + e.peBlue;
    k.keep8[i] = static_cast<uint8_t>(sOld * 128 / 765);
    const uint32_t colour = (uint32_t{e.peRed} << 16) | (uint32_t{e.peGreen} << 8) | e.peBlue;
    if (colour == 0) {
      k.cell8[i] = 0;
      continue;
    }
    const uint32_t c = Decay(k.rule, colour);
    const uint32_t sum = ((c >> 16) & 0xFF) + ((c >> 8) & 0xFF) + (c & 0xFF);
    k.cell8[i] = kLitCell8 | (uint32_t{k.ramp8[sum * 255 / 765]} << 16) | (sum * 127 / 765);
  }
}

void FillDecayTables(KernelContext& k, bool remainders) {
  const uint32_t stepped[2] = {k.rule.always, k.rule.always | k.rule.conditional};
  for (uint32_t v = 0; v < 256; ++v) {
    // The level as it is and stepped: the level, its half and its halved remainder.
    uint64_t parts[2][3];
    for (int s = 0; s < 2; ++s) {
      const uint32_t d = s == 0 ? v : (v > 12 ? v - 12 : 0);
      parts[s][0] = d;
      parts[s][1] = (d * 127) >> 8;
      parts[s][2] = ((d * 127) & 0xFF) >> 1;
    }
    for (int conditional = 0; conditional < 2; ++conditional) {
      for (uint32_t channel = 0; channel < 3; ++channel) {
        const uint32_t place = 8 * channel;
        const uint64_t* p = parts[(stepped[conditional] >> place & 0xFF) != 0 ? 1 : 0];
        uint64_t entry = (p[0] << place) | (p[1] << (32 + place));
        if (remainders) {
          if (channel == 2) entry |= p[2] << 24;
          if (channel == 1) entry |= p[2] << 56;
        } else if (v != 0) {
          entry |= 0xFF000000FF000000ull;  // a lit pixel's marks in the cell and the half
        }
        k.decay[channel][conditional][v] = entry;
      }
    }
  }
}

// The fields do not overlap and fit in 16 bits, and for every level v of a channel,
// widening the packed v gives v with the low bits cleared (keep), and packing ignores
// those low bits. All four recognised layouts pass; keep16 receives the kept bits of
// each channel.
bool LanesAreExact(KernelContext& k) {
  const PixelFormatInfo& f = k.info;
  const uint32_t masks = f.redMask | f.greenMask | f.blueMask;
  if ((f.redMask & f.greenMask) != 0 || (f.redMask & f.blueMask) != 0 ||
      (f.greenMask & f.blueMask) != 0 || masks > 0xFFFF)
    return false;
  const uint32_t mask[3] = {f.redMask, f.greenMask, f.blueMask};
  const uint32_t down[3] = {f.redDownshift, f.greenDownshift, f.blueDownshift};
  const uint32_t place[3] = {16, 8, 0};
  uint32_t keep = 0;
  for (int c = 0; c < 3; ++c) {
    auto pack = [&](uint32_t v) { return ((v << place[c]) >> down[c]) & mask[c]; };
    auto widen = [&](uint32_t p) { return ((p & mask[c]) << down[c]) >> place[c] & 0xFF; };
    const uint32_t kept = widen(pack(0xFF));
    // Shifts and masks keep ORs apart: agreeing on each bit of a level is agreeing on all.
    for (uint32_t v = 1; v < 256; v <<= 1) {
      if (widen(pack(v)) != (v & kept) || pack(v & kept) != pack(v)) return false;
    }
    keep |= kept << place[c];
  }
  k.keep16 = keep;
  return true;
}

// Each byte of a pixel widened to its channels, with 0xFF on top where that is not black.
void FillWidenTables16(KernelContext& k) {
  const PixelFormatInfo& f = k.info;
  auto widen = [&f](uint32_t v) {
    const uint32_t c = (((v & f.redMask) << f.redDownshift) & 0xFF0000) |
                       (((v & f.greenMask) << f.greenDownshift) & 0xFF00) |
                       (((v & f.blueMask) << f.blueDownshift) & 0xFF);
    return c == 0 ? 0 : c | kLitCell;
  };
  for (uint32_t v = 0; v < 256; ++v) {
    k.widen16[0][v] = widen(v);
    k.widen16[1][v] = widen(v << 8);
  }
}

bool FillParts16(KernelContext& k) {
  const PixelFormatInfo& f = k.info;
  const uint32_t masks[3] = {f.blueMask, f.greenMask, f.redMask};
  const uint32_t down[3] = {f.blueDownshift, f.greenDownshift, f.redDownshift};
  // The split at the start of a field that leaves no field across it and both parts
  // within kPart16Bits bits; the parts are indexed unmasked, by pixel & (2^split - 1)
  // and by pixel >> split, so bits outside the fields count as 0.
  Parts16& p = k.parts16;
  p = Parts16{};
  uint32_t best = kPart16Bits + 1;
  for (uint32_t m : masks) {
    if (m == 0) return false;
  }
  for (uint32_t m : masks) {
    const auto split = uint32_t(std::countr_zero(m));
    bool whole = true;
    for (uint32_t other : masks) {
      whole = whole && ((other >> split) == 0 || (other & ((1u << split) - 1)) == 0);
    }
    const uint32_t larger = split > 16 - split ? split : 16 - split;
    if (whole && split != 0 && larger < best) {
      best = larger;
      p.split = split;
    }
  }
  if (best > kPart16Bits) return false;
  // Each channel's three words for each level (on the heap: the caller's stack is small
  // on some hosts).
  std::vector<uint64_t> words(3 * 256 * 3);
  auto wordsOf = [&words](uint32_t c, uint32_t level) { return &words[(c * 256 + level) * 3]; };
  for (uint32_t c = 0; c < 3; ++c) {
    for (uint32_t level = 1; level < 256; ++level) {
      uint64_t* w = wordsOf(c, level);
      for (int s = 0; s < 2; ++s) {
        const uint64_t d = k.decay[c][s][level];
        w[s] = (d & 0x00FFFFFF00FFFFFFull) | 0xFF000000FF000000ull;
        w[2] |= (((d >> 8) & 0xFF0000) | ((d >> 48) & 0xFF00)) << (32 * s);
      }
    }
  }
  auto fill = [&](std::vector<uint64_t>& table, uint32_t values, uint32_t shift) {
    table.resize(3 * size_t{values});
    for (uint32_t v = 0; v < values; ++v) {
      uint64_t e[3] = {};
      for (uint32_t c = 0; c < 3; ++c) {
        const uint32_t level = (((v << shift) & masks[c]) << down[c]) >> kPlanePlace[c] & 0xFF;
        const uint64_t* w = wordsOf(c, level);
        for (int n = 0; n < 3; ++n) e[n] |= w[n];
      }
      std::memcpy(&table[3 * size_t{v}], e, sizeof e);
    }
  };
  fill(p.low, 1u << p.split, 0);
  fill(p.high, 1u << (16 - p.split), p.split);
  return true;
}

bool FillPlanes16(KernelContext& k) {
  Planes16& p = k.planes16;
  p = Planes16{};
  const uint32_t masks[3] = {k.info.blueMask, k.info.greenMask, k.info.redMask};
  const uint32_t downshift[3] = {k.info.blueDownshift, k.info.greenDownshift, k.info.redDownshift};
  for (int c = 0; c < 3; ++c) {
    const uint32_t kept = (k.keep16 >> kPlanePlace[c]) & 0xFF;
    if (kept == 0 || masks[c] == 0) return false;
    const auto lack = static_cast<uint32_t>(std::countr_zero(kept));
    const auto at = static_cast<uint32_t>(std::countr_zero(masks[c]));
    const uint32_t width = 8 - lack;
    if (((0xFFu << lack) & 0xFF) != kept || ((1u << width) - 1) << at != masks[c]) return false;
    // The writer's packing of every level must be the field's value in its place (checked
    // bit by bit: both sides are shifts and masks, which keep ORs apart).
    for (uint32_t v = 1; v < 256; v <<= 1) {
      if ((((v << kPlanePlace[c]) >> downshift[c]) & masks[c]) != (v >> lack) << at) return false;
    }
    p.lack[c] = lack;
    p.at[c] = at;
    p.fieldMask[c] = static_cast<uint16_t>((1u << width) - 1);
    p.pixelMask = static_cast<uint16_t>(p.pixelMask | masks[c]);
  }
  return true;
}

}  // namespace lumenfall::blurkernels
