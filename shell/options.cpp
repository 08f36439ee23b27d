#include "shell/options.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "settings/settings_word.h"

namespace lumenfall {

namespace {

std::string Named(std::string_view name) { return "option --" + std::string(name); }

}  // namespace

bool OptionScanner::Next(ScannedOption& option) {
  error_.clear();
  if (next_ >= argc_) return false;
  if (argv_ == nullptr || argv_[next_] == nullptr) {
    error_ = "missing argument";
    return false;
  }
  const std::string_view arg = argv_[next_++];
  if (arg.empty() || arg[0] != '-') {
    error_ = "unexpected argument " + QuotedArgument(arg) + " (try --help)";
    return false;
  }
  std::string_view name = arg.substr(arg.size() > 1 && arg[1] == '-' ? 2 : 1);
  std::optional<std::string_view> inlineValue;
  if (const size_t eq = name.find('='); eq != std::string_view::npos) {
    inlineValue = name.substr(eq + 1);
    name = name.substr(0, eq);
  }
  const OptionSpec* spec = nullptr;
  if (!name.empty() && name[0] != '-') {
    for (const OptionSpec& s : specs_)
      if (s.name == name) spec = &s;
  }
  if (spec == nullptr) {
    error_ = "unknown option " + QuotedArgument(arg.substr(0, arg.size() - (inlineValue ? inlineValue->size() + 1 : 0))) +
             " (try --help)";
    return false;
  }
  option.name = spec->name;
  option.value = {};
  if (!spec->takesValue) {
    if (inlineValue) {
      error_ = Named(name) + " takes no value";
      return false;
    }
    return true;
  }
  if (inlineValue) {
    option.value = *inlineValue;
    return true;
  }
  if (next_ >= argc_ || argv_[next_] == nullptr) {
    error_ = Named(name) + " needs a value";
    return false;
  }
  option.value = argv_[next_++];
  return true;
}

std::string QuotedArgument(std::string_view text) {
  std::string out = "'";
  size_t shown = 0;
  for (char c : text) {
    if (shown == 40) {
      out += "...";
      break;
    }
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u >= 0x7F) {
      static const char kHex[] = "0123456789abcdef";
      out += "\\x";
      out += kHex[u >> 4];
      out += kHex[u & 0xF];
    } else {
      out += c;
    }
    ++shown;
  }
  out += "'";
  return out;
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseNumber(std::string_view text, uint32_t& value) {
  if (text.empty()) return false;
  uint64_t v = 0;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    for (char c : text.substr(2)) {
      const int d = HexDigitValue(c);
      if (d < 0) return false;
      v = v * 16 + uint64_t(d);
      if (v > 0xFFFFFFFFull) return false;
    }
  } else {
    for (char c : text) {
      if (c < '0' || c > '9') return false;
      v = v * 10 + uint64_t(c - '0');
      if (v > 0xFFFFFFFFull) return false;
    }
  }
  value = static_cast<uint32_t>(v);
  return true;
}

std::string NumberError(std::string_view name, std::string_view value) {
  return Named(name) + " needs a whole number from 0 to 4294967295 (decimal or 0x-hex), not " +
         QuotedArgument(value);
}

std::optional<uint32_t> SelectorForTextSet(std::string_view name) {
  if (name == "malachi-red") return kSelectorMalachiRed;
  if (name == "deep-blue") return kSelectorDeepBlue;
  return std::nullopt;
}

std::string_view TextSetName(uint32_t settings) {
  switch (settings & kSelectorMask) {
    case kSelectorMalachiRed: return "malachi-red";
    case kSelectorDeepBlue: return "deep-blue";
    default: return {};
  }
}

const OptionSpec kEffectOptionSpecs[6] = {
    {"text-set", true}, {"low-quality", false}, {"flags", true},
    {"depth", true},    {"layout", true},       {"text-file", true},
};

bool TakeEffectOption(const ScannedOption& option, EffectChoices& choices, std::string& error) {
  const std::string_view n = option.name, v = option.value;
  if (n == "text-set") {
    choices.selector = SelectorForTextSet(v);
    if (!choices.selector) error = Named(n) + " must be malachi-red or deep-blue, not " + QuotedArgument(v);
  } else if (n == "low-quality") {
    choices.lowQuality = true;
  } else if (n == "text-file") {
    choices.textFile = std::string(v);
    if (v.empty()) error = Named(n) + " needs a file name";
  } else if (n == "flags") {
    uint32_t word = 0;
    if (ParseNumber(v, word)) {
      choices.flags = word;
    } else {
      error = NumberError(n, v);
    }
  } else if (n == "depth") {
    if (v == "8" || v == "16" || v == "24" || v == "32") {
      choices.depth = uint32_t(std::stoul(std::string(v)));
    } else {
      error = Named(n) + " must be 8, 16, 24 or 32, not " + QuotedArgument(v);
    }
  } else if (n == "layout") {
    if (v == "565" || v == "555" || v == "556" || v == "655") {
      choices.layout = uint32_t(std::stoul(std::string(v)));
    } else {
      error = Named(n) + " must be 565, 555, 556 or 655, not " + QuotedArgument(v);
    }
  } else {
    return false;
  }
  return true;
}

bool ResolveEffect(const EffectChoices& choices, EffectSetup& setup, std::string& error) {
  setup = EffectSetup{};
  setup.flags = choices.flags.value_or(kDefaultFlags);
  if (choices.selector) setup.flags = (setup.flags & ~kSelectorMask) | *choices.selector;
  if (choices.lowQuality) setup.flags |= kLowQualityFlag;
  setup.depth = choices.depth.value_or(32);
  setup.textFile = choices.textFile;
  if (choices.layout) {
    if (setup.depth != 16) {
      error = "option --layout applies only with --depth 16";
      return false;
    }
    setup.layout = *choices.layout;
  }
  return true;
}

std::string_view EffectOptionsHelp() {
  return "  --text-set NAME     malachi-red (fades through red, the default) or deep-blue\n"
         "  --low-quality       the faster, rougher blur (bit 0x10000000 of the word)\n"
         "  --flags WORD        the whole settings word, decimal or 0x-hex (default 1); its\n"
         "                      low byte picks the text set: 1 Malachi Red, 4 Deep Blue, any\n"
         "                      other value runs no frame step. --text-set and --low-quality\n"
         "                      apply on top of it\n"
         "  --depth BITS        run the effect at 8, 16, 24 or 32 bits per pixel (default 32)\n"
         "  --layout CODE       the 16-bit channel layout: 565 (default), 555, 556 or 655;\n"
         "                      only with --depth 16\n"
         "  --text-file PATH    your own lines in the text set's colours, from a UTF-8 text\n"
         "                      file: one line of the picture a line, blank lines and lines\n"
         "                      starting with # skipped; only the space and ! to ~, lines\n"
         "                      of at most 400 pixels, at most 256 lines and 64 KiB\n";
}

bool ReadOptionFile(const std::string& path, size_t limit, std::string& bytes,
                    std::string& error) {
  bytes.clear();
  const auto fail = [&](int number) {
    error = "cannot read '" + path + "': " + std::strerror(number);
    return false;
  };
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return fail(errno != 0 ? errno : EIO);
  char buffer[4096];
  while (bytes.size() <= limit) {
    const size_t n = std::fread(buffer, 1, std::min(sizeof buffer, limit + 1 - bytes.size()), file);
    bytes.append(buffer, n);
    if (n == 0) break;
  }
  const int number = std::ferror(file) ? (errno != 0 ? errno : EIO) : 0;
  std::fclose(file);
  if (number != 0) return fail(number);
  return true;
}

}  // namespace lumenfall
