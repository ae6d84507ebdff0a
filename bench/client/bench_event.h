#pragma once

// The event that the client benchmarks send: a ToolCall (an edit with nested
// arguments) by an agent with a coding-agent card, about 2.5 KB on the wire.
// Both clients start from the same envelope JSON text: the gRPC C++ client
// gets it as a protobuf message read by the protobuf library, our client as
// a wire event read by our JSON reader. Both encode to the same size.

#include <string>

#include "schema/wire/wire_event.h"
#include "tavimor/revizer/v1/revizer.pb.h"

namespace revizer::bench {

// The envelope of event `index` in its JSON form.
std::string bench_event_json(int index);

// The event for the gRPC C++ client: header fields and the envelope as a Struct.
tavimor::revizer::v1::Event grpc_bench_event(int index);

// The same event for our client.
wire::WireEvent our_bench_event(int index);

}  // namespace revizer::bench
