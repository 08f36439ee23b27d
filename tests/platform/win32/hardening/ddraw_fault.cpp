// A test ddraw.dll for the saver's fault tests. It loads Wine's own DirectDraw from
// the system folder and hands out its objects wrapped in proxies: the device
// (IDirectDraw, IDirectDraw2), the surfaces (IDirectDrawSurface, IDirectDrawSurface2)
// and the clipper. The proxies pass every call on, except the calls that the fault
// plan in LUMENFALL_DDRAW_FAULT fails (fault_plan.h has its rules).
//
// LUMENFALL_DDRAW_LOG names a log file; each line is "<tick> <event> key=value ...":
//   plan text=...            the plan as understood (or plan-error reason=...)
//   builtin loaded=0|1       whether the system's DirectDraw was found
//   new <what> name=...      an object handed out; release <what> name=... when it ends
//   fail kind=... call=N     the first call that a fault failed; over kind=... when the
//                            fault has failed all the calls of its count
//   lost name=...            a surface became lost; restored name=... after a Restore
//                            that succeeded; restore-refused name=... at the first
//                            Restore refused during the loss
//   mode-change              the display mode changed (every surface lost for good)
//   zombie what=... call=... a call on an object that the saver had already released
//   summary ...              at unload: live objects and call counts
// Objects are never freed, only marked released, so that a late call is logged
// rather than crashing the process.
#include <windows.h>
#include <ddraw.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

#include "../helpers/append_log.h"
#include "fault_plan.h"

namespace lumenfall::faults {
namespace {

// ---- The log ----

// One line a call in the file named by LUMENFALL_DDRAW_LOG.
void Log(const char* format, ...) {
  va_list args;
  va_start(args, format);
  AppendLogLine("LUMENFALL_DDRAW_LOG", format, args);
  va_end(args);
}

// ---- The plan and the counts ----

struct Counts {
  long live = 0;  // objects handed out and not yet released
  unsigned long zombieCalls = 0;
  unsigned long devices = 0, surfaces = 0, offscreen = 0, clippers = 0;
  unsigned long primaryBlt = 0, primaryBltOk = 0;
  unsigned long lock = 0, lockOk = 0, unlock = 0;
  unsigned long restore = 0, restoreOk = 0, lostAnswers = 0;
  unsigned long wrongMode = 0;  // Restore answers DDERR_WRONGMODE
  unsigned long bltOutside = 0;  // blits onto a new-mode primary reaching outside its size
};

Counts counts;
std::vector<FaultCounter> counters;
bool planRead = false;

void ReadPlan() {
  if (planRead) return;
  planRead = true;
  char text[512];
  const DWORD length = GetEnvironmentVariableA("LUMENFALL_DDRAW_FAULT", text, sizeof text);
  std::vector<Fault> plan;
  std::string error;
  if (length >= sizeof text) {
    Log("plan-error reason=\"the plan is longer than %u characters\"", static_cast<unsigned>(sizeof text - 1));
    return;
  }
  if (!ParseFaultPlan(std::string_view(text, length), plan, error)) {
    Log("plan-error reason=\"%s\"", error.c_str());
    return;
  }
  for (const Fault& f : plan) counters.emplace_back(f);
  Log("plan text=%s", FormatFaultPlan(plan).c_str());
}

bool Matches(const FaultCounter& c, FaultKind kind, uint32_t surface) {
  return c.fault().kind == kind && (c.fault().index == 0 || c.fault().index == surface);
}

// One call that faults of this kind may fail; true when one of them fails it.
bool Fails(FaultKind kind, uint32_t surface = 0) {
  ReadPlan();
  bool failed = false;
  for (FaultCounter& c : counters) {
    if (!Matches(c, kind, surface) || failed) continue;
    if (!c.Fails()) continue;
    failed = true;
    const std::string name(FaultKindName(kind));
    if (c.failures() == 1) Log("fail kind=%s call=%lu", name.c_str(), static_cast<unsigned long>(c.calls()));
    if (c.UsedUp()) Log("over kind=%s call=%lu", name.c_str(), static_cast<unsigned long>(c.calls()));
  }
  return failed;
}

// ---- Surfaces' shared records ----

// One per surface that DirectDraw created, shared by its proxies of either version.
struct SurfaceRecord {
  uint32_t index = 0;  // 0 for the primary, else the off-screen surface's number
  char name[24] = {};
  bool lost = false;
  bool oldMode = false;  // lost to a mode change: never restored
  bool newMode = false;  // created after a mode change
  FaultCounter* lostBy = nullptr;
  int proxies = 0;  // proxies of either version that are not released
  unsigned long refusals = 0;  // Restore calls refused during this loss
};

std::vector<SurfaceRecord*> surfaceRecords;

void Lose(SurfaceRecord* record, FaultCounter* by) {
  if (record->lost || record->proxies == 0) return;
  record->lost = true;
  record->lostBy = by;
  Log("lost name=%s", record->name);
}

// A lock or a blit may lose surfaces: blits lose the primary, locks the off-screen
// surfaces (the one named by the fault, or all of them).
void MaybeLose(FaultKind kind, SurfaceRecord* record) {
  ReadPlan();
  for (FaultCounter& c : counters) {
    if (!Matches(c, kind, record->index) || !c.LosesNow()) continue;
    if (kind == FaultKind::LockLost && c.fault().index == 0) {
      for (SurfaceRecord* r : surfaceRecords)
        if (r->index != 0) Lose(r, &c);
    } else {
      Lose(record, &c);
    }
  }
}

// After a mode change: the mode that the rebuilt display reports for its primary.
bool modeChanged = false;
constexpr DWORD kNewModeWidth = 640, kNewModeHeight = 480;

void ChangeModeIfDue() {
  ReadPlan();
  for (FaultCounter& c : counters) {
    if (c.fault().kind != FaultKind::ModeChange || !c.LosesNow()) continue;
    modeChanged = true;
    Log("mode-change");
    for (SurfaceRecord* r : surfaceRecords) {
      if (r->proxies == 0) continue;
      r->lost = true;
      r->oldMode = true;
      Log("lost name=%s", r->name);
    }
  }
}

void NewModeFormat(DDPIXELFORMAT& format) {
  format.dwFlags = DDPF_RGB;
  format.dwRGBBitCount = 16;
  format.dwRBitMask = 0xF800;
  format.dwGBitMask = 0x07E0;
  format.dwBBitMask = 0x001F;
  format.dwRGBAlphaBitMask = 0;
}

HRESULT LostAnswer(SurfaceRecord* record) {
  if (record->lostBy != nullptr) record->lostBy->CountLostAnswer();
  ++counts.lostAnswers;
  return DDERR_SURFACELOST;
}

HRESULT Zombie(const char* what, const char* call) {
  ++counts.zombieCalls;
  Log("zombie what=%s call=%s", what, call);
  return DDERR_INVALIDOBJECT;
}

// ---- Reference counting shared by every proxy ----

class Counted {
 protected:
  Counted(const char* what, const char* name) : what_(what) {
    std::snprintf(name_, sizeof name_, "%s", name);
    ++counts.live;
    Log("new %s name=%s", what_, name_);
  }
  ULONG AddRefImpl() {
    if (released_) {
      Zombie(what_, "AddRef");
      return 0;
    }
    return ++refs_;
  }
  // Calls end() when the last reference goes.
  template <typename End>
  ULONG ReleaseImpl(End end) {
    if (released_) {
      Zombie(what_, "Release");
      return 0;
    }
    if (--refs_ > 0) return refs_;
    released_ = true;
    --counts.live;
    end();
    Log("release %s name=%s", what_, name_);
    return 0;
  }
  bool Released(const char* call) const {
    if (released_) Zombie(what_, call);
    return released_;
  }

 private:
  const char* what_;
  char name_[24] = {};
  ULONG refs_ = 1;
  bool released_ = false;
};

#define LF_LIVE(call) \
  if (Released(call)) return DDERR_INVALIDOBJECT

// ---- The clipper ----

class ClipperProxy final : public IDirectDrawClipper, Counted {
 public:
  explicit ClipperProxy(IDirectDrawClipper* real) : Counted("clipper", "clipper"), real_(real) {
    registry().insert(this);
  }
  static std::set<const void*>& registry() {
    static std::set<const void*> known;
    return known;
  }
  static IDirectDrawClipper* Unwrap(IDirectDrawClipper* clipper) {
    if (clipper == nullptr || registry().count(clipper) == 0) return nullptr;
    return static_cast<ClipperProxy*>(clipper)->real_;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    LF_LIVE("QueryInterface");
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (riid != IID_IDirectDrawClipper && riid != IID_IUnknown) return E_NOINTERFACE;
    AddRef();
    *out = static_cast<IDirectDrawClipper*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
  ULONG STDMETHODCALLTYPE Release() override {
    return ReleaseImpl([this] { real_->Release(); });
  }
  HRESULT STDMETHODCALLTYPE GetClipList(LPRECT rect, LPRGNDATA list, LPDWORD size) override {
    LF_LIVE("GetClipList");
    return real_->GetClipList(rect, list, size);
  }
  HRESULT STDMETHODCALLTYPE GetHWnd(HWND* window) override {
    LF_LIVE("GetHWnd");
    return real_->GetHWnd(window);
  }
  HRESULT STDMETHODCALLTYPE Initialize(LPDIRECTDRAW, DWORD) override {
    LF_LIVE("Initialize");
    return DDERR_ALREADYINITIALIZED;
  }
  HRESULT STDMETHODCALLTYPE IsClipListChanged(WINBOOL* changed) override {
    LF_LIVE("IsClipListChanged");
    return real_->IsClipListChanged(changed);
  }
  HRESULT STDMETHODCALLTYPE SetClipList(LPRGNDATA list, DWORD flags) override {
    LF_LIVE("SetClipList");
    return real_->SetClipList(list, flags);
  }
  HRESULT STDMETHODCALLTYPE SetHWnd(DWORD flags, HWND window) override {
    LF_LIVE("SetHWnd");
    return real_->SetHWnd(flags, window);
  }

 private:
  IDirectDrawClipper* real_;
};

// ---- Surfaces ----

class Surface1Proxy;
class Surface2Proxy;

HRESULT WrapSurface(IUnknown* real, REFIID riid, SurfaceRecord* record, void** out);

// Everything that the two surface versions share; I is the interface, and the calls
// that take another surface take one of the same version.
template <typename I>
class SurfaceCommon : public I, protected Counted {
 public:
  SurfaceCommon(I* real, SurfaceRecord* record) : Counted("surface", record->name), real_(real), record_(record) {
    registry().insert(static_cast<I*>(this));
    ++record_->proxies;
  }
  static std::set<const void*>& registry() {
    static std::set<const void*> known;
    return known;
  }
  // The proxy behind an interface pointer of this version, or null for anything else.
  static SurfaceCommon* Find(I* surface) {
    if (surface == nullptr || registry().count(surface) == 0) return nullptr;
    return static_cast<SurfaceCommon*>(surface);
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    LF_LIVE("QueryInterface");
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    return WrapSurface(real_, riid, record_, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
  ULONG STDMETHODCALLTYPE Release() override {
    return ReleaseImpl([this] {
      real_->Release();
      --record_->proxies;  // the record outlives its proxies, for late calls
    });
  }

  HRESULT STDMETHODCALLTYPE AddAttachedSurface(I*) override { return Unsupported("AddAttachedSurface"); }
  HRESULT STDMETHODCALLTYPE AddOverlayDirtyRect(LPRECT rect) override {
    LF_LIVE("AddOverlayDirtyRect");
    return real_->AddOverlayDirtyRect(rect);
  }
  HRESULT STDMETHODCALLTYPE Blt(LPRECT dst, I* source, LPRECT src, DWORD flags, LPDDBLTFX fx) override {
    LF_LIVE("Blt");
    SurfaceCommon* from = Find(source);
    if (source != nullptr && from == nullptr) return Foreign("Blt");
    const bool onPrimary = record_->index == 0;
    if (onPrimary) ++counts.primaryBlt;
    if (onPrimary) ChangeModeIfDue();
    if (onPrimary && record_->newMode && dst != nullptr &&
        (dst->left < 0 || dst->top < 0 || dst->right > LONG{kNewModeWidth} || dst->bottom > LONG{kNewModeHeight}))
      ++counts.bltOutside;
    if (onPrimary) MaybeLose(FaultKind::BltLost, record_);
    if (record_->lost) return LostAnswer(record_);
    if (from != nullptr && from->record_->lost) return LostAnswer(from->record_);
    if (onPrimary && Fails(FaultKind::Blt)) return DDERR_GENERIC;
    const HRESULT result = real_->Blt(dst, from != nullptr ? from->real_ : nullptr, src, flags, fx);
    if (onPrimary && result == DD_OK) ++counts.primaryBltOk;
    return result;
  }
  HRESULT STDMETHODCALLTYPE BltBatch(LPDDBLTBATCH, DWORD, DWORD) override { return Unsupported("BltBatch"); }
  HRESULT STDMETHODCALLTYPE BltFast(DWORD x, DWORD y, I* source, LPRECT src, DWORD trans) override {
    LF_LIVE("BltFast");
    SurfaceCommon* from = Find(source);
    if (from == nullptr) return Foreign("BltFast");
    if (record_->lost) return LostAnswer(record_);
    if (from->record_->lost) return LostAnswer(from->record_);
    return real_->BltFast(x, y, from->real_, src, trans);
  }
  HRESULT STDMETHODCALLTYPE DeleteAttachedSurface(DWORD, I*) override {
    return Unsupported("DeleteAttachedSurface");
  }
  HRESULT STDMETHODCALLTYPE EnumAttachedSurfaces(LPVOID, LPDDENUMSURFACESCALLBACK) override {
    return Unsupported("EnumAttachedSurfaces");
  }
  HRESULT STDMETHODCALLTYPE EnumOverlayZOrders(DWORD, LPVOID, LPDDENUMSURFACESCALLBACK) override {
    return Unsupported("EnumOverlayZOrders");
  }
  HRESULT STDMETHODCALLTYPE Flip(I*, DWORD) override { return Unsupported("Flip"); }
  HRESULT STDMETHODCALLTYPE GetAttachedSurface(LPDDSCAPS, I** out) override {
    if (out != nullptr) *out = nullptr;
    return Unsupported("GetAttachedSurface");
  }
  HRESULT STDMETHODCALLTYPE GetBltStatus(DWORD flags) override {
    LF_LIVE("GetBltStatus");
    return real_->GetBltStatus(flags);
  }
  HRESULT STDMETHODCALLTYPE GetCaps(LPDDSCAPS caps) override {
    LF_LIVE("GetCaps");
    return real_->GetCaps(caps);
  }
  HRESULT STDMETHODCALLTYPE GetClipper(LPDIRECTDRAWCLIPPER* out) override {
    if (out != nullptr) *out = nullptr;
    return Unsupported("GetClipper");
  }
  HRESULT STDMETHODCALLTYPE GetColorKey(DWORD flags, LPDDCOLORKEY key) override {
    LF_LIVE("GetColorKey");
    return real_->GetColorKey(flags, key);
  }
  HRESULT STDMETHODCALLTYPE GetDC(HDC* dc) override {
    LF_LIVE("GetDC");
    return real_->GetDC(dc);
  }
  HRESULT STDMETHODCALLTYPE GetFlipStatus(DWORD flags) override {
    LF_LIVE("GetFlipStatus");
    return real_->GetFlipStatus(flags);
  }
  HRESULT STDMETHODCALLTYPE GetOverlayPosition(LPLONG x, LPLONG y) override {
    LF_LIVE("GetOverlayPosition");
    return real_->GetOverlayPosition(x, y);
  }
  HRESULT STDMETHODCALLTYPE GetPalette(LPDIRECTDRAWPALETTE* palette) override {
    LF_LIVE("GetPalette");
    return real_->GetPalette(palette);
  }
  HRESULT STDMETHODCALLTYPE GetPixelFormat(LPDDPIXELFORMAT format) override {
    LF_LIVE("GetPixelFormat");
    const HRESULT result = real_->GetPixelFormat(format);
    if (result == DD_OK && format != nullptr && record_->newMode && record_->index == 0) NewModeFormat(*format);
    return result;
  }
  HRESULT STDMETHODCALLTYPE GetSurfaceDesc(LPDDSURFACEDESC desc) override {
    LF_LIVE("GetSurfaceDesc");
    const HRESULT result = real_->GetSurfaceDesc(desc);
    if (result == DD_OK && desc != nullptr && record_->newMode && record_->index == 0) {
      desc->dwWidth = kNewModeWidth;
      desc->dwHeight = kNewModeHeight;
      NewModeFormat(desc->ddpfPixelFormat);
    }
    return result;
  }
  HRESULT STDMETHODCALLTYPE Initialize(LPDIRECTDRAW, LPDDSURFACEDESC) override {
    LF_LIVE("Initialize");
    return DDERR_ALREADYINITIALIZED;
  }
  HRESULT STDMETHODCALLTYPE IsLost() override {
    LF_LIVE("IsLost");
    if (record_->lost) return DDERR_SURFACELOST;
    return real_->IsLost();
  }
  HRESULT STDMETHODCALLTYPE Lock(LPRECT rect, LPDDSURFACEDESC desc, DWORD flags, HANDLE event) override {
    LF_LIVE("Lock");
    ++counts.lock;
    const uint32_t index = record_->index;
    if (index != 0) MaybeLose(FaultKind::LockLost, record_);
    if (record_->lost) return LostAnswer(record_);
    if (index != 0 && Fails(FaultKind::Lock, index)) return DDERR_GENERIC;
    if (index != 0 && Fails(FaultKind::LockStillDrawing, index)) return DDERR_WASSTILLDRAWING;
    const HRESULT result = real_->Lock(rect, desc, flags, event);
    if (result == DD_OK) ++counts.lockOk;
    return result;
  }
  HRESULT STDMETHODCALLTYPE ReleaseDC(HDC dc) override {
    LF_LIVE("ReleaseDC");
    return real_->ReleaseDC(dc);
  }
  HRESULT STDMETHODCALLTYPE Restore() override {
    LF_LIVE("Restore");
    ++counts.restore;
    if (record_->oldMode) {
      ++counts.wrongMode;
      if (record_->refusals++ == 0) Log("restore-refused name=%s", record_->name);
      return DDERR_WRONGMODE;
    }
    if (record_->lost) {
      // Not yet: another program holds the display. That is no mode change, which
      // only a new display would mend.
      if (record_->lostBy == nullptr || !record_->lostBy->RestoreSucceeds()) {
        if (record_->refusals++ == 0) Log("restore-refused name=%s", record_->name);
        return DDERR_NOEXCLUSIVEMODE;
      }
      record_->lost = false;
      record_->refusals = 0;
      Log("restored name=%s", record_->name);
    }
    const HRESULT result = real_->Restore();
    if (result == DD_OK) ++counts.restoreOk;
    return result;
  }
  HRESULT STDMETHODCALLTYPE SetClipper(LPDIRECTDRAWCLIPPER clipper) override {
    LF_LIVE("SetClipper");
    IDirectDrawClipper* real = ClipperProxy::Unwrap(clipper);
    if (clipper != nullptr && real == nullptr) return Foreign("SetClipper");
    return real_->SetClipper(real);
  }
  HRESULT STDMETHODCALLTYPE SetColorKey(DWORD flags, LPDDCOLORKEY key) override {
    LF_LIVE("SetColorKey");
    return real_->SetColorKey(flags, key);
  }
  HRESULT STDMETHODCALLTYPE SetOverlayPosition(LONG x, LONG y) override {
    LF_LIVE("SetOverlayPosition");
    return real_->SetOverlayPosition(x, y);
  }
  HRESULT STDMETHODCALLTYPE SetPalette(LPDIRECTDRAWPALETTE palette) override {
    LF_LIVE("SetPalette");
    return real_->SetPalette(palette);
  }
  HRESULT STDMETHODCALLTYPE Unlock(LPVOID address) override {
    LF_LIVE("Unlock");
    ++counts.unlock;
    return real_->Unlock(address);
  }
  HRESULT STDMETHODCALLTYPE UpdateOverlay(LPRECT, I*, LPRECT, DWORD, LPDDOVERLAYFX) override {
    return Unsupported("UpdateOverlay");
  }
  HRESULT STDMETHODCALLTYPE UpdateOverlayDisplay(DWORD flags) override {
    LF_LIVE("UpdateOverlayDisplay");
    return real_->UpdateOverlayDisplay(flags);
  }
  HRESULT STDMETHODCALLTYPE UpdateOverlayZOrder(DWORD, I*) override {
    return Unsupported("UpdateOverlayZOrder");
  }

 protected:
  // Calls that the saver never makes: refused, and logged so that a test notices.
  HRESULT Unsupported(const char* call) {
    LF_LIVE(call);
    Log("unsupported call=%s name=%s", call, record_->name);
    return DDERR_UNSUPPORTED;
  }
  HRESULT Foreign(const char* call) {
    Log("foreign call=%s name=%s", call, record_->name);
    return DDERR_INVALIDOBJECT;
  }

  I* real_;
  SurfaceRecord* record_;
};

class Surface1Proxy final : public SurfaceCommon<IDirectDrawSurface> {
 public:
  using SurfaceCommon::SurfaceCommon;
};

class Surface2Proxy final : public SurfaceCommon<IDirectDrawSurface2> {
 public:
  using SurfaceCommon::SurfaceCommon;
  HRESULT STDMETHODCALLTYPE GetDDInterface(LPVOID* out) override {
    if (out != nullptr) *out = nullptr;
    return Unsupported("GetDDInterface");
  }
  HRESULT STDMETHODCALLTYPE PageLock(DWORD flags) override {
    LF_LIVE("PageLock");
    return real_->PageLock(flags);
  }
  HRESULT STDMETHODCALLTYPE PageUnlock(DWORD flags) override {
    LF_LIVE("PageUnlock");
    return real_->PageUnlock(flags);
  }
};

// Asks the real surface for another version and wraps the answer; versions other than
// the first two are not offered.
HRESULT WrapSurface(IUnknown* real, REFIID riid, SurfaceRecord* record, void** out) {
  const bool first = riid == IID_IDirectDrawSurface || riid == IID_IUnknown;
  if (!first && riid != IID_IDirectDrawSurface2) return E_NOINTERFACE;
  void* answer = nullptr;
  const HRESULT result = real->QueryInterface(first ? IID_IDirectDrawSurface : IID_IDirectDrawSurface2, &answer);
  if (result != S_OK || answer == nullptr) return result != S_OK ? result : E_NOINTERFACE;
  if (first) {
    *out = static_cast<IDirectDrawSurface*>(new Surface1Proxy(static_cast<IDirectDrawSurface*>(answer), record));
  } else {
    *out = static_cast<IDirectDrawSurface2*>(new Surface2Proxy(static_cast<IDirectDrawSurface2*>(answer), record));
  }
  return S_OK;
}

// ---- The device ----

HRESULT WrapDevice(IUnknown* real, REFIID riid, void** out);

template <typename I>
class DeviceCommon : public I, protected Counted {
 public:
  DeviceCommon(I* real, const char* name) : Counted("device", name), real_(real) { ++counts.devices; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    LF_LIVE("QueryInterface");
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    return WrapDevice(real_, riid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
  ULONG STDMETHODCALLTYPE Release() override {
    return ReleaseImpl([this] { real_->Release(); });
  }
  HRESULT STDMETHODCALLTYPE Compact() override {
    LF_LIVE("Compact");
    return real_->Compact();
  }
  HRESULT STDMETHODCALLTYPE CreateClipper(DWORD flags, LPDIRECTDRAWCLIPPER* out, IUnknown* outer) override {
    LF_LIVE("CreateClipper");
    if (out == nullptr) return DDERR_INVALIDPARAMS;
    *out = nullptr;
    if (Fails(FaultKind::Clipper)) return DDERR_OUTOFMEMORY;
    IDirectDrawClipper* real = nullptr;
    const HRESULT result = real_->CreateClipper(flags, &real, outer);
    if (real == nullptr) return result;
    ++counts.clippers;
    *out = new ClipperProxy(real);
    return result;
  }
  HRESULT STDMETHODCALLTYPE CreatePalette(DWORD flags, LPPALETTEENTRY table, LPDIRECTDRAWPALETTE* out,
                                          IUnknown* outer) override {
    LF_LIVE("CreatePalette");
    return real_->CreatePalette(flags, table, out, outer);
  }
  HRESULT STDMETHODCALLTYPE CreateSurface(LPDDSURFACEDESC desc, LPDIRECTDRAWSURFACE* out, IUnknown* outer) override {
    LF_LIVE("CreateSurface");
    if (out == nullptr || desc == nullptr) return DDERR_INVALIDPARAMS;
    *out = nullptr;
    const bool primary = (desc->dwFlags & DDSD_CAPS) != 0 && (desc->ddsCaps.dwCaps & DDSCAPS_PRIMARYSURFACE) != 0;
    uint32_t index = 0;
    if (primary) {
      if (Fails(FaultKind::Primary)) return DDERR_OUTOFMEMORY;
    } else {
      index = static_cast<uint32_t>(++counts.offscreen);
      if (Fails(FaultKind::Surface, index)) return DDERR_OUTOFMEMORY;
    }
    IDirectDrawSurface* real = nullptr;
    const HRESULT result = real_->CreateSurface(desc, &real, outer);
    if (real == nullptr) return result;
    auto* record = new SurfaceRecord();
    record->index = index;
    record->newMode = modeChanged;
    if (primary) {
      std::snprintf(record->name, sizeof record->name, "primary");
    } else {
      std::snprintf(record->name, sizeof record->name, "offscreen%lu", static_cast<unsigned long>(index));
    }
    surfaceRecords.push_back(record);
    ++counts.surfaces;
    *out = new Surface1Proxy(real, record);
    return result;
  }
  HRESULT STDMETHODCALLTYPE DuplicateSurface(LPDIRECTDRAWSURFACE, LPDIRECTDRAWSURFACE* out) override {
    if (out != nullptr) *out = nullptr;
    return Unsupported("DuplicateSurface");
  }
  HRESULT STDMETHODCALLTYPE EnumDisplayModes(DWORD flags, LPDDSURFACEDESC desc, LPVOID context,
                                             LPDDENUMMODESCALLBACK callback) override {
    LF_LIVE("EnumDisplayModes");
    return real_->EnumDisplayModes(flags, desc, context, callback);
  }
  HRESULT STDMETHODCALLTYPE EnumSurfaces(DWORD, LPDDSURFACEDESC, LPVOID, LPDDENUMSURFACESCALLBACK) override {
    return Unsupported("EnumSurfaces");
  }
  HRESULT STDMETHODCALLTYPE FlipToGDISurface() override {
    LF_LIVE("FlipToGDISurface");
    return real_->FlipToGDISurface();
  }
  HRESULT STDMETHODCALLTYPE GetCaps(LPDDCAPS driver, LPDDCAPS hel) override {
    LF_LIVE("GetCaps");
    return real_->GetCaps(driver, hel);
  }
  HRESULT STDMETHODCALLTYPE GetDisplayMode(LPDDSURFACEDESC desc) override {
    LF_LIVE("GetDisplayMode");
    return real_->GetDisplayMode(desc);
  }
  HRESULT STDMETHODCALLTYPE GetFourCCCodes(LPDWORD number, LPDWORD codes) override {
    LF_LIVE("GetFourCCCodes");
    return real_->GetFourCCCodes(number, codes);
  }
  HRESULT STDMETHODCALLTYPE GetGDISurface(LPDIRECTDRAWSURFACE* out) override {
    if (out != nullptr) *out = nullptr;
    return Unsupported("GetGDISurface");
  }
  HRESULT STDMETHODCALLTYPE GetMonitorFrequency(LPDWORD frequency) override {
    LF_LIVE("GetMonitorFrequency");
    return real_->GetMonitorFrequency(frequency);
  }
  HRESULT STDMETHODCALLTYPE GetScanLine(LPDWORD line) override {
    LF_LIVE("GetScanLine");
    return real_->GetScanLine(line);
  }
  HRESULT STDMETHODCALLTYPE GetVerticalBlankStatus(WINBOOL* inBlank) override {
    LF_LIVE("GetVerticalBlankStatus");
    return real_->GetVerticalBlankStatus(inBlank);
  }
  HRESULT STDMETHODCALLTYPE Initialize(GUID*) override {
    LF_LIVE("Initialize");
    return DDERR_ALREADYINITIALIZED;
  }
  HRESULT STDMETHODCALLTYPE RestoreDisplayMode() override {
    LF_LIVE("RestoreDisplayMode");
    return real_->RestoreDisplayMode();
  }
  HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND window, DWORD flags) override {
    LF_LIVE("SetCooperativeLevel");
    return real_->SetCooperativeLevel(window, flags);
  }
  HRESULT STDMETHODCALLTYPE WaitForVerticalBlank(DWORD flags, HANDLE event) override {
    LF_LIVE("WaitForVerticalBlank");
    return real_->WaitForVerticalBlank(flags, event);
  }

 protected:
  HRESULT Unsupported(const char* call) {
    LF_LIVE(call);
    Log("unsupported call=%s name=device", call);
    return DDERR_UNSUPPORTED;
  }

  I* real_;
};

class Device1Proxy final : public DeviceCommon<IDirectDraw> {
 public:
  explicit Device1Proxy(IDirectDraw* real) : DeviceCommon(real, "IDirectDraw") {}
  HRESULT STDMETHODCALLTYPE SetDisplayMode(DWORD, DWORD, DWORD) override {
    return Unsupported("SetDisplayMode");
  }
};

class Device2Proxy final : public DeviceCommon<IDirectDraw2> {
 public:
  explicit Device2Proxy(IDirectDraw2* real) : DeviceCommon(real, "IDirectDraw2") {}
  HRESULT STDMETHODCALLTYPE SetDisplayMode(DWORD, DWORD, DWORD, DWORD, DWORD) override {
    return Unsupported("SetDisplayMode");
  }
  HRESULT STDMETHODCALLTYPE GetAvailableVidMem(LPDDSCAPS caps, LPDWORD total, LPDWORD free) override {
    LF_LIVE("GetAvailableVidMem");
    return real_->GetAvailableVidMem(caps, total, free);
  }
};

HRESULT WrapDevice(IUnknown* real, REFIID riid, void** out) {
  const bool first = riid == IID_IDirectDraw || riid == IID_IUnknown;
  if (!first && riid != IID_IDirectDraw2) return E_NOINTERFACE;
  if (!first && Fails(FaultKind::Query)) return E_NOINTERFACE;
  void* answer = nullptr;
  const HRESULT result = real->QueryInterface(first ? IID_IDirectDraw : IID_IDirectDraw2, &answer);
  if (result != S_OK || answer == nullptr) return result != S_OK ? result : E_NOINTERFACE;
  if (first) {
    *out = static_cast<IDirectDraw*>(new Device1Proxy(static_cast<IDirectDraw*>(answer)));
  } else {
    *out = static_cast<IDirectDraw2*>(new Device2Proxy(static_cast<IDirectDraw2*>(answer)));
  }
  return S_OK;
}

// ---- The system's DirectDraw ----

using DirectDrawCreateEntry = HRESULT(WINAPI*)(GUID*, LPDIRECTDRAW*, IUnknown*);

DirectDrawCreateEntry SystemDirectDrawCreate() {
  static bool looked = false;
  static DirectDrawCreateEntry entry = nullptr;
  if (looked) return entry;
  looked = true;
  char path[MAX_PATH];
  const UINT length = GetSystemDirectoryA(path, MAX_PATH - 12);
  if (length == 0 || length >= MAX_PATH - 12) {
    Log("builtin loaded=0 reason=\"no system folder\"");
    return nullptr;
  }
  std::strcat(path, "\\ddraw.dll");
  HMODULE library = LoadLibraryA(path);
  HMODULE self = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&SystemDirectDrawCreate), &self);
  if (library == nullptr || library == self) {
    Log("builtin loaded=0 reason=\"%s\"", library == nullptr ? "LoadLibrary failed" : "found this library again");
    return nullptr;
  }
  entry = reinterpret_cast<DirectDrawCreateEntry>(reinterpret_cast<void*>(GetProcAddress(library, "DirectDrawCreate")));
  Log("builtin loaded=%d", entry != nullptr ? 1 : 0);
  return entry;
}

}  // namespace
}  // namespace lumenfall::faults

using namespace lumenfall::faults;

extern "C" __declspec(dllexport) HRESULT WINAPI DirectDrawCreate(GUID* guid, LPDIRECTDRAW* out, IUnknown* outer) {
  ReadPlan();
  if (out == nullptr) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  if (Fails(FaultKind::Create)) return DDERR_NODIRECTDRAWHW;
  DirectDrawCreateEntry create = SystemDirectDrawCreate();
  if (create == nullptr) return DDERR_NODIRECTDRAWHW;
  IDirectDraw* real = nullptr;
  const HRESULT result = create(guid, &real, outer);
  if (real == nullptr) return result;
  *out = new Device1Proxy(real);
  return result;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void*) {
  if (reason == DLL_PROCESS_DETACH) {
    Log("summary live=%ld zombies=%lu devices=%lu surfaces=%lu offscreen=%lu clippers=%lu primaryBlt=%lu "
        "primaryBltOk=%lu lock=%lu lockOk=%lu unlock=%lu restore=%lu restoreOk=%lu lostAnswers=%lu wrongMode=%lu "
        "bltOutside=%lu",
        counts.live, counts.zombieCalls, counts.devices, counts.surfaces, counts.offscreen, counts.clippers,
        counts.primaryBlt, counts.primaryBltOk, counts.lock, counts.lockOk, counts.unlock, counts.restore,
        counts.restoreOk, counts.lostAnswers, counts.wrongMode, counts.bltOutside);
  }
  return TRUE;
}
