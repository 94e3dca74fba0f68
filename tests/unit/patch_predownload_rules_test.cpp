// The pure rules of the model patch and of pre-download: the version clamp, the version answer,
// the lines of pifu.txt, the user-info answer, the nomination list and the names pre-download
// accepts.
#include <gtest/gtest.h>

#include "foundation/encoding.h"
#include "maps/model_patch.h"
#include "maps/pre_download.h"

namespace brindle {
namespace {

using Urls = std::vector<std::string>;

TEST(PatchRulesTest, ClampOnlyAboveTheLimit) {
  EXPECT_EQ(ClampPatchVersion(40000000), 20190101);
  EXPECT_EQ(ClampPatchVersion(39999999), 39999999);
  EXPECT_EQ(ClampPatchVersion(20240315), 20240315);
  // The request carries the value as read, not the clamped one.
  EXPECT_EQ(ModelVersionUrl("https://s.example/software", 40000000),
            "https://s.example/software/model_version.php?version=40000000");
}

TEST(PatchRulesTest, VersionAnswerIsANumberOrNothing) {
  EXPECT_EQ(ParsePatchAnswer("20240315"), 20240315);
  EXPECT_EQ(ParsePatchAnswer(" 20240315\r\n"), 20240315);
  EXPECT_EQ(ParsePatchAnswer("20240315abc"), 20240315);  // leading digits, as the file
  EXPECT_EQ(ParsePatchAnswer(""), -1);
  EXPECT_EQ(ParsePatchAnswer("abc"), -1);
  EXPECT_EQ(ParsePatchAnswer("<html><body>502 Bad Gateway</body></html>"), -1);
  EXPECT_EQ(ParsePatchAnswer("99999999999999999999999"), -1);
}

TEST(PatchRulesTest, FileListLines) {
  // Empty lines and one-field lines are skipped; three fields use the second; blanks around the
  // URL go; a repeated URL is listed once; a lone "\n" ends a line too.
  EXPECT_EQ(PatchListUrls("a--http://h/a.7z\r\n\r\nonly-one-field\r\nb--http://h/b.7z--extra\r\n"
                          "c--  http://h/c.7z \r\nd--http://h/a.7z\ne--http://h/e.zip"),
            (Urls{"http://h/a.7z", "http://h/b.7z", "http://h/c.7z", "http://h/e.zip"}));
  EXPECT_EQ(PatchListUrls(""), Urls{});
  EXPECT_EQ(PatchListUrls("x--\r\n--\r\n----"), Urls{});
  // Inner blanks stay: the queueing refuses such a URL rather than guessing what was meant.
  EXPECT_EQ(PatchListUrls("a--http://h/my patch.7z"), Urls{"http://h/my patch.7z"});
}

TEST(PreDownloadRulesTest, UserInfoMembers) {
  UserInfo info;
  ASSERT_TRUE(ParseUserInfo(R"([{"NextMap":"  ze_x ","downloadurlPreFix":" http://m/ maps/",)"
                            R"("ListenServer":"1.2.3.4: 27015","NominateLists":" de_a,de_b "},{}])",
                            info));
  EXPECT_EQ(info.next_map, "ze_x");
  EXPECT_EQ(info.prefix, "http://m/maps/");
  EXPECT_EQ(info.server, "1.2.3.4:27015");
  EXPECT_EQ(info.nominated, "de_a,de_b");
  UserInfo missing;
  ASSERT_TRUE(ParseUserInfo("[]", missing));
  EXPECT_EQ(missing.next_map, "");
  UserInfo bad;
  EXPECT_FALSE(ParseUserInfo("<html>502</html>", bad));
  EXPECT_FALSE(ParseUserInfo("", bad));
}

TEST(PreDownloadRulesTest, NominationsAndNames) {
  EXPECT_TRUE(NominatedMaps("a,b").empty());  // 3 bytes: ignored
  EXPECT_TRUE(NominatedMaps("abc").empty());
  EXPECT_EQ(NominatedMaps("de_a,de_b"), (Urls{"de_a", "de_b"}));
  EXPECT_EQ(NominatedMaps("de_a,, de_b ,"), (Urls{"de_a", "de_b"}));
  EXPECT_TRUE(PreDownloadName("ze_x_v2.1"));
  EXPECT_FALSE(PreDownloadName(""));
  EXPECT_FALSE(PreDownloadName("../evil"));
  EXPECT_FALSE(PreDownloadName("a/b"));
  EXPECT_FALSE(PreDownloadName("a?b"));
  EXPECT_FALSE(PreDownloadName(".hidden"));
  EXPECT_TRUE(PreDownloadName("ze_" + gbk("地图") + " v2"));  // any script is a name
  for (const char* path_like : {"a\\b", "a..b", "c:d", "a#b", "a\tb", "a\"b", "a|b"}) {
    EXPECT_FALSE(PreDownloadName(path_like)) << path_like;
  }
  EXPECT_EQ(UserInfoUrl("https://c.example/cloud", "765"),
            "https://c.example/cloud/yunget/userinfo.php?data=765");
  EXPECT_EQ(LocalDateTimeText().size(), std::string("2024-03-05 21:07:09").size());
}

}  // namespace
}  // namespace brindle
