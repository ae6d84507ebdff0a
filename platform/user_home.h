#pragma once

#include <optional>
#include <string>

namespace revizer::platform {

// The home directory of the real user's entry in the user database, or
// nothing when the lookup fails or the entry has no home. One attempt only,
// with the buffer size the system names (512 bytes when it names none).
std::optional<std::string> user_database_home();

}  // namespace revizer::platform
