// Running our programs under valgrind's memcheck for the valgrind suites: the command
// line, a child process with a deadline, and the reading of valgrind's log.
#pragma once

#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/test_requirements.h"

namespace lumenfall::vgtest {

using test::InCi;

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

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
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

// Runs a command to its end, at most timeoutMs; its output goes to /dev/null. Returns
// its exit code, 128 + the signal that ended it, or -1 when it had to be killed.
inline int Run(const std::vector<std::string>& command, int timeoutMs) {
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    std::vector<char*> argv;
    for (const std::string& a : command) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    FILE* devNull = std::fopen("/dev/null", "w");
    if (devNull != nullptr) {
      dup2(fileno(devNull), 1);
      dup2(fileno(devNull), 2);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace lumenfall::vgtest
