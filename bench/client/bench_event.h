#pragma once

// The event that the client benchmarks send: a ToolCall (an edit with nested
// arguments) by an agent with a coding-agent card, about 2 KB on the wire.
// Every client under measurement starts from the same envelope JSON text;
// the gRPC C++ baseline turns it into the wire message with the protobuf
// library, our client with its own codec.

#include <string>

#include "tavimor/revizer/v1/revizer.pb.h"

namespace revizer::bench {

// The envelope of event `index` in its JSON form.
std::string bench_event_json(int index);

// The same event as a wire Event: header fields and the envelope as a Struct.
tavimor::revizer::v1::Event bench_wire_event(int index);

}  // namespace revizer::bench
