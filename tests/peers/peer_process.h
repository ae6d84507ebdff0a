#pragma once

// A child process of a test, found on PATH or by path: its standard input is
// a pipe held open for its whole life (the test servers end when it closes,
// so they cannot outlive a crashed test), its standard output is read by a
// thread of its own, line by line, and its standard error is the test's.
// Destruction ends it: SIGTERM, then SIGKILL if it lingers, and reaps it.

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace revizer::peers {

class PeerProcess {
 public:
  explicit PeerProcess(const std::vector<std::string>& argv);
  ~PeerProcess();
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;

  bool started() const { return pid_ > 0; }
  // The next line of its output, without the line feed; none once the
  // output has ended or when `timeout` passes first.
  std::optional<std::string> read_line(std::chrono::milliseconds timeout);

 private:
  void read_output(int fd);

  pid_t pid_ = -1;
  int stdin_ = -1;
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<std::string> lines_;
  bool output_ended_ = false;
  std::thread reader_;
};

// Runs a command to its end; its exit status, or -1 when it could not run or
// ended by a signal.
int run_command(const std::vector<std::string>& argv);

}  // namespace revizer::peers
