// Feeds arbitrary bytes to the answer decoder, as a hostile server could.
// Whatever it refuses must carry the decoder's status; whatever it accepts
// must encode again (as a request, whose events sit in the same field) to
// bytes that decode to equal events and encode identically.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "schema/wire/adjudicates_request.h"
#include "schema/wire/adjudicates_response.h"
#include "schema/wire/struct_decoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace revizer;
  using namespace revizer::wire;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  // The same bytes as a lone Struct and a lone Value: must not crash.
  (void)struct_to_json_object(bytes);
  (void)struct_value_to_json(bytes);

  auto first = AdjudicatesResponse::decode(bytes);
  if (!first) {
    if (first.error().code != common::GrpcCode::Internal) std::abort();
    if (first.error().message.rfind("failed to decode Protobuf message: ", 0) != 0) std::abort();
    return 0;
  }
  for (const WireEvent& e : first->events) {
    if (!e.payload) continue;
    const auto& members = e.payload->members();
    for (std::size_t i = 1; i < members.size(); ++i)
      if (!(members[i - 1].key < members[i].key)) std::abort();  // sorted, no repeats
  }

  AdjudicatesRequest request{first->events};
  std::string encoded;
  if (!request.encode(encoded, UINT32_MAX)) std::abort();
  std::uint64_t cost = 0;
  for (const WireEvent& e : request.events) cost += AdjudicatesRequest::event_cost(e);
  if (cost + 5 != encoded.size()) std::abort();

  auto second = AdjudicatesResponse::decode(std::string_view(encoded).substr(5));
  if (!second || second->events != first->events) std::abort();
  std::string again;
  if (!AdjudicatesRequest{second->events}.encode(again, UINT32_MAX) || again != encoded) std::abort();
  return 0;
}
