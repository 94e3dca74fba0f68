// INI profile files with the behaviour of the Windows profile functions the program was built
// on: section and key names compare without regard to case, values are read trimmed and
// without one pair of enclosing quotes, the first of duplicate keys wins, and writing changes
// one line while every other byte of the file stays as it was. Files are GBK; a file that
// starts with a UTF-8 byte order mark is read and written as UTF-8 instead.
//
// Lines end at LF only, as in the profile functions: a CR before the LF is part of the line
// ending, and a CR anywhere else is blank space inside a line. A file with CR-only line ends is
// therefore one long line: its first section header may be read, but none of its keys are, and
// writing a key keeps every byte of it and adds the key on a line of its own.
// The same code serves both systems; only read_file and write_file_atomic below it differ.
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gbk_text.h"
#include "platform/platform.h"

namespace brindle::platform {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// Profile calls from different threads must not interleave their read-modify-write steps.
std::mutex& profile_mutex() {
  static std::mutex mutex;
  return mutex;
}

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

// A text ends at its first NUL, as the C strings of the original interface did.
std::string_view as_text(const std::string& s) {
  std::string_view v(s);
  return v.substr(0, v.find('\0'));
}

bool same_name(std::string_view a, std::string_view b) { return GbkEqualsIgnoreCase(a, b); }

std::string clip(std::string_view text, std::size_t limit) {
  return std::string(GbkClip(text, limit));
}

struct Line {
  std::string raw;  // the bytes as stored, without the line ending
  std::string eol;  // "\r\n", "\n" or empty for a last line without one

  enum class Kind { kOther, kSection, kKey } kind = Kind::kOther;
  std::string name;   // section or key name, GBK, trimmed
  std::string value;  // key value, GBK, trimmed
};

struct Profile {
  bool utf8 = false;
  std::vector<Line> lines;

  std::string to_gbk(std::string_view stored) const {
    if (!utf8) return std::string(stored);
    return wide_to_multibyte(multibyte_to_wide(stored, kCodePageUtf8), kCodePageGbk);
  }
  std::string to_stored(std::string_view gbk_text) const {
    if (!utf8) return std::string(gbk_text);
    return wide_to_multibyte(multibyte_to_wide(gbk_text, kCodePageGbk), kCodePageUtf8);
  }

  void classify(Line& line) const {
    std::string text = to_gbk(line.raw);
    std::string_view s = trim(text);
    line.kind = Line::Kind::kOther;
    if (s.empty() || s.front() == ';') return;
    if (s.front() == '[') {
      std::size_t close = s.rfind(']');
      if (close != std::string_view::npos) {
        line.kind = Line::Kind::kSection;
        line.name = std::string(trim(s.substr(1, close - 1)));
      }
      return;
    }
    std::size_t eq = s.find('=');
    if (eq == std::string_view::npos) return;  // a bare word is not a key
    line.kind = Line::Kind::kKey;
    line.name = std::string(trim(s.substr(0, eq)));
    line.value = std::string(trim(s.substr(eq + 1)));
  }

  void parse(std::string_view bytes) {
    if (bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
      utf8 = true;
      bytes.remove_prefix(kUtf8Bom.size());
    }
    while (!bytes.empty()) {
      Line line;
      std::size_t nl = bytes.find('\n');
      if (nl == std::string_view::npos) {
        line.raw = std::string(bytes);
        bytes = {};
      } else {
        std::size_t end = nl;
        if (end > 0 && bytes[end - 1] == '\r') --end;
        line.raw = std::string(bytes.substr(0, end));
        line.eol = std::string(bytes.substr(end, nl + 1 - end));
        bytes.remove_prefix(nl + 1);
      }
      classify(line);
      lines.push_back(std::move(line));
    }
  }

  std::string serialize() const {
    std::string out;
    if (utf8) out.append(kUtf8Bom);
    for (const Line& line : lines) {
      out += line.raw;
      out += line.eol;
    }
    return out;
  }

  // The line ending new lines get: the file's own, CRLF for a file that has none yet.
  std::string eol_style() const {
    for (const Line& line : lines) {
      if (!line.eol.empty()) return line.eol;
    }
    return "\r\n";
  }

  // Index of the first key line `key` inside a section named `section` (sections of the same
  // name count as one, in file order); -1 when absent.
  long find_key(std::string_view section, std::string_view key) const {
    bool inside = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const Line& line = lines[i];
      if (line.kind == Line::Kind::kSection) {
        inside = same_name(line.name, section);
      } else if (inside && line.kind == Line::Kind::kKey && same_name(line.name, key)) {
        return static_cast<long>(i);
      }
    }
    return -1;
  }

  // Index after which a new key of `section` goes: its last non-blank line; -1 when the
  // section is missing.
  long insertion_point(std::string_view section) const {
    long header = -1;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].kind == Line::Kind::kSection && same_name(lines[i].name, section)) {
        header = static_cast<long>(i);
        break;
      }
    }
    if (header < 0) return -1;
    long last = header;
    for (std::size_t i = static_cast<std::size_t>(header) + 1; i < lines.size(); ++i) {
      if (lines[i].kind == Line::Kind::kSection) break;
      if (!trim(lines[i].raw).empty()) last = static_cast<long>(i);
    }
    return last;
  }

  void insert_after(long index, std::string raw) {
    const std::string eol = eol_style();
    if (index >= 0 && lines[static_cast<std::size_t>(index)].eol.empty())
      lines[static_cast<std::size_t>(index)].eol = eol;
    Line line;
    line.raw = std::move(raw);
    line.eol = eol;
    classify(line);
    lines.insert(lines.begin() + (index + 1), std::move(line));
  }
};

bool valid_name(std::string_view name) {
  if (name.empty()) return false;
  return name.find_first_of("\r\n") == std::string_view::npos;
}

}  // namespace

std::string profile_read(const std::string& section, const std::string& key,
                         const std::string& fallback, const std::string& path,
                         std::size_t buffer_size) {
  try {
    const std::size_t limit = buffer_size > 0 ? buffer_size - 1 : 0;
    std::string_view section_name = trim(as_text(section));
    std::string_view key_name = trim(as_text(key));
    std::string bytes;
    bool readable;
    {
      std::lock_guard<std::mutex> lock(profile_mutex());
      readable = read_file(path, bytes);
    }
    if (!readable || section_name.empty() || key_name.empty())
      return clip(as_text(fallback), limit);
    Profile profile;
    profile.parse(bytes);
    long index = profile.find_key(section_name, key_name);
    if (index < 0) return clip(as_text(fallback), limit);
    std::string_view value = profile.lines[static_cast<std::size_t>(index)].value;
    // One pair of matching quotes around the whole value is not part of it.
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    return clip(value, limit);
  } catch (...) {
    return {};
  }
}

bool profile_write(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& path) {
  try {
    std::string_view section_name = trim(as_text(section));
    std::string_view key_name = trim(as_text(key));
    std::string_view value_text = as_text(value);
    // A line break in any part would plant other keys in the file; "=" or a leading "[" or ";"
    // in a key name could never be read back.
    if (!valid_name(section_name) || section_name.find(']') != std::string_view::npos ||
        !valid_name(key_name) || key_name.find('=') != std::string_view::npos ||
        key_name.front() == '[' || key_name.front() == ';' ||
        value_text.find_first_of("\r\n") != std::string_view::npos) {
      return false;
    }

    std::lock_guard<std::mutex> lock(profile_mutex());
    std::string original;
    if (file_exists(path)) {
      // Unreadable is not the same as empty: rewriting it would lose what it holds.
      if (!read_file(path, original)) return false;
    }
    Profile profile;
    profile.parse(original);

    long index = profile.find_key(section_name, key_name);
    if (index >= 0) {
      Line& line = profile.lines[static_cast<std::size_t>(index)];
      std::string text = profile.to_gbk(line.raw);
      std::size_t indent = 0;
      while (indent < text.size() && blank(text[indent])) ++indent;
      line.raw =
          profile.to_stored(text.substr(0, indent) + line.name + "=" + std::string(value_text));
      profile.classify(line);
    } else {
      const std::string entry =
          profile.to_stored(std::string(key_name) + "=" + std::string(value_text));
      long after = profile.insertion_point(section_name);
      if (after < 0) {
        long last = static_cast<long>(profile.lines.size()) - 1;
        std::string header(1, '[');  // built by appending: GCC 12 misreads "[" + s at -O3
        header.append(section_name);
        header.push_back(']');
        profile.insert_after(last, profile.to_stored(header));
        after = last + 1;
      }
      profile.insert_after(after, entry);
    }

    std::string updated = profile.serialize();
    if (updated == original) return true;
    return write_file_atomic(path, updated, /*owner_only=*/true);
  } catch (...) {
    return false;
  }
}

}  // namespace brindle::platform
