#pragma once

// Debian's tinyproxy as a real CONNECT proxy on a loopback port, started in
// the foreground for one test and stopped (by its own pid) at the end.

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace revizer::peers {

class TinyproxyProcess {
 public:
  // Starts tinyproxy with its configuration in `work_dir`; `ok()` tells
  // whether it came up and accepts connections.
  explicit TinyproxyProcess(const std::string& work_dir);
  ~TinyproxyProcess();
  TinyproxyProcess(const TinyproxyProcess&) = delete;
  TinyproxyProcess& operator=(const TinyproxyProcess&) = delete;

  bool ok() const { return ready_; }
  std::uint16_t port() const { return port_; }
  // For tests that stop and continue it (SIGSTOP, SIGCONT).
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  std::uint16_t port_ = 0;
  bool ready_ = false;
};

}  // namespace revizer::peers
