#include "platform/entropy.h"

#include <unistd.h>
#if defined(__APPLE__)
#include <sys/random.h>
#endif

#include <algorithm>
#include <cerrno>

namespace revizer::platform {

int fill_random(void* out, std::size_t size) noexcept {
  auto* bytes = static_cast<unsigned char*>(out);
  constexpr std::size_t kMostPerCall = 256;
  for (std::size_t done = 0; done < size;) {
    const std::size_t step = std::min(kMostPerCall, size - done);
    if (::getentropy(bytes + done, step) != 0) return errno;
    done += step;
  }
  return 0;
}

}  // namespace revizer::platform
