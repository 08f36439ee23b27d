#include "resource_script.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "wine_harness.h"

namespace lumenfall::wine {
namespace {

struct Token {
  enum Kind { Number, Text, Word, Mark } kind;
  std::string spelling;  // Text: decoded; Mark: one character
  long value = 0;        // Number
};

// A resource script's string literal from its opening quote: "" stands for one quote,
// and \n, \t, \\ and \" are the C escapes.
std::string ReadLiteral(const std::string& s, size_t& i) {
  std::string text;
  for (++i; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '"') {
      if (i + 1 < s.size() && s[i + 1] == '"') {
        text += '"';
        ++i;
        continue;
      }
      ++i;
      return text;
    }
    if (c == '\\' && i + 1 < s.size()) {
      const char e = s[++i];
      text += e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e;
      continue;
    }
    text += c;
  }
  throw std::runtime_error("a string runs to the end of the script");
}

std::vector<Token> Tokenize(const std::string& s) {
  std::vector<Token> tokens;
  size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (std::isspace(c)) {
      ++i;
    } else if (c == '#' && (i == 0 || s[i - 1] == '\n')) {  // a line the preprocessor left
      while (i < s.size() && s[i] != '\n') ++i;
    } else if (s.compare(i, 2, "/*") == 0) {
      const size_t end = s.find("*/", i + 2);
      i = end == std::string::npos ? s.size() : end + 2;
    } else if (c == '"') {
      tokens.push_back({Token::Text, ReadLiteral(s, i)});
    } else if (std::isdigit(c)) {
      char* end = nullptr;
      const long value = std::strtol(s.c_str() + i, &end, 0);
      i = static_cast<size_t>(end - s.c_str());
      while (i < s.size() && (s[i] == 'L' || s[i] == 'l' || s[i] == 'U' || s[i] == 'u')) ++i;
      tokens.push_back({Token::Number, {}, value});
    } else if (std::isalpha(c) || c == '_') {
      const size_t start = i;
      while (i < s.size() && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '_')) ++i;
      tokens.push_back({Token::Word, s.substr(start, i - start)});
    } else {
      tokens.push_back({Token::Mark, std::string(1, s[i++])});
    }
  }
  return tokens;
}

class Parser {
 public:
  explicit Parser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

  bool AtDialog() const {
    return at_ + 1 < tokens_.size() && tokens_[at_].kind == Token::Number &&
           IsWord(tokens_[at_ + 1], "DIALOG");
  }
  bool Done() const { return at_ >= tokens_.size(); }
  void Skip() { ++at_; }

  ScriptDialog Dialog() {
    ScriptDialog d;
    d.id = static_cast<uint16_t>(Expression());
    Expect("DIALOG");
    d.x = Int(), Comma(), d.y = Int(), Comma(), d.cx = Int(), Comma(), d.cy = Int();
    while (!NextIs("BEGIN")) {
      const std::string option = Next(Token::Word).spelling;
      if (option == "STYLE") {
        d.style = static_cast<uint32_t>(Expression());
      } else if (option == "CAPTION") {
        d.caption = Next(Token::Text).spelling;
      } else if (option == "FONT") {
        d.pointSize = Int(), Comma(), d.face = Next(Token::Text).spelling;
      } else {
        throw std::runtime_error("dialog " + std::to_string(d.id) + ": unknown option " + option);
      }
    }
    Expect("BEGIN");
    while (!NextIs("END")) d.controls.push_back(Control());
    Expect("END");
    return d;
  }

 private:
  // CONTROL text, id, class, style, x, y, cx, cy [, exstyle], or a statement that
  // implies the class: KEYWORD text, id, x, y, cx, cy, style [, exstyle] (the form a
  // resource compiler writes back when it lists a program's templates).
  ScriptControl Control() {
    struct Implied {
      const char* statement;
      uint16_t classOrdinal;
    };
    static constexpr Implied kImplied[] = {
        {"PUSHBUTTON", 0x80}, {"DEFPUSHBUTTON", 0x80}, {"GROUPBOX", 0x80}, {"CHECKBOX", 0x80},
        {"AUTOCHECKBOX", 0x80}, {"RADIOBUTTON", 0x80}, {"AUTORADIOBUTTON", 0x80},
        {"LTEXT", 0x82}, {"CTEXT", 0x82}, {"RTEXT", 0x82}, {"ICON", 0x82}};
    const std::string statement = Next(Token::Word).spelling;
    const Implied* implied = nullptr;
    for (const Implied& candidate : kImplied)
      if (statement == candidate.statement) implied = &candidate;
    if (statement != "CONTROL" && implied == nullptr)
      throw std::runtime_error("unknown control statement " + statement);
    ScriptControl c;
    if (Peek().kind == Token::Text) c.text = Next(Token::Text).spelling;
    else c.textOrdinal = Expression();
    Comma(), c.id = static_cast<uint16_t>(Expression());
    if (implied == nullptr) {
      Comma(), c.classOrdinal = static_cast<uint16_t>(Expression());
      Comma(), c.style = static_cast<uint32_t>(Expression());
    } else {
      c.classOrdinal = implied->classOrdinal;
    }
    Comma(), c.x = Int(), Comma(), c.y = Int(), Comma(), c.cx = Int(), Comma(), c.cy = Int();
    if (implied != nullptr) Comma(), c.style = static_cast<uint32_t>(Expression());
    if (TakeMark(',')) c.exStyle = static_cast<uint32_t>(Expression());
    return c;
  }

  static bool IsWord(const Token& t, const char* word) { return t.kind == Token::Word && t.spelling == word; }
  const Token& Peek() const {
    if (Done()) throw std::runtime_error("the script ends inside a dialog");
    return tokens_[at_];
  }
  bool NextIs(const char* word) const { return IsWord(Peek(), word); }
  const Token& Next(Token::Kind kind) {
    const Token& t = Peek();
    if (t.kind != kind) throw std::runtime_error("unexpected '" + t.spelling + "' in a dialog");
    ++at_;
    return t;
  }
  bool TakeMark(char mark) {
    if (Done() || tokens_[at_].kind != Token::Mark || tokens_[at_].spelling[0] != mark) return false;
    ++at_;
    return true;
  }
  void Comma() {
    if (!TakeMark(',')) throw std::runtime_error("a comma is missing in a dialog");
  }
  void Expect(const char* word) {
    if (!NextIs(word)) throw std::runtime_error(std::string(word) + " is missing in a dialog");
    ++at_;
  }
  int Int() { return static_cast<int>(Expression()); }
  // Numbers joined by |, each possibly negated or in parentheses.
  long Expression() {
    long value = Term();
    while (TakeMark('|')) value |= Term();
    return value;
  }
  long Term() {
    if (TakeMark('-')) return -Term();
    if (TakeMark('(')) {
      const long value = Expression();
      if (!TakeMark(')')) throw std::runtime_error("a parenthesis is not closed in a dialog");
      return value;
    }
    return Next(Token::Number).value;
  }

  std::vector<Token> tokens_;
  size_t at_ = 0;
};

}  // namespace

std::vector<ScriptDialog> ReadScriptDialogs(const std::string& preprocessed, std::string* error) {
  std::vector<ScriptDialog> dialogs;
  try {
    Parser parser(Tokenize(preprocessed));
    while (!parser.Done()) {
      if (parser.AtDialog()) dialogs.push_back(parser.Dialog());
      else parser.Skip();
    }
  } catch (const std::runtime_error& failure) {
    if (error != nullptr) *error = failure.what();
  }
  return dialogs;
}

bool PreprocessSaverScript(std::string* out) {
  return Run({"i686-w64-mingw32-gcc", "-E", "-P", "-xc", "-DRC_INVOKED",
              "-I" LUMENFALL_RESOURCE_DIR, "-I" LUMENFALL_GENERATED_INCLUDE_DIR,
              LUMENFALL_RESOURCE_DIR "/lumenfall.rc"},
             {}, 60000, out) == 0;
}

std::string QuoteText(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (u >= 0x20 && u < 0x7F) {
      out += c;
    } else {
      char escaped[16];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(u));
      out += escaped;
    }
  }
  return out + "\"";
}

}  // namespace lumenfall::wine
