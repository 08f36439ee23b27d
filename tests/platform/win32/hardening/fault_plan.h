// The faults that the test ddraw.dll injects, read from one line of text, and the
// counters that decide which call fails. Plain C++ without Windows headers, so that the
// rules are tested natively and the DLL only applies them.
//
// A plan is a comma-separated list of faults, each  kind[:index][@after][*count]
//   create              DirectDrawCreate gives no object
//   query               the device answers no IDirectDraw2
//   primary             the primary surface is not created
//   clipper             the clipper is not created
//   surface:N           the Nth off-screen surface is not created (N from 1)
//   lock[:N]            Lock fails (DDERR_GENERIC)
//   lock-stilldrawing[:N]  Lock answers DDERR_WASSTILLDRAWING
//   lock-lost[:N]       the off-screen surfaces are lost (Lock, Blt and IsLost answer
//                       DDERR_SURFACELOST) until a Restore succeeds
//   blt                 the Blt onto the primary fails (DDERR_GENERIC)
//   blt-lost            the primary is lost until a Restore succeeds
//   mode-change         the display mode changes: every surface is lost and Restore
//                       answers DDERR_WRONGMODE for ever; surfaces created afterwards
//                       (by a rebuilt display) see a 640 x 480 primary at 16 bits
// For the lock kinds N picks the Nth off-screen surface; without it every off-screen
// surface counts. @after: the fault starts after that many calls that it could have
// failed. *count: it fails that many calls and then no more; without it, for ever.
// For mode-change @after counts blits onto the primary, and count is ignored.
// For the two lost kinds count is the number of calls answered "lost" before a
// Restore succeeds; until then Restore answers DDERR_NOEXCLUSIVEMODE (another program
// holds the display), which is not a mode change.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lumenfall::faults {

enum class FaultKind {
  Create,
  Query,
  Primary,
  Clipper,
  Surface,
  Lock,
  LockStillDrawing,
  LockLost,
  Blt,
  BltLost,
  ModeChange,
};

constexpr uint32_t kForever = 0xFFFFFFFFu;
constexpr uint32_t kLargestNumber = 1000000000u;

struct Fault {
  FaultKind kind = FaultKind::Create;
  uint32_t index = 0;  // 0: every surface of the kind
  uint32_t after = 0;
  uint32_t count = kForever;
};

// Parses a plan. Empty text is an empty plan. On a mistake returns false with a
// one-line reason and leaves plan empty.
bool ParseFaultPlan(std::string_view text, std::vector<Fault>& plan, std::string& error);

// The plan written back in its canonical form ("surface:3@0*forever,..."), for the log.
std::string FormatFaultPlan(const std::vector<Fault>& plan);

std::string_view FaultKindName(FaultKind kind);

// Decides, call by call, whether a fault fails the call.
class FaultCounter {
 public:
  explicit FaultCounter(const Fault& fault) : fault_(fault) {}

  // For the failing kinds: one more call that the fault could fail; true when it does.
  bool Fails();

  // For the lost kinds: one more call before the surface is lost; true exactly once,
  // on the call that loses it.
  bool LosesNow();
  // One call answered "lost".
  void CountLostAnswer() {
    if (failures_ != kForever) ++failures_;
  }
  // A Restore while lost: true once enough calls were answered "lost".
  bool RestoreSucceeds() const { return fault_.count != kForever && failures_ >= fault_.count; }

  const Fault& fault() const { return fault_; }
  uint32_t calls() const { return calls_; }
  uint32_t failures() const { return failures_; }
  // True once a failing kind has failed all the calls of its count.
  bool UsedUp() const { return fault_.count != kForever && failures_ >= fault_.count; }

 private:
  Fault fault_;
  uint32_t calls_ = 0;
  uint32_t failures_ = 0;
  bool lost_ = false;
};

}  // namespace lumenfall::faults
