// RegexMatcher: one regular expression run over one GBK subject, with access to the matches
// and their groups. The syntax is ECMAScript's (as close to VBScript's as the patterns used here
// need); matching ignores case, treats ^ and $ per line and finds every match unless asked
// otherwise.
//
// Characters, not bytes, are matched: the subject and the pattern are read as GBK characters,
// so a double-byte character is one character for ".", classes and quantifiers, and its trail
// byte can never pass for an ASCII letter or symbol. Positions are byte offsets (from 0) into the
// GBK subject. Known limits: \w, \d, \s and case folding cover ASCII only (as in VBScript for the
// classes; VBScript would also fold Greek, Cyrillic and full-width letters); \uXXXX escapes
// name Unicode characters, which work because the subject is matched as Unicode.
//
// Long subjects: the engine (std::regex) recurses once per repeated character and backtracks,
// so a long run that almost matches costs time growing with the square of its length (4 KiB of
// digits without a dot against the address pattern: about 5 s). Subjects beyond
// kMaxSubjectBytes are therefore refused (execute returns false, as for a rejected pattern), and
// subjects beyond a few hundred characters are matched on a helper thread with a large stack.
// The texts matched here (host names, "host:port") are far shorter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

class RegexMatcher {
 public:
  static constexpr std::size_t kMaxSubjectBytes = 4096;

  // Runs `pattern` over `subject` and keeps the matches. With quote_substitution every "#引号"
  // in the pattern becomes a double quote first. True when the pattern was accepted (also when
  // nothing matched); false for a rejected pattern or a subject that is too long, after which
  // match_count() is 0 and every text result is empty.
  bool execute(std::string_view pattern, std::string_view subject, bool case_sensitive = false,
               bool multiline = true, bool global = true, bool quote_substitution = false);

  // The pattern of the last execute (after quote substitution); empty before the first.
  std::string pattern() const;
  // The subject with the found matches replaced; `replacement` may use $&, $`, $', $$ and $1..$99.
  // The subject itself when nothing matched; empty before a successful execute.
  std::string replace(std::string_view replacement) const;
  int match_count() const;
  // Match n (from 1); `position` receives its byte offset, or -1 when there is no such match.
  std::string match_text(int n, int* position = nullptr) const;
  // Group g (from 1) of match n (from 1); a group that took no part gives the empty text and
  // position -1.
  std::string group_text(int n, int g, int* position = nullptr) const;
  // The number of groups of the first match; 0 when nothing matched.
  int group_count() const;

 private:
  struct Span {
    std::int64_t position = -1;  // byte offset; -1 when the group took no part
    std::int64_t length = 0;
  };
  struct Match {
    Span whole;
    std::vector<Span> groups;
  };

  std::string text_of(const Span& span, int* position) const;
  std::string replace_matches(std::string_view replacement) const;

  bool executed_ = false;
  bool accepted_ = false;
  std::string pattern_;
  std::string subject_;
  std::vector<Match> matches_;
};

}  // namespace brindle
