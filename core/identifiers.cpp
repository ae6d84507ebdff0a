#include "core/identifiers.h"

#include <array>
#include <cstdint>
#include <system_error>

#include "platform/entropy.h"

namespace revizer::core {

Result<std::string, std::string> generate_identifier(std::string_view prefix) {
  std::array<std::uint8_t, 16> bytes{};
  if (const int error = platform::fill_random(bytes.data(), bytes.size()); error != 0) {
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

}  // namespace revizer::core
