// The small gRPC texts: the timeout header, the message prefix, grpc-message
// percent-decoding and the statuses of HTTP codes and stream resets.
#include <gtest/gtest.h>

#include <nghttp2/nghttp2.h>

#include "revizer/client/http2/grpc_protocol.h"

namespace revizer::client {
namespace {

using namespace std::chrono_literals;

TEST(GrpcProtocol, TimeoutUsesTheFinestUnitBelowOneHundredMillion) {
  const struct {
    std::chrono::nanoseconds timeout;
    const char* text;
  } cases[] = {
      {1ms, "1000000n"},     {50ms, "50000000n"},   {99ms, "99000000n"},   {100ms, "100000u"},
      {250ms, "250000u"},    {7000ms, "7000000u"},  {0ns, "0n"},           {99'999'999ns, "99999999n"},
      {100'000'000s, "1666666M"}, {std::chrono::hours(2'000'000), "2000000H"},
  };
  for (const auto& c : cases) EXPECT_EQ(grpc_timeout_text(c.timeout), c.text) << c.timeout.count();
}

TEST(GrpcProtocol, MessagePrefixIsUncompressedBigEndianLength) {
  char prefix[5];
  write_message_prefix(prefix, 0x01020304);
  EXPECT_EQ(std::string(prefix, 5), std::string("\0\x01\x02\x03\x04", 5));
}

TEST(GrpcProtocol, PercentDecodingKeepsMalformedSequences) {
  EXPECT_EQ(percent_decode("no %22way%22%0A%C3%BCber"), "no \"way\"\n\xC3\xBC" "ber");
  EXPECT_EQ(percent_decode("100%"), "100%");
  EXPECT_EQ(percent_decode("%4"), "%4");
  EXPECT_EQ(percent_decode("%zz%41"), "%zzA");
}

TEST(GrpcProtocol, HttpStatusesAndResetsMapToGrpcCodes) {
  EXPECT_EQ(status_from_http(404).code, GrpcCode::Unimplemented);
  EXPECT_EQ(status_from_http(503).code, GrpcCode::Unavailable);
  EXPECT_EQ(status_from_http(401).code, GrpcCode::Unauthenticated);
  EXPECT_EQ(status_from_http(500).code, GrpcCode::Unknown);
  EXPECT_EQ(status_from_http(500).message, "grpc-status header missing, mapped from HTTP status code 500");
  EXPECT_EQ(status_from_reset(NGHTTP2_REFUSED_STREAM).code, GrpcCode::Unavailable);
  EXPECT_EQ(status_from_reset(NGHTTP2_CANCEL).code, GrpcCode::Cancelled);
  EXPECT_EQ(status_from_reset(NGHTTP2_PROTOCOL_ERROR).code, GrpcCode::Internal);
}

}  // namespace
}  // namespace revizer::client
