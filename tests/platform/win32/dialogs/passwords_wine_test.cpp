// The Windows 95 family's password handling under Wine, with the password libraries
// replaced by logging test doubles.
#include "dialogs_wine_session.h"

namespace lumenfall::wine {
namespace {

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
    run.process = wine().StartWine({WorkDir() + "/run-" + folder + "/lumenfall.scr", "/s"}, env);
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
    if (!run.process || !run.process->ExitedWithin(timeoutMs)) return -3;
    return run.process->ExitCode();
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
  auto parent = wine().StartWine({Program("lf_parent")}, {}, true);
  std::string handle;
  ASSERT_TRUE(parent && parent->ReadLine(30000, handle)) << "no preview parent";
  Environment env{{"LUMENFALL_DOUBLE_LOG", LogPath()}};
  auto saver = wine().StartWine({WorkDir() + "/run-doubles/lumenfall.scr", "/p", handle}, env);
  std::string child;
  const auto deadline = Clock::now() + milliseconds(20000);
  while (Clock::now() < deadline && child.empty()) {
    wine().Wine({Program("lf_probe"), "child", handle}, &child);
    if (child.empty()) SleepMs(100);
  }
  ASSERT_FALSE(child.empty()) << "no preview window";
  const std::string childHandle = child.substr(0, child.find(' '));
  // Inside the preview (lf_parent's window lies at 100,80, 320 x 240): a movement of far
  // more than 4 pixels and a click reach the saver's child window, and close nothing.
  wine().X({"mousemove", "200", "150"});
  wine().X({"mousemove", "260", "200"});
  wine().X({"click", "1"});
  SleepMs(800);
  EXPECT_TRUE(saver->Running()) << "input closed the preview";
  Key(std::strtoul(childHandle.c_str(), nullptr, 10));
  ASSERT_TRUE(saver->ExitedWithin(10000)) << "a key press did not end the preview";
  EXPECT_EQ(saver->ExitCode(), 0);
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
  auto named = wine().StartWine({Program("lf_parent")}, {}, true);
  std::string owner;
  ASSERT_TRUE(named && named->ReadLine(30000, owner)) << "no owner window";
  auto front = wine().StartWine({Program("lf_password_probe"), "window", "20000"}, {}, true);
  std::string foreground;
  ASSERT_TRUE(front && front->ReadLine(30000, foreground)) << "no foreground window";
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
