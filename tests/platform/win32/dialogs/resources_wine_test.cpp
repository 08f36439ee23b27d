// lumenfall.scr's resources under Wine: the dialog templates, icon and string as
// compiled into the program.
//
// One Xvfb display and one Wine prefix serve every case of this program. The cross
// build (LUMENFALL_MINGW_BUILD_DIR) provides the saver, the doubles and the two test
// programs. Outside CI a missing tool or file skips; with CI=true it fails.
#include "dialogs_wine_session.h"

namespace lumenfall::wine {
namespace {

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

}  // namespace
}  // namespace lumenfall::wine
