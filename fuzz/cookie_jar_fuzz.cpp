// The cookie jar: a sequence of operations with fuzzed texts (set, merge pairs, merge
// Set-Cookie header blocks, remove, read). After each the jar keeps its form ("" or "; …; "),
// and a cookie merged by either route reads back with its value until it is removed.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/cookie_jar.h"
#include "fuzz_check.h"

namespace {

void CheckForm(const brindle::CookieJar& jar) {
  const std::string& raw = jar.raw();
  if (raw.empty()) {
    FUZZ_CHECK(jar.cookies().empty());
    return;
  }
  FUZZ_CHECK(raw.size() >= 2 && raw.compare(0, 2, "; ") == 0);
  FUZZ_CHECK(raw.compare(raw.size() - 2, 2, "; ") == 0);
  if (raw.size() > 4) FUZZ_CHECK(jar.cookies() == raw.substr(2, raw.size() - 4));
}

// Texts a server could set and read back unchanged: no separators, blanks or line breaks.
std::string Token(std::string text, bool value) {
  std::string out;
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u > 0x20 && u < 0x7F && c != ';' && c != ',' && (value || c != '=')) out.push_back(c);
  }
  return out;
}

bool EndsDeleted(const std::string& v) {
  if (v.size() < 7) return false;
  std::string tail = v.substr(v.size() - 7);
  for (char& c : tail) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return tail == "deleted";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  brindle::CookieJar jar;
  for (int step = 0; step < 32 && in.remaining_bytes() > 0; ++step) {
    const int op = in.ConsumeIntegralInRange(0, 5);
    const std::string text = in.ConsumeRandomLengthString(256);
    switch (op) {
      case 0:
        jar.set_cookies(text);
        break;
      case 1:
        jar.merge_pairs(text);
        break;
      case 2:
        jar.merge_set_cookie(text);
        break;
      case 3:
        jar.remove_named(text);
        break;
      case 4: {
        // One cookie by each route: it reads back, and is gone once removed.
        const std::string name = Token(text.substr(0, text.size() / 2), false);
        const std::string value = Token(text.substr(text.size() / 2), true);
        if (name.empty() || value.empty() || EndsDeleted(value)) break;
        jar.merge_pairs(name + "=" + value);
        FUZZ_CHECK(jar.value(name) == value);
        jar.remove_named(name);
        FUZZ_CHECK(jar.value(name).empty());
        jar.merge_set_cookie("HTTP/1.1 200 OK\r\nset-cookie: " + name + "=" + value +
                             "; Path=/; HttpOnly\r\nContent-Length: 0\r\n\r\n");
        FUZZ_CHECK(jar.value(name) == value);
        break;
      }
      default:
        (void)jar.value(text);
        break;
    }
    CheckForm(jar);
  }
  return 0;
}
