// What the Linux saver does alike on X11 and on Wayland: the closing rule's movement
// threshold, the shortest tick, the size of its own window, and how it reports an error.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace lumenfall {

constexpr int kMoveThreshold = 4;             // |dx| + |dy| beyond this closes the saver
constexpr uint64_t kMinimumTickNs = 1000000;  // a delay of 0 still waits 1 ms a tick
constexpr uint32_t kOwnWindowWidth = 800;
constexpr uint32_t kOwnWindowHeight = 600;

// One line on standard error with the program's name; the exit code of an error.
inline int Fail(const std::string& message) {
  std::fprintf(stderr, "lumenfall: %s\n", message.c_str());
  return 1;
}

}  // namespace lumenfall
