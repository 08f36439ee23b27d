// The configuration and About dialogs under Wine, driven from a second Windows program
// with the registry checked after each run.
#include "dialogs_wine_session.h"

namespace lumenfall::wine {
namespace {

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
  auto saver = session->StartWine(args);
  std::vector<std::string> drive{"drive"};
  drive.insert(drive.end(), steps.begin(), steps.end());
  run.driverOutput = session->Tool("lf_dialog_check", drive, &run.driverCode);
  run.steps = ParseRecords(run.driverOutput);
  run.exitCode = saver && saver->ExitedWithin(15000) ? saver->ExitCode() : -3;  // -3: still open
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
    auto saver = session->StartWine(args);
    int code = -1;
    const std::string first = session->Tool("lf_dialog_check", {"drive", "wait"}, &code);
    ASSERT_EQ(code, 0) << first;
    const std::vector<Record> found = ParseRecords(first);
    ASSERT_FALSE(found.empty());
    if (shot) {
      // The picture for the documentation: the dialog as it opens.
      SleepMs(500);
      const Record& window = found.front();
      session->SaveScreenshot(std::getenv("LUMENFALL_DIALOG_SCREENSHOT"), window.Number("left"),
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
    ASSERT_TRUE(saver->ExitedWithin(15000)) << "the dialog is still open";
    run.exitCode = saver->ExitCode();
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

}  // namespace
}  // namespace lumenfall::wine
