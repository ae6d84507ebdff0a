#include "revizer/client/runtime/token_fetch_pool.h"

#include "revizer/client/runtime/runtime.h"

namespace revizer::client {

common::IdentityTokenSource pooled_identity_token_source() {
  // The runtime is looked up per fetch: a forked child's fetches go to its own pool.
  return common::IdentityTokenSource::system(
      [](std::function<void()> job) { Runtime::shared().token_fetch_pool().post(std::move(job)); });
}

}  // namespace revizer::client
