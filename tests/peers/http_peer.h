#pragma once

// A small HTTP/1.1 server on a loopback port for tests: one request per
// connection, answered by a handler. Stands in for Google's token endpoint
// and the metadata server.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace revizer::peers {

struct PeerRequest {
  std::string method;
  std::string target;
  std::map<std::string, std::string> headers;  // names lower-cased
  std::string body;
};

struct PeerReply {
  int status = 200;
  std::string body;
};

class HttpPeer {
 public:
  explicit HttpPeer(std::function<PeerReply(const PeerRequest&)> handler);
  ~HttpPeer();
  HttpPeer(const HttpPeer&) = delete;
  HttpPeer& operator=(const HttpPeer&) = delete;

  std::uint16_t port() const;
  std::string base_url() const;  // "http://127.0.0.1:<port>"
  int requests_served() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace revizer::peers
