// lumenfall.scr's resources under Wine: the dialog templates, icon and string as
// compiled into the program.
//
// One Xvfb display and one Wine prefix serve every case of this program. The cross
// build of the edition that this machine runs provides the saver, the doubles and the
// two test programs. Outside CI a missing tool or file skips; with CI=true it fails.
#include "dialogs_wine_session.h"
#include "resource_script.h"

#include <cstdio>

namespace lumenfall::wine {
namespace {

// ============================================================================
// The dialog templates
// ============================================================================

constexpr unsigned long kChildVisible = 0x40000000 | 0x10000000;  // WS_CHILD | WS_VISIBLE

// The checker prints a class or a text given as a number as "#XXXX": a resource
// ordinal is one 16-bit word.
std::string Ordinal(uint16_t number) {
  char text[8];
  std::snprintf(text, sizeof text, "#%04x", unsigned{number});
  return text;
}

// The template as the system loads it is the script's dialog, control for control.
void ExpectDialog(const std::vector<Record>& records, const ScriptDialog& script) {
  const unsigned id = script.id;
  const std::vector<ScriptControl>& items = script.controls;
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
  EXPECT_EQ(header->Number("cx"), script.cx) << name;
  EXPECT_EQ(header->Number("cy"), script.cy) << name;
  EXPECT_EQ(header->Get("menu"), "none") << name;
  EXPECT_EQ(header->Get("class"), "none") << name;
  EXPECT_EQ(header->Get("caption"), "\"Lumenfall\"") << name;
  EXPECT_EQ(header->Number("pointsize"), 8) << name;
  EXPECT_EQ(header->Get("face"), "\"MS Sans Serif\"") << name;
  ASSERT_EQ(header->Number("items"), long(items.size())) << name;
  ASSERT_EQ(found.size(), items.size()) << name;
  for (size_t i = 0; i < items.size(); ++i) {
    const ScriptControl& e = items[i];
    const Record& r = *found[i];
    const std::string where = name + " control " + std::to_string(i + 1);
    EXPECT_EQ(r.Number("index"), long(i + 1)) << where;
    EXPECT_EQ(r.Number("id"), long(e.id)) << where;
    EXPECT_EQ(r.Get("class"), Ordinal(e.classOrdinal)) << where;
    EXPECT_EQ(r.Get("text"), e.textOrdinal >= 0 ? Ordinal(uint16_t(e.textOrdinal)) : QuoteText(e.text)) << where;
    EXPECT_EQ(r.Hex("style"), e.style) << where << " style " << r.Get("style");
    EXPECT_EQ(r.Hex("style") & kChildVisible, kChildVisible) << where << ": every control is shown";
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
  std::string script, error;
  ASSERT_TRUE(PreprocessSaverScript(&script)) << script;
  std::map<unsigned, ScriptDialog> dialogs;
  for (const ScriptDialog& d : ReadScriptDialogs(script, &error)) dialogs[d.id] = d;
  ASSERT_EQ(error, "");
  ASSERT_TRUE(dialogs.count(2003) && dialogs.count(104)) << "the script lacks a dialog";
  ExpectDialog(records, dialogs[2003]);
  ExpectDialog(records, dialogs[104]);
  // The About dialog's wording is ours; its credit lines credit the project, never a person.
  for (const ScriptControl& c : dialogs[104].controls) {
    if (c.text.rfind("Program:", 0) == 0 || c.text.rfind("Poems:", 0) == 0) {
      EXPECT_NE(c.text.find("the Lumenfall authors"), std::string::npos) << c.text;
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
