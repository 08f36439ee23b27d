// What a test needs from the machine: a tool or a server that may be missing. Without
// it the test is skipped, except under continuous integration (CI=true), where a
// missing tool is a failure.
// The macros go in test bodies (they use gtest's FAIL and GTEST_SKIP); this header does
// not include gtest itself, so that it may come before Xlib's, whose macros clash with it.
#pragma once

#include <cstdlib>
#include <cstring>

namespace lumenfall::test {

inline bool InCi() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::strcmp(ci, "true") == 0;
}

// The saver as the Debian package installs it: the tests of the installed package (the
// label "package") need it there.
inline constexpr const char* kInstalledSaver = "/usr/libexec/xscreensaver/lumenfall";

}  // namespace lumenfall::test

// Skips (fails under CI) with the message when available is false.
#define REQUIRE_TOOL(available, message)                                 \
  do {                                                                   \
    if (!(available)) {                                                  \
      if (::lumenfall::test::InCi()) FAIL() << (message);                \
      GTEST_SKIP() << (message);                                         \
    }                                                                    \
  } while (0)

// Goes on only with the server running: skips when its program is missing (outside
// CI), fails when it is there but did not start.
#define REQUIRE_RUNNING(server)                                                             \
  do {                                                                                      \
    if (!(server).Running()) {                                                              \
      if ((server).Missing() && !::lumenfall::test::InCi()) GTEST_SKIP() << (server).Error(); \
      FAIL() << (server).Error();                                                           \
    }                                                                                       \
  } while (0)

// A server of the type, made with the arguments; the test goes on only with it running.
#define START_SERVER(Type, server, ...) \
  Type server{__VA_ARGS__};             \
  REQUIRE_RUNNING(server)
