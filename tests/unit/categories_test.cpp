// Category keyword lists, the name tests, and the rows a server list answer gives for a category.
#include "servers/categories.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "foundation/encoding.h"
#include "foundation/string_map.h"
#include "servers/server_list.h"
#include "view/controls.h"

namespace brindle {
namespace {

std::vector<std::string> Gbk(std::initializer_list<const char*> utf8) {
  std::vector<std::string> out;
  for (const char* text : utf8) out.push_back(gbk(text));
  return out;
}

TEST(CategoryKeywords, SplitAtEveryDoubleHyphenFromTheLeft) {
  auto fun = SplitCategoryKeywords(CategoryOfCaption(gbk("娱乐综合")));
  ASSERT_EQ(fun.size(), 20u);
  EXPECT_EQ(fun[0], gbk("娱乐"));
  EXPECT_EQ(fun[1], gbk("跳跃"));
  EXPECT_EQ(fun[2], gbk("-滑"));  // three hyphens leave the third one on the keyword
  EXPECT_EQ(fun[19], "mg");

  EXPECT_EQ(SplitCategoryKeywords("a----b"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(SplitCategoryKeywords("a--"), (std::vector<std::string>{"a", ""}));
  EXPECT_EQ(SplitCategoryKeywords(""), (std::vector<std::string>{""}));
  EXPECT_EQ(SplitCategoryKeywords("a-b"), (std::vector<std::string>{"a-b"}));
}

TEST(CategoryKeywords, EveryButtonOfThePageHasItsCaptionsList) {
  Controls controls;
  auto categories = ServerCategories();
  ASSERT_EQ(categories.size(), 15u);
  EXPECT_EQ(std::string(categories[0].button), names::kAllServers);
  for (std::size_t i = 0; i < names::kCategoryButtons.size(); ++i) {
    EXPECT_EQ(std::string(categories[i + 1].button), names::kCategoryButtons[i]);
  }
  for (const auto& category : categories) {
    // The design's caption is the one the table pairs the keywords with.
    EXPECT_EQ(controls.Caption(category.button), gbk(category.caption)) << category.button;
    EXPECT_EQ(CategoryOfButton(category.button), gbk(category.keywords));
    EXPECT_EQ(CategoryOfCaption(gbk(category.caption)), gbk(category.keywords));
  }
  EXPECT_EQ(CategoryOfButton(names::kAllServers), "AllServers");
  EXPECT_EQ(CategoryOfButton(names::kServerList), "");
  EXPECT_EQ(CategoryOfCaption(gbk("不存在")), "");
  EXPECT_EQ(CategoryOfCaption(gbk("TTT | 越狱")),
            gbk("越狱--TTT--叛徒--JB--Jail--Jailbreak--T T T--匪影谍镇"));
}

TEST(CategoryKeywords, AllServersIsFoundAnywhereInAnyCase) {
  EXPECT_TRUE(IsAllServersCategory("AllServers"));
  EXPECT_TRUE(IsAllServersCategory("allservers"));
  EXPECT_TRUE(IsAllServersCategory("x--ALLSERVERS--y"));
  EXPECT_FALSE(IsAllServersCategory("All Servers"));
  EXPECT_FALSE(IsAllServersCategory(""));
}

TEST(NameTests, CaseFoldsAsciiAndComparesChineseExactly) {
  EXPECT_TRUE(ContainsIgnoringCase("AWP_Lego", "awp"));
  EXPECT_TRUE(ContainsIgnoringCase("[Awp] x", "AWP"));
  EXPECT_TRUE(ContainsIgnoringCase(gbk("僵尸逃跑 ZE"), gbk("僵尸")));
  EXPECT_FALSE(ContainsIgnoringCase(gbk("僵尸逃跑"), gbk("殭屍")));
  // The empty text is in every non-empty text and in no empty one.
  EXPECT_TRUE(ContainsIgnoringCase("abc", ""));
  EXPECT_FALSE(ContainsIgnoringCase("", ""));
  EXPECT_FALSE(ContainsIgnoringCase("", "a"));
  EXPECT_FALSE(ContainsIgnoringCase("ab", "abc"));
}

TEST(NameTests, NeverMatchAcrossHalvesOfChineseCharacters) {
  // 车顶 is B3 B5 B6 A5: its middle bytes spell 刀 (B5 B6).
  ASSERT_NE(gbk("车顶").find(gbk("刀")), std::string::npos);
  EXPECT_FALSE(ContainsIgnoringCase(gbk("车顶跑酷"), gbk("刀")));
  EXPECT_FALSE(NameKeyword(gbk("刀")).Matches(gbk("车顶跑酷")));
  EXPECT_TRUE(NameKeyword(gbk("刀")).Matches(gbk("35HP 刀战")));

  // 倆 is 82 7A: its trail byte is a "z", which must neither fold nor start "ze".
  const std::string liang = gbk("倆");
  ASSERT_EQ(liang[1], 'z');
  EXPECT_FALSE(NameKeyword("ze").Matches(liang + "e server"));
  EXPECT_FALSE(NameKeyword("Ze").Matches(liang + "E server"));
  EXPECT_TRUE(NameKeyword("ze").Matches(liang + " ZE server"));
  // The bytes of 猫 (C3 A8) read as UTF-8 spell "è"; no such accident counts.
  EXPECT_FALSE(NameKeyword(gbk("è")).Matches(gbk("躲猫猫")));
}

TEST(NameTests, KeywordsOfTheCategoryTables) {
  EXPECT_TRUE(NameKeyword("T T T").Matches(gbk("t t t 恐怖小镇")));
  EXPECT_TRUE(NameKeyword("T T T").Matches("T t T"));
  EXPECT_FALSE(NameKeyword("T T T").Matches("TTT"));
  EXPECT_FALSE(NameKeyword(gbk("-滑")).Matches(gbk("Surf 滑翔")));
  EXPECT_TRUE(NameKeyword(gbk("-滑")).Matches(gbk("Surf-滑翔")));
  EXPECT_TRUE(NameKeyword(gbk("滑")).Matches(gbk("Surf 滑翔")));
  // The wide test folds letters the byte test leaves alone.
  EXPECT_TRUE(NameKeyword(gbk("ＫＺ")).Matches(gbk("ｋｚ 攀岩")));
  EXPECT_TRUE(NameKeyword(gbk("Дуэль")).Matches(gbk("ДУЭЛЬ 1v1")));
  EXPECT_TRUE(NameKeyword("").Matches("x"));
  EXPECT_FALSE(NameKeyword("").Matches(""));
}

// Names that round-trip skip the wide test for most keywords: the answer must be what both tests
// give, for names and keywords made of case pairs, Chinese, and broken or four-byte GBK.
TEST(NameTests, MatchesAsTheByteAndTheWideTestTogether) {
  std::vector<std::string> pieces =
      Gbk({"a", "A", "z", "Z", " ", "-", "1",  "刀", "僵尸", "滑", "Д", "д", "Э",
           "э", "Σ", "σ", "ς", "È", "è", "Ａ", "ａ", "Ё",    "ё",  "€", "·", "亮"});
  for (const char* raw : {"\x80", "\xFF", "\x81", "\x81\x20", "\x81\x30\x81\x30", "\x81\x30", "0",
                          "\xA8\xA8", "\xA1\x7F", "\xFE\xFE", "\xA2\xA0"}) {
    pieces.emplace_back(raw);
  }
  const auto fold = [](std::u16string text) {
    for (char16_t& c : text) c = FoldWide(c);
    return text;
  };
  std::vector<std::string> keywords;
  for (const ServerCategory& category : ServerCategories()) {
    for (std::string& keyword : SplitCategoryKeywords(gbk(category.keywords))) {
      keywords.push_back(std::move(keyword));
    }
  }
  std::uint32_t state = 12345;
  const auto next = [&state] { return (state = state * 1664525u + 1013904223u) >> 8; };
  const auto text_of = [&](std::size_t most) {
    std::string text;
    for (std::size_t n = next() % (most + 1); n > 0; --n) text += pieces[next() % pieces.size()];
    return text;
  };
  for (int i = 0; i < 300; ++i) keywords.push_back(text_of(3));
  std::vector<NameKeyword> matchers(keywords.begin(), keywords.end());
  std::vector<std::u16string> wides;
  for (const std::string& keyword : keywords) wides.push_back(fold(gbk_to_u16(keyword)));
  // Lists of keywords tested together: the first one each name matches.
  std::vector<std::vector<std::size_t>> lists;
  for (int i = 0; i < 40; ++i) {
    lists.emplace_back();
    for (std::size_t n = 1 + next() % 24; n > 0; --n)
      lists.back().push_back(next() % keywords.size());
  }
  std::vector<CategoryKeywords> together;
  for (const auto& list : lists) {
    std::vector<std::string> texts;
    for (const std::size_t k : list) texts.push_back(keywords[k]);
    together.emplace_back(std::move(texts));
  }
  PreparedName reused;
  for (int i = 0; i < 1500; ++i) {
    const std::string name = text_of(8);
    const PreparedName prepared(name);
    reused.Assign(name);  // the same name prepared over the previous one's buffers
    const std::u16string name_wide = fold(gbk_to_u16(name));
    std::vector<bool> matches(keywords.size());
    for (std::size_t k = 0; k < keywords.size(); ++k) {
      const bool expected =
          ContainsIgnoringCase(name, keywords[k]) ||
          (!name.empty() && (wides[k].empty() || name_wide.find(wides[k]) != std::u16string::npos));
      ASSERT_EQ(matchers[k].Matches(prepared), expected) << name << " / " << keywords[k];
      ASSERT_EQ(matchers[k].Matches(reused), expected) << name << " / " << keywords[k];
      matches[k] = expected;
    }
    for (std::size_t l = 0; l < lists.size(); ++l) {
      const auto first =
          std::find_if(lists[l].begin(), lists[l].end(), [&](std::size_t k) { return matches[k]; });
      const int expected =
          first == lists[l].end() ? -1 : static_cast<int>(first - lists[l].begin());
      ASSERT_EQ(together[l].FirstMatch(reused), expected) << name << " / list " << l;
    }
  }
}

// ---- Rows of one answer -------------------------------------------------------------------------

struct Server {
  const char* name;
  const char* ip;
  int port;
  const char* map = "de_dust2";
  const char* comments = "";
};

std::string Answer(std::initializer_list<Server> servers) {
  nlohmann::json list = nlohmann::json::array();
  for (const Server& s : servers) {
    list.push_back({{"name", s.name},
                    {"map_name", s.map},
                    {"comments", s.comments},
                    {"players", 3},
                    {"max_players", "64"},
                    {"ip", s.ip},
                    {"port", s.port}});
  }
  return list.dump();
}

std::vector<std::string> NamesOf(std::string_view answer_utf8, std::string_view category_utf8,
                                 const ServerRowOptions& options = {}) {
  std::vector<ServerRow> rows;
  EXPECT_TRUE(BuildServerRows(utf8_to_gbk(answer_utf8), gbk(category_utf8), options, rows));
  std::vector<std::string> names;
  for (const auto& row : rows) names.push_back(row.name);
  return names;
}

const std::string kTricky = Answer({
    {"僵尸逃跑 ZE 1服", "10.0.0.1", 27015},
    {"Zombie zm only", "10.0.0.2", 27015},
    {"普通 ze 服", "10.0.0.3", 27015},
    {"僵尸 副本", "10.0.0.4", 27015},
    {"混战 5v5 竞技", "10.0.0.5", 27015},
    {"abc?def 娱乐", "10.0.0.6", 27015},
    {"僵尸逃跑 ZE 重复登记", "10.0.0.1", 27015},  // the same server listed twice
    {"Surf 滑翔", "10.0.0.7", 27015},
    {"t t t 恐怖小镇", "10.0.0.8", 27015},
});

TEST(ServerRows, AllServersListsEveryServerOnceInAnswerOrderNamesUnchanged) {
  EXPECT_EQ(NamesOf(kTricky, "AllServers"),
            Gbk({"僵尸逃跑 ZE 1服", "Zombie zm only", "普通 ze 服", "僵尸 副本", "混战 5v5 竞技",
                 "abc?def 娱乐", "Surf 滑翔", "t t t 恐怖小镇"}));
}

TEST(ServerRows, KeywordCategoryGroupsByFirstMatchingKeyword) {
  // 僵尸 first, then ze, then zm; the server named with 僵尸 and ZE stays in the 僵尸 group, and
  // the duplicate address is dropped wherever it would have landed.
  EXPECT_EQ(NamesOf(kTricky, "僵尸--ze--zm"),
            Gbk({"僵尸逃跑 ZE 1服", "僵尸 副本", "普通 ze 服", "Zombie zm only"}));
  // A "?" goes from names under a keyword category.
  EXPECT_EQ(NamesOf(kTricky, "娱乐"), Gbk({"abcdef 娱乐"}));
  EXPECT_EQ(NamesOf(kTricky, "?"), std::vector<std::string>{});
  // Overlapping categories both list the server.
  EXPECT_EQ(NamesOf(kTricky, "混战"), Gbk({"混战 5v5 竞技"}));
  const std::string competitive(ServerCategories()[8].keywords);
  EXPECT_EQ(NamesOf(kTricky, competitive), Gbk({"混战 5v5 竞技"}));
  // "-滑" of 娱乐综合 misses "Surf 滑翔" but Surf catches it; T T T finds the spaced name.
  const std::string fun(ServerCategories()[7].keywords);
  EXPECT_EQ(NamesOf(kTricky, fun), Gbk({"abcdef 娱乐", "Surf 滑翔"}));
  EXPECT_EQ(NamesOf(kTricky, "T T T"), Gbk({"t t t 恐怖小镇"}));
  // An address comes with the first keyword that lists it, even from later in the answer.
  const std::string twice = Answer({{"ze A", "10.0.0.9", 27015}, {"僵尸 B", "10.0.0.9", 27015}});
  EXPECT_EQ(NamesOf(twice, "僵尸--ze"), Gbk({"僵尸 B"}));
}

TEST(ServerRows, CellsTranslationAndOperatorView) {
  const std::string answer = Answer({{"A [CS2]", "192.0.2.1", 27015, "ze_x", "华东 上海"},
                                     {"B", "192.0.2.2", 27016, "de_unknown", "[cs2] desc"}});
  StringMap dictionary;
  dictionary.put("ze_x", gbk("(僵尸图)"));
  std::vector<ServerRow> rows;
  ASSERT_TRUE(
      BuildServerRows(utf8_to_gbk(answer), "AllServers", {.dictionary = &dictionary}, rows));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].Cells(),
            (ListRow{"A [CS2]", gbk("ze_x(僵尸图)"), "3/64", "192.0.2.1:27015", gbk("华东 上海")}));
  EXPECT_EQ(rows[1].map, "de_unknown");
  EXPECT_TRUE(IsCs2Row(rows[0].Cells()));  // by its name
  EXPECT_TRUE(IsCs2Row(rows[1].Cells()));  // by its description
  EXPECT_FALSE(IsCs2Row({"A", "m", "1/2", "1.2.3.4:1", "cs2"}));

  ASSERT_TRUE(BuildServerRows(utf8_to_gbk(answer), "AllServers", {.operator_view = true}, rows));
  EXPECT_EQ(rows[0].description, "192.0.2.1:27015");
  EXPECT_EQ(rows[0].map, "ze_x");  // no dictionary given
}

TEST(ServerRows, BadAnswersGiveTheDocumentedResult) {
  std::vector<ServerRow> rows{ServerRow{"keep", "", "", "", ""}};
  for (const char* text : {"", "<html>维护中</html>", "[{\"name\":", "null"}) {
    EXPECT_FALSE(BuildServerRows(gbk(text), "AllServers", {}, rows)) << text;
    ASSERT_EQ(rows.size(), 1u);  // left alone
  }
  // Parsed but no list: no rows.
  EXPECT_TRUE(BuildServerRows(R"({"servers":[]})", "AllServers", {}, rows));
  EXPECT_TRUE(rows.empty());
  EXPECT_TRUE(BuildServerRows(R"("text")", "ze", {}, rows));
  EXPECT_TRUE(rows.empty());

  // Servers without an address or with members of the wrong type are left out; missing texts
  // read as empty (server_row_types_test has the rules member by member).
  const std::string odd =
      R"([{"name":"only a name"},)"
      R"({"name":12345,"map_name":null,"comments":{"a":1},"players":[1,2],"max_players":true,"ip":"192.0.2.9","port":27015},)"
      R"({"map_name":"de_dust2","ip":"192.0.2.10","port":27016},)"
      R"("not an object"])";
  ASSERT_TRUE(BuildServerRows(odd, "AllServers", {}, rows));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].Cells(), (ListRow{"", "de_dust2", "/", "192.0.2.10:27016", ""}));
  ASSERT_TRUE(BuildServerRows(odd, "1234", {}, rows));
  EXPECT_TRUE(rows.empty());
}

}  // namespace
}  // namespace brindle
