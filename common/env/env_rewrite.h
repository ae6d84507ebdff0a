#pragma once

#include <string>

#include "common/env/env_error.h"
#include "common/env/env_updates.h"
#include "support/result.h"

namespace revizer::common {

// Rewrites the env file at `path` with `updates` and returns the path written
// (the target when `path` is a symbolic link, followed one level). Lines of
// updated keys are replaced or dropped, other lines are kept, new keys are
// appended. The new content goes to a temporary file that is flushed to disk
// and renamed over the target, so a reader or a crash sees the whole old file
// or the whole new one. Rewrites within the process are serialised so that
// two concurrent calls cannot lose one's changes.
Result<std::string, EnvError> apply_env_updates(const std::string& path, const EnvUpdates& updates);

}  // namespace revizer::common
