#include "servers/server_address.h"

namespace brindle {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// 1 to `max_digits` decimal digits without a leading zero (a lone "0" is allowed when
// `allow_zero`), no more than `max_value`.
bool IsDecimal(std::string_view text, std::size_t max_digits, long max_value, bool allow_zero) {
  if (text.empty() || text.size() > max_digits) return false;
  if (text.size() > 1 && text[0] == '0') return false;
  long value = 0;
  for (char c : text) {
    if (!IsDigit(c)) return false;
    value = value * 10 + (c - '0');
  }
  return value <= max_value && (allow_zero || value > 0);
}

bool IsDottedIpv4(std::string_view host) {
  int parts = 0;
  while (true) {
    const std::size_t dot = host.find('.');
    if (!IsDecimal(host.substr(0, dot), 3, 255, true)) return false;
    ++parts;
    if (dot == std::string_view::npos) break;
    host.remove_prefix(dot + 1);
  }
  return parts == 4;
}

bool IsHostName(std::string_view host) {
  if (host.empty() || host.size() > kMaxHostNameLength) return false;
  bool digits_and_dots_only = true;
  while (true) {
    const std::size_t dot = host.find('.');
    const std::string_view label = host.substr(0, dot);
    if (label.empty() || label.size() > kMaxHostLabelLength) return false;
    if (label.front() == '-' || label.back() == '-') return false;
    for (char c : label) {
      if (!IsLetter(c) && !IsDigit(c) && c != '-') return false;
      if (!IsDigit(c)) digits_and_dots_only = false;
    }
    if (dot == std::string_view::npos) break;
    host.remove_prefix(dot + 1);
  }
  // "300.1.1.1" or "1.2.3" would be sent to the resolver as a number, not looked up as a name.
  return !digits_and_dots_only;
}

}  // namespace

bool IsValidServerAddress(std::string_view address) {
  const std::size_t colon = address.find(':');
  if (colon == std::string_view::npos) return false;
  const std::string_view host = address.substr(0, colon);
  const std::string_view port = address.substr(colon + 1);
  if (!IsDecimal(port, 5, 65535, false)) return false;
  return IsDottedIpv4(host) || IsHostName(host);
}

}  // namespace brindle
