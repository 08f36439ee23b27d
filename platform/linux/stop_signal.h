// SIGTERM, SIGINT and SIGHUP as a file descriptor to poll beside the X or Wayland
// connection: the signals are blocked and read from a signalfd, so that a stop request
// ends the main loop promptly without a handler.
#pragma once

namespace lumenfall {

class StopSignal {
 public:
  StopSignal() = default;
  ~StopSignal();
  StopSignal(const StopSignal&) = delete;
  StopSignal& operator=(const StopSignal&) = delete;

  // False when the descriptor cannot be made.
  bool Open();
  int Fd() const { return fd_; }
  // Reads what has arrived; true when a stop signal has.
  bool Take();

 private:
  int fd_ = -1;
};

}  // namespace lumenfall
