#pragma once

// Reads what an HTTP/2 client sends and decodes the header block of every
// request with nghttp2's HPACK inflater, so a test can see the headers exactly
// as they went out (gRPC libraries turn some, such as "grpc-timeout", into
// something else before a server handler sees them). It gives up at the first
// bytes that are not HTTP/2, a TLS handshake for instance.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct nghttp2_hd_inflater;

namespace revizer::peers {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

struct RequestHeaders {
  std::uint32_t stream_id = 0;
  HeaderList headers;  // in the order sent, pseudo-headers included
};

class H2RequestReader {
 public:
  H2RequestReader();
  ~H2RequestReader();
  H2RequestReader(const H2RequestReader&) = delete;
  H2RequestReader& operator=(const H2RequestReader&) = delete;

  // Takes the next bytes from the client; returns the header blocks they complete.
  std::vector<RequestHeaders> feed(std::string_view bytes);
  bool gave_up() const { return gave_up_; }

 private:
  bool take_frame(std::uint8_t type, std::uint8_t flags, std::uint32_t stream, std::string_view payload,
                  std::vector<RequestHeaders>& out);
  bool decode_block(std::vector<RequestHeaders>& out);

  struct InflaterDeleter {
    void operator()(nghttp2_hd_inflater* inflater) const;
  };
  std::unique_ptr<nghttp2_hd_inflater, InflaterDeleter> inflater_;
  std::string pending_;
  bool preface_seen_ = false;
  bool gave_up_ = false;
  std::string block_;  // header block fragments of one stream until END_HEADERS
  std::uint32_t block_stream_ = 0;
};

// The values of one header name, in order.
std::vector<std::string> header_values(const HeaderList& headers, std::string_view name);

}  // namespace revizer::peers
