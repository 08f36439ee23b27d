#include "web/web_options.h"

#include "display/pixel_format.h"
#include "settings/settings_word.h"
#include "shell/options.h"

namespace lumenfall {

namespace {

// Form decoding: '+' is a space, %XX a byte; a broken escape stays as it is.
std::string Decoded(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%' && i + 2 < text.size() && HexDigitValue(text[i + 1]) >= 0 &&
               HexDigitValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexDigitValue(text[i + 1]) * 16 + HexDigitValue(text[i + 2]));
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

// Percent-encoding of everything but the unreserved characters.
std::string Encoded(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || c == '-' ||
        c == '_' || c == '.' || c == '~') {
      out += c;
    } else {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 0xF];
    }
  }
  return out;
}

// Shown inside the message: at most 24 characters, anything unprintable as '?'.
std::string Shown(std::string_view text) {
  std::string out = "'";
  for (size_t i = 0; i < text.size() && i < 24; ++i) {
    const auto u = static_cast<unsigned char>(text[i]);
    out += u < 0x20 || u >= 0x7F ? '?' : text[i];
  }
  return out + (text.size() > 24 ? "...'" : "'");
}

bool Switch(std::string_view text, bool& value) {
  if (text != "0" && text != "1") return false;
  value = text == "1";
  return true;
}

}  // namespace

bool ParseWebQuery(std::string_view query, WebOptions& options, std::string& message) {
  options = WebOptions{};
  message.clear();
  const auto problem = [&](const std::string& reason) {
    message += message.empty() ? "" : "; ";
    message += reason;
  };
  if (!query.empty() && query.front() == '?') query.remove_prefix(1);

  bool layoutGiven = false;
  while (!query.empty()) {
    const size_t amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view{} : query.substr(amp + 1);
    if (pair.empty()) continue;
    const size_t eq = pair.find('=');
    const std::string name = Decoded(pair.substr(0, eq));
    const std::string value = eq == std::string_view::npos ? "" : Decoded(pair.substr(eq + 1));

    if (name == "set") {
      if (const auto selector = SelectorForTextSet(value)) {
        options.flags = (options.flags & ~kSelectorMask) | *selector;
      } else {
        problem("set must be malachi-red or deep-blue, not " + Shown(value));
      }
    } else if (name == "low") {
      bool low = false;
      if (!Switch(value, low)) {
        problem("low must be 0 or 1, not " + Shown(value));
      } else {
        options.flags = low ? options.flags | kLowQualityFlag : options.flags & ~kLowQualityFlag;
      }
    } else if (name == "depth") {
      uint32_t d = 0;
      if (!ParseNumber(value, d) || (d != 8 && d != 16 && d != 24 && d != 32)) {
        problem("depth must be 8, 16, 24 or 32, not " + Shown(value));
      } else {
        options.depth = d;
      }
    } else if (name == "layout") {
      uint32_t l = 0, r = 0, g = 0, b = 0;
      if (!ParseNumber(value, l) || !MasksForLayout(l, r, g, b)) {
        problem("layout must be 565, 555, 556 or 655, not " + Shown(value));
      } else {
        options.layout = l;
        layoutGiven = true;
      }
    } else if (name == "seed") {
      if (!ParseNumber(value, options.seed)) {
        options.seed = kWebStartMs;
        problem("seed must be a whole number from 0 to 4294967295, not " + Shown(value));
      }
    } else if (name == "frames") {
      uint32_t n = 0;
      if (!ParseNumber(value, n) || n < 1 || n > kMaxRenderFrames) {
        problem("frames must be from 1 to " + std::to_string(kMaxRenderFrames) + ", not " +
                Shown(value));
      } else {
        options.frames = n;
      }
    } else if (name == "bare") {
      if (!Switch(value, options.bare)) problem("bare must be 0 or 1, not " + Shown(value));
    } else if (name == "text") {
      std::string reason;
      if (value.size() > kMaxWebTextBytes) {
        problem("text holds " + std::to_string(value.size()) + " bytes, more than " +
                std::to_string(kMaxWebTextBytes));
      } else if (ReadTextSet(value, "text", options.lines, reason)) {
        options.text = value;
      } else {
        problem(reason);
      }
    } else {
      problem("unknown parameter " + Shown(name));
    }
  }
  if (layoutGiven && options.depth != 16) {
    options.layout = WebOptions{}.layout;
    problem("layout applies only at depth 16");
  }
  if (!message.empty()) message = "Ignored: " + message + " (defaults used).";
  return message.empty();
}

std::string WebQuery(const WebOptions& options) {
  const WebOptions defaults;
  std::string q;
  const auto add = [&](std::string_view name, const std::string& value) {
    q += q.empty() ? "" : "&";
    q += std::string(name) + "=" + value;
  };
  if (const std::string_view set = TextSetName(options.flags); !set.empty())
    add("set", std::string(set));
  if ((options.flags & kLowQualityFlag) != 0) add("low", "1");
  if (options.depth != defaults.depth) add("depth", std::to_string(options.depth));
  if (options.depth == 16 && options.layout != defaults.layout)
    add("layout", std::to_string(options.layout));
  if (options.seed != defaults.seed) add("seed", std::to_string(options.seed));
  if (options.frames != 0) add("frames", std::to_string(options.frames));
  if (options.bare) add("bare", "1");
  if (!options.text.empty()) add("text", Encoded(options.text));
  return q;
}

}  // namespace lumenfall
