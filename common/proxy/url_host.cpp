#include "common/proxy/url_host.h"

#include <idn2.h>

#include <array>
#include <cstdio>
#include <cstdint>
#include <optional>
#include <vector>

#include "text/ascii.h"

namespace revizer::common::url {
namespace {

constexpr const char* kEmptyHost = "empty host";
constexpr const char* kInvalidIdna = "invalid international domain name";
constexpr const char* kInvalidIpv4 = "invalid IPv4 address";
constexpr const char* kInvalidIpv6 = "invalid IPv6 address";
constexpr const char* kInvalidDomainCharacter = "invalid domain character";

bool is_forbidden_host_code_point(unsigned char c) {
  switch (c) {
    case 0x00: case '\t': case '\n': case '\r': case ' ': case '#': case '/': case ':':
    case '<': case '>': case '?': case '@': case '[': case '\\': case ']': case '^': case '|':
      return true;
    default:
      return false;
  }
}

bool is_forbidden_domain_code_point(unsigned char c) {
  return is_forbidden_host_code_point(c) || c <= 0x1F || c == '%' || c == 0x7F;
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string percent_decode(std::string_view input) {
  std::string out;
  for (std::size_t i = 0; i < input.size(); ++i) {
    if (input[i] == '%' && i + 2 < input.size() && hex_value(input[i + 1]) >= 0 && hex_value(input[i + 2]) >= 0) {
      out += static_cast<char>(hex_value(input[i + 1]) * 16 + hex_value(input[i + 2]));
      i += 2;
    } else {
      out += input[i];
    }
  }
  return out;
}

// --- IPv4 -------------------------------------------------------------------

// One numeric part: decimal, 0x hexadecimal or 0-led octal.
std::optional<std::uint64_t> parse_ipv4_number(std::string_view part) {
  if (part.empty()) return std::nullopt;
  unsigned radix = 10;
  if (part.size() >= 2 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X')) {
    part.remove_prefix(2);
    radix = 16;
  } else if (part.size() >= 2 && part[0] == '0') {
    part.remove_prefix(1);
    radix = 8;
  }
  std::uint64_t value = 0;
  for (const char c : part) {
    const int digit = hex_value(c);
    if (digit < 0 || static_cast<unsigned>(digit) >= radix) return std::nullopt;
    value = value * radix + static_cast<unsigned>(digit);
    if (value > 0xFFFFFFFFull * 256) value = 0xFFFFFFFFull * 256;  // saturate: already too large
  }
  return value;
}

std::vector<std::string_view> split_dots(std::string_view input) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const auto dot = input.find('.', start);
    parts.push_back(input.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  if (parts.size() > 1 && parts.back().empty()) parts.pop_back();
  return parts;
}

bool ends_in_a_number(std::string_view input) {
  const auto parts = split_dots(input);
  const std::string_view last = parts.back();
  if (last.empty()) return false;
  if (last.find_first_not_of("0123456789") == std::string_view::npos) return true;
  return parse_ipv4_number(last).has_value();
}

Result<std::string, std::string> parse_ipv4(std::string_view input) {
  const auto parts = split_dots(input);
  if (parts.size() > 4) return fail(std::string(kInvalidIpv4));
  std::vector<std::uint64_t> numbers;
  for (const auto part : parts) {
    auto number = parse_ipv4_number(part);
    if (!number) return fail(std::string(kInvalidIpv4));
    numbers.push_back(*number);
  }
  for (std::size_t i = 0; i + 1 < numbers.size(); ++i) {
    if (numbers[i] > 255) return fail(std::string(kInvalidIpv4));
  }
  const std::size_t n = numbers.size();
  if (numbers.back() >= (1ull << (8 * (5 - n)))) return fail(std::string(kInvalidIpv4));
  std::uint64_t address = numbers.back();
  for (std::size_t i = 0; i + 1 < n; ++i) address += numbers[i] << (8 * (3 - i));
  std::string out;
  for (int shift = 24; shift >= 0; shift -= 8) {
    if (!out.empty()) out += '.';
    out += std::to_string((address >> shift) & 0xFF);
  }
  return out;
}

// --- IPv6 -------------------------------------------------------------------

Result<std::array<std::uint16_t, 8>, std::string> parse_ipv6_pieces(std::string_view input) {
  const auto bad = [] { return fail(std::string(kInvalidIpv6)); };
  std::array<std::uint16_t, 8> address{};
  std::size_t piece = 0, i = 0;
  std::optional<std::size_t> compress;
  const auto at = [&](std::size_t k) { return k < input.size() ? input[k] : '\0'; };
  if (at(0) == ':') {
    if (at(1) != ':') return bad();
    i = 2;
    compress = ++piece;
  }
  while (i < input.size()) {
    if (piece == 8) return bad();
    if (at(i) == ':') {
      if (compress) return bad();
      ++i;
      compress = ++piece;
      continue;
    }
    unsigned value = 0, length = 0;
    while (length < 4 && hex_value(at(i)) >= 0) {
      value = value * 16 + static_cast<unsigned>(hex_value(at(i)));
      ++i;
      ++length;
    }
    if (at(i) == '.') {
      if (length == 0 || piece > 6) return bad();
      i -= length;
      int numbers_seen = 0;
      while (i < input.size()) {
        std::optional<unsigned> ipv4_piece;
        if (numbers_seen > 0) {
          if (at(i) == '.' && numbers_seen < 4) ++i;
          else return bad();
        }
        if (at(i) < '0' || at(i) > '9') return bad();
        while (at(i) >= '0' && at(i) <= '9') {
          const unsigned digit = static_cast<unsigned>(at(i) - '0');
          if (!ipv4_piece) ipv4_piece = digit;
          else if (*ipv4_piece == 0) return bad();
          else ipv4_piece = *ipv4_piece * 10 + digit;
          if (*ipv4_piece > 255) return bad();
          ++i;
        }
        address[piece] = static_cast<std::uint16_t>(address[piece] * 0x100 + *ipv4_piece);
        ++numbers_seen;
        if (numbers_seen == 2 || numbers_seen == 4) ++piece;
      }
      if (numbers_seen != 4) return bad();
      break;
    }
    if (at(i) == ':') {
      ++i;
      if (i >= input.size()) return bad();
    } else if (i < input.size()) {
      return bad();
    }
    address[piece++] = static_cast<std::uint16_t>(value);
  }
  if (compress) {
    std::size_t swaps = piece - *compress;
    piece = 7;
    while (piece != 0 && swaps > 0) {
      std::swap(address[piece], address[*compress + swaps - 1]);
      --piece;
      --swaps;
    }
  } else if (piece != 8) {
    return bad();
  }
  return address;
}

std::string serialise_ipv6(const std::array<std::uint16_t, 8>& address) {
  // The longest run of two or more zero pieces is compressed (first wins).
  std::size_t best_start = 8, best_length = 1;
  for (std::size_t i = 0; i < 8;) {
    std::size_t j = i;
    while (j < 8 && address[j] == 0) ++j;
    if (j - i > best_length) {
      best_start = i;
      best_length = j - i;
    }
    i = j == i ? i + 1 : j;
  }
  std::string out = "[";
  char hex[8];
  for (std::size_t i = 0; i < 8; ++i) {
    if (i == best_start) {
      out += i == 0 ? "::" : ":";
      i += best_length - 1;
      continue;
    }
    std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned>(address[i]));
    out += hex;
    if (i != 7) out += ':';
  }
  return out + "]";
}

Result<std::string, std::string> parse_bracketed(std::string_view input) {
  if (input.size() < 2 || input.back() != ']') return fail(std::string(kInvalidIpv6));
  auto pieces = parse_ipv6_pieces(input.substr(1, input.size() - 2));
  if (!pieces) return fail(std::move(pieces).error());
  return serialise_ipv6(*pieces);
}

// --- domains ------------------------------------------------------------------

// UTS #46 ToASCII through libidn2 (nontransitional), with ASCII input taken
// on a fast path: lower-cased, and only "xn--" labels checked by decoding.
Result<std::string, std::string> domain_to_ascii(const std::string& domain) {
  if (unicode::is_ascii(domain)) {
    const std::string lower = unicode::ascii_lower(domain);
    if (lower.starts_with("xn--") || lower.find(".xn--") != std::string::npos) {
      // The decoded labels must themselves map back to ASCII.
      char* decoded = nullptr;
      char* again = nullptr;
      const bool valid = idn2_to_unicode_8z8z(lower.c_str(), &decoded, 0) == IDN2_OK &&
                         idn2_to_ascii_8z(decoded, &again, IDN2_NONTRANSITIONAL) == IDN2_OK;
      idn2_free(decoded);
      idn2_free(again);
      if (!valid) return fail(std::string(kInvalidIdna));
    }
    return lower;
  }
  char* ascii = nullptr;
  const int rc = idn2_to_ascii_8z(domain.c_str(), &ascii, IDN2_NONTRANSITIONAL);
  if (rc != IDN2_OK) return fail(std::string(kInvalidIdna));
  std::string out(ascii);
  idn2_free(ascii);
  return out;
}

}  // namespace

Result<std::string, std::string> parse_special_host(std::string_view input) {
  if (input.empty()) return fail(std::string(kEmptyHost));
  if (input.front() == '[') return parse_bracketed(input);
  const std::string domain = percent_decode(input);
  if (domain.find('\0') != std::string::npos) return fail(std::string(kInvalidDomainCharacter));
  auto ascii = domain_to_ascii(domain);
  if (!ascii) return ascii;
  if (ascii->empty()) return fail(std::string(kEmptyHost));
  for (const char c : *ascii) {
    if (is_forbidden_domain_code_point(static_cast<unsigned char>(c))) return fail(std::string(kInvalidDomainCharacter));
  }
  if (ends_in_a_number(*ascii)) return parse_ipv4(*ascii);
  return ascii;
}

Result<std::string, std::string> parse_opaque_host(std::string_view input) {
  if (!input.empty() && input.front() == '[') return parse_bracketed(input);
  for (const char c : input) {
    if (is_forbidden_host_code_point(static_cast<unsigned char>(c))) return fail(std::string(kInvalidDomainCharacter));
  }
  return std::string(input);
}

}  // namespace revizer::common::url
