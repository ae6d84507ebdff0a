#include "model/json/float_text.h"

#include <charconv>
#include <cstring>

namespace revizer::json {

std::size_t format_float(double value, char* out) noexcept {
  // std::to_chars gives the shortest digits that read back exactly; we only
  // rearrange them: "d.ddde±XX" -> digits + decimal exponent.
  char sci[kFloatTextMax];
  const auto res = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific);
  const char* p = sci;
  const char* end = res.ptr;
  char* o = out;
  if (*p == '-') {
    *o++ = '-';
    ++p;
  }
  char digits[24];
  std::size_t n = 0;
  digits[n++] = *p++;
  if (*p == '.') {
    ++p;
    while (*p != 'e') digits[n++] = *p++;
  }
  ++p;  // 'e'
  const bool negative_exp = *p == '-';
  ++p;  // sign
  int exp = 0;
  std::from_chars(p, end, exp);
  if (negative_exp) exp = -exp;

  if (exp >= -5 && exp <= 15) {
    if (exp < 0) {
      *o++ = '0';
      *o++ = '.';
      for (int i = -1; i > exp; --i) *o++ = '0';
      std::memcpy(o, digits, n);
      o += n;
    } else {
      const std::size_t int_digits = static_cast<std::size_t>(exp) + 1;
      for (std::size_t i = 0; i < int_digits; ++i) *o++ = i < n ? digits[i] : '0';
      *o++ = '.';
      if (n > int_digits) {
        std::memcpy(o, digits + int_digits, n - int_digits);
        o += n - int_digits;
      } else {
        *o++ = '0';
      }
    }
  } else {
    *o++ = digits[0];
    if (n > 1) {
      *o++ = '.';
      std::memcpy(o, digits + 1, n - 1);
      o += n - 1;
    }
    *o++ = 'e';
    *o++ = exp < 0 ? '-' : '+';
    o = std::to_chars(o, out + kFloatTextMax, exp < 0 ? -exp : exp).ptr;
  }
  return static_cast<std::size_t>(o - out);
}

}  // namespace revizer::json
