#pragma once

#include <cstddef>
#include <dirent.h>
#include <fstream>
#include <string>

namespace opc::test {

// Open file descriptors of this process.
inline std::size_t OpenDescriptors() {
  std::size_t n = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (::readdir(dir)) {
      ++n;
    }
    ::closedir(dir);
  }
  return n;
}

// A field of /proc/self/status in KiB: "VmRSS" now, "VmHWM" the peak.
inline long StatusKiB(const std::string& field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(field + ":", 0) == 0) {
      return std::stol(line.substr(field.size() + 1));
    }
  }
  return 0;
}
inline long ResidentKiB() {
  return StatusKiB("VmRSS");
}
inline long PeakResidentKiB() {
  return StatusKiB("VmHWM");
}
// Starts the peak afresh.
inline void ResetPeak() {
  std::ofstream("/proc/self/clear_refs") << "5";
}

} // namespace opc::test
