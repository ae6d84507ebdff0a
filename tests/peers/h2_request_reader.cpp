#include "tests/peers/h2_request_reader.h"

#include <nghttp2/nghttp2.h>

namespace revizer::peers {
namespace {

constexpr std::string_view kPreface = "PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n";
constexpr std::size_t kFrameHeader = 9;
constexpr std::uint8_t kHeaders = 0x1, kContinuation = 0x9;
constexpr std::uint8_t kEndHeaders = 0x4, kPadded = 0x8, kPriority = 0x20;
// Larger than any table a client may be allowed, so that a size update sent
// after the server raised the limit is accepted.
constexpr std::size_t kTableLimit = 1 << 16;

std::uint32_t read_be(std::string_view bytes, std::size_t count) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < count; ++i) value = value << 8 | static_cast<std::uint8_t>(bytes[i]);
  return value;
}

}  // namespace

void H2RequestReader::InflaterDeleter::operator()(nghttp2_hd_inflater* inflater) const {
  nghttp2_hd_inflate_del(inflater);
}

H2RequestReader::H2RequestReader() {
  nghttp2_hd_inflater* inflater = nullptr;
  if (nghttp2_hd_inflate_new(&inflater) != 0) {
    gave_up_ = true;
    return;
  }
  inflater_.reset(inflater);
  nghttp2_hd_inflate_change_table_size(inflater, kTableLimit);
}

H2RequestReader::~H2RequestReader() = default;

std::vector<RequestHeaders> H2RequestReader::feed(std::string_view bytes) {
  std::vector<RequestHeaders> out;
  if (gave_up_) return out;
  pending_.append(bytes);
  std::string_view rest = pending_;
  if (!preface_seen_) {
    const std::size_t have = std::min(rest.size(), kPreface.size());
    if (rest.substr(0, have) != kPreface.substr(0, have)) {
      gave_up_ = true;
      pending_.clear();
      return out;
    }
    if (have < kPreface.size()) return out;
    preface_seen_ = true;
    rest.remove_prefix(kPreface.size());
  }
  while (rest.size() >= kFrameHeader) {
    const std::size_t length = read_be(rest, 3);
    if (rest.size() < kFrameHeader + length) break;
    const auto type = static_cast<std::uint8_t>(rest[3]);
    const auto flags = static_cast<std::uint8_t>(rest[4]);
    const std::uint32_t stream = read_be(rest.substr(5), 4) & 0x7fffffffu;
    if (!take_frame(type, flags, stream, rest.substr(kFrameHeader, length), out)) {
      gave_up_ = true;
      pending_.clear();
      return out;
    }
    rest.remove_prefix(kFrameHeader + length);
  }
  pending_.erase(0, pending_.size() - rest.size());
  return out;
}

bool H2RequestReader::take_frame(std::uint8_t type, std::uint8_t flags, std::uint32_t stream, std::string_view payload,
                                 std::vector<RequestHeaders>& out) {
  if (type == kHeaders) {
    std::size_t padding = 0;
    if (flags & kPadded) {
      if (payload.empty()) return false;
      padding = static_cast<std::uint8_t>(payload[0]);
      payload.remove_prefix(1);
    }
    if (flags & kPriority) {
      if (payload.size() < 5) return false;
      payload.remove_prefix(5);
    }
    if (padding > payload.size()) return false;
    block_.assign(payload.substr(0, payload.size() - padding));
    block_stream_ = stream;
  } else if (type == kContinuation) {
    if (stream != block_stream_) return false;
    block_.append(payload);
  } else {
    return true;
  }
  return !(flags & kEndHeaders) || decode_block(out);
}

bool H2RequestReader::decode_block(std::vector<RequestHeaders>& out) {
  RequestHeaders request{block_stream_, {}};
  auto* in = reinterpret_cast<const std::uint8_t*>(block_.data());
  std::size_t left = block_.size();
  for (;;) {
    nghttp2_nv nv;
    int flags = 0;
    const ssize_t used = nghttp2_hd_inflate_hd2(inflater_.get(), &nv, &flags, in, left, 1);
    if (used < 0) return false;
    in += used;
    left -= static_cast<std::size_t>(used);
    if (flags & NGHTTP2_HD_INFLATE_EMIT) {
      request.headers.emplace_back(std::string(reinterpret_cast<const char*>(nv.name), nv.namelen),
                                   std::string(reinterpret_cast<const char*>(nv.value), nv.valuelen));
    }
    if (flags & NGHTTP2_HD_INFLATE_FINAL) {
      nghttp2_hd_inflate_end_headers(inflater_.get());
      break;
    }
    if (used == 0 && left == 0) break;
  }
  block_.clear();
  out.push_back(std::move(request));
  return true;
}

std::vector<std::string> header_values(const HeaderList& headers, std::string_view name) {
  std::vector<std::string> values;
  for (const auto& [key, value] : headers) {
    if (key == name) values.push_back(value);
  }
  return values;
}

}  // namespace revizer::peers
