// The text side of JsonDocument: reading strict JSON into the tree, and writing values back out
// the way a JavaScript engine would (toString and JSON.stringify), since callers compare and
// store those texts.
#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <vector>

#include "foundation/encoding.h"
#include "foundation/json_document.h"
#include "foundation/json_document_internal.h"

namespace brindle::json_internal {
namespace {

constexpr int kDepthErrorNumber = 1000;

// Builds the tree from the parser's events. Written out (rather than using the library's own
// builder) to refuse documents nested deeper than the walkers elsewhere can recurse.
class TreeBuilder {
 public:
  TreeBuilder(Json& root, int max_depth, ParseFailure& failure)
      : root_(root), max_depth_(max_depth), failure_(failure) {}

  bool null() { return place(Json(nullptr)) != nullptr; }
  bool boolean(bool value) { return place(Json(value)) != nullptr; }
  bool number_integer(Json::number_integer_t value) { return place(Json(value)) != nullptr; }
  bool number_unsigned(Json::number_unsigned_t value) { return place(Json(value)) != nullptr; }
  bool number_float(Json::number_float_t value, const std::string&) {
    return place(Json(value)) != nullptr;
  }
  bool string(std::string& value) { return place(Json(std::move(value))) != nullptr; }
  bool binary(Json::binary_t&) { return false; }  // JSON text has no binary values
  bool start_object(std::size_t) { return open(Json::object()); }
  bool key(std::string& name) {
    member_ = &stack_.back()->get_ref<Json::object_t&>().append_unchecked(std::move(name));
    return true;
  }
  bool end_object() {
    // Indexed once, whole; a repeated name is folded into the first one here.
    stack_.back()->get_ref<Json::object_t&>().fold_repeated();
    return close();
  }
  bool start_array(std::size_t) { return open(Json::array()); }
  bool end_array() { return close(); }
  bool parse_error(std::size_t position, const std::string&, const Json::exception& error) {
    failure_.number = error.id;
    std::string_view what = error.what();
    // The library prefixes "[json.exception.parse_error.101] parse error at line 1, column 2: ";
    // line and column are reported separately, so keep only the reason.
    if (auto colon = what.find(": "); colon != std::string_view::npos)
      what.remove_prefix(colon + 2);
    failure_.description = std::string(what);
    failure_.position = position > 0 ? position - 1 : 0;
    return false;
  }

  bool too_deep() const { return too_deep_; }
  bool stopped() const { return stopped_; }
  int deepest() const { return deepest_; }

 private:
  Json* place(Json&& value) {
    if ((++values_ & 0xFFF) == 0 && stop_requested()) {
      stopped_ = true;
      return nullptr;
    }
    if (stack_.empty()) {
      root_ = std::move(value);
      return &root_;
    }
    Json& container = *stack_.back();
    if (container.is_array()) {
      container.push_back(std::move(value));
      return &container.back();
    }
    *member_ = std::move(value);
    return member_;
  }
  bool open(Json&& container) {
    if (static_cast<int>(stack_.size()) >= max_depth_) {
      too_deep_ = true;
      return false;
    }
    Json* placed = place(std::move(container));
    if (placed == nullptr) return false;
    stack_.push_back(placed);
    deepest_ = std::max(deepest_, static_cast<int>(stack_.size()));
    return true;
  }
  bool close() {
    stack_.pop_back();
    return true;
  }

  Json& root_;
  int max_depth_;
  ParseFailure& failure_;
  std::vector<Json*> stack_;
  Json* member_ = nullptr;
  int deepest_ = 0;
  bool too_deep_ = false;
  std::uint32_t values_ = 0;
  bool stopped_ = false;
};

thread_local const std::atomic<bool>* t_stop_flag = nullptr;

// Offset of the bracket that opens nesting level max_depth + 1 (strings skipped).
std::size_t too_deep_position(std::string_view text, int max_depth) {
  int depth = 0;
  bool in_string = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (in_string) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        in_string = false;
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      if (++depth > max_depth) return i;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return text.size();
}

void append_quoted(std::string_view text, std::string& out) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (byte < 0x20) {
          out += "\\u00";
          out += kHex[byte >> 4];
          out += kHex[byte & 0xF];
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

template <typename Integer>
void append_integer(Integer value, std::string& out) {
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

void append_number(const Json& value, std::string& out) {
  if (value.is_number_unsigned())
    append_number_text(value.get<Json::number_unsigned_t>(), out);
  else if (value.is_number_integer())
    append_number_text(value.get<Json::number_integer_t>(), out);
  else
    append_number_text(value.get<double>(), out);
}

// Whether the text up to its first NUL is plain ASCII, and then that much of it; otherwise the
// whole text (the converter cuts it at its NUL). Eight bytes at a time up to the first word
// holding a NUL or a byte past ASCII. Every path comes through here, most of them short and
// plain.
std::string_view plain_part(std::string_view text, bool& ascii) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  constexpr std::uint64_t kHigh = 0x8080808080808080ull;
  const char* bytes = text.data();
  const std::size_t n = text.size();
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes + i, sizeof word);
    if ((((word - kOnes) & ~word) | word) & kHigh) break;  // a zero byte, or one past ASCII
  }
  ascii = true;
  for (; i < n; ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte == 0) return text.substr(0, i);
    if (byte >= 0x80) {
      ascii = false;
      return text;
    }
  }
  return text;
}

// The GBK codes of the characters U+0080 to U+FFFF, each as utf8_to_gbk_counted gives it alone,
// learnt as the characters are first met: 0 when not yet known, below 0x100 a single byte, else
// a lead byte and a trail byte. The conversion keeps no state from one character to the next, so
// a character converts within a text as it does alone.
std::atomic<std::uint16_t> g_gbk_codes[0x10000];

// The GBK code of cp, whose UTF-8 form is utf8; 0 when the conversion gives it no such code
// (the caller then converts the whole text).
std::uint16_t gbk_code(std::uint32_t cp, std::string_view utf8) {
  std::uint16_t code = g_gbk_codes[cp].load(std::memory_order_relaxed);
  if (code != 0) return code;
  const std::string alone = utf8_to_gbk_counted(utf8);
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(alone[i]); };
  if (alone.size() == 1 && byte(0) != 0)
    code = byte(0);
  else if (alone.size() == 2 && byte(0) >= 0x80)
    code = static_cast<std::uint16_t>(byte(0) << 8 | byte(1));
  else
    return 0;
  g_gbk_codes[cp].store(code, std::memory_order_relaxed);
  return code;
}

}  // namespace

bool stop_requested() noexcept {
  return t_stop_flag != nullptr && t_stop_flag->load(std::memory_order_relaxed);
}

void stopped(ParseFailure& failure) {
  failure.number = 101;
  failure.description = "stopped: the program is closing";
  failure.position = 0;
}

bool parse_strict(std::string_view utf8, int max_depth, Json& out, int& depth,
                  ParseFailure& failure) {
  TreeBuilder builder(out, max_depth, failure);
  bool ok = false;
  try {
    ok = Json::sax_parse(utf8.begin(), utf8.end(), &builder, Json::input_format_t::json,
                         /*strict=*/true, /*ignore_comments=*/false);
  } catch (const std::exception& error) {  // allocation failure, or anything the library adds
    failure.number = 101;
    failure.description = error.what();
    failure.position = 0;
    return false;
  }
  if (builder.stopped()) {
    stopped(failure);
    return false;
  }
  if (builder.too_deep()) {
    failure.number = kDepthErrorNumber;
    failure.description = "nested deeper than " + std::to_string(max_depth) + " levels";
    failure.position = too_deep_position(utf8, max_depth);
    return false;
  }
  depth = builder.deepest();
  return ok;
}

void dismantle(Json& value) noexcept {
  if (value.is_array()) {
    auto& elements = value.get_ref<Json::array_t&>();
    for (Json& element : elements) {
      if (element.is_structured()) dismantle(element);
    }
    elements.clear();
  } else if (value.is_object()) {
    auto& members = value.get_ref<Json::object_t&>();
    for (auto& member : members) {
      if (member.second.is_structured()) dismantle(member.second);
    }
    members.clear();
  }
}

std::string number_text(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  if (value == 0) return "0";  // -0 too
  std::string out;
  if (value < 0) {
    out += '-';
    value = -value;
  }
  // Shortest round-trip digits d[.ddd]e±x, then laid out as Number::toString does.
  char buffer[40];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  std::string_view sci(buffer, static_cast<std::size_t>(result.ptr - buffer));
  std::size_t e = sci.find('e');
  std::string digits(1, sci[0]);
  if (e > 2) digits.append(sci.substr(2, e - 2));
  int exponent = 0;
  std::string_view exp_text = sci.substr(e + 1);
  if (!exp_text.empty() && exp_text[0] == '+') exp_text.remove_prefix(1);
  std::from_chars(exp_text.data(), exp_text.data() + exp_text.size(), exponent);

  int k = static_cast<int>(digits.size());
  int n = exponent + 1;  // position of the decimal point relative to the digits
  if (k <= n && n <= 21) {
    out += digits;
    out.append(static_cast<std::size_t>(n - k), '0');
  } else if (0 < n && n <= 21) {
    out.append(digits, 0, static_cast<std::size_t>(n));
    out += '.';
    out.append(digits, static_cast<std::size_t>(n));
  } else if (-6 < n && n <= 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-n), '0');
    out += digits;
  } else {
    out += digits[0];
    if (k > 1) {
      out += '.';
      out.append(digits, 1);
    }
    out += 'e';
    out += n - 1 >= 0 ? '+' : '-';
    append_integer(std::abs(n - 1), out);
  }
  return out;
}

void append_number_text(std::int64_t value, std::string& out) { append_integer(value, out); }
void append_number_text(std::uint64_t value, std::string& out) { append_integer(value, out); }
void append_number_text(double value, std::string& out) { out += number_text(value); }

void append_json(const Json& value, std::string& out) {
  switch (value.type()) {
    case Json::value_t::object: {
      out += '{';
      bool first = true;
      for (const auto& [name, member] : value.get_ref<const Json::object_t&>()) {
        if (!first) out += ',';
        first = false;
        append_quoted(name, out);
        out += ':';
        append_json(member, out);
      }
      out += '}';
      break;
    }
    case Json::value_t::array: {
      out += '[';
      bool first = true;
      for (const Json& element : value) {
        if (!first) out += ',';
        first = false;
        append_json(element, out);
      }
      out += ']';
      break;
    }
    case Json::value_t::string:
      append_quoted(value.get_ref<const std::string&>(), out);
      break;
    case Json::value_t::boolean:
      out += value.get<bool>() ? "true" : "false";
      break;
    case Json::value_t::number_float:
      if (!std::isfinite(value.get<double>())) {
        out += "null";
        break;
      }
      [[fallthrough]];
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
      append_number(value, out);
      break;
    default:
      out += "null";
      break;
  }
}

void append_text(const Json& value, std::string& out) {
  switch (value.type()) {
    case Json::value_t::string:
      out += value.get_ref<const std::string&>();
      break;
    case Json::value_t::boolean:
      out += value.get<bool>() ? "true" : "false";
      break;
    case Json::value_t::number_float:
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
      append_number(value, out);
      break;
    case Json::value_t::object:
      out += "[object Object]";
      break;
    case Json::value_t::array: {
      bool first = true;
      for (const Json& element : value) {
        if (!first) out += ',';
        first = false;
        append_text(element, out);  // null elements give nothing, as Array::join does
      }
      break;
    }
    default:
      break;
  }
}

std::string to_gbk(std::string_view utf8) {
  // One pass: ASCII is copied eight bytes at a time while no NUL or other byte comes, and
  // well-formed two- and three-byte characters (nearly all a service sends) take their codes
  // from the table above. Any other character sends the text to the converter whole.
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  constexpr std::uint64_t kHigh = 0x8080808080808080ull;
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const std::size_t n = utf8.size();
  const auto converted = [&] { return utf8_to_gbk_counted(utf8.substr(0, utf8.find('\0'))); };
  const auto continuation = [&](std::size_t i) { return i < n && (p[i] & 0xC0) == 0x80; };
  std::string out(n, '\0');  // no character takes more bytes in GBK than in UTF-8
  char* o = out.data();
  std::size_t i = 0;
  for (;;) {
    for (; i + 8 <= n; i += 8, o += 8) {
      std::uint64_t word = 0;
      std::memcpy(&word, p + i, sizeof word);
      if ((((word - kOnes) & ~word) | word) & kHigh) break;  // a zero byte, or one past ASCII
      std::memcpy(o, &word, sizeof word);
    }
    if (i >= n) break;
    const unsigned b = p[i];
    if (b == 0) break;  // a text ends at its NUL
    if (b < 0x80) {
      *o++ = static_cast<char>(b);
      ++i;
      continue;
    }
    std::uint32_t cp = 0;
    std::size_t length = 0;
    if (b >= 0xC2 && b <= 0xDF && continuation(i + 1)) {
      cp = (b & 0x1Fu) << 6 | (p[i + 1] & 0x3Fu);
      length = 2;
    } else if ((b & 0xF0) == 0xE0 && continuation(i + 1) && continuation(i + 2)) {
      cp = (b & 0x0Fu) << 12 | (p[i + 1] & 0x3Fu) << 6 | (p[i + 2] & 0x3Fu);
      length = 3;
      if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)) return converted();
    } else {
      return converted();
    }
    const std::uint16_t code = gbk_code(cp, utf8.substr(i, length));
    if (code == 0) return converted();
    if (code < 0x100) {
      *o++ = static_cast<char>(code);
    } else {
      o[0] = static_cast<char>(code >> 8);
      o[1] = static_cast<char>(code & 0xFF);
      o += 2;
    }
    i += length;
  }
  out.resize(static_cast<std::size_t>(o - out.data()));
  return out;
}

std::string_view utf8_view(std::string_view gbk, std::string& storage) {
  bool ascii = false;
  gbk = plain_part(gbk, ascii);
  if (ascii) return gbk;
  storage = gbk_to_utf8(gbk);  // cut at its NUL there
  return storage;
}

}  // namespace brindle::json_internal

namespace brindle {

JsonStopScope::JsonStopScope(const std::atomic<bool>& flag) noexcept
    : outer_(json_internal::t_stop_flag) {
  json_internal::t_stop_flag = &flag;
}

JsonStopScope::~JsonStopScope() { json_internal::t_stop_flag = outer_; }

}  // namespace brindle
