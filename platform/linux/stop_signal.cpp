#include "platform/linux/stop_signal.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <initializer_list>

namespace lumenfall {

bool StopSignal::Open() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&set, sig);
  if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0) return false;
  signal(SIGPIPE, SIG_IGN);
  fd_ = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
  return fd_ >= 0;
}

StopSignal::~StopSignal() {
  if (fd_ >= 0) close(fd_);
}

bool StopSignal::Take() {
  bool any = false;
  signalfd_siginfo info;
  while (read(fd_, &info, sizeof info) == ssize_t(sizeof info)) any = true;
  return any;
}

}  // namespace lumenfall
