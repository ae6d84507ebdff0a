#pragma once

#include <cstddef>

namespace revizer::platform {

// Fills `size` bytes at `out` from the operating system's entropy source
// (getentropy, which glibc and macOS share, in its 256-byte steps). 0, or
// the error number of the failed call.
int fill_random(void* out, std::size_t size) noexcept;

}  // namespace revizer::platform
