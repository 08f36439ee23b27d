#include "tests/support/test_user.h"

#include <pwd.h>
#include <unistd.h>

#include "tests/support/process.h"

namespace lumenfall::test {

namespace {

constexpr const char* kName = "lumenfall-test";

TestUser Find() {
  TestUser user{getuid(), getgid(), ""};
  if (user.uid != 0) return user;
  if (getpwnam(kName) == nullptr) {
    const std::string useradd = FindTool("useradd");
    if (useradd.empty()) return {0, 0, "useradd is missing: cannot make the test user"};
    RunToEnd({useradd, "--system", "--no-create-home", "--shell", "/usr/sbin/nologin", kName}, {}, 10000);
  }
  if (FindTool("setpriv").empty()) return {0, 0, "setpriv is missing (Debian: apt-get install util-linux)"};
  const passwd* entry = getpwnam(kName);  // made here, or by a test program running beside this one
  if (entry == nullptr) return {0, 0, std::string("cannot make the test user ") + kName};
  return {entry->pw_uid, entry->pw_gid, ""};
}

}  // namespace

const TestUser& TheTestUser() {
  static const TestUser user = Find();
  return user;
}

std::vector<std::string> AsTestUser(const std::vector<std::string>& command) {
  if (getuid() != 0) return command;
  const TestUser& user = TheTestUser();
  std::vector<std::string> wrapped = {FindTool("setpriv"), "--reuid=" + std::to_string(user.uid),
                                      "--regid=" + std::to_string(user.gid), "--clear-groups"};
  wrapped.insert(wrapped.end(), command.begin(), command.end());
  return wrapped;
}

}  // namespace lumenfall::test
