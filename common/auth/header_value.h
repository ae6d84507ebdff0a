#pragma once

// One metadata value: checked bytes in a shared immutable buffer, so copying a
// value for every call copies no bytes.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace revizer::common {

class HeaderValue {
 public:
  // The value when every byte is acceptable: tab, 0x20-0x7E and 0x80-0xFF;
  // the other control bytes (line ends included) are refused. Empty is fine.
  static std::optional<HeaderValue> checked(std::string text);

  std::string_view view() const { return *bytes_; }
  bool operator==(const HeaderValue& other) const { return view() == other.view(); }

 private:
  explicit HeaderValue(std::shared_ptr<const std::string> bytes) : bytes_(std::move(bytes)) {}
  std::shared_ptr<const std::string> bytes_;
};

bool is_valid_header_value(std::string_view text);

}  // namespace revizer::common
