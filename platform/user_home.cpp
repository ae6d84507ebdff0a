#include "platform/user_home.h"

#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace revizer::platform {

std::optional<std::string> user_database_home() {
  const long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 512);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
    return std::nullopt;
  }
  if (found->pw_dir == nullptr || found->pw_dir[0] == '\0') return std::nullopt;
  return std::string(found->pw_dir);
}

}  // namespace revizer::platform
