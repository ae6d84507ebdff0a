#include "tests/peers/tinyproxy_process.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <asio.hpp>
#include <chrono>
#include <fstream>
#include <thread>

namespace revizer::peers {
namespace {

using asio::ip::tcp;

// A port that was free a moment ago (tinyproxy wants a fixed one).
std::uint16_t free_port() {
  asio::io_context context;
  tcp::acceptor probe(context, tcp::endpoint(asio::ip::address_v4::loopback(), 0));
  return probe.local_endpoint().port();
}

bool accepts(std::uint16_t port) {
  asio::io_context context;
  tcp::socket socket(context);
  asio::error_code ec;
  socket.connect(tcp::endpoint(asio::ip::address_v4::loopback(), port), ec);
  return !ec;
}

}  // namespace

TinyproxyProcess::TinyproxyProcess(const std::string& work_dir) {
  port_ = free_port();
  const std::string config = work_dir + "/tinyproxy.conf";
  std::ofstream(config) << "Port " << port_ << "\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\n"
                        << "Allow 127.0.0.1\nLogLevel Critical\n";
  pid_ = ::fork();
  if (pid_ == 0) {
    ::execlp("tinyproxy", "tinyproxy", "-d", "-c", config.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  for (int i = 0; i < 100 && pid_ > 0; ++i) {
    if (accepts(port_)) {
      ready_ = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

TinyproxyProcess::~TinyproxyProcess() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  int status = 0;
  ::waitpid(pid_, &status, 0);
}

}  // namespace revizer::peers
