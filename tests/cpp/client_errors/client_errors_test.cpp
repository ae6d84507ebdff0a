// The client errors: every kind's text, the status text with its quoting,
// the code descriptions, and the derivation of adjudication errors.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "revizer/client/errors/adjudication_error.h"
#include "revizer/client/errors/revizer_client_error.h"
#include "revizer/client/errors/status_text.h"

namespace revizer::client {
namespace {

using common::GrpcCode;
using common::GrpcStatus;
using Kind = AdjudicationError::Kind;

// The errors only carry the denied record along, so a stand-in box is
// enough to follow it: its identity is all that is checked.
DeniedAdjudication denied_box() {
  auto anchor = std::make_shared<int>(0);
  return DeniedAdjudication(anchor, reinterpret_cast<const result::Adjudicated*>(anchor.get()));
}

GrpcStatus status(GrpcCode code, std::string message, std::optional<std::string> source = std::nullopt) {
  GrpcStatus s{code, std::move(message)};
  s.details = "\x08\x01";
  s.metadata.push_back({"x-trace", "abc"});
  s.source = std::move(source);
  return s;
}

TEST(ClientErrors, StatusCodeDescriptions) {
  const char* expected[] = {
      "The operation completed successfully",
      "The operation was cancelled",
      "Unknown error",
      "Client specified an invalid argument",
      "Deadline expired before operation could complete",
      "Some requested entity was not found",
      "Some entity that we attempted to create already exists",
      "The caller does not have permission to execute the specified operation",
      "Some resource has been exhausted",
      "The system is not in a state required for the operation's execution",
      "The operation was aborted",
      "Operation was attempted past the valid range",
      "Operation is not implemented or not supported",
      "Internal error",
      "The service is currently unavailable",
      "Unrecoverable data loss or corruption",
      "The request does not have valid authentication credentials",
  };
  ASSERT_EQ(std::size(expected), static_cast<std::size_t>(common::kGrpcCodeCount));
  for (int code = 0; code < common::kGrpcCodeCount; ++code)
    EXPECT_EQ(code_description(static_cast<GrpcCode>(code)), expected[code]) << code;
  EXPECT_EQ(code_description(static_cast<GrpcCode>(17)), "Unknown error");
  EXPECT_EQ(code_description(static_cast<GrpcCode>(-1)), "Unknown error");
}

TEST(ClientErrors, StatusTextQuotesTheMessage) {
  struct Case {
    GrpcStatus status;
    const char* text;
  };
  const Case cases[] = {
      {status(GrpcCode::Internal, ""), "code: 'Internal error'"},
      {status(GrpcCode::Unavailable, "say \"hi\"\nbye"),
       R"(code: 'The service is currently unavailable', message: "say \"hi\"\nbye")"},
      {status(GrpcCode::Unknown, "tab\tcr\rnul", std::nullopt), R"(code: 'Unknown error', message: "tab\tcr\rnul")"},
      {status(GrpcCode::Unknown, std::string("a\0b\\c", 5)), R"(code: 'Unknown error', message: "a\0b\\c")"},
      // Printable text of any script stays; controls, format characters and
      // marks that extend a grapheme are escaped by code point.
      {status(GrpcCode::Unknown, "caf\xC3\xA9 \xF0\x9F\x98\x80 e\xCC\x81 bel\x07 zwj\xE2\x80\x8D nbsp\xC2\xA0"),
       R"(code: 'Unknown error', message: "café 😀 e\u{301} bel\u{7} zwj\u{200d} nbsp\u{a0}")"},
      {status(GrpcCode::Unavailable, "", "connection refused (os error 111)"),
       "code: 'The service is currently unavailable', source: connection refused (os error 111)"},
      {status(GrpcCode::Cancelled, "Timeout expired", "timer"),
       R"(code: 'The operation was cancelled', message: "Timeout expired", source: timer)"},
  };
  for (const Case& c : cases) {
    std::string text;
    append_status_text(text, c.status);
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(RevizerClientError::status(c.status).to_string(), c.text);
  }
}

TEST(ClientErrors, ClientErrorTexts) {
  struct Case {
    RevizerClientError error;
    RevizerClientError::Kind kind;
    const char* text;
  };
  Case cases[] = {
      {RevizerClientError::config("no token"), RevizerClientError::Kind::Config, "configuration error: no token"},
      {RevizerClientError::transport("Failed to connect to x"), RevizerClientError::Kind::Transport,
       "transport setup failed: Failed to connect to x"},
      {RevizerClientError::auth("bad header"), RevizerClientError::Kind::Auth, "authentication setup failed: bad header"},
      {RevizerClientError::decode(""), RevizerClientError::Kind::Decode, "decode error: "},
      {RevizerClientError::event_too_large(3, 16777217, 16777216), RevizerClientError::Kind::EventTooLarge,
       "adjudication event 3 encodes to 16777217 bytes, exceeding the 16777216-byte gRPC request limit"},
      {RevizerClientError::denied_while_chunk_failed(
           denied_box(), RevizerClientError::status(status(GrpcCode::Unauthenticated, "token \"expired\""))),
       RevizerClientError::Kind::DeniedWhileChunkFailed,
       R"(adjudication was denied while another batch chunk failed: code: 'The request does not have valid authentication credentials', message: "token \"expired\"")"},
      {RevizerClientError::status(status(GrpcCode::Internal, "")), RevizerClientError::Kind::Status,
       "code: 'Internal error'"},
  };
  for (Case& c : cases) {
    EXPECT_EQ(c.error.kind(), c.kind);
    EXPECT_EQ(c.error.to_string(), c.text);
    std::string appended = "prefix: ";
    c.error.fmt(appended);
    EXPECT_EQ(appended, std::string("prefix: ") + c.text);
  }
}

TEST(ClientErrors, StatusesDeriveByCodeAndKeepOnlyTheMessage) {
  const Kind by_code[] = {
      Kind::Server,            Kind::DeadlineExceeded, Kind::Server,        Kind::InvalidRequest,
      Kind::DeadlineExceeded,  Kind::NotFound,         Kind::AlreadyExists, Kind::PermissionDenied,
      Kind::Server,            Kind::Server,           Kind::Server,        Kind::Server,
      Kind::Server,            Kind::Server,           Kind::Unavailable,   Kind::Server,
      Kind::Unauthenticated,
  };
  const char* prefixes[] = {"revizer unavailable: ", "revizer deadline exceeded: ", "unauthenticated: ",
                            "permission denied: ",   "invalid request: ",           "not found: ",
                            "already exists: ",      "decode error: ",              nullptr,
                            "server error: "};
  ASSERT_EQ(std::size(by_code), static_cast<std::size_t>(common::kGrpcCodeCount));
  for (int code = 0; code < common::kGrpcCodeCount; ++code) {
    const std::string message = "m\"" + std::to_string(code) + "\n";
    const AdjudicationError derived = AdjudicationError::from_client_error(
        RevizerClientError::status(status(static_cast<GrpcCode>(code), message, "source text")));
    EXPECT_EQ(derived.kind(), by_code[code]) << code;
    EXPECT_EQ(derived.detail(), message) << code;
    EXPECT_EQ(derived.to_string(), prefixes[static_cast<int>(by_code[code])] + message) << code;
  }
  EXPECT_EQ(adjudication_kind(static_cast<GrpcCode>(99)), Kind::Server);
}

TEST(ClientErrors, EveryClientKindDerives) {
  struct Case {
    RevizerClientError from;
    Kind kind;
    const char* text;
  };
  Case cases[] = {
      {RevizerClientError::config("no endpoint"), Kind::Server, "server error: no endpoint"},
      {RevizerClientError::transport("refused"), Kind::Unavailable, "revizer unavailable: refused"},
      {RevizerClientError::auth("bad token"), Kind::Unauthenticated, "unauthenticated: bad token"},
      {RevizerClientError::decode("Expected 2 adjudication responses, received 1"), Kind::Decode,
       "decode error: Expected 2 adjudication responses, received 1"},
      {RevizerClientError::event_too_large(3, 16777217, 16777216), Kind::InvalidRequest,
       "invalid request: adjudication event 3 encodes to 16777217 bytes, exceeding the 16777216-byte gRPC request "
       "limit"},
      {RevizerClientError::status(status(GrpcCode::Cancelled, "Timeout expired")), Kind::DeadlineExceeded,
       "revizer deadline exceeded: Timeout expired"},
      {RevizerClientError::status(status(GrpcCode::Internal, "")), Kind::Server, "server error: "},
      {RevizerClientError::status(status(GrpcCode::Unavailable, "say \"hi\"\nbye")), Kind::Unavailable,
       "revizer unavailable: say \"hi\"\nbye"},
  };
  for (Case& c : cases) {
    const AdjudicationError derived = AdjudicationError::from_client_error(std::move(c.from));
    EXPECT_EQ(derived.kind(), c.kind) << c.text;
    EXPECT_EQ(derived.to_string(), c.text);
  }
}

TEST(ClientErrors, DenialKeepsItsRecordAndDerivesItsInnerError) {
  const DeniedAdjudication denied = denied_box();
  RevizerClientError error = RevizerClientError::denied_while_chunk_failed(
      denied, RevizerClientError::status(status(GrpcCode::Unauthenticated, "expired")));
  EXPECT_EQ(error.to_string(),
            "adjudication was denied while another batch chunk failed: code: 'The request does not have valid "
            "authentication credentials', message: \"expired\"");
  EXPECT_EQ(error.denied().denied.get(), denied.get());

  const AdjudicationError derived = AdjudicationError::from_client_error(std::move(error));
  EXPECT_EQ(derived.kind(), Kind::DeniedWhileChunkFailed);
  EXPECT_EQ(derived.to_string(), "adjudication was denied while another batch chunk failed: unauthenticated: expired");
  EXPECT_EQ(derived.denied().denied.get(), denied.get()) << "the same record moves over";
  EXPECT_EQ(denied.use_count(), 2) << "moved, not copied";
  EXPECT_EQ(derived.denied().error->kind(), Kind::Unauthenticated);

  // Any inner kind derives by the same table.
  const AdjudicationError around_too_large = AdjudicationError::from_client_error(
      RevizerClientError::denied_while_chunk_failed(denied, RevizerClientError::event_too_large(0, 20, 10)));
  EXPECT_EQ(around_too_large.to_string(),
            "adjudication was denied while another batch chunk failed: invalid request: adjudication event 0 encodes to "
            "20 bytes, exceeding the 10-byte gRPC request limit");
  const AdjudicationError built = AdjudicationError::denied_while_chunk_failed(
      denied, AdjudicationError::with_detail(Kind::Server, "x"));
  EXPECT_EQ(built.to_string(), "adjudication was denied while another batch chunk failed: server error: x");
}

TEST(ClientErrors, ValidationErrorText) {
  std::string out = "Cannot deserialize adjudication response: ";
  validation_error_fmt("invalid adjudication DTO: could not decode payload for event 'e-1'", out);
  EXPECT_EQ(out,
            "Cannot deserialize adjudication response: validation error: invalid adjudication DTO: could not decode "
            "payload for event 'e-1'");
}

}  // namespace
}  // namespace revizer::client
