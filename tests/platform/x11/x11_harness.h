// The Linux saver's tests on private X servers (tests/support): the saver's command,
// and an Xlib client that makes windows and reads their pixels back.
#pragma once

#include <X11/Xlib.h>
#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/support/checks.h"
#include "tests/support/test_user.h"
#include "tests/support/x_servers.h"
#include "tests/test_requirements.h"

namespace lumenfall::x11test {

using namespace lumenfall::test;

// A client connection to the server that closes itself; display is null when it failed.
struct Connection {
  explicit Connection(const XServer& server);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  Display* display;
};

// Starts the server (the arguments go to its constructor) and connects a client to it.
#define START_X(Type, server, client, ...)   \
  START_SERVER(Type, server, __VA_ARGS__); \
  Connection client(server);               \
  ASSERT_NE(client.display, nullptr)

// The saver binary with the given arguments.
std::vector<std::string> SaverCommand(const std::vector<std::string>& arguments);

// Reads the window's pixels as 8-bit colours (fields narrower than 8 bits are widened
// with zero low bits). False when the window cannot be read.
bool CaptureWindow(Display* display, Window window, Picture& picture);
// The same for a rectangle of the window.
bool CaptureArea(Display* display, Window window, int x, int y, uint32_t width, uint32_t height, Picture& picture);

// A top-level window of the given size with a black background, mapped (and waited
// for). The client selects StructureNotify and Exposure on it.
Window MakeWindow(Display* display, uint32_t width, uint32_t height);

// Ids of the System V shared memory segments that the process created.
std::vector<int> SharedMemoryOf(pid_t pid);
// Their size in bytes, all together.
size_t SharedMemoryBytesOf(pid_t pid);

}  // namespace lumenfall::x11test
