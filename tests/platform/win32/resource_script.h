// The saver's dialogs as its resource script declares them, for the tests that check
// the compiled templates: the script is the one source of what each control is.
//
// The script is read after the cross compiler's preprocessor has run over it (as the
// resource compiler runs it: -DRC_INVOKED), so every symbol is a number. Only the
// DIALOG blocks and their controls are read; everything else is passed over. The same
// reader takes the script a resource compiler writes back from a built program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lumenfall::wine {

struct ScriptControl {
  std::string text;       // the text as the control gets it (escapes decoded)
  long textOrdinal = -1;  // a resource number given instead of a text (an icon), else -1
  uint16_t id = 0;        // -1 in the script is 0xFFFF
  uint16_t classOrdinal = 0;
  uint32_t style = 0;
  uint32_t exStyle = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
};

struct ScriptDialog {
  uint16_t id = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
  uint32_t style = 0;
  std::string caption;
  int pointSize = 0;
  std::string face;
  std::vector<ScriptControl> controls;
};

// The DIALOG blocks of a preprocessed script, in their order. A block that does not
// parse ends the list and sets *error (when given) to what was wrong.
std::vector<ScriptDialog> ReadScriptDialogs(const std::string& preprocessed,
                                            std::string* error = nullptr);

// Runs the cross compiler's preprocessor over the saver's script into *out. False, with
// the compiler's words in *out, when it fails.
bool PreprocessSaverScript(std::string* out);

// text in double quotes with C escapes (\" \\ \n \r \t, \uXXXX beyond ASCII): how the
// Windows-side checker prints a template's texts.
std::string QuoteText(const std::string& text);

}  // namespace lumenfall::wine
