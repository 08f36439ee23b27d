// The command-line vocabulary of the native programs (the Linux saver and the renderer):
// one grammar and one set of names for what the effect can be told.
//
// Grammar: an option takes one dash or two ("-root" as xscreensaver writes it, "--root"
// as a user types it); a value follows as the next argument or after '='. Anything not
// starting with a dash is a stray argument. Every mistake is one line of text, and a
// program that meets one exits with kExitUsage.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace lumenfall {

// The exit status of every native program for a mistake on its command line.
constexpr int kExitUsage = 2;

struct OptionSpec {
  std::string_view name;  // without dashes
  bool takesValue = false;
};

struct ScannedOption {
  std::string_view name;   // as in its OptionSpec
  std::string_view value;  // empty for an option without a value
};

// Walks argv[1 .. argc-1] against a table of options.
class OptionScanner {
 public:
  OptionScanner(int argc, const char* const* argv, std::span<const OptionSpec> specs)
      : argc_(argc), argv_(argv), specs_(specs) {}

  // The next option. False at the end, or at a mistake, which error() then describes.
  bool Next(ScannedOption& option);
  const std::string& error() const { return error_; }

 private:
  int argc_;
  const char* const* argv_;
  std::span<const OptionSpec> specs_;
  int next_ = 1;
  std::string error_;
};

// An argument as an error message shows it: quoted, cut after 40 characters, control
// and non-ASCII bytes as \xNN, so that the message stays one short line.
std::string QuotedArgument(std::string_view text);

// The value of a hexadecimal digit (either case), or -1.
int HexDigitValue(char c);

// Decimal digits, or 0x / 0X and hex digits, fitting in 32 bits; nothing else.
bool ParseNumber(std::string_view text, uint32_t& value);

// "option --NAME needs a whole number from 0 to 4294967295 (decimal or 0x-hex), not '...'"
std::string NumberError(std::string_view name, std::string_view value);

// The effect on a simulated clock, as the renderer and the web page run it: frame k at
// kDefaultStartMs + k x kDefaultTickMs unless told otherwise, and at most
// kMaxRenderFrames frames (more than seven passes of the longer text set at 40 ms), so
// that a typing mistake cannot ask for hours of work.
constexpr uint32_t kDefaultTickMs = 40;
constexpr uint32_t kDefaultStartMs = 1000;
constexpr uint32_t kMaxRenderFrames = 200000;

// The text sets by name: "malachi-red" and "deep-blue" and their selectors; the name
// of a settings word's text set, or empty when its low byte selects none.
std::optional<uint32_t> SelectorForTextSet(std::string_view name);
std::string_view TextSetName(uint32_t settings);

// What the effect can be told on a command line: --text-set, --low-quality, --flags,
// --depth, --layout and --text-file, gathered in any order and then resolved together.
struct EffectChoices {
  std::optional<uint32_t> flags;
  std::optional<uint32_t> selector;
  std::optional<uint32_t> depth;
  std::optional<uint32_t> layout;
  bool lowQuality = false;
  std::string textFile;
};

// The effect's options, for a program's table.
extern const OptionSpec kEffectOptionSpecs[6];

// Takes one scanned option when it is one of the effect's. True when it was (with a
// one-line mistake in error when its value is wrong), false when it is not the effect's.
bool TakeEffectOption(const ScannedOption& option, EffectChoices& choices, std::string& error);

struct EffectSetup {
  uint32_t flags = 0;
  uint32_t depth = 32;
  uint32_t layout = 565;
  std::string textFile;  // the file of one's own lines, or empty: the text set's own
};

// The settings word (--flags or the default, the text set's selector in its low byte,
// the low-quality bit on top), the depth and the 16-bit layout. False with a one-line
// mistake when a layout is given at a depth other than 16.
bool ResolveEffect(const EffectChoices& choices, EffectSetup& setup, std::string& error);

// The effect's lines of a --help text.
std::string_view EffectOptionsHelp();

// Reads the file that an option names into bytes: all of it, or the first limit + 1
// bytes of a longer one (so that a reader allowing limit bytes sees that it is too
// long). False with a one-line reason ("cannot read 'PATH': ...") when it cannot.
bool ReadOptionFile(const std::string& path, size_t limit, std::string& bytes,
                    std::string& error);

}  // namespace lumenfall
