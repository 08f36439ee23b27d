// Running our programs under valgrind's memcheck for the valgrind suites: the command
// line and the reading of valgrind's log.
#pragma once

#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/test_requirements.h"

namespace lumenfall::vgtest {

using namespace lumenfall::test;

inline bool HaveValgrind() { return LUMENFALL_VALGRIND[0] != '\0' && access(LUMENFALL_VALGRIND, X_OK) == 0; }

// Exit code that valgrind gives when it found an error or a leak.
constexpr int kValgrindError = 99;

// valgrind with memcheck's full leak check: every definite, indirect or possible leak
// and every invalid access or use of an undefined value is an error. Its report goes
// to logPath, so that the program's own output stays its own.
inline std::vector<std::string> UnderValgrind(const std::string& logPath, const std::vector<std::string>& command) {
  std::vector<std::string> argv = {LUMENFALL_VALGRIND,
                                   "--tool=memcheck",
                                   "--leak-check=full",
                                   "--show-leak-kinds=definite,indirect,possible",
                                   "--errors-for-leak-kinds=definite,indirect,possible",
                                   "--error-exitcode=" + std::to_string(kValgrindError),
                                   "--log-file=" + logPath};
  argv.insert(argv.end(), command.begin(), command.end());
  return argv;
}

// What the log says is wrong; empty when valgrind finished with no error and no leak.
inline std::string Problems(const std::string& log) {
  std::string problems;
  if (log.find("ERROR SUMMARY: 0 errors") == std::string::npos) problems += "errors were reported; ";
  if (log.find("ERROR SUMMARY:") == std::string::npos) problems += "valgrind did not finish its report; ";
  for (const char* kind : {"definitely lost", "indirectly lost", "possibly lost"}) {
    const std::string label = std::string(kind) + ": ";
    const size_t at = log.find(label);
    if (at == std::string::npos) continue;
    const size_t from = at + label.size();
    const std::string bytes = log.substr(from, log.find_first_not_of("0123456789,", from) - from);
    if (!bytes.empty() && bytes != "0") problems += std::string(kind) + " " + bytes + " bytes; ";
  }
  return problems;
}

}  // namespace lumenfall::vgtest
