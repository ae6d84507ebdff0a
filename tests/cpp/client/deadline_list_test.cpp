// The channel's list of call deadlines: order by deadline (ties keep their
// arrival order), unlinking from anywhere, and calls that leave it when they
// finish or go away, so the list never points at a call that is gone.
#include <gtest/gtest.h>

#include <asio/io_context.hpp>
#include <memory>
#include <vector>

#include "revizer/client/http2/deadline_list.h"
#include "revizer/client/http2/unary_call.h"

namespace revizer::client {
namespace {

using Clock = UnaryCall::Clock;
using std::chrono::milliseconds;

std::shared_ptr<UnaryCall> call_due_at(Clock::time_point at) {
  auto call = std::make_shared<UnaryCall>(UnaryCallRequest{"/p", {}, std::string(5, '\0'), milliseconds(1)});
  call->deadline = at;
  call->deadline_armed = true;
  return call;
}

std::vector<UnaryCall*> order_of(const DeadlineList& list) {
  std::vector<UnaryCall*> order;
  for (UnaryCall* at = list.front(); at; at = at->deadline_link.next) order.push_back(at);
  return order;
}

TEST(DeadlineList, KeepsCallsByDeadlineAndTiesInArrivalOrder) {
  const auto now = Clock::now();
  std::vector<std::shared_ptr<UnaryCall>> calls;
  // Deadlines by index: 0:30 1:10 2:30 3:50 4:0 5:10
  for (int ms : {30, 10, 30, 50, 0, 10}) calls.push_back(call_due_at(now + milliseconds(ms)));
  DeadlineList list;
  for (auto& call : calls) list.insert(*call);
  EXPECT_EQ(order_of(list), (std::vector<UnaryCall*>{calls[4].get(), calls[1].get(), calls[5].get(), calls[0].get(),
                                                     calls[2].get(), calls[3].get()}));
  EXPECT_EQ(list.size(), 6u);

  // Out of the middle, the front and the back; a second removal is a no-op.
  list.remove(*calls[0]);
  list.remove(*calls[4]);
  list.remove(*calls[3]);
  list.remove(*calls[3]);
  EXPECT_EQ(order_of(list), (std::vector<UnaryCall*>{calls[1].get(), calls[5].get(), calls[2].get()}));
  EXPECT_EQ(calls[2]->deadline_link.next, nullptr);
  EXPECT_EQ(calls[1]->deadline_link.prev, nullptr);
  EXPECT_EQ(calls[0]->deadline_link.list, nullptr);

  // Inserting a linked call again moves it.
  calls[2]->deadline = now;
  list.insert(*calls[2]);
  EXPECT_EQ(order_of(list), (std::vector<UnaryCall*>{calls[2].get(), calls[1].get(), calls[5].get()}));
  EXPECT_EQ(list.size(), 3u);
}

TEST(DeadlineList, CallsLeaveWhenTheyFinishOrGoAwayAndTheListLetsGoOfTheRest) {
  asio::io_context context;
  const auto now = Clock::now();
  auto finished = call_due_at(now + milliseconds(1));
  auto dropped = call_due_at(now + milliseconds(2));
  auto kept = call_due_at(now + milliseconds(3));
  int outcomes = 0;
  finished->completion = CallCompletion([&outcomes](CallOutcome) { ++outcomes; }, context.get_executor());
  {
    DeadlineList list;
    for (auto* call : {finished.get(), dropped.get(), kept.get()}) list.insert(*call);
    finished->finish(std::string("answer"));
    dropped.reset();
    EXPECT_EQ(order_of(list), (std::vector<UnaryCall*>{kept.get()}));
    EXPECT_EQ(list.size(), 1u);
  }
  EXPECT_EQ(kept->deadline_link.list, nullptr);
  context.run();
  EXPECT_EQ(outcomes, 1);
}

}  // namespace
}  // namespace revizer::client
