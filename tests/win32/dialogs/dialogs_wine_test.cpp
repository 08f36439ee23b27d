// lumenfall.scr's configuration and About dialogs and its password handling, run for
// real under Wine: the dialog templates as compiled into the program, the dialogs
// driven from a second Windows program with the registry checked after each run, and
// the Windows 95 family's password libraries replaced by logging test doubles.
//
// One Xvfb display and one Wine prefix serve every case of this program. The cross
// build (LUMENFALL_MINGW_BUILD_DIR) provides the saver, the doubles and the two test
// programs. Outside CI a missing tool or file skips; with CI=true it fails.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "wine_harness.h"

namespace lumenfall::wine {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr int kScreenWidth = 800;
constexpr int kScreenHeight = 600;
constexpr int kExitMinusOne = 255;  // ExitProcess(-1) as the Unix parent sees it

std::string WinDir() { return std::string(LUMENFALL_MINGW_BUILD_DIR) + "/win32"; }
std::string Program(const char* name) { return WinDir() + "/" + name + ".exe"; }
std::string WorkDir() { return LUMENFALL_DIALOGS_WORK_DIR; }
std::string LogPath() { return WorkDir() + "/doubles.log"; }

// ---- Records: "kind key=value key="quoted \"text\"" ..." ----

struct Record {
  std::string kind;
  std::map<std::string, std::string> fields;
  std::string Get(const std::string& key) const {
    auto it = fields.find(key);
    return it == fields.end() ? "<missing>" : it->second;
  }
  long Number(const std::string& key) const { return std::strtol(Get(key).c_str(), nullptr, 0); }
  unsigned long Hex(const std::string& key) const { return std::strtoul(Get(key).c_str(), nullptr, 16); }
};

Record ParseRecord(const std::string& line) {
  Record r;
  size_t i = 0;
  auto skipBlanks = [&] { while (i < line.size() && line[i] == ' ') ++i; };
  skipBlanks();
  while (i < line.size() && line[i] != ' ') r.kind += line[i++];
  while (true) {
    skipBlanks();
    if (i >= line.size()) break;
    std::string key;
    while (i < line.size() && line[i] != '=' && line[i] != ' ') key += line[i++];
    std::string value;
    if (i < line.size() && line[i] == '=') {
      ++i;
      if (i < line.size() && line[i] == '"') {
        // Kept quoted and escaped, exactly as written.
        value += line[i++];
        while (i < line.size() && line[i] != '"') {
          if (line[i] == '\\' && i + 1 < line.size()) value += line[i++];
          value += line[i++];
        }
        if (i < line.size()) value += line[i++];
      } else {
        while (i < line.size() && line[i] != ' ') value += line[i++];
      }
    }
    r.fields[key] = value;
  }
  return r;
}

std::vector<Record> ParseRecords(const std::string& text) {
  std::vector<Record> records;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) records.push_back(ParseRecord(line));
  }
  return records;
}

// The doubles' log: "<tick> <kind> key=value ...".
struct LogLine {
  unsigned long tick = 0;
  Record record;
};

std::vector<LogLine> ReadLog() {
  std::vector<LogLine> lines;
  std::istringstream in(ReadFile(LogPath()));
  std::string line;
  while (std::getline(in, line)) {
    const size_t space = line.find(' ');
    if (space == std::string::npos) continue;
    lines.push_back({std::strtoul(line.substr(0, space).c_str(), nullptr, 10),
                     ParseRecord(line.substr(space + 1))});
  }
  return lines;
}

std::string Describe(const std::vector<LogLine>& log) {
  std::string text = "\n  log of the doubles:";
  for (const LogLine& l : log) {
    text += "\n    " + std::to_string(l.tick) + " " + l.record.kind;
    for (const auto& [k, v] : l.record.fields) text += " " + k + "=" + v;
  }
  return log.empty() ? "\n  the doubles logged nothing" : text;
}

std::vector<LogLine> Only(const std::vector<LogLine>& log, const std::string& kind) {
  std::vector<LogLine> out;
  for (const LogLine& l : log)
    if (l.record.kind == kind) out.push_back(l);
  return out;
}

// ---- The session: one Xvfb, one prefix, one persistent wineserver ----

class Session {
 public:
  bool Open() {
    for (const std::string& file :
         {WinDir() + "/lumenfall.scr", Program("lf_dialog_check"), Program("lf_password_probe"),
          Program("lf_parent"), Program("lf_probe"), WinDir() + "/doubles/password.cpl",
          WinDir() + "/doubles/mpr.dll", WinDir() + "/doubles-noentry/password.cpl",
          WinDir() + "/doubles-noentry/mpr.dll"})
      if (!FileExists(file)) return Fail(file + " is missing (run the mingw cross build first)");
    if (!MakeFolders(WorkDir())) return Fail("cannot create " + WorkDir());
    // Three copies of the saver: beside the doubles, beside the doubles without their
    // entries, and alone. A library beside the program is the one it loads.
    for (const char* folder : {"doubles", "doubles-noentry", "bare"}) {
      const std::string dir = WorkDir() + "/run-" + folder;
      if (!MakeFolders(dir) || !CopyFile(WinDir() + "/lumenfall.scr", dir + "/lumenfall.scr"))
        return Fail("cannot lay out " + dir);
      if (std::strcmp(folder, "bare") == 0) continue;
      for (const char* library : {"password.cpl", "mpr.dll"})
        if (!CopyFile(WinDir() + "/" + folder + "/" + library, dir + "/" + library))
          return Fail("cannot copy the doubles into " + dir);
    }
    std::string error;
    if (!desktop_.Open(24, kScreenWidth, kScreenHeight, WorkDir() + "/prefix", &error,
                       InstallWineFonts))
      return Fail(error);
    // The first program brings up Wine's desktop process in its own process group,
    // which ends normally; killing a saver's group later leaves the desktop alone.
    // Wine draws the frames itself (no window manager runs), so the dialogs have
    // their captions and close boxes.
    if (Wine({"reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed", "/d", "N", "/f"},
             nullptr, 90000) != 0)
      return Fail("Wine could not run reg");
    return true;
  }

  void Close() { desktop_.Close(); }

  const std::string& Error() const { return error_; }

  int Wine(const std::vector<std::string>& args, std::string* output = nullptr,
           int timeoutMs = 30000, const Environment& extra = {}) {
    return desktop_.Wine(args, output, timeoutMs, extra);
  }

  std::unique_ptr<Process> Start(const std::vector<std::string>& args, const Environment& extra = {},
                                 bool capture = false) {
    return desktop_.StartWine(args, extra, capture);
  }

  // Runs a Windows test program and returns its output; "" after a failure.
  std::string Tool(const char* program, const std::vector<std::string>& args, int* code = nullptr) {
    std::vector<std::string> argv{Program(program)};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string out;
    const int result = Wine(argv, &out, 60000);
    if (code != nullptr) *code = result;
    return out;
  }

  void X(const std::vector<std::string>& args) { desktop_.X(args); }

  // The Windows 95 family (win98) or the NT family (Wine's default) for every program
  // started from now on.
  void Family95(bool on) {
    if (on)
      Wine({"reg", "add", "HKCU\\Software\\Wine", "/v", "Version", "/d", "win98", "/f"});
    else
      Wine({"reg", "delete", "HKCU\\Software\\Wine", "/v", "Version", "/f"});
  }

  // Wine's own faces (Debian's fonts-wine: MS Sans Serif, Tahoma, Marlett for the
  // caption buttons) are found only in the prefix's font folder here; with them the
  // dialogs look as on Windows. Nothing is checked against the fonts.
  static void InstallWineFonts(const std::string& prefix) {
    const std::string from = "/usr/share/wine/fonts/";
    const std::string to = prefix + "/drive_c/windows/Fonts/";
    for (const char* face : {"sserife.fon", "tahoma.ttf", "tahomabd.ttf", "marlett.ttf"})
      if (FileExists(from + face)) CopyFile(from + face, to + face);
  }

  bool Screenshot(const std::string& path, long left, long top, long right, long bottom) {
    const std::string crop = std::to_string(right - left) + "x" + std::to_string(bottom - top) +
                             "+" + std::to_string(left) + "+" + std::to_string(top);
    return Run({"import", "-window", "root", "-crop", crop, "+repage", path}, desktop_.Env(), 20000) == 0;
  }

 private:
  bool Fail(const std::string& error) {
    error_ = error;
    return false;
  }
  WineDesktop desktop_;
  std::string error_;
};

Session* session = nullptr;

class SessionEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    session = new Session();
    session->Open();
  }
  void TearDown() override {
    session->Close();
    delete session;
    session = nullptr;
  }
};

[[maybe_unused]] ::testing::Environment* const kSession =
    ::testing::AddGlobalTestEnvironment(new SessionEnvironment);

class WineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(session, nullptr);
    if (!session->Error().empty()) {
      if (WineRequired()) FAIL() << "Wine tests cannot run: " << session->Error();
      GTEST_SKIP() << "Wine tests cannot run: " << session->Error() << "; "
                   << KernelRefuses32BitPrograms();
    }
    session->X({"mousemove", std::to_string(kScreenWidth / 2), std::to_string(kScreenHeight / 2)});
  }
  Session& wine() { return *session; }
};

// ============================================================================
// The dialog templates
// ============================================================================

constexpr unsigned long kChildVisible = 0x40000000 | 0x10000000;  // WS_CHILD | WS_VISIBLE
constexpr unsigned long kTabStop = 0x00010000;
constexpr unsigned long kGroup = 0x00020000;
constexpr unsigned long kDefPushButton = 0x1, kGroupBox = 0x7, kAutoRadio = 0x9, kAutoCheck = 0x3;
constexpr unsigned long kMultiline = 0x2000;
constexpr unsigned long kIcon = 0x3, kCentreImage = 0x200, kSunken = 0x1000;
constexpr unsigned long kLeft = 0x0, kCentre = 0x1;

struct ExpectedItem {
  unsigned id;
  const char* controlClass;
  const char* text;  // as the checker quotes it
  unsigned long style;
  int x, y, cx, cy;
};

constexpr unsigned kNone = 0xFFFF;
constexpr const char* kButton = "#0080";
constexpr const char* kStatic = "#0082";

const std::vector<ExpectedItem> kConfigItems = {
    {1000, kButton, "\"&OK\"", kDefPushButton | kTabStop, 7, 111, 50, 14},
    {kNone, kButton, "\"Text && Colour\"", kGroupBox, 7, 7, 172, 42},
    {1001, kButton, "\"Deep Blue (Nerith)\"", kAutoRadio, 41, 20, 131, 10},
    {1002, kButton, "\"Malachi Red (Calvane)\"", kAutoRadio, 41, 30, 131, 10},
    {kNone, kStatic, "#0064", kIcon | kCentreImage | kSunken, 14, 20, 21, 20},
    {1003, kButton, "\"&Cancel\"", kDefPushButton | kTabStop, 129, 111, 50, 14},
    {1004, kButton, "\"&About\"", kDefPushButton | kTabStop, 68, 111, 50, 14},
    {kNone, kButton, "\"Blur Quality\"", kGroupBox, 7, 59, 172, 39},
    {1009, kButton,
     "\"Use low quality blur (rough but fast) -\\nDon't use unless you have to. ;)\"",
     kAutoCheck | kMultiline | kTabStop, 14, 70, 159, 22},
};

// The About dialog's own wording is ours; its layout and fixed texts are checked
// exactly, and the credit lines must credit the project, never a person.
const std::vector<ExpectedItem> kAboutItems = {
    {1000, kButton, "\"&OK\"", kDefPushButton | kTabStop, 69, 170, 50, 14},
    {kNone, kButton, "\"Credits\"", kGroupBox, 7, 7, 172, 111},
    {kNone, kStatic, "\"Program: the Lumenfall authors\"", kLeft | kGroup, 41, 20, 131, 10},
    {kNone, kStatic, "\"Poems: the Lumenfall authors\"", kLeft | kGroup, 41, 30, 131, 10},
    {kNone, kStatic, "#0064", kIcon | kCentreImage | kSunken, 14, 20, 20, 20},
    {kNone, kStatic,
     "\"The characters and concepts of the story are the property of the Lumenfall authors. "
     "All rights reserved.\"",
     kLeft | kGroup, 14, 50, 158, 30},
    {kNone, kStatic,
     "\"The text sets are taken from the Lumenfall fiction, copyright the Lumenfall authors, "
     "and are used with permission.\"",
     kLeft | kGroup, 14, 85, 158, 30},
    {kNone, kButton, "\"Addresses\"", kGroupBox, 7, 126, 172, 31},
    {kNone, kStatic, "\"Get the whole story at\\nhttps://lumenfall.example.org/\"", kCentre | kGroup,
     13, 135, 158, 18},
};

void ExpectDialog(const std::vector<Record>& records, unsigned id, int cx, int cy,
                  const std::vector<ExpectedItem>& items) {
  const std::string name = "dialog " + std::to_string(id);
  const Record* header = nullptr;
  std::vector<const Record*> found;
  const Record* resource = nullptr;
  for (const Record& r : records) {
    if (r.kind == "dialog" && r.Number("id") == long(id)) header = &r;
    if (r.kind == "item" && r.Number("dialog") == long(id)) found.push_back(&r);
    if (r.kind == "resource" && r.Get("type") == "dialog" && r.Number("id") == long(id)) resource = &r;
  }
  ASSERT_NE(resource, nullptr) << name;
  EXPECT_EQ(resource->Get("languages"), "0809") << name << ": English (United Kingdom) only";
  ASSERT_NE(header, nullptr) << name << " not found";
  EXPECT_EQ(header->Get("format"), "plain") << name;
  // WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT
  EXPECT_EQ(header->Hex("style"), 0x80000000ul | 0x00C00000ul | 0x00080000ul | 0x80ul | 0x800ul | 0x40ul)
      << name;
  EXPECT_EQ(header->Hex("style"), 0x80C808C0ul) << name;
  EXPECT_EQ(header->Hex("exstyle"), 0ul) << name;
  EXPECT_EQ(header->Number("x"), 0) << name;
  EXPECT_EQ(header->Number("y"), 0) << name;
  EXPECT_EQ(header->Number("cx"), cx) << name;
  EXPECT_EQ(header->Number("cy"), cy) << name;
  EXPECT_EQ(header->Get("menu"), "none") << name;
  EXPECT_EQ(header->Get("class"), "none") << name;
  EXPECT_EQ(header->Get("caption"), "\"Lumenfall\"") << name;
  EXPECT_EQ(header->Number("pointsize"), 8) << name;
  EXPECT_EQ(header->Get("face"), "\"MS Sans Serif\"") << name;
  ASSERT_EQ(header->Number("items"), long(items.size())) << name;
  ASSERT_EQ(found.size(), items.size()) << name;
  for (size_t i = 0; i < items.size(); ++i) {
    const ExpectedItem& e = items[i];
    const Record& r = *found[i];
    const std::string where = name + " control " + std::to_string(i + 1);
    EXPECT_EQ(r.Number("index"), long(i + 1)) << where;
    EXPECT_EQ(r.Number("id"), long(e.id)) << where;
    EXPECT_EQ(r.Get("class"), e.controlClass) << where;
    EXPECT_EQ(r.Get("text"), e.text) << where;
    EXPECT_EQ(r.Hex("style"), kChildVisible | e.style) << where << " style " << r.Get("style");
    EXPECT_EQ(r.Hex("exstyle"), 0ul) << where;
    EXPECT_EQ(r.Number("x"), e.x) << where;
    EXPECT_EQ(r.Number("y"), e.y) << where;
    EXPECT_EQ(r.Number("cx"), e.cx) << where;
    EXPECT_EQ(r.Number("cy"), e.cy) << where;
    EXPECT_EQ(r.Number("extra"), 0) << where;
  }
}

TEST_F(WineTest, ResourcesMatchTheirTables) {
  int code = -1;
  std::string path;
  ASSERT_EQ(wine().Wine({"winepath", "-w", WinDir() + "/lumenfall.scr"}, &path), 0);
  while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
  const std::string out = wine().Tool("lf_dialog_check", {"resources", path}, &code);
  ASSERT_EQ(code, 0) << out;
  const std::vector<Record> records = ParseRecords(out);
  ExpectDialog(records, 2003, 186, 132, kConfigItems);
  ExpectDialog(records, 104, 186, 191, kAboutItems);

  std::map<std::string, Record> byKind;
  for (const Record& r : records) byKind[r.kind + (r.kind == "resource" ? r.Get("type") : "")] = r;
  EXPECT_EQ(byKind["resourcegroup_icon"].Get("languages"), "0809");
  EXPECT_EQ(byKind["icongroup"].Number("count"), 1);
  EXPECT_EQ(byKind["icon"].Number("width"), 32);
  EXPECT_EQ(byKind["icon"].Number("height"), 32);
  EXPECT_EQ(byKind["icon"].Number("colours"), 16);
  EXPECT_EQ(byKind["icon"].Number("bits"), 4);
  EXPECT_EQ(byKind["iconimage"].Number("width"), 32);
  EXPECT_EQ(byKind["iconimage"].Number("height"), 64) << "colour rows and mask rows";
  EXPECT_EQ(byKind["iconimage"].Number("bits"), 4);
  EXPECT_EQ(byKind["iconload"].Number("loaded"), 1) << "the system can load icon 100 at 32 x 32";
  EXPECT_EQ(byKind["resourcestring_block"].Get("languages"), "0809");
  EXPECT_EQ(byKind["string"].Number("id"), 1);
  EXPECT_EQ(byKind["string"].Get("text"), "\"Lumenfall\"");
  for (const Record& r : records) EXPECT_NE(r.kind, "error") << r.Get("dialog") << r.Get("icon");
}

// ============================================================================
// Driving the configuration dialog
// ============================================================================

struct DialogRun {
  int exitCode = -2;
  std::vector<Record> steps;
  std::string driverOutput;
  int driverCode = -1;
};

void StoreFlags(const std::vector<std::string>& how) {
  std::vector<std::string> args{"setflags"};
  args.insert(args.end(), how.begin(), how.end());
  int code = -1;
  session->Tool("lf_dialog_check", args, &code);
  ASSERT_EQ(code, 0) << "could not store the settings word";
}

std::string StoredFlags() {
  std::string out = session->Tool("lf_dialog_check", {"flags"});
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

// Starts the saver with switches, drives its dialog through steps, and waits for the
// saver to end.
DialogRun RunDialog(const std::vector<std::string>& switches, const std::vector<std::string>& steps) {
  DialogRun run;
  std::vector<std::string> args{WinDir() + "/lumenfall.scr"};
  args.insert(args.end(), switches.begin(), switches.end());
  auto saver = session->Start(args);
  std::vector<std::string> drive{"drive"};
  drive.insert(drive.end(), steps.begin(), steps.end());
  run.driverOutput = session->Tool("lf_dialog_check", drive, &run.driverCode);
  run.steps = ParseRecords(run.driverOutput);
  if (saver && !saver->WaitExit(15000, &run.exitCode)) run.exitCode = -3;  // still open
  return run;
}

std::string StateLine(const DialogRun& run, size_t which) {
  size_t seen = 0;
  for (const Record& r : run.steps) {
    if (r.kind != "state") continue;
    if (seen++ == which) {
      std::string text;
      for (const char* key : {"config", "about", "malachi", "deepblue", "lowquality"})
        if (r.fields.count(key)) text += std::string(text.empty() ? "" : " ") + key + "=" + r.Get(key);
      return text;
    }
  }
  return "<no state " + std::to_string(which) + ">";
}

TEST_F(WineTest, OkSavesTheDefaultEvenWhenNothingChanged) {
  StoreFlags({"absent"});
  const DialogRun run = RunDialog({"/c"}, {"wait", "state", "click", "1000", "gone"});
  ASSERT_EQ(run.driverCode, 0) << run.driverOutput;
  EXPECT_EQ(StateLine(run, 0), "config=1 about=0 malachi=1 deepblue=0 lowquality=0")
      << "nothing stored opens with Malachi Red";
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(StoredFlags(), "flags type=3 size=4 bytes=01000000") << "REG_BINARY 01 00 00 00";
}

TEST_F(WineTest, NoSwitchOpensTheDialogWithoutOwner) {
  StoreFlags({"binary", "04000000"});
  const DialogRun run = RunDialog({}, {"wait", "state", "click", "1009", "click", "1000", "gone"});
  ASSERT_EQ(run.driverCode, 0) << run.driverOutput;
  ASSERT_FALSE(run.steps.empty());
  EXPECT_EQ(run.steps.front().Get("owner"), "0");
  EXPECT_EQ(StateLine(run, 0), "config=1 about=0 malachi=0 deepblue=1 lowquality=0");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(StoredFlags(), "flags type=3 size=4 bytes=04000010");
}

TEST_F(WineTest, CancelEndsWithOneAndSavesNothing) {
  StoreFlags({"dword", "0x10000004"});
  const DialogRun run = RunDialog({"/c"}, {"wait", "state", "click", "1002", "click", "1009", "state",
                                           "click", "1003", "gone"});
  ASSERT_EQ(run.driverCode, 0) << run.driverOutput;
  EXPECT_EQ(StateLine(run, 0), "config=1 about=0 malachi=0 deepblue=1 lowquality=1");
  EXPECT_EQ(StateLine(run, 1), "config=1 about=0 malachi=1 deepblue=0 lowquality=0")
      << "one radio button unchecks the other";
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(StoredFlags(), "flags type=4 size=4 bytes=04000010") << "the REG_DWORD is untouched";
}

TEST_F(WineTest, CloseBoxEndsWithZeroAndSavesNothing) {
  StoreFlags({"absent"});
  const DialogRun run = RunDialog({"/c"}, {"wait", "click", "1001", "state", "close", "gone"});
  ASSERT_EQ(run.driverCode, 0) << run.driverOutput;
  EXPECT_EQ(StateLine(run, 0), "config=1 about=0 malachi=0 deepblue=1 lowquality=0");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(StoredFlags(), "flags absent");
}

TEST_F(WineTest, EscapeLeavesBothDialogsOpenAndAboutKeepsTheEdits) {
  StoreFlags({"binary", "01000000"});
  const bool shot = std::getenv("LUMENFALL_DIALOG_SCREENSHOT") != nullptr;
  DialogRun run;
  {
    std::vector<std::string> args{WinDir() + "/lumenfall.scr", "/c"};
    auto saver = session->Start(args);
    int code = -1;
    const std::string first = session->Tool("lf_dialog_check", {"drive", "wait"}, &code);
    ASSERT_EQ(code, 0) << first;
    const std::vector<Record> found = ParseRecords(first);
    ASSERT_FALSE(found.empty());
    if (shot) {
      // The picture for the documentation: the dialog as it opens.
      SleepMs(500);
      const Record& window = found.front();
      session->Screenshot(std::getenv("LUMENFALL_DIALOG_SCREENSHOT"), window.Number("left"),
                          window.Number("top"), window.Number("right"), window.Number("bottom"));
    }
    const std::string second = session->Tool(
        "lf_dialog_check",
        {"drive", "click", "1001", "escape", "sleep", "300", "state", "click", "1004", "about-wait",
         "about-escape", "sleep", "300", "state", "about-click", "1000", "about-gone", "state",
         "click", "1004", "about-wait", "about-close", "about-gone", "state", "click", "1009",
         "click", "1000", "gone"},
        &code);
    ASSERT_EQ(code, 0) << second;
    run.steps = found;
    for (const Record& r : ParseRecords(second)) run.steps.push_back(r);
    run.driverOutput = first + second;
    ASSERT_TRUE(saver->WaitExit(15000, &run.exitCode)) << "the dialog is still open";
  }
  EXPECT_EQ(StateLine(run, 0), "config=1 about=0 malachi=0 deepblue=1 lowquality=0")
      << "Escape closed the configuration dialog" << run.driverOutput;
  EXPECT_EQ(StateLine(run, 1), "config=1 about=1 malachi=0 deepblue=1 lowquality=0")
      << "Escape closed the About dialog";
  EXPECT_EQ(StateLine(run, 2), "config=1 about=0 malachi=0 deepblue=1 lowquality=0")
      << "About's OK returns to the dialog with the edit in place";
  EXPECT_EQ(StateLine(run, 3), "config=1 about=0 malachi=0 deepblue=1 lowquality=0")
      << "About's close box returns to the dialog with the edit in place";
  size_t aboutSeen = 0;
  for (const Record& r : run.steps) {
    if (r.kind != "about" || r.fields.count("owner_is_config") == 0) continue;
    ++aboutSeen;
    EXPECT_EQ(r.Get("owner_is_config"), "1") << "About is owned by the configuration dialog";
  }
  EXPECT_EQ(aboutSeen, 2u);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(StoredFlags(), "flags type=3 size=4 bytes=04000010");
}

// What a stored word shows, and what OK then stores: only the low byte's choice and
// bit 28 survive.
TEST_F(WineTest, StoredWordsMapOntoTheControlsAndOkKeepsOnlyTheirBits) {
  struct Case {
    std::vector<std::string> stored;
    const char* shown;
    const char* saved;
  };
  const Case cases[] = {
      {{"binary", "05000000"}, "malachi=1 deepblue=0 lowquality=0", "01000000"},
      {{"binary", "06000000"}, "malachi=0 deepblue=1 lowquality=0", "04000000"},
      {{"binary", "00000000"}, "malachi=0 deepblue=0 lowquality=0", "00000000"},
      {{"binary", "02000000"}, "malachi=0 deepblue=0 lowquality=0", "00000000"},
      {{"binary", "08000000"}, "malachi=0 deepblue=0 lowquality=0", "00000000"},
      {{"binary", "05ffffff"}, "malachi=1 deepblue=0 lowquality=1", "01000010"},
      {{"binary", "0400ffef"}, "malachi=0 deepblue=1 lowquality=0", "04000000"},
      {{"dword", "0x10000000"}, "malachi=0 deepblue=0 lowquality=1", "00000010"},
      // Two bytes fill the low half of a zero word: 0x0104 has bit 2 but not bit 0.
      {{"binary", "0401"}, "malachi=0 deepblue=1 lowquality=0", "04000000"},
      // Five bytes cannot be read: the default 1.
      {{"binary", "0400000010"}, "malachi=1 deepblue=0 lowquality=0", "01000000"},
  };
  for (const Case& c : cases) {
    const std::string label = c.stored[0] + " " + c.stored[1];
    StoreFlags(c.stored);
    const DialogRun run = RunDialog({"/c"}, {"wait", "state", "click", "1000", "gone"});
    ASSERT_EQ(run.driverCode, 0) << label << "\n" << run.driverOutput;
    EXPECT_EQ(StateLine(run, 0), std::string("config=1 about=0 ") + c.shown) << label;
    EXPECT_EQ(run.exitCode, 1) << label;
    EXPECT_EQ(StoredFlags(), std::string("flags type=3 size=4 bytes=") + c.saved) << label;
  }
}

// ============================================================================
// Passwords
// ============================================================================

struct SaverRun {
  std::unique_ptr<Process> process;
  unsigned long window = 0;
};

class PasswordTest : public WineTest {
 protected:
  void SetUp() override {
    WineTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    wine().Family95(true);
    std::remove(LogPath().c_str());
  }
  void TearDown() override {
    if (session != nullptr && session->Error().empty()) {
      Probe({"password", "absent"});
      Probe({"setrunning", "0"});
      wine().Family95(false);
    }
  }

  std::string Probe(const std::vector<std::string>& args, int* code = nullptr) {
    std::string out = wine().Tool("lf_password_probe", args, code);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
  }

  void SetPassword(const std::vector<std::string>& how) {
    std::vector<std::string> args{"password"};
    args.insert(args.end(), how.begin(), how.end());
    int code = -1;
    Probe(args, &code);
    ASSERT_EQ(code, 0) << "could not store ScreenSaveUsePassword";
  }

  std::string Running() { return Probe({"running"}); }

  // Starts the full-screen saver from one of the run folders and waits for its window.
  SaverRun StartFullScreen(const char* folder, const Environment& doubles) {
    SaverRun run;
    Environment env = doubles;
    env["LUMENFALL_DOUBLE_LOG"] = LogPath();
    run.process = wine().Start({WorkDir() + "/run-" + folder + "/lumenfall.scr", "/s"}, env);
    const auto deadline = Clock::now() + milliseconds(20000);
    while (Clock::now() < deadline && run.process && run.process->Running()) {
      run.window = std::strtoul(Probe({"saver"}).c_str(), nullptr, 10);
      if (run.window != 0) break;
      SleepMs(100);
    }
    return run;
  }

  // A mouse movement far beyond the 4-pixel limit.
  void MoveMouse(int step) {
    wine().X({"mousemove", std::to_string(kScreenWidth / 2 + 40 * step),
              std::to_string(kScreenHeight / 2 + 30 * step)});
  }

  void Key(unsigned long window) {
    int code = -1;
    Probe({"key", std::to_string(window)}, &code);
    EXPECT_EQ(code, 0) << "could not post a key press";
  }

  static int ExitOf(SaverRun& run, int timeoutMs) {
    int code = -1;
    if (!run.process || !run.process->WaitExit(timeoutMs, &code)) return -3;
    return code;
  }
};

TEST_F(PasswordTest, WineReportsTheFamilyThatTheSaverTests) {
  EXPECT_EQ(Probe({"version"}).rfind("platform 1 ", 0), 0u) << "win98 is the Windows 95 family";
  wine().Family95(false);
  EXPECT_EQ(Probe({"version"}).rfind("platform 2 ", 0), 0u) << "Wine's default is the NT family";
}

TEST_F(PasswordTest, RefusalKeepsRunningAndTheQuietPeriodHoldsOffTheNextDialog) {
  SetPassword({"dword", "1"});
  Probe({"setrunning", "0"});
  // The first dialog refuses; the double then moves the mouse 40 ms after it returned
  // (inside the quiet period) and 450 ms after (outside); the second dialog accepts.
  SaverRun run = StartFullScreen("doubles", {{"LUMENFALL_VERIFY_ANSWERS", "0,1"},
                                             {"LUMENFALL_VERIFY_MOVES", "40,450"},
                                             {"LUMENFALL_VERIFY_HOLD_MS", "300"}});
  ASSERT_NE(run.window, 0ul) << "no full-screen saver window";
  EXPECT_EQ(Running(), "running 1") << "the running state is set while the verifier is loaded";
  MoveMouse(1);
  const int code = ExitOf(run, 15000);
  const std::vector<LogLine> log = ReadLog();
  ASSERT_EQ(code, 0) << Describe(log);
  EXPECT_EQ(Running(), "running 0") << "the running state is cleared after the run";

  const auto verifies = Only(log, "verify");
  const auto returns = Only(log, "return");
  const auto moves = Only(log, "move");
  ASSERT_EQ(verifies.size(), 2u) << "one dialog per close request outside the quiet period" << Describe(log);
  ASSERT_EQ(returns.size(), 2u) << Describe(log);
  ASSERT_EQ(moves.size(), 2u) << Describe(log);
  EXPECT_EQ(returns[0].record.Get("answer"), "0");
  EXPECT_EQ(returns[1].record.Get("answer"), "1");
  // The first movement came inside the quiet period and opened nothing...
  EXPECT_LT(moves[0].tick - returns[0].tick, 200ul) << "the test's own timing" << Describe(log);
  // ...the second, after it, opened the second dialog.
  EXPECT_GE(verifies[1].tick, moves[1].tick) << Describe(log);
  EXPECT_GE(verifies[1].tick - returns[0].tick, 200ul) << "a dialog inside the quiet period" << Describe(log);
  for (const LogLine& v : verifies) {
    EXPECT_EQ(v.record.Get("depth"), "1") << "the dialog was entered twice at once";
    EXPECT_EQ(v.record.Get("window"), std::to_string(run.window)) << "owned by the saver window";
    EXPECT_EQ(v.record.Get("class"), "\"WindowsScreenSaverClass\"");
    EXPECT_EQ(v.record.Get("title"), "\"Screen Saver\"");
    EXPECT_EQ(v.record.Get("running"), "1");
  }
  // Loaded before the running state was set, freed before it was cleared.
  const auto attach = Only(log, "attach");
  const auto detach = Only(log, "detach");
  ASSERT_EQ(attach.size(), 1u) << Describe(log);
  ASSERT_EQ(detach.size(), 1u) << Describe(log);
  EXPECT_EQ(attach[0].record.Get("running"), "0");
  EXPECT_EQ(detach[0].record.Get("running"), "1");
  EXPECT_EQ(detach[0].record.Get("calls"), "2");
}

TEST_F(PasswordTest, CloseRequestsKeysAndClicksWhileTheDialogIsUpAreRefused) {
  SetPassword({"dword", "1"});
  SaverRun run = StartFullScreen("doubles", {{"LUMENFALL_VERIFY_ANSWERS", "0,1"},
                                             {"LUMENFALL_VERIFY_POKE", "1"},
                                             {"LUMENFALL_VERIFY_HOLD_MS", "600"}});
  ASSERT_NE(run.window, 0ul);
  MoveMouse(1);
  // The refused dialog leaves the saver running.
  const auto deadline = Clock::now() + milliseconds(10000);
  while (Clock::now() < deadline && Only(ReadLog(), "return").empty()) SleepMs(50);
  SleepMs(800);
  ASSERT_TRUE(run.process->Running()) << "the saver ended after a refused password" << Describe(ReadLog());
  EXPECT_EQ(Probe({"saver"}), std::to_string(run.window));
  MoveMouse(2);
  const int code = ExitOf(run, 15000);
  const std::vector<LogLine> log = ReadLog();
  ASSERT_EQ(code, 0) << Describe(log);
  ASSERT_EQ(Only(log, "poke").size(), 1u) << Describe(log);
  const auto verifies = Only(log, "verify");
  ASSERT_EQ(verifies.size(), 2u) << "a close request while the dialog was up opened one" << Describe(log);
  for (const LogLine& v : verifies) EXPECT_EQ(v.record.Get("depth"), "1") << Describe(log);
  EXPECT_LT(verifies[0].tick, Only(log, "poke")[0].tick);
  EXPECT_LT(Only(log, "poke")[0].tick, Only(log, "return")[0].tick);
}

// A plain key press with a password in use asks for the password like a click; it does
// not end the saver on its own.
TEST_F(PasswordTest, KeyPressAsksForThePassword) {
  SetPassword({"dword", "1"});
  SaverRun run = StartFullScreen("doubles", {{"LUMENFALL_VERIFY_ANSWERS", "0,1"}});
  ASSERT_NE(run.window, 0ul);
  Key(run.window);
  const auto deadline = Clock::now() + milliseconds(10000);
  while (Clock::now() < deadline && Only(ReadLog(), "return").empty()) SleepMs(50);
  SleepMs(600);
  ASSERT_TRUE(run.process->Running()) << "a key press ended a password-protected run" << Describe(ReadLog());
  ASSERT_EQ(Only(ReadLog(), "verify").size(), 1u) << Describe(ReadLog());
  Key(run.window);
  const int code = ExitOf(run, 15000);
  const std::vector<LogLine> log = ReadLog();
  EXPECT_EQ(code, 0) << Describe(log);
  EXPECT_EQ(Only(log, "verify").size(), 2u) << Describe(log);
}

TEST_F(PasswordTest, WithoutAPasswordInUseNothingIsLoadedAndTheRunningStateIsUntouched) {
  const std::vector<std::vector<std::string>> values = {
      {"absent"}, {"dword", "0"}, {"binary", "00"}, {"binary", "0100000000"}};
  int step = 1;
  for (const auto& value : values) {
    const std::string label = value.size() > 1 ? value[0] + " " + value[1] : value[0];
    SetPassword(value);
    std::remove(LogPath().c_str());
    Probe({"setrunning", "1"});  // any write to the state would show as a 0 afterwards
    SaverRun run = StartFullScreen("doubles", {});
    ASSERT_NE(run.window, 0ul) << label;
    EXPECT_EQ(Running(), "running 1") << label;
    MoveMouse(step++);
    EXPECT_EQ(ExitOf(run, 10000), 0) << label << ": a movement closes at once";
    const std::vector<LogLine> log = ReadLog();
    EXPECT_TRUE(log.empty()) << label << Describe(log);
    EXPECT_EQ(Running(), "running 1") << label << ": the running state was touched";
  }
}

// A value shorter than four bytes is read into a zeroed word: one byte 01 is in use.
TEST_F(PasswordTest, AShortValueIsReadIntoAZeroedWord) {
  SetPassword({"binary", "01"});
  SaverRun run = StartFullScreen("doubles", {});
  ASSERT_NE(run.window, 0ul);
  MoveMouse(1);
  EXPECT_EQ(ExitOf(run, 15000), 0);
  const std::vector<LogLine> log = ReadLog();
  EXPECT_EQ(Only(log, "attach").size(), 1u) << Describe(log);
  EXPECT_EQ(Only(log, "verify").size(), 1u) << Describe(log);
}

TEST_F(PasswordTest, AMissingLibraryOrEntryMeansNoPassword) {
  SetPassword({"dword", "1"});
  int step = 1;
  for (const char* folder : {"bare", "doubles-noentry"}) {
    std::remove(LogPath().c_str());
    Probe({"setrunning", "1"});
    SaverRun run = StartFullScreen(folder, {});
    ASSERT_NE(run.window, 0ul) << folder;
    MoveMouse(step++);
    EXPECT_EQ(ExitOf(run, 10000), 0) << folder << ": no password, so a movement closes at once";
    EXPECT_EQ(Running(), "running 1") << folder << ": the running state was touched";
    const std::vector<LogLine> log = ReadLog();
    if (std::strcmp(folder, "bare") == 0) {
      EXPECT_TRUE(log.empty()) << Describe(log);
    } else {
      // Loaded, found without the entry, and freed again at once: before the window.
      ASSERT_EQ(Only(log, "attach").size(), 1u) << Describe(log);
      ASSERT_EQ(Only(log, "detach").size(), 1u) << Describe(log);
      EXPECT_EQ(Only(log, "detach")[0].record.Get("calls"), "0");
    }
  }
}

TEST_F(PasswordTest, PreviewNeverAsks) {
  SetPassword({"dword", "1"});
  auto parent = wine().Start({Program("lf_parent")}, {}, true);
  std::string handle;
  ASSERT_TRUE(parent && parent->ReadLine(30000, &handle)) << "no preview parent";
  Environment env{{"LUMENFALL_DOUBLE_LOG", LogPath()}};
  auto saver = wine().Start({WorkDir() + "/run-doubles/lumenfall.scr", "/p", handle}, env);
  std::string child;
  const auto deadline = Clock::now() + milliseconds(20000);
  while (Clock::now() < deadline && child.empty()) {
    wine().Wine({Program("lf_probe"), "child", handle}, &child);
    if (child.empty()) SleepMs(100);
  }
  ASSERT_FALSE(child.empty()) << "no preview window";
  const std::string childHandle = child.substr(0, child.find(' '));
  MoveMouse(1);
  wine().X({"click", "1"});
  SleepMs(800);
  EXPECT_TRUE(saver->Running()) << "input closed the preview";
  Key(std::strtoul(childHandle.c_str(), nullptr, 10));
  int code = -1;
  ASSERT_TRUE(saver->WaitExit(10000, &code)) << "a key press did not end the preview";
  EXPECT_EQ(code, 0);
  const std::vector<LogLine> log = ReadLog();
  EXPECT_TRUE(log.empty()) << "the preview loaded the verifier" << Describe(log);
  parent->Kill();
}

class ChangePasswordTest : public PasswordTest {
 protected:
  // '/a' with the rest of the line, from a run folder, with the MPR double in place of
  // Wine's own library.
  int RunChange(const char* folder, const std::vector<std::string>& tail) {
    std::vector<std::string> args{WorkDir() + "/run-" + folder + "/lumenfall.scr"};
    args.insert(args.end(), tail.begin(), tail.end());
    return wine().Wine(args, nullptr, 30000,
                       {{"LUMENFALL_DOUBLE_LOG", LogPath()}, {"WINEDLLOVERRIDES", "mscoree,mshtml=;mpr=n"}});
  }
};

TEST_F(ChangePasswordTest, CallsTheChangeEntryForTheOwnerWindow) {
  // Two real windows: the named owner, and a later one that holds the foreground, so
  // that the named owner and the fallback can be told apart.
  auto named = wine().Start({Program("lf_parent")}, {}, true);
  std::string owner;
  ASSERT_TRUE(named && named->ReadLine(30000, &owner)) << "no owner window";
  auto front = wine().Start({Program("lf_password_probe"), "window", "20000"}, {}, true);
  std::string foreground;
  ASSERT_TRUE(front && front->ReadLine(30000, &foreground)) << "no foreground window";
  ASSERT_EQ(Probe({"foreground"}), foreground) << "the second window holds the foreground";
  ASSERT_NE(owner, foreground);

  EXPECT_EQ(RunChange("doubles", {"/a", owner}), 0);
  std::vector<LogLine> log = ReadLog();
  auto changes = Only(log, "change");
  ASSERT_EQ(changes.size(), 1u) << Describe(log);
  EXPECT_EQ(changes[0].record.Get("provider"), "SCRSAVE");
  EXPECT_EQ(changes[0].record.Get("owner"), owner) << "the window named after /a";
  EXPECT_EQ(changes[0].record.Get("flags"), "0");
  EXPECT_EQ(changes[0].record.Get("reserved"), "0");
  EXPECT_EQ(Only(log, "detach").size(), 1u) << "the library is freed" << Describe(log);

  // 660 is no window here, and a tail without a number names none: the foreground
  // window owns the dialog instead.
  ASSERT_EQ(Probe({"iswindow", "660"}), "0");
  for (const std::vector<std::string>& tail :
       {std::vector<std::string>{"/a", "660"}, std::vector<std::string>{"/a"},
        std::vector<std::string>{"/a", "0"}}) {
    std::remove(LogPath().c_str());
    EXPECT_EQ(RunChange("doubles", tail), 0);
    log = ReadLog();
    changes = Only(log, "change");
    ASSERT_EQ(changes.size(), 1u) << Describe(log);
    EXPECT_EQ(changes[0].record.Get("owner"), foreground) << tail.back() << Describe(log);
    EXPECT_EQ(changes[0].record.Get("provider"), "SCRSAVE");
  }
  front->Kill();
  named->Kill();
}

TEST_F(ChangePasswordTest, AMissingLibraryOrEntryDoesNothing) {
  EXPECT_EQ(RunChange("bare", {"/a", "660"}), 0) << "no MPR.DLL at all";
  EXPECT_TRUE(ReadLog().empty());
  EXPECT_EQ(RunChange("doubles-noentry", {"/a", "660"}), 0) << "MPR.DLL without the entry";
  const std::vector<LogLine> log = ReadLog();
  EXPECT_EQ(Only(log, "change").size(), 0u) << Describe(log);
  EXPECT_EQ(Only(log, "detach").size(), 1u) << Describe(log);
}

TEST_F(ChangePasswordTest, OnTheNtFamilyNothingExists) {
  wine().Family95(false);
  SetPassword({"dword", "1"});
  EXPECT_EQ(RunChange("doubles", {"/a", "660"}), kExitMinusOne);
  EXPECT_TRUE(ReadLog().empty()) << Describe(ReadLog());

  // No verifier either: the first movement closes at once.
  Probe({"setrunning", "1"});
  SaverRun run = StartFullScreen("doubles", {});
  ASSERT_NE(run.window, 0ul);
  MoveMouse(1);
  EXPECT_EQ(ExitOf(run, 10000), 0);
  EXPECT_TRUE(ReadLog().empty()) << Describe(ReadLog());
  EXPECT_EQ(Running(), "running 1");
}

}  // namespace
}  // namespace lumenfall::wine
