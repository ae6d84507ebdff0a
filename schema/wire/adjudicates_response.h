#pragma once

// The answer of the one RPC, tavimor.revizer.v1.AdjudicatesResponse: one
// answer event per request event, in the service's order, each carrying the
// Adjudicated record of its event as the payload.

#include <string_view>
#include <vector>

#include "common/auth/grpc_status.h"
#include "schema/wire/wire_event.h"
#include "support/result.h"

namespace revizer::wire {

struct AdjudicatesResponse {
  std::vector<WireEvent> events;

  // Decodes the bytes of one answer message (the gRPC prefix already
  // removed). The bytes come from the network: any input either decodes or
  // fails with INTERNAL "failed to decode Protobuf message: ..." naming the
  // fields the fault lies in. Fields the messages do not define are skipped
  // at every level; a string or number field given twice keeps its last
  // value, a message field given twice is merged.
  static Result<AdjudicatesResponse, common::GrpcStatus> decode(std::string_view message);
};

}  // namespace revizer::wire
