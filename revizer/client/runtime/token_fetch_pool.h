#pragma once

// Identity-token fetches block their thread for as long as the token source
// takes: up to the fetch's transfer bound (30 s) against a host that accepts
// and never answers. They get a pool of their own, apart from the runtime's
// workers and from the thread where results are handed back, so that
// stuck fetches hold at most kTokenFetchThreads threads and only other
// fetches queue behind them.
//
// Why eight: every fetch of a process asks the same credential source
// (Application Default Credentials), so when one hangs they all do and more
// threads would only park more stacks; a healthy fetch takes well under a
// second, and a client needs one every 50 minutes.

#include <cstddef>

#include "common/auth/identity_token_cache.h"

namespace revizer::client {

inline constexpr std::size_t kTokenFetchThreads = 8;

// Identity tokens from Application Default Credentials, fetched on the
// current runtime's token-fetch pool.
common::IdentityTokenSource pooled_identity_token_source();

}  // namespace revizer::client
