#include "servers/categories.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "foundation/encoding.h"
#include "platform/gbk_text.h"
#include "view/control_names.h"

namespace brindle {

namespace {

const std::array<ServerCategory, 15> kCategories = {{
    {names::kAllServers, "全部服务器", "AllServers"},
    {names::kCategoryButtons[0], "僵尸逃跑", "僵尸--ze--zm"},
    {names::kCategoryButtons[1], "娱乐对抗 | 闯关", "mg--对抗--闯关--minigames--娱乐--MG"},
    {names::kCategoryButtons[2], "躲猫猫", "hns--猫--prophunt--prophurt"},
    {names::kCategoryButtons[3], "KZ | SURF | BHOP", "bhop--kz--跳跃--连跳--滑--surf"},
    {names::kCategoryButtons[4], "刀战35HP", "35hp--刀--knife"},
    {names::kCategoryButtons[5], "TTT | 越狱",
     "越狱--TTT--叛徒--JB--Jail--Jailbreak--T T T--匪影谍镇"},
    {names::kCategoryButtons[6], "娱乐综合",
     "娱乐--跳跃---滑--连跳--躲--Surf--TTT--奔跑--刀--hg_--dr_--deathrun--闯关--kz--bhop--"
     "minigames--饥饿--越狱--叛徒--mg"},
    {names::kCategoryButtons[7], "竞技综合",
     "混战--AWP--死斗--死亡--1v1--竞技--练枪--满十--比赛--matchpug--warmod--match"},
    {names::kCategoryButtons[8], "混战", "混战"},
    {names::kCategoryButtons[9], "死斗 | 死亡", "死斗--死亡--duels"},
    {names::kCategoryButtons[10], "AWP 狙击", "awp--狙击"},
    {names::kCategoryButtons[11], "1V1", "1v1--1vs1"},
    {names::kCategoryButtons[12], "挂机", "gj--gjml--挂机--idlem--achi--achievement"},
    {names::kCategoryButtons[13], "其他", "躲避球--dodgeball--饥饿--hg--unk"},
}};

std::u16string FoldedWide(std::u16string wide) {
  for (char16_t& c : wide) c = FoldWide(c);
  return wide;
}

bool WideContains(const std::u16string& text, const std::u16string& keyword) {
  if (text.empty()) return false;
  if (keyword.empty()) return true;
  return text.find(keyword) != std::u16string::npos;
}

// The byte test on texts already folded: a match must start at a character boundary.
bool FoldedContains(std::string_view text, std::string_view keyword) {
  if (text.empty()) return false;
  return GbkFind(text, keyword) != std::string_view::npos;
}

// Whether each two-byte character decodes to one wide character that encodes back to the same
// two bytes, by its bytes (lead << 8 | trail); made once, on the first name prepared.
const std::vector<bool>& RoundTripPairs() {
  static const std::vector<bool> round_trip = [] {
    std::vector<bool> table(std::size_t{1} << 16);
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
      // A lead's pairs are tried together, and one by one only when they do not all come back.
      std::string pairs;
      std::vector<unsigned> trails;
      for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
        if (!GbkIsTrail(static_cast<unsigned char>(trail))) continue;
        pairs += static_cast<char>(lead);
        pairs += static_cast<char>(trail);
        trails.push_back(trail);
      }
      const std::u16string wide = gbk_to_u16(pairs);
      const bool all = wide.size() == trails.size() && u16_to_gbk(wide) == pairs;
      for (std::size_t k = 0; k < trails.size(); ++k) {
        const std::string_view pair = std::string_view(pairs).substr(2 * k, 2);
        const std::u16string one = all ? std::u16string() : gbk_to_u16(pair);
        table[lead << 8 | trails[k]] = all || (one.size() == 1 && u16_to_gbk(one) == pair);
      }
    }
    return table;
  }();
  return round_trip;
}

}  // namespace

std::span<const ServerCategory> ServerCategories() { return kCategories; }

std::string CategoryOfButton(std::string_view button) {
  for (const auto& category : kCategories) {
    if (button == category.button) return gbk(category.keywords);
  }
  return {};
}

std::string CategoryOfCaption(std::string_view caption_gbk) {
  for (const auto& category : kCategories) {
    if (caption_gbk == gbk(category.caption)) return gbk(category.keywords);
  }
  return {};
}

bool IsAllServersCategory(std::string_view category) {
  // Plain ASCII on both sides, so a byte-wise fold is exact here.
  std::string folded(category);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded.find("allservers") != std::string::npos;
}

std::vector<std::string> SplitCategoryKeywords(std::string_view list) {
  std::vector<std::string> keywords;
  std::size_t start = 0;
  while (true) {
    const std::size_t at = list.find("--", start);
    if (at == std::string_view::npos) {
      keywords.emplace_back(list.substr(start));
      return keywords;
    }
    keywords.emplace_back(list.substr(start, at - start));
    start = at + 2;
  }
}

std::string FoldGbkAscii(std::string_view gbk_text) { return GbkAsciiLower(gbk_text); }

bool ContainsIgnoringCase(std::string_view text, std::string_view keyword) {
  return FoldedContains(FoldGbkAscii(text), FoldGbkAscii(keyword));
}

char16_t FoldWide(char16_t c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 0x20) : c;
  if ((c >= 0x00C0 && c <= 0x00DE && c != 0x00D7) ||  // Latin-1
      (c >= 0x0391 && c <= 0x03AB && c != 0x03A2) ||  // Greek
      (c >= 0x0410 && c <= 0x042F) ||                 // Cyrillic
      (c >= 0xFF21 && c <= 0xFF3A)) {                 // full-width Latin
    return static_cast<char16_t>(c + 0x20);
  }
  if (c >= 0x0400 && c <= 0x040F) return static_cast<char16_t>(c + 0x50);
  return c;
}

void PreparedName::Assign(std::string_view name_gbk) {
  // One walk folds the case of single-byte ASCII letters and tells whether the name round-trips;
  // a character's width depends only on its own bytes and those after it, still unfolded.
  folded_.assign(name_gbk);
  has_wide_ = false;
  round_trips_ = true;
  const std::vector<bool>& pairs = RoundTripPairs();
  for (std::size_t i = 0; i < folded_.size();) {
    const std::size_t width = GbkCharLength(folded_, i);
    const auto lead = static_cast<unsigned char>(folded_[i]);
    if (width == 1) {
      if (lead < 0x80)
        folded_[i] = AsciiLower(folded_[i]);
      else
        round_trips_ = false;
    } else if (width == 2) {
      round_trips_ = round_trips_ && pairs[lead << 8 | static_cast<unsigned char>(folded_[i + 1])];
    } else {
      round_trips_ = false;
    }
    i += width;
  }
}

const std::u16string& PreparedName::wide() const {
  // The byte fold touched single-byte ASCII letters only, which the wide fold lowers as well.
  if (!has_wide_) wide_ = FoldedWide(gbk_to_u16(folded_));
  has_wide_ = true;
  return wide_;
}

NameKeyword::NameKeyword(std::string_view keyword_gbk) : folded_(FoldGbkAscii(keyword_gbk)) {
  std::u16string wide = gbk_to_u16(keyword_gbk);
  // FoldWide moves a letter up by 0x20 or 0x50: c takes part when it folds, or another folds to it.
  const auto folds = [](char16_t c) {
    return c >= 0x80 && (FoldWide(c) != c || FoldWide(static_cast<char16_t>(c - 0x20)) == c ||
                         FoldWide(static_cast<char16_t>(c - 0x50)) == c);
  };
  bytes_decide_ = std::none_of(wide.begin(), wide.end(), folds) && u16_to_gbk(wide) == keyword_gbk;
  wide_ = FoldedWide(std::move(wide));
}

bool NameKeyword::Matches(const PreparedName& name) const {
  return FoldedContains(name.folded(), folded_) || WideMatches(name);
}

bool NameKeyword::WideMatches(const PreparedName& name) const {
  // In two texts that round-trip, the keyword's characters beyond ASCII match only themselves
  // and their bytes stand at the same character boundaries: the byte test has already said no.
  if (bytes_decide_ && name.round_trips()) return false;
  return WideContains(name.wide(), wide_);
}

CategoryKeywords::CategoryKeywords(std::vector<std::string> keywords_gbk) {
  keywords_.reserve(keywords_gbk.size());
  for (const std::string& keyword : keywords_gbk) keywords_.emplace_back(keyword);
  for (std::size_t k = 0; k < keywords_.size(); ++k) {
    const std::string& folded = keywords_[k].folded();
    const int index = static_cast<int>(k);
    if (folded.empty()) {
      if (first_empty_ < 0) first_empty_ = index;
    } else {
      by_first_byte_[static_cast<unsigned char>(folded[0])].push_back(index);
    }
    any_wide_ = any_wide_ || !keywords_[k].bytes_decide();
  }
}

int CategoryKeywords::FirstMatch(const PreparedName& name) const {
  const std::string_view text = name.folded();
  if (text.empty()) {
    // No byte test finds anything in an empty name, and neither does a wide one.
    return -1;
  }
  // The first keyword the byte test finds: every keyword that starts at some boundary.
  int first = first_empty_ < 0 ? static_cast<int>(keywords_.size()) : first_empty_;
  for (std::size_t pos = 0; pos < text.size() && first > 0; pos += GbkCharLength(text, pos)) {
    for (const int k : by_first_byte_[static_cast<unsigned char>(text[pos])]) {
      if (k >= first) break;
      if (GbkMatchesAt(text, pos, keywords_[static_cast<std::size_t>(k)].folded())) {
        first = k;
        break;
      }
    }
  }
  // An earlier keyword may still match by the wide test alone.
  if (any_wide_ || !name.round_trips()) {
    for (int k = 0; k < first; ++k) {
      if (keywords_[static_cast<std::size_t>(k)].WideMatches(name)) return k;
    }
  }
  return first < static_cast<int>(keywords_.size()) ? first : -1;
}

}  // namespace brindle
