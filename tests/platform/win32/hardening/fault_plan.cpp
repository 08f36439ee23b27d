#include "fault_plan.h"

namespace lumenfall::faults {

namespace {

struct KindName {
  FaultKind kind;
  std::string_view name;
};

// Longer names first, so that "lock-lost" is never read as "lock".
constexpr KindName kKinds[] = {
    {FaultKind::LockStillDrawing, "lock-stilldrawing"},
    {FaultKind::LockLost, "lock-lost"},
    {FaultKind::BltLost, "blt-lost"},
    {FaultKind::ModeChange, "mode-change"},
    {FaultKind::Create, "create"},
    {FaultKind::Query, "query"},
    {FaultKind::Primary, "primary"},
    {FaultKind::Clipper, "clipper"},
    {FaultKind::Surface, "surface"},
    {FaultKind::Lock, "lock"},
    {FaultKind::Blt, "blt"},
};

bool TakesIndex(FaultKind kind) {
  return kind == FaultKind::Surface || kind == FaultKind::Lock ||
         kind == FaultKind::LockStillDrawing || kind == FaultKind::LockLost;
}

// Decimal digits only, at most kLargestNumber.
bool ReadNumber(std::string_view text, uint32_t& value) {
  if (text.empty() || text.size() > 10) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  if (v > kLargestNumber) return false;
  value = static_cast<uint32_t>(v);
  return true;
}

// "\"<item>\": <reason>", built by appending (GCC 12 warns falsely about chained +).
std::string Mistake(std::string_view item, std::string_view reason) {
  std::string text;
  text.reserve(item.size() + reason.size() + 4);
  text.push_back('"');
  text.append(item);
  text.append("\": ");
  text.append(reason);
  return text;
}

bool ParseOne(std::string_view item, Fault& fault, std::string& error) {
  const size_t end = item.find_first_of(":@*");
  const std::string_view name = item.substr(0, end);
  bool known = false;
  for (const KindName& k : kKinds) {
    if (k.name == name) {
      fault.kind = k.kind;
      known = true;
      break;
    }
  }
  if (!known) {
    error = Mistake(name, "no such fault");
    return false;
  }
  std::string_view rest = end == std::string_view::npos ? std::string_view() : item.substr(end);
  bool haveIndex = false, haveAfter = false, haveCount = false;
  while (!rest.empty()) {
    const char mark = rest[0];
    const size_t next = rest.find_first_of(":@*", 1);
    const std::string_view digits = rest.substr(1, next == std::string_view::npos ? std::string_view::npos : next - 1);
    uint32_t value = 0;
    if (!ReadNumber(digits, value)) {
      std::string reason = "a number from 0 to 1000000000 must follow ' '";
      reason[reason.size() - 2] = mark;
      error = Mistake(item, reason);
      return false;
    }
    bool& seen = mark == ':' ? haveIndex : mark == '@' ? haveAfter : haveCount;
    if (seen) {
      std::string reason = "' ' given twice";
      reason[1] = mark;
      error = Mistake(item, reason);
      return false;
    }
    seen = true;
    if (mark == ':') fault.index = value;
    if (mark == '@') fault.after = value;
    if (mark == '*') fault.count = value;
    rest = next == std::string_view::npos ? std::string_view() : rest.substr(next);
  }
  if (haveIndex && !TakesIndex(fault.kind)) {
    error = Mistake(item, "this fault takes no surface number");
    return false;
  }
  if (haveIndex && fault.index == 0) {
    error = Mistake(item, "surfaces are numbered from 1");
    return false;
  }
  if (fault.kind == FaultKind::Surface && !haveIndex) {
    error = Mistake(item, "surface needs its number, as in surface:2");
    return false;
  }
  if (haveCount && fault.count == 0) {
    error = Mistake(item, "a count of 0 fails nothing");
    return false;
  }
  return true;
}

}  // namespace

std::string_view FaultKindName(FaultKind kind) {
  for (const KindName& k : kKinds)
    if (k.kind == kind) return k.name;
  return "?";
}

bool ParseFaultPlan(std::string_view text, std::vector<Fault>& plan, std::string& error) {
  plan.clear();
  if (text.empty()) return true;
  std::vector<Fault> faults;
  while (true) {
    const size_t comma = text.find(',');
    const std::string_view item = text.substr(0, comma);
    Fault fault;
    if (item.empty()) {
      error = "an empty fault in the list";
      return false;
    }
    if (!ParseOne(item, fault, error)) return false;
    faults.push_back(fault);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  plan = std::move(faults);
  return true;
}

std::string FormatFaultPlan(const std::vector<Fault>& plan) {
  std::string text;
  for (const Fault& f : plan) {
    if (!text.empty()) text += ',';
    text.append(FaultKindName(f.kind));
    if (f.index != 0) {
      text.push_back(':');
      text.append(std::to_string(f.index));
    }
    text.push_back('@');
    text.append(std::to_string(f.after));
    text.push_back('*');
    text.append(f.count == kForever ? std::string("forever") : std::to_string(f.count));
  }
  return text;
}

bool FaultCounter::Fails() {
  if (calls_ != kForever) ++calls_;
  if (calls_ <= fault_.after || UsedUp()) return false;
  ++failures_;
  return true;
}

bool FaultCounter::LosesNow() {
  if (lost_) return false;
  if (calls_ != kForever) ++calls_;
  if (calls_ <= fault_.after) return false;
  lost_ = true;
  return true;
}

}  // namespace lumenfall::faults
