#pragma once

// The request of the one RPC, tavimor.revizer.v1.AdjudicatesRequest: the
// events of one batch, in the caller's order. Its second field, a flag this
// client always leaves false, is never written.

#include <cstdint>
#include <string>
#include <vector>

#include "common/auth/grpc_status.h"
#include "schema/wire/message_limits.h"
#include "schema/wire/wire_event.h"
#include "support/result.h"

namespace revizer::wire {

struct AdjudicatesRequest {
  std::vector<WireEvent> events;

  // The bytes one event takes inside a request: its key, its length and
  // the event itself. Batching packs events by this cost.
  static std::uint64_t event_cost(const WireEvent& event);

  // Appends the gRPC message to `out`: the flag byte 0 (not compressed), the
  // message length as four bytes big-endian, then the protobuf encoding, in
  // one pass into one buffer. A message longer than `limit` is refused
  // before anything is written.
  Status<common::GrpcStatus> encode(std::string& out, std::uint64_t limit = kMaxMessageBytes) const;
};

}  // namespace revizer::wire
