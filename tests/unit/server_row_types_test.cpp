// Server list rows from answers whose members have the wrong type: such a server is left out,
// never shown as "3.5e+300:-1" or "[object Object]".
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/encoding.h"
#include "servers/categories.h"
#include "servers/server_list.h"

namespace brindle {
namespace {

std::vector<std::string> Addresses(const std::string& answer_utf8) {
  std::vector<ServerRow> rows;
  EXPECT_TRUE(BuildServerRows(utf8_to_gbk(answer_utf8), kAllServers, {}, rows));
  std::vector<std::string> out;
  for (const ServerRow& row : rows) out.push_back(row.address);
  return out;
}

std::string Server(const std::string& member, const std::string& json_value) {
  std::string fields[][2] = {
      {"name", R"("ZE 1")"}, {"map_name", R"("ze_x")"}, {"comments", R"("华东")"}, {"players", "3"},
      {"max_players", "64"}, {"ip", R"("192.0.2.7")"},  {"port", "27015"}};
  std::string out = "{";
  for (auto& field : fields) {
    if (field[0] == member) field[1] = json_value;
    if (field[1].empty()) continue;  // "" leaves the member out
    if (out.size() > 1) out += ",";
    out += "\"" + field[0] + "\":" + field[1];
  }
  return out + "}";
}

struct Case {
  const char* member;
  const char* value;
};
const Case kWrong[] = {
    {"name", "12345"},
    {"name", "true"},
    {"name", R"({"a":1})"},
    {"map_name", "[1,2]"},
    {"comments", R"({"a":1})"},
    {"players", "3.5e+300"},
    {"players", "-1"},
    {"players", R"("many")"},
    {"max_players", "true"},
    {"max_players", "64.5"},
    {"ip", "12345"},
    {"ip", R"({"a":1})"},
    {"ip", R"("1.2.3.4 +x")"},
    {"ip", R"("1.2.3.4:1")"},
    {"ip", R"("")"},
    {"ip", ""},
    {"port", R"({"p":1})"},
    {"port", "3.5e+300"},
    {"port", "-1"},
    {"port", "0"},
    {"port", "65536"},
    {"port", "27015.5"},
    {"port", R"("27015x")"},
    {"port", R"("-27015")"},
    {"port", "[27015]"},
    {"port", "null"},
    {"port", ""},
};

TEST(ServerRowTypes, MembersOfTheWrongTypeLeaveTheServerOut) {
  for (const Case& c : kWrong) {
    const std::string answer = "[" + Server(c.member, c.value) + "]";
    EXPECT_EQ(Addresses(answer), std::vector<std::string>{}) << answer;
  }
}

TEST(ServerRowTypes, NumbersMaySendAsTextAndTextsMayBeMissing) {
  // A port or count as a string of digits reads as its number; missing texts read as empty.
  std::vector<ServerRow> rows;
  const std::string answer =
      "[" + Server("port", R"("27016")") + "," + Server("players", R"("07")") + "," +
      Server("name", "") + "," + Server("comments", "null") + "," + Server("port", "65535") + "," +
      Server("ip", R"("play.example.org")") + "," + Server("max_players", R"("")") + "]";
  ASSERT_TRUE(BuildServerRows(utf8_to_gbk(answer), kAllServers, {}, rows));
  ASSERT_EQ(rows.size(), 4u);  // four distinct addresses; the rest repeat 192.0.2.7:27015
  EXPECT_EQ(rows[0].address, "192.0.2.7:27016");
  EXPECT_EQ(rows[1].address, "192.0.2.7:27015");
  EXPECT_EQ(rows[1].players, "7/64");
  EXPECT_EQ(rows[2].address, "192.0.2.7:65535");
  EXPECT_EQ(rows[3].address, "play.example.org:27015");

  rows.clear();
  ASSERT_TRUE(BuildServerRows(utf8_to_gbk("[" + Server("name", "") + "]"), kAllServers, {}, rows));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].name, "");
  rows.clear();
  ASSERT_TRUE(BuildServerRows(utf8_to_gbk("[" + Server("max_players", R"("")") + "]"), kAllServers,
                              {}, rows));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].players, "3/");
}

TEST(ServerRowTypes, KeywordCategoriesSkipTheSameServers) {
  std::vector<ServerRow> rows;
  const std::string answer = "[" + Server("name", "12345") + "," + Server("port", "27017") + "," +
                             R"("a string",null,7,)" + Server("port", "1e21") + "]";
  ASSERT_TRUE(BuildServerRows(utf8_to_gbk(answer), "ZE--12345", {}, rows));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].address, "192.0.2.7:27017");
  EXPECT_EQ(rows[0].name, "ZE 1");
}

// The rows read straight from the answer are the rows the document gives, whatever the answer
// holds (where the fast reader declines, the document reads it: the same rows by construction).
TEST(ServerRowTypes, ReadStraightFromTheAnswerAsThroughTheDocument) {
  const std::string deep = std::string(1001, '[') + std::string(1001, ']');
  std::vector<std::string> answers = {
      "",
      "null",
      "[]",
      R"({"a":1})",
      "[1,\"x\",null,[],{}]",
      "[" + Server("name", R"("僵尸 ZE \u00b7\u30fb€ 😀 한국 \ud83d\ude00")") + "," +
          Server("port", R"("27016")") + "," + Server("port", "27016") + "]",
      "[" + Server("name", R"("a\u0000b")") + "," + Server("port", "27017") + "]",
      R"([{"ip":"192.0.2.1","port":1,"ip":"192.0.2.2","n\u0061me":"ze"}])",
      "[" + Server("players", "1e2") + "]",
      "[" + Server("port", "27015.0") + "]",
      "[" + Server("port", "18446744073709551616") + "]",
      "[" + Server("comments", "\"\xff\"") + "]",
      "[" + Server("comments", R"("\ud800")") + "]",
      "[" + Server("comments", deep) + "]",
      "\xEF\xBB\xBF[" + Server("name", "") + "]",
      std::string("[") + Server("name", "") + "]" + std::string(1, '\0') + "x",
      "[" + Server("name", "") + ",]",
  };
  for (const Case& c : kWrong) answers.push_back("[" + Server(c.member, c.value) + "]");
  for (const std::string& answer : answers) {
    for (const std::string& category : {std::string(kAllServers), gbk("僵尸--ze--12345")}) {
      for (const bool operator_view : {false, true}) {
        const ServerRowOptions options{.operator_view = operator_view, .dictionary = nullptr};
        std::vector<ServerRow> fast, document;
        const bool read = BuildServerRowsFromAnswer(answer, category, options, fast);
        ASSERT_EQ(read,
                  BuildServerRows(utf8_to_gbk_keeping_all(answer), category, options, document))
            << answer;
        ASSERT_EQ(fast.size(), document.size()) << answer;
        for (std::size_t i = 0; i < fast.size(); ++i) {
          EXPECT_EQ(fast[i].Cells(), document[i].Cells()) << answer;
        }
      }
    }
  }
}
// More servers than rows are reserved ahead: each listed once, in answer order; and an answer
// of millions of elements that are no servers reserves nothing it cannot fill.
TEST(ServerRowTypes, ListsBeyondTheReservedRowsAndHollowAnswers) {
  constexpr int kUnique = 90000;
  const auto address = [](int i) {
    return "10." + std::to_string(i / 62500) + "." + std::to_string(i / 250 % 250) + "." +
           std::to_string(i % 250);
  };
  std::string answer = "[";
  for (int i = 0; i < kUnique + 5000; ++i) {
    answer += R"({"name":"s","ip":")" + address(i % kUnique) + R"(","port":27015},)";
  }
  answer.back() = ']';
  std::vector<ServerRow> rows;
  ASSERT_TRUE(BuildServerRowsFromAnswer(answer, kAllServers, {}, rows));
  ASSERT_EQ(rows.size(), std::size_t{kUnique});
  for (int i = 0; i < kUnique; i += 997) EXPECT_EQ(rows[i].address, address(i) + ":27015");

  std::string hollow = "[0";
  for (int i = 0; i < 100000; ++i) hollow += ",0";
  hollow += "]";
  for (const std::string& category : {std::string(kAllServers), gbk("僵尸--ze")}) {
    rows.clear();
    ASSERT_TRUE(BuildServerRowsFromAnswer(hollow, category, {}, rows));
    EXPECT_TRUE(rows.empty());
    EXPECT_LE(rows.capacity(), std::size_t{1} << 16);
  }
}

}  // namespace
}  // namespace brindle
