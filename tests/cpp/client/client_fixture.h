#pragma once

// Shared pieces of the client tests: driving coroutines on the runtime from
// the test thread, connecting, wire events that pick a test server's
// behaviour, and a reading of the answers as their payload's JSON object.

#include <asio/co_spawn.hpp>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/json/value.h"
#include "revizer/client/adjudicates/adjudicates.h"
#include "revizer/client/revizer_grpc_client.h"
#include "revizer/client/runtime/runtime.h"
#include "schema/wire/wire_event.h"

namespace revizer::client::test_support {

using Client = std::shared_ptr<const RevizerGrpcClient>;
using Answers = Result<std::vector<json::Object>, RevizerClientError>;

template <class T>
T run(asio::awaitable<T> work) {
  return block_on(Runtime::shared(), std::move(work));
}

inline RevizerGrpcClient::Connected connect(const std::string& endpoint, std::chrono::milliseconds timeout = std::chrono::milliseconds(7000),
                                            const std::string& token = "test-token",
                                            std::optional<std::string> iap = std::nullopt) {
  return run([](std::string endpoint, std::string token, std::optional<std::string> iap,
                std::chrono::milliseconds timeout) -> asio::awaitable<RevizerGrpcClient::Connected> {
    std::optional<std::string_view> iap_view;
    if (iap) iap_view = *iap;
    co_return co_await RevizerGrpcClient::connect({endpoint, token, iap_view}, timeout);
  }(endpoint, token, std::move(iap), timeout));
}

// A wire event whose trajectory id picks the server's behaviour; `padding`
// bytes of text in its payload make it as large as a test needs.
inline wire::WireEvent event(std::string trajectory, std::string id = "evt-1", std::size_t padding = 0) {
  wire::WireEvent e;
  e.event_id = std::move(id);
  e.trajectory_id = std::move(trajectory);
  e.agent_id = "agent-1";
  e.timestamp = wire::WireTimestamp{1'700'000'000, 5};
  e.event_type = "action";
  e.event_name = "tool_call";
  json::Object payload;
  payload.insert("event_id", json::Value(e.event_id));
  if (padding > 0) payload.insert("padding", json::Value(std::string(padding, 'x')));
  e.payload = std::move(payload);
  return e;
}

// An event of exactly `cost` bytes inside a request.
inline wire::WireEvent event_of_cost(std::string trajectory, std::uint64_t cost, std::string id = "evt-big") {
  std::size_t padding = cost;
  for (;;) {
    auto e = event(trajectory, id, padding);
    const std::uint64_t now = wire::AdjudicatesRequest::event_cost(e);
    if (now == cost) return e;
    padding = padding + cost - now;  // converges: the cost grows with the padding, varints aside
  }
}

// Answers whose payload has a "decision" text; a Deny is told by it. The
// carried Deny is not boxed (the result model's record is not used here).
struct JsonAnswers : WireAdjudicates {
  using Adjudicated = json::Object;

  std::optional<json::Object> decode_answer(const AnswerEvent& event) const {
    if (!event.payload) return std::nullopt;
    const json::Value* decision = event.payload->find("decision");
    if (!decision || !decision->is_string()) return std::nullopt;
    return *event.payload;
  }
  bool is_deny(const json::Object& payload) const { return payload.find("decision")->as_string() == "Deny"; }
  Error denied_while_chunk_failed(json::Object, Error error) const {
    return RevizerClientError::denied_while_chunk_failed(DeniedAdjudication(), std::move(error));
  }
};

// `started`: when the caller's call began, which the first request's
// deadline counts from.
inline asio::awaitable<Answers> adjudicate_async(Client client, std::vector<wire::WireEvent> events,
                                                 CallClock::time_point started = CallClock::now()) {
  JsonAnswers answers{{std::move(client), started}};
  co_return co_await run_batches(answers, std::move(events));
}

inline Answers adjudicate(const Client& client, std::vector<wire::WireEvent> events,
                          CallClock::time_point started) {
  return run(adjudicate_async(client, std::move(events), started));
}

inline Answers adjudicate(const Client& client, std::vector<wire::WireEvent> events) {
  return run(adjudicate_async(client, std::move(events), CallClock::now()));
}

inline std::string text_of(const RevizerClientError& error) { return error.to_string(); }

inline std::string reason_of(const json::Object& answer) {
  const json::Value* reason = answer.find("reason");
  return reason && reason->is_string() ? reason->as_string() : std::string();
}

}  // namespace revizer::client::test_support
