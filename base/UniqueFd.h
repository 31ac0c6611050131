#pragma once

#include <unistd.h>

namespace opc {

// Owns a file descriptor; closes it once, never throws.
class UniqueFd {
public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) noexcept : FFd(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : FFd(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      reset(other.release());
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }

  int get() const noexcept { return FFd; }
  explicit operator bool() const noexcept { return FFd >= 0; }
  int release() noexcept {
    const int fd = FFd;
    FFd = -1;
    return fd;
  }
  void reset(int fd = -1) noexcept {
    if (FFd >= 0) {
      ::close(FFd);
    }
    FFd = fd;
  }

private:
  int FFd = -1;
};

} // namespace opc
