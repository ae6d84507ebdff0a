// Where the runtime puts new work: on a worker, on that same worker, so that
// a call spawned beside a connection stays there; from a thread outside the
// runtime, on the worker dealt to that thread, a different one for each new
// thread in turn.
#include <gtest/gtest.h>

#include <asio/execution/context.hpp>
#include <asio/query.hpp>
#include <asio/this_coro.hpp>
#include <set>
#include <stdexcept>
#include <thread>
#include <utility>

#include "revizer/client/runtime/runtime.h"

namespace revizer::client {
namespace {

asio::execution_context* context_of(const asio::any_io_executor& executor) {
  return &asio::query(executor, asio::execution::context);
}

TEST(Runtime, EachOutsideThreadKeepsTheWorkerDealtToIt) {
  Runtime& runtime = Runtime::shared();
  std::set<asio::execution_context*> dealt;
  for (std::size_t i = 0; i < runtime.worker_count(); ++i) {
    std::thread([&] {
      asio::execution_context* first = context_of(runtime.executor());
      EXPECT_EQ(context_of(runtime.executor()), first) << "a thread's work was spread";
      dealt.insert(first);
    }).join();
  }
  EXPECT_EQ(dealt.size(), runtime.worker_count()) << "new threads were not dealt to each worker in turn";
}

TEST(Runtime, WorkSpawnedOnAWorkerStaysOnIt) {
  Runtime& runtime = Runtime::shared();
  const asio::any_io_executor chosen = runtime.executor();
  const auto [here, next] = block_on(chosen, []() -> asio::awaitable<std::pair<asio::execution_context*, asio::execution_context*>> {
    const asio::any_io_executor own = co_await asio::this_coro::executor;
    co_return std::pair{context_of(own), context_of(Runtime::shared().executor())};
  }());
  EXPECT_EQ(here, context_of(chosen));
  EXPECT_EQ(next, here) << "a worker's new work left it";
}

// A task that ends by an exception must not leave its waiter waiting for
// ever: block_on (and the Python constructor's wait) get the exception.
TEST(Runtime, ATaskThatThrowsReachesItsWaiter) {
  auto throwing = []() -> asio::awaitable<int> {
    throw std::runtime_error("task failed");
    co_return 0;
  };
  EXPECT_THROW(block_on(Runtime::shared(), throwing()), std::runtime_error);
}

}  // namespace
}  // namespace revizer::client
