// Private X servers for the tests of the Linux and the Windows saver: Xvfb, and Xephyr
// nested in one for several heads. Each takes the first free display number from 70 up
// and is stopped (and waited for) when the object goes; every wait is bounded.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/support/process.h"

namespace lumenfall::test {

class XServer {
 public:
  ~XServer();
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  bool Missing() const { return missing_; }  // its program is not installed
  bool Running() const { return process_ != nullptr; }
  const std::string& Error() const { return error_; }
  const std::string& Name() const { return name_; }  // ":70"

 protected:
  XServer() = default;
  // Starts the program with ":N", the arguments, and DISPLAY=hostDisplay when not empty.
  void Start(const std::string& program, const std::string& package, const std::vector<std::string>& arguments,
             const std::string& hostDisplay);
  void Fail(const XServer& host);  // the host's failure as this server's

 private:
  std::unique_ptr<Process> process_;
  bool missing_ = false;
  std::string name_, error_;
};

// Xvfb with one screen ("640x480x24") and more arguments.
class XvfbServer : public XServer {
 public:
  explicit XvfbServer(const std::string& screen = "640x480x24", const std::vector<std::string>& more = {});
};

// Xephyr shown on the host, with its arguments ("+xinerama -screen ... -screen ...").
class XephyrServer : public XServer {
 public:
  XephyrServer(const XServer& host, const std::vector<std::string>& arguments);
};

// Two heads side by side, as a user's two monitors: a nested Xephyr with Xinerama over
// two screens, inside a private Xvfb that holds its windows.
struct TwoHeadHost {
  XvfbServer host{"1600x800x24"};
};
class TwoHeadServer : private TwoHeadHost, public XephyrServer {
 public:
  TwoHeadServer();
  struct Head {
    int x, y;
    uint32_t width, height;
  };
  // As Xinerama lays them out on the one logical screen.
  static constexpr Head kHeads[2] = {{0, 0, 800, 600}, {800, 0, 640, 480}};
};

}  // namespace lumenfall::test
