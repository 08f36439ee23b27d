// The saver's command line: defaults, both dash styles, values, XSCREENSAVER_WINDOW
// and every way an argument can be wrong.
#include <gtest/gtest.h>

#include <fstream>
#include <initializer_list>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/linux/options.h"

namespace lumenfall {
namespace {

OptionsResult Parse(std::initializer_list<const char*> args, const char* env = nullptr) {
  std::vector<const char*> argv = {"lumenfall"};
  argv.insert(argv.end(), args.begin(), args.end());
  return ParseOptions(int(argv.size()), argv.data(), env);
}

SaverOptions Good(std::initializer_list<const char*> args, const char* env = nullptr) {
  const OptionsResult r = Parse(args, env);
  EXPECT_TRUE(r.ok) << r.error;
  return r.options;
}

std::string Bad(std::initializer_list<const char*> args, const char* env = nullptr) {
  const OptionsResult r = Parse(args, env);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error.find('\n'), std::string::npos) << "one line: " << r.error;
  EXPECT_FALSE(r.error.empty());
  return r.error;
}

TEST(X11Options, DefaultsAreAnOwnWindowWithMalachiRedAtTheNominalTick) {
  const SaverOptions o = Good({});
  EXPECT_EQ(o.mode, OutputMode::OwnWindow);
  EXPECT_EQ(o.flags, 1u);
  EXPECT_EQ(o.depth, 32u);
  EXPECT_EQ(o.layout, 565u);
  EXPECT_EQ(o.delayMicroseconds, 40000u);
  EXPECT_FALSE(o.showFps);
  EXPECT_TRUE(o.serverScaling);
  EXPECT_FALSE(o.help);
  EXPECT_TRUE(o.displayName.empty());
  EXPECT_FALSE(o.windowFromEnvironment);
}

TEST(X11Options, OneOrTwoDashesAndInlineValues) {
  for (const char* root : {"-root", "--root"}) EXPECT_EQ(Good({root}).mode, OutputMode::Root);
  EXPECT_EQ(Good({"-fullscreen"}).mode, OutputMode::FullScreen);
  EXPECT_EQ(Good({"--window"}).mode, OutputMode::OwnWindow);
  EXPECT_EQ(Good({"-delay", "20000"}).delayMicroseconds, 20000u);
  EXPECT_EQ(Good({"--delay=15000"}).delayMicroseconds, 15000u);
  EXPECT_EQ(Good({"-delay=0"}).delayMicroseconds, 0u);
  EXPECT_EQ(Good({"--delay", "10000000"}).delayMicroseconds, 10000000u);
  EXPECT_TRUE(Good({"-fps"}).showFps);
  EXPECT_FALSE(Good({"--no-render"}).serverScaling);
  EXPECT_TRUE(Good({"--help"}).help);
  EXPECT_TRUE(Good({"-h"}).help);
  EXPECT_TRUE(Good({"--version"}).version);
  EXPECT_EQ(VersionText(), "lumenfall " LUMENFALL_PROJECT_VERSION "\n");
  EXPECT_EQ(Good({"-display", ":5"}).displayName, ":5");
  EXPECT_EQ(Good({"--display=host:1.0"}).displayName, "host:1.0");
}

TEST(X11Options, WindowIdInDecimalOrHex) {
  SaverOptions o = Good({"--window-id", "0x2a00007"});
  EXPECT_EQ(o.mode, OutputMode::ForeignWindow);
  EXPECT_EQ(o.windowId, 0x2a00007ul);
  EXPECT_EQ(Good({"-window-id", "44040199"}).windowId, 44040199ul);
  EXPECT_EQ(Good({"--window-id=0XFFFFFFFF"}).windowId, 0xFFFFFFFFul);
}

// The effect's options are the shell's (tested there); here, that the saver takes them.
TEST(X11Options, TakesTheEffectsOptions) {
  const SaverOptions o = Good({"-low-quality", "-text-set", "deep-blue", "--depth", "16", "--layout", "555",
                               "--text-file", "lines.txt"});
  EXPECT_EQ(o.flags, 0x10000004u);
  EXPECT_EQ(o.depth, 16u);
  EXPECT_EQ(o.layout, 555u);
  EXPECT_EQ(o.textFile, "lines.txt");
  EXPECT_EQ(Bad({"--depth", "24", "--layout", "555"}), "option --layout applies only with --depth 16");
}

TEST(X11Options, XscreensaverWindowNamesTheTargetUnlessTheCommandLineChoosesAnother) {
  SaverOptions o = Good({}, "0x400001");
  EXPECT_EQ(o.mode, OutputMode::ForeignWindow);
  EXPECT_EQ(o.windowId, 0x400001ul);
  EXPECT_TRUE(o.windowFromEnvironment);
  o = Good({"-root"}, "4194305");  // as xscreensaver runs a hack
  EXPECT_EQ(o.mode, OutputMode::ForeignWindow);
  EXPECT_EQ(o.windowId, 4194305ul);
  EXPECT_EQ(Good({"--window"}, "0x400001").mode, OutputMode::OwnWindow);
  EXPECT_EQ(Good({"--fullscreen"}, "0x400001").mode, OutputMode::FullScreen);
  o = Good({"--window-id", "0x500002"}, "0x400001");
  EXPECT_EQ(o.windowId, 0x500002ul);
  EXPECT_FALSE(o.windowFromEnvironment);
  EXPECT_EQ(Good({"--root"}, "").mode, OutputMode::Root);  // set but empty: ignored
  EXPECT_NE(Bad({}, "zero").find("XSCREENSAVER_WINDOW"), std::string::npos);
  EXPECT_NE(Bad({"-root"}, "0").find("XSCREENSAVER_WINDOW"), std::string::npos);
  // A bad variable does not matter when another output is chosen.
  EXPECT_EQ(Good({"--window"}, "junk").mode, OutputMode::OwnWindow);
}

// The grammar's own refusals (every form of dash, a name that only starts like an
// option's) are the shell's option tests; here, that the saver passes them on.
TEST(X11Options, UnknownOptionsAndStrayArguments) {
  EXPECT_EQ(Bad({"--bogus"}), "unknown option '--bogus' (try --help)");
  EXPECT_EQ(Bad({"root"}), "unexpected argument 'root' (try --help)");
}

TEST(X11Options, MissingAndUnwantedValues) {
  for (const char* option : {"--window-id", "--delay", "--display"}) {
    EXPECT_EQ(Bad({option}), std::string("option ") + option + " needs a value");
  }
  EXPECT_EQ(Bad({"--root=yes"}), "option --root takes no value");
  EXPECT_EQ(Bad({"-fps=1"}), "option --fps takes no value");
  EXPECT_EQ(Bad({"--display="}), "option --display needs a display name");
}

TEST(X11Options, ValuesOutOfTheirRange) {
  for (const char* id : {"0", "0x0", "", "0x", "-5", "+5", "12ab", "0x1g", "4294967296", "0x100000000", " 5"})
    EXPECT_NE(Bad({"--window-id", id}).find("--window-id"), std::string::npos) << id;
  for (const char* delay : {"10000001", "-1", "abc", "4294967296", "1.5"})
    EXPECT_NE(Bad({"--delay", delay}).find("0 to 10000000"), std::string::npos) << delay;
}

TEST(X11Options, OnlyOneOutput) {
  EXPECT_EQ(Bad({"--root", "--fullscreen"}), "options --root and --fullscreen cannot be used together");
  EXPECT_EQ(Bad({"--window", "-window-id", "7"}), "options --window and --window-id cannot be used together");
  EXPECT_EQ(Good({"--root", "-root"}).mode, OutputMode::Root);  // the same one twice is fine
  // xscreensaver's settings window adds --window-id to the saver's --root for its preview.
  for (const SaverOptions& o : {Good({"-root", "--window-id", "0x2a"}), Good({"-window-id", "42", "--root"})}) {
    EXPECT_EQ(o.mode, OutputMode::ForeignWindow);
    EXPECT_EQ(o.windowId, 42u);
  }
}

TEST(X11Options, UsageNamesEveryOption) {
  const std::string usage = UsageText();
  for (const char* option : {"--window", "--fullscreen", "--root", "--window-id", "--text-set",
                             "--low-quality", "--flags", "--depth", "--layout", "--delay", "--fps",
                             "--display", "--no-render", "--help", "--text-file"})
    EXPECT_NE(usage.find(option), std::string::npos) << option;
}

// What xscreensaver's settings window can write on the command line from lumenfall.xml:
// the command's own arguments, each arg, arg-set and arg-unset, each number's template
// at its low end, its default and its high end, and each file chooser's template with a
// path. Every one must parse, and the text file reaches the options.
TEST(X11Options, EveryArgumentOfTheSettingsDescriptionParses) {
  std::ifstream file(LUMENFALL_XML);
  ASSERT_TRUE(file) << LUMENFALL_XML;
  std::stringstream text;
  text << file.rdbuf();
  const std::string xml = text.str();
  std::string command;
  std::vector<std::string> settings;
  bool fileChosen = false;
  // Each tag: its name and its attributes (name="value").
  for (size_t open = xml.find('<'); open != std::string::npos; open = xml.find('<', open + 1)) {
    const std::string body = xml.substr(open + 1, xml.find('>', open) - open - 1);
    const std::string tag = body.substr(0, body.find_first_not_of("abcdefghijklmnopqrstuvwxyz"));
    std::map<std::string, std::string> a;
    for (size_t at = body.find("=\""); at != std::string::npos; at = body.find("=\"", at)) {
      const size_t name = body.find_last_not_of("abcdefghijklmnopqrstuvwxyz_-", at - 1) + 1;
      const size_t end = body.find('"', at + 2);
      a[body.substr(name, at - name)] = body.substr(at + 2, end - at - 2);
      at = end;
    }
    if (tag == "command") command = a["arg"];
    for (const char* name : {"arg-set", "arg-unset"})
      if (a.count(name) != 0) settings.push_back(a[name]);
    if (a.count("arg") != 0 && tag != "command") {
      const std::string& arg = a["arg"];
      const size_t percent = arg.find('%');
      ASSERT_NE(percent, std::string::npos) << arg;
      if (tag == "file") {
        settings.push_back(arg.substr(0, percent) + "/home/someone/lines.txt" + arg.substr(percent + 1));
        continue;
      }
      for (const char* bound : {"low", "default", "high"}) {
        ASSERT_EQ(a.count(bound), 1u) << arg;
        settings.push_back(arg.substr(0, percent) + a[bound] + arg.substr(percent + 1));
      }
    }
  }
  ASSERT_EQ(command, "-root");
  EXPECT_GE(settings.size(), 10u) << "the description was read";
  for (const std::string& setting : settings) {
    std::vector<std::string> words = {"lumenfall", command};
    std::istringstream split(setting);
    for (std::string word; split >> word;) words.push_back(word);
    std::vector<const char*> argv;
    for (const std::string& word : words) argv.push_back(word.c_str());
    const OptionsResult r = ParseOptions(int(argv.size()), argv.data(), "0x200001");
    EXPECT_TRUE(r.ok) << setting << ": " << r.error;
    if (setting.find("lines.txt") != std::string::npos) {
      EXPECT_EQ(r.options.textFile, "/home/someone/lines.txt");
      fileChosen = true;
    }
  }
  EXPECT_TRUE(fileChosen) << "the settings offer a text file";
}

}  // namespace
}  // namespace lumenfall
