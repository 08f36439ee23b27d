// Programs that refuse to run as root (xscreensaver, the compositors) run as the test
// user "lumenfall-test", made when missing; a run that is not root's runs them as itself.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace lumenfall::test {

struct TestUser {
  uid_t uid = 0;
  gid_t gid = 0;
  std::string error;  // why there is none
};

// Made (or found) once for the whole test program.
const TestUser& TheTestUser();

// The command as the test user (setpriv in front when the tests run as root).
std::vector<std::string> AsTestUser(const std::vector<std::string>& command);

}  // namespace lumenfall::test
