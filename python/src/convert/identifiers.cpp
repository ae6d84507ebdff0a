#include "python/src/convert/identifiers.h"

#include <unistd.h>
#if defined(__APPLE__)
#include <sys/random.h>
#endif

#include <array>
#include <cerrno>
#include <cstdint>
#include <span>
#include <system_error>

namespace revizer::python {
namespace {

// getentropy() is the one entropy call that glibc and macOS share; it fills
// at most 256 bytes per call, which a UUID never exceeds. Returns 0 or errno.
int fill_random(std::span<std::uint8_t> bytes) {
  if (getentropy(bytes.data(), bytes.size()) == 0) return 0;
  return errno;
}

}  // namespace

Result<std::string, std::string> generate_identifier(std::string_view prefix) {
  std::array<std::uint8_t, 16> bytes{};
  if (const int error = fill_random(bytes); error != 0) {
    return fail("could not retrieve random bytes for uuid: " + std::system_category().message(error));
  }
  bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);  // variant 10

  constexpr std::string_view kHex = "0123456789abcdef";
  std::string id;
  id.reserve(prefix.size() + 36);
  id.append(prefix);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) id += '-';
    id += kHex[bytes[i] >> 4];
    id += kHex[bytes[i] & 0x0F];
  }
  return id;
}

}  // namespace revizer::python
