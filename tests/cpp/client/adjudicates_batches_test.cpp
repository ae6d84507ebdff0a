// Packing and the batch loop of the Adjudicates operation, over a fake codec
// and a scripted service: sizes at the 16 MiB edge, the count check, decode
// failures, the first-error rule and the Deny carried while a batch failed.
#include <gtest/gtest.h>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/io_context.hpp>
#include <deque>
#include <functional>

#include "revizer/client/adjudicates/run_batches.h"
#include "revizer/client/http2/grpc_protocol.h"

namespace revizer::client {
namespace {

TEST(BatchPlan, PacksGreedilyUpToTheLimitInclusive) {
  using Plan = std::vector<BatchRange>;
  const struct {
    std::vector<std::size_t> costs;
    Plan plan;
  } cases[] = {
      {{}, {{0, 0}}},
      {{10}, {{0, 1}}},
      {{kRequestLimit / 2, kRequestLimit / 2}, {{0, 2}}},
      {{kRequestLimit / 2, kRequestLimit / 2 + 1}, {{0, 1}, {1, 2}}},
      {{kRequestLimit}, {{0, 1}}},
      {{5, kRequestLimit, 5}, {{0, 1}, {1, 2}, {2, 3}}},
      {{kRequestLimit - 10, 5, 5, 1}, {{0, 3}, {3, 4}}},
  };
  for (const auto& c : cases) {
    auto plan = pack_batches(c.costs);
    ASSERT_TRUE(plan);
    EXPECT_EQ(*plan, c.plan);
  }
  // An oversized event fails the plan wherever it stands.
  EXPECT_EQ(pack_batches({1, 2, 3, kRequestLimit + 1}).error(), (OversizedEvent{3, kRequestLimit + 1, kRequestLimit}));
  EXPECT_EQ(pack_batches({kRequestLimit + 1}).error(), (OversizedEvent{0, kRequestLimit + 1, kRequestLimit}));
}

// The fake codec: an answer's payload is its decision, "bad" or nothing.
struct FakeWire {
  std::size_t length;
  std::string id;
};
struct FakeAnswer {
  std::string id;
  std::optional<std::string> payload;
};
struct FakeError {
  std::string text;
  std::optional<std::string> denied;
};
using Reply = Result<std::vector<FakeAnswer>, common::GrpcStatus>;

struct FakeOps {
  using WireEvent = FakeWire;
  using AnswerEvent = FakeAnswer;
  using Adjudicated = std::string;
  using Error = FakeError;

  std::function<Reply(const std::vector<FakeWire>&)> service;
  std::vector<std::vector<std::string>> sent;

  std::size_t event_cost(const FakeWire& e) const { return e.length; }
  asio::awaitable<Reply> call(std::vector<FakeWire> batch) {
    std::vector<std::string> ids;
    for (const auto& e : batch) ids.push_back(e.id);
    sent.push_back(ids);
    co_return service(batch);
  }
  std::optional<std::string> decode_answer(const FakeAnswer& a) const {
    if (!a.payload || *a.payload == "bad") return std::nullopt;
    return a.payload;
  }
  std::string answer_event_id(const FakeAnswer& a) const { return a.id; }
  bool is_deny(const std::string& decision) const { return decision == "Deny"; }
  FakeError status_error(common::GrpcStatus s) const { std::string text = "status ";
    text += std::to_string(static_cast<int>(s.code));
    text += " ";
    text += s.message;
    return {text, {}}; }
  FakeError decode_error(std::string text) const { return {std::string("decode ").append(text), {}}; }
  FakeError too_large(OversizedEvent o) const {
    std::string text = "too large ";
    for (std::size_t n : {o.index, o.size, o.limit}) text.append(std::to_string(n)).append(" ");
    text.pop_back();
    return {text, {}};
  }
  FakeError denied_while_chunk_failed(std::string denied, FakeError error) const { return {std::string("denied: ").append(error.text), denied}; }
};

Result<std::vector<std::string>, FakeError> run(FakeOps& ops, std::vector<FakeWire> events) {
  asio::io_context context;
  std::optional<Result<std::vector<std::string>, FakeError>> out;
  asio::co_spawn(
      context, [&]() -> asio::awaitable<void> { out.emplace(co_await run_batches(ops, std::move(events))); }, asio::detached);
  context.run();
  return std::move(*out);
}

// Events sized so that each batch holds exactly `per_batch` of them.
std::vector<FakeWire> events(std::size_t count, std::size_t per_batch = 1) {
  std::vector<FakeWire> out;
  const std::size_t length = kRequestLimit / per_batch;
  for (std::size_t i = 0; i < count; ++i) out.push_back({length, std::string("e").append(std::to_string(i))});
  return out;
}

// Echoes one answer per request event with the decisions in `script`, batch by batch.
std::function<Reply(const std::vector<FakeWire>&)> scripted(std::deque<std::function<Reply(const std::vector<FakeWire>&)>> script) {
  auto shared = std::make_shared<decltype(script)>(std::move(script));
  return [shared](const std::vector<FakeWire>& batch) {
    auto step = std::move(shared->front());
    shared->pop_front();
    return step(batch);
  };
}
auto answer_all(const char* decision) {
  return [decision](const std::vector<FakeWire>& batch) -> Reply {
    std::vector<FakeAnswer> answers;
    for (const auto& e : batch) answers.push_back({e.id, std::string(decision)});
    return answers;
  };
}
auto status(int code, const char* message) {
  return [code, message](const std::vector<FakeWire>&) -> Reply { return fail(grpc_status(code, message)); };
}
auto answers(std::vector<FakeAnswer> list) {
  return [list](const std::vector<FakeWire>&) -> Reply { return list; };
}

TEST(RunBatches, EmptyListMakesOneCallAndCountsItsAnswer) {
  FakeOps ops{scripted({answers({})}), {}};
  auto empty = run(ops, {});
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->empty());
  EXPECT_EQ(ops.sent, (std::vector<std::vector<std::string>>{{}}));

  FakeOps one{scripted({answers({{"x", "Allow"}})}), {}};
  EXPECT_EQ(run(one, {}).error().text, "decode Expected 0 adjudication responses, received 1");
  FakeOps deny{scripted({answers({{"x", "Deny"}})}), {}};
  auto denied = run(deny, {});
  EXPECT_EQ(denied.error().text, "denied: decode Expected 0 adjudication responses, received 1");
  EXPECT_EQ(denied.error().denied, "Deny");
}

TEST(RunBatches, ResultsComeInAnswerOrderAcrossBatches) {
  FakeOps ops{scripted({answers({{"b", "Allow"}, {"a", "Escalate"}}), answer_all("Deny")}), {}};
  auto out = run(ops, events(3, 2));
  ASSERT_TRUE(out);
  EXPECT_EQ(*out, (std::vector<std::string>{"Allow", "Escalate", "Deny"}));
  EXPECT_EQ(ops.sent, (std::vector<std::vector<std::string>>{{"e0", "e1"}, {"e2"}}));
}

TEST(RunBatches, OversizedEventFailsBeforeAnyCall) {
  FakeOps ops{scripted({}), {}};
  auto list = events(3, 4);
  list.push_back({kRequestLimit + 1, "huge"});
  EXPECT_EQ(run(ops, list).error().text, "too large 3 16777217 16777216");
  EXPECT_TRUE(ops.sent.empty());
}

TEST(RunBatches, FirstErrorAndDeniedWhileChunkFailedOverThreeBatches) {
  const struct {
    const char* name;
    std::deque<std::function<Reply(const std::vector<FakeWire>&)>> script;
    std::string error;
    std::optional<std::string> denied;
  } cases[] = {
      {"second fails, first denies", {answer_all("Deny"), status(14, "down"), answer_all("Allow")}, "denied: status 14 down", "Deny"},
      {"second fails, no deny", {answer_all("Allow"), status(14, "down"), answer_all("Allow")}, "status 14 down", std::nullopt},
      {"second and third fail", {answer_all("Allow"), status(14, "down"), status(16, "who")}, "status 14 down", std::nullopt},
      {"first fails, third denies", {status(4, "late"), answer_all("Allow"), answer_all("Deny")}, "denied: status 4 late", "Deny"},
      {"count error before decode error",
       {answers({{"x", std::nullopt}, {"y", "Allow"}}), answer_all("Allow"), answer_all("Allow")},
       "decode Expected 1 adjudication responses, received 2", std::nullopt},
      {"extra answer event takes part in the deny search",
       {answer_all("Allow"), answers({{"e1", "Allow"}, {"extra", "Deny"}}), answer_all("Allow")},
       "denied: decode Expected 1 adjudication responses, received 2", "Deny"},
      {"undecodable payload names its event, later events still decoded",
       {answers({{"first-id", "bad"}}), answer_all("Allow"), answers({{"z", std::nullopt}})},
       "decode Cannot deserialize adjudication response: validation error: invalid adjudication DTO: could not decode "
       "payload for event 'first-id'",
       std::nullopt},
  };
  for (const auto& c : cases) {
    FakeOps ops{scripted(c.script), {}};
    auto out = run(ops, events(3));
    ASSERT_FALSE(out) << c.name;
    EXPECT_EQ(out.error().text, c.error) << c.name;
    EXPECT_EQ(out.error().denied, c.denied) << c.name;
    EXPECT_EQ(ops.sent.size(), 3u) << c.name << ": every batch is sent";
  }
}

}  // namespace
}  // namespace revizer::client
