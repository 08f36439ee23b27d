// The output file of a render: written under a temporary name, renamed when complete.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/render/image_writers.h"

namespace lumenfall {

namespace {

std::string SystemError(int code) { return std::strerror(code); }

}  // namespace

OutputFile::~OutputFile() { Abandon(); }

bool OutputFile::Open(const std::string& path, std::string& error) {
  Abandon();
  path_ = path;
  if (path == "-") {
    stream_ = stdout;
    standardOutput_ = true;
    return true;
  }
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") {
    error = "cannot write '" + path + "': it names a folder, not a file";
    return false;
  }
  // A device, pipe or socket (/dev/null, a FIFO that a player reads) is written as it
  // stands: renaming a temporary file over it would put a plain file in its place.
  struct stat existing;
  if (stat(path.c_str(), &existing) == 0) {
    if (S_ISDIR(existing.st_mode)) {
      error = "cannot write '" + path + "': it names a folder, not a file";
      return false;
    }
    if (!S_ISREG(existing.st_mode)) {
      stream_ = std::fopen(path.c_str(), "wb");
      if (stream_ == nullptr) {
        error = "cannot open '" + path + "': " + SystemError(errno);
        return false;
      }
      direct_ = true;
      return true;
    }
  }
  std::string pattern = folder + "." + name + ".partial-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  const int fd = mkstemp(buffer.data());
  if (fd < 0) {
    error = "cannot create '" + path + "': " + SystemError(errno);
    return false;
  }
  temporaryPath_ = buffer.data();
  // mkstemp makes the file private; an output file gets the usual permissions.
  const mode_t mask = umask(0);
  umask(mask);
  if (fchmod(fd, 0666 & ~mask) != 0) {
    // Not fatal: the file is still written, only less widely readable.
  }
  stream_ = fdopen(fd, "wb");
  if (stream_ == nullptr) {
    const int code = errno;
    close(fd);
    unlink(temporaryPath_.c_str());
    temporaryPath_.clear();
    error = "cannot create '" + path + "': " + SystemError(code);
    return false;
  }
  return true;
}

bool OutputFile::Commit(std::string& error) {
  if (stream_ == nullptr) {
    error = "cannot write '" + path_ + "': the file is not open";
    return false;
  }
  if (standardOutput_) {
    const bool ok = std::fflush(stream_) == 0 && !std::ferror(stream_);
    stream_ = nullptr;
    standardOutput_ = false;
    if (!ok) error = "cannot write to standard output: " + SystemError(errno);
    return ok;
  }
  bool ok = std::fflush(stream_) == 0 && !std::ferror(stream_);
  int code = ok ? 0 : (errno != 0 ? errno : EIO);
  if (std::fclose(stream_) != 0 && ok) {
    ok = false;
    code = errno;
  }
  stream_ = nullptr;
  if (direct_) {
    direct_ = false;
    if (!ok) error = "cannot write '" + path_ + "': " + SystemError(code);
    return ok;
  }
  if (ok && std::rename(temporaryPath_.c_str(), path_.c_str()) != 0) {
    ok = false;
    code = errno;
  }
  if (!ok) {
    unlink(temporaryPath_.c_str());
    temporaryPath_.clear();
    error = "cannot write '" + path_ + "': " + SystemError(code);
    return false;
  }
  temporaryPath_.clear();
  return true;
}

void OutputFile::Abandon() {
  if (standardOutput_) {
    if (stream_ != nullptr) std::fflush(stream_);
    stream_ = nullptr;
    standardOutput_ = false;
    return;
  }
  if (stream_ != nullptr) {
    std::fclose(stream_);
    stream_ = nullptr;
  }
  direct_ = false;
  if (!temporaryPath_.empty()) {
    unlink(temporaryPath_.c_str());
    temporaryPath_.clear();
  }
}

bool FrameFits(bool begun, const char* stream, const char* format, const RgbImage& image,
               uint32_t width, uint32_t height, std::string& error) {
  if (!begun) {
    error = std::string(stream) + " was not started";
    return false;
  }
  if (image.width != width || image.height != height ||
      image.rgb.size() != size_t{width} * height * 3) {
    error = std::string("a ") + format + " frame of the wrong size";
    return false;
  }
  return true;
}

bool WriteBytes(FILE* out, const void* data, size_t n, std::string& error) {
  if (out == nullptr) {
    error = "no output stream";
    return false;
  }
  if (n == 0) return true;
  errno = 0;
  if (std::fwrite(data, 1, n, out) != n) {
    error = errno != 0 ? SystemError(errno) : "write failed";
    return false;
  }
  return true;
}

}  // namespace lumenfall
