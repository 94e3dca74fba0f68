#include "foundation/regex_matcher.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/encoding.h"

namespace brindle {
namespace {

constexpr const char* kAddress = "(\\d+\\.\\d+\\.\\d+\\.\\d+)";

TEST(RegexMatcher, AddressWithPortGivesTheAddress) {
  RegexMatcher re;
  ASSERT_TRUE(re.execute(kAddress, "1.2.3.4:27015"));
  EXPECT_EQ(re.match_count(), 1);
  EXPECT_EQ(re.group_count(), 1);
  int position = -9;
  EXPECT_EQ(re.match_text(1, &position), "1.2.3.4");
  EXPECT_EQ(position, 0);
  EXPECT_EQ(re.group_text(1, 1, &position), "1.2.3.4");
  EXPECT_EQ(position, 0);
  EXPECT_EQ(re.pattern(), kAddress);
}

TEST(RegexMatcher, GlobalFindsAllOtherwiseOnlyTheFirst) {
  RegexMatcher re;
  const std::string subject = "a 10.0.0.1:1 b 192.168.1.20:27015";
  ASSERT_TRUE(re.execute(kAddress, subject));
  ASSERT_EQ(re.match_count(), 2);
  int position = 0;
  EXPECT_EQ(re.match_text(2, &position), "192.168.1.20");
  EXPECT_EQ(position, 15);
  ASSERT_TRUE(re.execute(kAddress, subject, false, true, false));
  EXPECT_EQ(re.match_count(), 1);
  EXPECT_EQ(re.match_text(1), "10.0.0.1");
  EXPECT_EQ(re.match_text(2, &position), "");
  EXPECT_EQ(position, -1);
}

TEST(RegexMatcher, PositionsAreByteOffsetsIntoTheGbkText) {
  RegexMatcher re;
  const std::string subject = gbk("服务器 1.2.3.4 备用线路：5.6.7.8");
  ASSERT_TRUE(re.execute(kAddress, subject));
  ASSERT_EQ(re.match_count(), 2);
  int position = 0;
  EXPECT_EQ(re.match_text(1, &position), "1.2.3.4");
  EXPECT_EQ(position, 7);  // three characters of two bytes and a space
  EXPECT_EQ(re.group_text(2, 1, &position), "5.6.7.8");
  EXPECT_EQ(position, 7 + 7 + 1 + 10);
  EXPECT_EQ(subject.substr(static_cast<std::size_t>(position), 7), "5.6.7.8");
}

TEST(RegexMatcher, DoubleByteCharactersAreWholeCharacters) {
  RegexMatcher re;
  // 圓 ends in the byte 'A' and 億 in '|': neither may match as ASCII.
  ASSERT_TRUE(re.execute("a", gbk("圓")));
  EXPECT_EQ(re.match_count(), 0);
  ASSERT_TRUE(re.execute("\\w", gbk("圓億")));
  EXPECT_EQ(re.match_count(), 0);
  ASSERT_TRUE(re.execute("\\|", gbk("億")));
  EXPECT_EQ(re.match_count(), 0);
  // 孿 ends in '\': in a pattern it stays a character, not an escape.
  ASSERT_TRUE(re.execute(gbk("孿+"), gbk("x孿孿y")));
  ASSERT_EQ(re.match_count(), 1);
  int position = 0;
  EXPECT_EQ(re.match_text(1, &position), gbk("孿孿"));
  EXPECT_EQ(position, 1);
  ASSERT_TRUE(re.execute("^.$", gbk("中")));
  EXPECT_EQ(re.match_text(1), gbk("中"));
  ASSERT_TRUE(re.execute("[\\u4e00-\\u9fa5]+", gbk("ze_地图_v1")));
  EXPECT_EQ(re.match_text(1, &position), gbk("地图"));
  EXPECT_EQ(position, 3);
  // Bytes that are no GBK character still match themselves, one byte each.
  ASSERT_TRUE(re.execute(".", std::string("\x81", 1)));
  EXPECT_EQ(re.match_text(1), std::string("\x81", 1));
}

TEST(RegexMatcher, CaseAndMultilineDefaults) {
  RegexMatcher re;
  ASSERT_TRUE(re.execute("server", "SERVER Server"));
  EXPECT_EQ(re.match_count(), 2);
  ASSERT_TRUE(re.execute("server", "SERVER Server", true));
  EXPECT_EQ(re.match_count(), 0);
  ASSERT_TRUE(re.execute("^\\d+$", "12\n34\r\nx"));
  EXPECT_EQ(re.match_count(), 2);
  ASSERT_TRUE(re.execute("^\\d+$", "12\n34", false, false));
  EXPECT_EQ(re.match_count(), 0);
}

TEST(RegexMatcher, QuoteSubstitution) {
  RegexMatcher re;
  const std::string pattern = gbk("#引号(\\w+)#引号");
  ASSERT_TRUE(re.execute(pattern, "say \"hi\" now", false, true, true, true));
  EXPECT_EQ(re.group_text(1, 1), "hi");
  EXPECT_EQ(re.pattern(), "\"(\\w+)\"");
  ASSERT_TRUE(re.execute(pattern, "say \"hi\" now"));
  EXPECT_EQ(re.match_count(), 0);
}

TEST(RegexMatcher, RejectedPatternLeavesNothing) {
  RegexMatcher re;
  ASSERT_TRUE(re.execute(kAddress, "1.2.3.4"));
  for (const char* bad : {"(", "a{2,1}", "[z-a]", "*x", "(?<x"}) {
    EXPECT_FALSE(re.execute(bad, "1.2.3.4 (")) << bad;
    EXPECT_EQ(re.match_count(), 0);
    EXPECT_EQ(re.group_count(), 0);
    int position = 5;
    EXPECT_EQ(re.match_text(1, &position), "");
    EXPECT_EQ(position, -1);
    EXPECT_EQ(re.group_text(1, 1), "");
    EXPECT_EQ(re.replace("x"), "");
  }
}

TEST(RegexMatcher, GroupsOutsideTheMatchOrNotTakingPart) {
  RegexMatcher re;
  ASSERT_TRUE(re.execute("(a)|(b)", "b"));
  ASSERT_EQ(re.match_count(), 1);
  EXPECT_EQ(re.group_count(), 2);
  int position = 0;
  EXPECT_EQ(re.group_text(1, 1, &position), "");
  EXPECT_EQ(position, -1);
  EXPECT_EQ(re.group_text(1, 2, &position), "b");
  EXPECT_EQ(position, 0);
  EXPECT_EQ(re.group_text(1, 3, &position), "");
  EXPECT_EQ(position, -1);
  EXPECT_EQ(re.group_text(0, 1), "");
  EXPECT_EQ(re.match_text(0), "");
  ASSERT_TRUE(re.execute("x", "abc"));
  EXPECT_EQ(re.group_count(), 0);
}

TEST(RegexMatcher, Replace) {
  RegexMatcher re;
  EXPECT_EQ(re.replace("x"), "");  // nothing executed yet
  EXPECT_EQ(re.pattern(), "");
  ASSERT_TRUE(re.execute("\\d+", "a1b22c"));
  EXPECT_EQ(re.replace("<$&>"), "a<1>b<22>c");
  EXPECT_EQ(re.replace("$$"), "a$b$c");
  EXPECT_EQ(re.replace("[$`|$']"), "a[a|b22c]b[a1b|c]c");
  EXPECT_EQ(re.replace("$1$"), "a$1$b$1$c");  // no group 1: written as it stands
  ASSERT_TRUE(re.execute("(\\w)(\\d)", "x1y2", false, true, false));
  EXPECT_EQ(re.replace("$2$1"), "1xy2");
  ASSERT_TRUE(re.execute("(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)", "abcdefghijk!"));
  EXPECT_EQ(re.replace("$11$10$1"), "kja!");
  ASSERT_TRUE(re.execute("(a)", "a"));
  EXPECT_EQ(re.replace("$10"), "a0");  // one group: $1 and a literal 0
  ASSERT_TRUE(re.execute("\\d", gbk("中1文2")));
  EXPECT_EQ(re.replace(gbk("号")), gbk("中号文号"));
  ASSERT_TRUE(re.execute("z", "abc"));
  EXPECT_EQ(re.replace("y"), "abc");
}

TEST(RegexMatcher, EmptyMatchesAdvance) {
  RegexMatcher re;
  ASSERT_TRUE(re.execute("", "ab"));
  EXPECT_EQ(re.match_count(), 3);
  ASSERT_TRUE(re.execute("x*", gbk("中x")));
  EXPECT_EQ(re.match_count(), 3);  // "" before 中, "x", "" at the end
  int position = 0;
  EXPECT_EQ(re.match_text(2, &position), "x");
  EXPECT_EQ(position, 2);
}

TEST(RegexMatcher, LongSubjectsDoNotOverflowTheStack) {
  RegexMatcher re;
  const std::string digits(RegexMatcher::kMaxSubjectBytes - 8, '7');
  ASSERT_TRUE(re.execute("\\d+", digits + ".x"));
  ASSERT_EQ(re.match_count(), 1);
  EXPECT_EQ(re.match_text(1).size(), digits.size());
  // About 3 KiB of stack per repeated character in a sanitizer build: more than a thread has.
  ASSERT_TRUE(re.execute("(a|b)*c", std::string(RegexMatcher::kMaxSubjectBytes - 1, 'a') + "c"));
  EXPECT_EQ(re.match_count(), 1);

  const std::string too_long(RegexMatcher::kMaxSubjectBytes + 1, '1');
  EXPECT_FALSE(re.execute("\\d", too_long));
  EXPECT_EQ(re.match_count(), 0);
}

TEST(RegexMatcher, CopyKeepsTheResults) {
  RegexMatcher re;
  ASSERT_TRUE(re.execute(kAddress, "8.8.8.8"));
  const RegexMatcher copy = re;
  ASSERT_TRUE(re.execute("x", "y"));
  EXPECT_EQ(copy.match_text(1), "8.8.8.8");
  EXPECT_EQ(re.match_count(), 0);
}

}  // namespace
}  // namespace brindle
