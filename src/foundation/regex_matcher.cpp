#include "foundation/regex_matcher.h"

#include <array>
#include <locale>
#include <new>
#include <regex>
#include <utility>

#include "foundation/encoding.h"
#include "platform/platform.h"

namespace brindle {
namespace {

// Subjects up to this many characters are matched on the caller's stack; longer ones on a
// helper thread whose stack holds the engine's recursion for kMaxSubjectBytes characters even
// in a sanitizer build (about 3 KiB per repeated character there).
constexpr std::size_t kInlineCharacters = 256;
constexpr std::size_t kHelperStack = std::size_t{64} << 20;

constexpr unsigned kLeadFirst = 0x81;
constexpr unsigned kLeadLast = 0xFE;
constexpr unsigned kTrailFirst = 0x40;
constexpr unsigned kTrailLast = 0xFE;
constexpr unsigned kTrailSpan = kTrailLast - kTrailFirst + 1;
// Bytes that do not decode stand for themselves in a private-use block: never ASCII, never a
// letter, digit or space, so they match only themselves.
constexpr wchar_t kUndecodable = 0xF700;

bool is_lead(unsigned char b) { return b >= kLeadFirst && b <= kLeadLast; }
bool is_trail(unsigned char b) { return b >= kTrailFirst && b <= kTrailLast && b != 0x7F; }

// Each GBK character as one UTF-16 unit (every GBK character lies in the BMP). Built once.
struct GbkTable {
  std::array<wchar_t, 256> single{};
  std::array<wchar_t, (kLeadLast - kLeadFirst + 1) * kTrailSpan> pair{};
};

wchar_t decode_one(std::string_view bytes, wchar_t fallback) {
  const std::u16string wide = platform::multibyte_to_wide(bytes, platform::kCodePageGbk);
  if (wide.size() != 1 || wide[0] < 0x80 || wide[0] == 0xFFFD) return fallback;
  return static_cast<wchar_t>(wide[0]);
}

const GbkTable& gbk_table() {
  static const GbkTable* const table = [] {
    auto* t = new GbkTable;
    for (unsigned b = 0; b < 0x80; ++b) t->single[b] = static_cast<wchar_t>(b);
    for (unsigned b = 0x80; b < 0x100; ++b) {
      const char c = static_cast<char>(b);
      t->single[b] = decode_one(std::string_view(&c, 1), static_cast<wchar_t>(kUndecodable + b));
    }
    for (unsigned lead = kLeadFirst; lead <= kLeadLast; ++lead) {
      for (unsigned trail = kTrailFirst; trail <= kTrailLast; ++trail) {
        const char two[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        t->pair[(lead - kLeadFirst) * kTrailSpan + (trail - kTrailFirst)] =
            decode_one(std::string_view(two, 2), static_cast<wchar_t>(kUndecodable + lead));
      }
    }
    return t;
  }();
  return *table;
}

// The GBK text as wide characters; offsets[i] is the byte offset of character i, and
// offsets[size] the byte length.
struct Widened {
  std::wstring text;
  std::vector<std::int64_t> offsets;
};

Widened widen(std::string_view gbk) {
  const GbkTable& table = gbk_table();
  Widened w;
  w.text.reserve(gbk.size());
  w.offsets.reserve(gbk.size() + 1);
  for (std::size_t i = 0; i < gbk.size();) {
    const auto b = static_cast<unsigned char>(gbk[i]);
    w.offsets.push_back(static_cast<std::int64_t>(i));
    if (is_lead(b) && i + 1 < gbk.size() && is_trail(static_cast<unsigned char>(gbk[i + 1]))) {
      const auto t = static_cast<unsigned char>(gbk[i + 1]);
      w.text.push_back(table.pair[(b - kLeadFirst) * kTrailSpan + (t - kTrailFirst)]);
      i += 2;
    } else {
      w.text.push_back(table.single[b]);
      i += 1;
    }
  }
  w.offsets.push_back(static_cast<std::int64_t>(gbk.size()));
  return w;
}

// One run of the engine; everything it needs and finds, so it can run on another thread.
struct Run {
  std::wstring pattern;
  std::wstring subject;
  std::regex_constants::syntax_option_type options{};
  bool global = true;
  bool accepted = false;
  // Per match: [begin, end) of the whole match, then of each group (-1, -1 when absent), in
  // wide characters.
  std::vector<std::vector<std::pair<std::int64_t, std::int64_t>>> found;
};

// \w, \d and \s (and their negations) mean ASCII only. The standard traits ask the C library's
// wide classification, which on Windows knows all of Unicode whatever the locale, so there 圓
// would be a word character.
struct AsciiClassTraits : std::regex_traits<wchar_t> {
  bool isctype(wchar_t c, char_class_type f) const {
    return c < 0x80 && std::regex_traits<wchar_t>::isctype(c, f);
  }
};
using Regex = std::basic_regex<wchar_t, AsciiClassTraits>;
using RegexIterator = std::regex_iterator<std::wstring::const_iterator, wchar_t, AsciiClassTraits>;

void run_engine(void* context) {
  Run& run = *static_cast<Run*>(context);
  try {
    Regex re;
    // The classic locale keeps case folding to ASCII, whatever the process's locale says.
    re.imbue(std::locale::classic());
    re.assign(run.pattern, run.options);
    const auto begin = run.subject.cbegin();
    auto record = [&](const std::wsmatch& m) {
      std::vector<std::pair<std::int64_t, std::int64_t>> spans;
      spans.reserve(m.size());
      for (std::size_t g = 0; g < m.size(); ++g) {
        if (m[g].matched) {
          spans.emplace_back(m[g].first - begin, m[g].second - begin);
        } else {
          spans.emplace_back(-1, -1);
        }
      }
      run.found.push_back(std::move(spans));
    };
    if (run.global) {
      for (RegexIterator it(run.subject.cbegin(), run.subject.cend(), re), end; it != end; ++it) {
        record(*it);
      }
    } else {
      std::wsmatch m;
      if (std::regex_search(run.subject.cbegin(), run.subject.cend(), m, re)) record(m);
    }
    run.accepted = true;
  } catch (...) {  // a rejected pattern, too complex a search or no memory: all the same here
    run.accepted = false;
    run.found.clear();
  }
}

const std::string& quote_marker() {
  static const std::string marker = gbk("#引号");
  return marker;
}

std::string substitute_quotes(std::string_view pattern) {
  const std::string& marker = quote_marker();
  std::string out;
  out.reserve(pattern.size());
  for (std::size_t i = 0; i < pattern.size();) {
    if (!marker.empty() && pattern.compare(i, marker.size(), marker) == 0) {
      out.push_back('"');
      i += marker.size();
    } else {
      out.push_back(pattern[i]);
      ++i;
    }
  }
  return out;
}

}  // namespace

bool RegexMatcher::execute(std::string_view pattern, std::string_view subject, bool case_sensitive,
                           bool multiline, bool global, bool quote_substitution) {
  executed_ = true;
  accepted_ = false;
  matches_.clear();
  subject_.clear();
  try {
    pattern_ = quote_substitution ? substitute_quotes(pattern) : std::string(pattern);
    if (subject.size() > kMaxSubjectBytes) return false;
    subject_.assign(subject);

    const Widened wide_subject = widen(subject_);
    Run run;
    run.pattern = widen(pattern_).text;
    run.subject = wide_subject.text;
    run.options = std::regex_constants::ECMAScript;
    if (!case_sensitive) run.options |= std::regex_constants::icase;
    if (multiline) run.options |= std::regex_constants::multiline;
    run.global = global;
    if (run.subject.size() <= kInlineCharacters) {
      run_engine(&run);
    } else if (!platform::run_with_stack(kHelperStack, &run_engine, &run)) {
      return false;
    }
    if (!run.accepted) return false;

    const auto& at = wide_subject.offsets;
    auto span = [&](const std::pair<std::int64_t, std::int64_t>& s) {
      if (s.first < 0) return Span{};
      const std::int64_t from = at[static_cast<std::size_t>(s.first)];
      return Span{from, at[static_cast<std::size_t>(s.second)] - from};
    };
    matches_.reserve(run.found.size());
    for (const auto& spans : run.found) {
      Match m;
      m.whole = span(spans[0]);
      for (std::size_t g = 1; g < spans.size(); ++g) m.groups.push_back(span(spans[g]));
      matches_.push_back(std::move(m));
    }
    accepted_ = true;
    return true;
  } catch (...) {  // out of memory on the way
    matches_.clear();
    subject_.clear();
    return false;
  }
}

std::string RegexMatcher::pattern() const { return executed_ ? pattern_ : std::string(); }

int RegexMatcher::match_count() const { return static_cast<int>(matches_.size()); }

int RegexMatcher::group_count() const {
  return matches_.empty() ? 0 : static_cast<int>(matches_.front().groups.size());
}

std::string RegexMatcher::text_of(const Span& span, int* position) const {
  if (position != nullptr) *position = static_cast<int>(span.position);
  if (span.position < 0) return {};
  try {
    return subject_.substr(static_cast<std::size_t>(span.position),
                           static_cast<std::size_t>(span.length));
  } catch (const std::bad_alloc&) {
    return {};
  }
}

std::string RegexMatcher::match_text(int n, int* position) const {
  if (n < 1 || n > match_count()) {
    if (position != nullptr) *position = -1;
    return {};
  }
  return text_of(matches_[static_cast<std::size_t>(n - 1)].whole, position);
}

std::string RegexMatcher::group_text(int n, int g, int* position) const {
  if (n < 1 || n > match_count() || g < 1 ||
      g > static_cast<int>(matches_[static_cast<std::size_t>(n - 1)].groups.size())) {
    if (position != nullptr) *position = -1;
    return {};
  }
  return text_of(matches_[static_cast<std::size_t>(n - 1)].groups[static_cast<std::size_t>(g - 1)],
                 position);
}

std::string RegexMatcher::replace(std::string_view replacement) const {
  if (!accepted_) return {};
  try {
    return replace_matches(replacement);
  } catch (const std::bad_alloc&) {
    return {};
  }
}

std::string RegexMatcher::replace_matches(std::string_view replacement) const {
  // The $ forms never meet a trail byte: '$', '&', '`', '\'' and digits all lie below 0x40.
  std::string out;
  std::int64_t copied = 0;
  for (const Match& m : matches_) {
    out.append(subject_, static_cast<std::size_t>(copied),
               static_cast<std::size_t>(m.whole.position - copied));
    const int groups = static_cast<int>(m.groups.size());
    auto group = [&](int g) {
      const Span& s = m.groups[static_cast<std::size_t>(g - 1)];
      if (s.position >= 0)
        out.append(subject_, static_cast<std::size_t>(s.position),
                   static_cast<std::size_t>(s.length));
    };
    for (std::size_t i = 0; i < replacement.size(); ++i) {
      const char c = replacement[i];
      const char next = i + 1 < replacement.size() ? replacement[i + 1] : '\0';
      if (c != '$' || next == '\0') {
        out.push_back(c);
        continue;
      }
      if (next == '$') {
        out.push_back('$');
        ++i;
      } else if (next == '&') {
        out.append(subject_, static_cast<std::size_t>(m.whole.position),
                   static_cast<std::size_t>(m.whole.length));
        ++i;
      } else if (next == '`') {
        out.append(subject_, 0, static_cast<std::size_t>(m.whole.position));
        ++i;
      } else if (next == '\'') {
        out.append(subject_, static_cast<std::size_t>(m.whole.position + m.whole.length));
        ++i;
      } else if (next >= '0' && next <= '9') {
        const int one = next - '0';
        const char third = i + 2 < replacement.size() ? replacement[i + 2] : '\0';
        const int two = third >= '0' && third <= '9' ? one * 10 + (third - '0') : -1;
        if (two >= 1 && two <= groups) {
          group(two);
          i += 2;
        } else if (one >= 1 && one <= groups) {
          group(one);
          i += 1;
        } else {
          out.push_back('$');  // no such group: the text stays as written
        }
      } else {
        out.push_back('$');
      }
    }
    copied = m.whole.position + m.whole.length;
  }
  out.append(subject_, static_cast<std::size_t>(copied));
  return out;
}

}  // namespace brindle
