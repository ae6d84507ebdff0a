#pragma once

// A fake proxy for the error replies a real one rarely sends: it reads the
// CONNECT request head, writes a scripted reply, then closes, resets or keeps
// the connection open as told.

#include <cstdint>
#include <memory>
#include <string>

namespace revizer::peers {

class ScriptedProxy {
 public:
  enum class Then { Close, Reset, KeepOpen };

  ScriptedProxy(std::string reply, Then then);
  ~ScriptedProxy();

  std::uint16_t port() const;
  // The request head of the last connection, once it has been read.
  std::string last_request() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace revizer::peers
