// lumenfall.scr's resources under Wine: the dialog templates, icon and string as
// compiled into the program.
//
// One Xvfb display and one Wine prefix serve every case of this program. The cross
// build of the edition that this machine runs provides the saver, the doubles and the
// two test programs. Outside CI a missing tool or file skips; with CI=true it fails.
#include "dialogs_wine_session.h"

#include <cstdint>
#include <cstdio>
#include <tuple>
#include <utility>
#include <vector>

namespace lumenfall::wine {
namespace {

// ============================================================================
// The dialog templates, as the system loads them from the built program
// ============================================================================

// The system's numbers for the styles and classes the dialogs use.
constexpr uint32_t kChild = 0x40000000, kVisible = 0x10000000, kTabStop = 0x00010000,
                   kGroup = 0x00020000;
constexpr uint32_t kDefPushButton = 0x1, kAutoCheckBox = 0x3, kGroupBox = 0x7, kAutoRadio = 0x9,
                   kMultiline = 0x2000;
constexpr uint32_t kLeft = 0x0, kCentre = 0x1, kIcon = 0x3, kCentreImage = 0x200, kSunken = 0x1000;
constexpr uint16_t kButton = 0x80, kStatic = 0x82, kNone = 0xFFFF;

// One control: its text as the checker prints it (quoted, \n for a new line; "#0064"
// for icon 100), or null where the wording is the program's own choice (any text),
// or a text ending in "..." that the control's text starts with.
struct Control {
  uint16_t id;
  uint16_t windowClass;
  const char* text;
  uint32_t style;  // beyond WS_CHILD | WS_VISIBLE
  int x, y, cx, cy;
};

struct Dialog {
  unsigned id;
  int cx, cy;
  std::vector<Control> controls;
};

const Dialog kConfigDialog{2003, 186, 132, {
    {1000, kButton, "\"&OK\"", kDefPushButton | kTabStop, 7, 111, 50, 14},
    {kNone, kButton, "\"Text && Colour\"", kGroupBox, 7, 7, 172, 42},
    {1001, kButton, "\"Deep Blue (Nerith)\"", kAutoRadio, 41, 20, 131, 10},
    {1002, kButton, "\"Malachi Red (Calvane)\"", kAutoRadio, 41, 30, 131, 10},
    {kNone, kStatic, "#0064", kIcon | kCentreImage | kSunken, 14, 20, 21, 20},
    {1003, kButton, "\"&Cancel\"", kDefPushButton | kTabStop, 129, 111, 50, 14},
    {1004, kButton, "\"&About\"", kDefPushButton | kTabStop, 68, 111, 50, 14},
    {kNone, kButton, "\"Blur Quality\"", kGroupBox, 7, 59, 172, 39},
    {1009, kButton, "\"Use low quality blur (rough but fast) -\\nDon't use unless you have to. ;)\"",
     kAutoCheckBox | kMultiline | kTabStop, 14, 70, 159, 22},
}};

const Dialog kAboutDialog{104, 186, 191, {
    {1000, kButton, "\"&OK\"", kDefPushButton | kTabStop, 69, 170, 50, 14},
    {kNone, kButton, "\"Credits\"", kGroupBox, 7, 7, 172, 111},
    {kNone, kStatic, nullptr, kLeft | kGroup, 41, 20, 131, 10},
    {kNone, kStatic, nullptr, kLeft | kGroup, 41, 30, 131, 10},
    {kNone, kStatic, "#0064", kIcon | kCentreImage | kSunken, 14, 20, 20, 20},
    {kNone, kStatic, nullptr, kLeft | kGroup, 14, 50, 158, 30},
    {kNone, kStatic, nullptr, kLeft | kGroup, 14, 85, 158, 30},
    {kNone, kButton, "\"Addresses\"", kGroupBox, 7, 126, 172, 31},
    {kNone, kStatic, "\"Get the whole story at\\n...", kCentre | kGroup, 13, 135, 158, 18},
}};

std::string Hex(unsigned long value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08lx", value);
  return text;
}

void ExpectDialog(const std::vector<Record>& records, const Dialog& want) {
  const std::string name = "dialog " + std::to_string(want.id);
  const Record* header = nullptr;
  const Record* resource = nullptr;
  std::vector<const Record*> found;
  for (const Record& r : records) {
    if (r.kind == "dialog" && r.Number("id") == long(want.id)) header = &r;
    if (r.kind == "item" && r.Number("dialog") == long(want.id)) found.push_back(&r);
    if (r.kind == "resource" && r.Get("type") == "dialog" && r.Number("id") == long(want.id)) resource = &r;
  }
  ASSERT_NE(resource, nullptr) << name;
  EXPECT_EQ(resource->Get("languages"), "0809") << name << ": English (United Kingdom) only";
  ASSERT_NE(header, nullptr) << name << " not found";
  EXPECT_EQ(header->Get("format"), "plain") << name;
  // WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT
  EXPECT_EQ(Hex(header->Hex("style")), "80c808c0") << name;
  EXPECT_EQ(header->Hex("exstyle"), 0ul) << name;
  EXPECT_EQ(std::make_pair(header->Number("x"), header->Number("y")), std::make_pair(0L, 0L)) << name;
  EXPECT_EQ(std::make_pair(header->Number("cx"), header->Number("cy")), std::make_pair(long(want.cx), long(want.cy)))
      << name;
  EXPECT_EQ(header->Get("menu"), "none") << name;
  EXPECT_EQ(header->Get("class"), "none") << name;
  EXPECT_EQ(header->Get("caption"), "\"Lumenfall\"") << name;
  EXPECT_EQ(header->Number("pointsize"), 8) << name;
  EXPECT_EQ(header->Get("face"), "\"MS Sans Serif\"") << name;
  ASSERT_EQ(found.size(), want.controls.size()) << name;
  EXPECT_EQ(header->Number("items"), long(want.controls.size())) << name;
  for (size_t i = 0; i < want.controls.size(); ++i) {
    const Control& c = want.controls[i];
    const Record& r = *found[i];
    const std::string where = name + " control " + std::to_string(i + 1);
    EXPECT_EQ(r.Number("index"), long(i + 1)) << where;
    EXPECT_EQ(r.Number("id"), long(c.id)) << where;
    EXPECT_EQ(r.Get("class"), c.windowClass == kButton ? "#0080" : "#0082") << where;
    const std::string text = r.Get("text");
    const std::string expected = c.text != nullptr ? c.text : "";
    if (c.text == nullptr) {
      EXPECT_GT(text.size(), 2u) << where << ": no text";
    } else if (expected.size() > 3 && expected.compare(expected.size() - 3, 3, "...") == 0) {
      EXPECT_EQ(text.rfind(expected.substr(0, expected.size() - 3), 0), 0u) << where << ": " << text;
    } else {
      EXPECT_EQ(text, expected) << where;
    }
    EXPECT_EQ(Hex(r.Hex("style")), Hex(kChild | kVisible | c.style)) << where;
    EXPECT_EQ(r.Hex("exstyle"), 0ul) << where;
    EXPECT_EQ(std::make_tuple(r.Number("x"), r.Number("y"), r.Number("cx"), r.Number("cy")),
              std::make_tuple(long(c.x), long(c.y), long(c.cx), long(c.cy)))
        << where;
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
  ExpectDialog(records, kConfigDialog);
  ExpectDialog(records, kAboutDialog);
  // The About dialog's wording is ours; its credit lines credit the project, never a person.
  for (const Record& r : records) {
    if (r.kind != "item" || r.Number("dialog") != 104) continue;
    const std::string text = r.Get("text");
    if (text.rfind("\"Program:", 0) == 0 || text.rfind("\"Poems:", 0) == 0) {
      EXPECT_NE(text.find("the Lumenfall authors"), std::string::npos) << text;
    }
  }

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

}  // namespace
}  // namespace lumenfall::wine
