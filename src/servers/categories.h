// Game-mode categories of the server page. The community's server API carries no game mode, so a
// category is a list of keywords joined by "--", and a server belongs to it when its name holds
// one of them. The reserved text "AllServers" lists everything.
//
// A name matches a keyword by either of two tests. The byte test walks the GBK name character by
// character (a lead byte and its trail byte are one character), so a keyword never matches across
// half of a Chinese character, and only single-byte ASCII letters fold their case. The wide test
// compares both texts decoded from GBK with a wider case folding (Latin-1, Greek, Cyrillic and
// full-width letters). Names reach this point as GBK, so reading their bytes as UTF-8 would only
// produce accidental matches (the bytes of "猫" read as UTF-8 spell "è").
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

inline constexpr std::string_view kAllServers = "AllServers";

struct ServerCategory {
  const char* button;    // design name of the button
  const char* caption;   // UTF-8, as the button shows it
  const char* keywords;  // UTF-8 keyword list, "--"-joined (or "AllServers")
};

// "全部服务器" first, then the fourteen category buttons in design order.
std::span<const ServerCategory> ServerCategories();
// The keyword list (GBK) a button passes; empty for a name that is not a category button.
std::string CategoryOfButton(std::string_view button);
// The keyword list (GBK) of the button with this caption (GBK); empty when no button has it.
std::string CategoryOfCaption(std::string_view caption_gbk);

// True when the category text contains "AllServers", ignoring ASCII case.
bool IsAllServersCategory(std::string_view category);
// Splits at every "--" from left to right: "a---b" gives "a" and "-b"; "" gives one empty keyword.
std::vector<std::string> SplitCategoryKeywords(std::string_view list);

// Single-byte ASCII letters lowered; both bytes of a GBK character kept.
std::string FoldGbkAscii(std::string_view gbk_text);
// Whether `keyword` occurs in `text` at a character boundary, ignoring ASCII case. The empty
// keyword is found in every non-empty text and in no empty one.
bool ContainsIgnoringCase(std::string_view text, std::string_view keyword);

// A server name prepared once for testing many keywords. Its wide form is made the first time a
// keyword needs it, so a name is tested on one thread.
class PreparedName {
 public:
  PreparedName() = default;
  explicit PreparedName(std::string_view name_gbk) { Assign(name_gbk); }
  // Prepares another name in place, keeping the buffers: one object serves a whole list.
  void Assign(std::string_view name_gbk);
  const std::string& folded() const { return folded_; }
  // The name decoded from GBK, case-folded UTF-16.
  const std::u16string& wide() const;
  bool empty() const { return folded_.empty(); }
  // Whether the name's bytes come back unchanged from its wide form: ASCII and two-byte
  // characters that each decode to one wide character and encode back to the same bytes.
  bool round_trips() const { return round_trips_; }

 private:
  std::string folded_;
  mutable std::u16string wide_;
  mutable bool has_wide_ = false;
  bool round_trips_ = false;
};

// A keyword prepared once for testing many names.
class NameKeyword {
 public:
  explicit NameKeyword(std::string_view keyword_gbk);
  // The byte test, or else the wide-character test.
  bool Matches(const PreparedName& name) const;
  bool Matches(std::string_view name_gbk) const { return Matches(PreparedName(name_gbk)); }
  // The keyword with single-byte ASCII letters lowered, as the byte test looks for it.
  const std::string& folded() const { return folded_; }
  // The wide-character test alone, where it can find what the byte test misses.
  bool WideMatches(const PreparedName& name) const;
  // Whether the byte test alone decides for every name that round-trips.
  bool bytes_decide() const { return bytes_decide_; }

 private:
  std::string folded_;
  std::u16string wide_;  // the keyword read as GBK, case-folded
  // The wide test can find nothing the byte test misses in a name that round-trips: the keyword
  // round-trips too and none of its characters beyond ASCII takes part in case folding.
  bool bytes_decide_ = false;
};

// The keywords of a category prepared once: which of them a name matches first. The byte tests
// of all keywords run in one walk over the name (at each character boundary only the keywords
// starting with that byte are tried), and the wide tests only where they can decide.
class CategoryKeywords {
 public:
  explicit CategoryKeywords(std::vector<std::string> keywords_gbk);
  // The index of the first keyword, in list order, that NameKeyword::Matches finds in the name;
  // -1 when none.
  int FirstMatch(const PreparedName& name) const;
  std::size_t size() const { return keywords_.size(); }

 private:
  std::vector<NameKeyword> keywords_;
  // Keyword indices, ascending, by the first byte of the folded keyword.
  std::array<std::vector<int>, 256> by_first_byte_;
  int first_empty_ = -1;   // the first empty keyword (found in every non-empty name)
  bool any_wide_ = false;  // a keyword whose wide test can decide in a name that round-trips
};

// Case folding of one UTF-16 unit: ASCII, Latin-1, Greek, Cyrillic and full-width letters.
char16_t FoldWide(char16_t c);

}  // namespace brindle
