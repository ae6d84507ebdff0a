#include "tests/peers/peer_process.h"

#include <fcntl.h>
#include <cerrno>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace revizer::peers {
namespace {

// Output lines kept unread at most: a chatty child must not grow the test.
constexpr std::size_t kKeptLines = 1000;

pid_t spawn(const std::vector<std::string>& argv, posix_spawn_file_actions_t* actions) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, args[0], actions, nullptr, args.data(), environ) != 0) return -1;
  return pid;
}

// Waits up to `limit` for the child to end; true when it has been reaped.
bool reap_within(pid_t pid, std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid || (done < 0 && errno != EINTR)) return true;
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace

PeerProcess::PeerProcess(const std::vector<std::string>& argv) {
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0) return;
  if (pipe2(out, O_CLOEXEC) != 0) {
    close(in[0]);
    close(in[1]);
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  pid_ = spawn(argv, &actions);
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  stdin_ = in[1];
  const int output = out[0];
  reader_ = std::thread([this, output] { read_output(output); });
}

PeerProcess::~PeerProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    if (!reap_within(pid_, std::chrono::seconds(5))) {
      kill(pid_, SIGKILL);
      reap_within(pid_, std::chrono::seconds(5));
    }
  }
  if (stdin_ >= 0) close(stdin_);
  // The output ends with the child (and its own children holding it).
  if (reader_.joinable()) reader_.join();
}

void PeerProcess::read_output(int fd) {
  std::string partial;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    partial.append(buffer, static_cast<std::size_t>(n));
    std::size_t end;
    while ((end = partial.find('\n')) != std::string::npos) {
      std::lock_guard hold(lock_);
      lines_.push_back(partial.substr(0, end));
      if (lines_.size() > kKeptLines) lines_.pop_front();
      partial.erase(0, end + 1);
      changed_.notify_all();
    }
  }
  close(fd);
  std::lock_guard hold(lock_);
  output_ended_ = true;
  changed_.notify_all();
}

std::optional<std::string> PeerProcess::read_line(std::chrono::milliseconds timeout) {
  std::unique_lock hold(lock_);
  changed_.wait_for(hold, timeout, [this] { return !lines_.empty() || output_ended_; });
  if (lines_.empty()) return std::nullopt;
  std::string line = std::move(lines_.front());
  lines_.pop_front();
  return line;
}

int run_command(const std::vector<std::string>& argv) {
  const pid_t pid = spawn(argv, nullptr);
  if (pid <= 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace revizer::peers
