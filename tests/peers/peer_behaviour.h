#pragma once

// The answers of the test gRPC servers. One server serves every test: the
// first request event's trajectory id picks the behaviour of the call
// ("behave:<name>[:<argument>]"; the table is in tests/peers/README.md). The
// grpcio server (grpcio_server.py) builds the same answers byte for byte.

#include <string>

#include "support/result.h"
#include "tavimor/revizer/v1/revizer.pb.h"

namespace revizer::peers {

namespace wire = tavimor::revizer::v1;

struct Behaviour {
  enum class Kind {
    Default,          // any trajectory id that does not start with "behave:"
    Echo,             // reason: the request event as JSON
    WrongCount,       // `number` answers more (or fewer, when negative)
    MissingPayload,   // the first answer has no payload
    BadPayload,       // the first answer's payload has no "decision"
    NeverAnswer,      // no answer until the call is cancelled
    Status,           // ends with status `number` and `message`
    CloseConnection,  // the TCP connection is dropped mid-call
    Metadata,         // reason: the call's metadata as JSON
    DenyAt,           // answer `number` is a Deny
    DelayMs,          // the default answers after `number` milliseconds
    NoMessage,        // status OK without an answer message
    AnswerSize,       // the default answers padded to `number` bytes
    BadProtobuf,      // an answer message that does not decode
  };
  Kind kind = Kind::Default;
  long long number = 0;
  std::string message;
};

// The behaviour that the request asks for, or the reason it cannot be served
// (an unknown name or a bad argument; the servers answer INVALID_ARGUMENT).
Result<Behaviour, std::string> behaviour_of(const wire::AdjudicatesRequest& request);

// The answer message of a behaviour that answers with one; `metadata_report`
// is the reason text of Metadata answers. An answer that cannot be built as
// asked (AnswerSize below the answer's own size) gives the reason.
Result<std::string, std::string> answer_bytes(const wire::AdjudicatesRequest& request, const Behaviour& behaviour,
                                              const std::string& metadata_report);

}  // namespace revizer::peers
