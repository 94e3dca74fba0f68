// The account's pure rules: stored tokens bound to the machine, the login body, reading the
// forum's answer, the login window's blank trimming, and what counts as a picture.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <string>

#include "account/forum_login.h"
#include "account/login_window.h"
#include "account/stored_token.h"
#include "foundation/encoding.h"
#include "platform/platform.h"

namespace brindle {
namespace {

const std::string kMachine = "0123456789abcdef0123456789abcdef";
const std::string kOther = "fedcba9876543210fedcba9876543210";

TEST(StoredToken, ScrambledHexThenTheMachineCheck) {
  const std::string stored = EncodeStoredToken("ue-1001", kMachine);
  // Seven masked bytes as upper-case hex, then characters 3..11 of the digest, upper-cased.
  ASSERT_EQ(stored.size(), 14u + 9u);
  std::string masked = "ue-1001";
  for (char& c : masked) c = static_cast<char>(c ^ kStoredTokenMask);
  EXPECT_EQ(stored.substr(0, 14), hex_encode(masked));
  std::string check = md5_hex(kMachine).substr(2, 9);
  for (char& c : check) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(stored.substr(14), check);
  EXPECT_EQ(StoredTokenCheck(kMachine), check);
  // The token itself never shows in the stored text.
  EXPECT_EQ(stored.find("ue-1001"), std::string::npos);
}

TEST(StoredToken, DecodesOnlyOnTheSameMachine) {
  const std::string token = gbk("令牌-") + std::string("\x01\xFF", 2) + "end";
  const std::string stored = EncodeStoredToken(token, kMachine);
  EXPECT_EQ(DecodeStoredToken(stored, kMachine), token);
  EXPECT_EQ(DecodeStoredToken(stored, kOther), "");
  // A logout's "0", an empty value, a changed check or a cut text: nothing.
  EXPECT_EQ(DecodeStoredToken("0", kMachine), "");
  EXPECT_EQ(DecodeStoredToken("", kMachine), "");
  std::string changed = stored;
  changed.back() = changed.back() == 'A' ? 'B' : 'A';
  EXPECT_EQ(DecodeStoredToken(changed, kMachine), "");
  // A lower-case check is not this machine's check.
  std::string lowered = stored;
  for (std::size_t i = lowered.size() - 9; i < lowered.size(); ++i) {
    lowered[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(lowered[i])));
  }
  if (lowered != stored) {
    EXPECT_EQ(DecodeStoredToken(lowered, kMachine), "");
  }
  // Just the check decodes to the empty token; a masked NUL ends the text.
  EXPECT_EQ(DecodeStoredToken(StoredTokenCheck(kMachine), kMachine), "");
  EXPECT_EQ(DecodeStoredToken(EncodeStoredToken(std::string("ab\0cd", 5), kMachine), kMachine),
            "ab");
}

TEST(LoginBody, Base64KeepsPlusSlashAndPadding) {
  // The GBK bytes of this name give a Base64 text with "+" and "=" in it.
  const std::string name = gbk("红色>>玩家");
  ASSERT_EQ(base64_encode(name), "uuzJqz4+zea80g==");
  EXPECT_EQ(LoginBody(name, gbk("老玩家~>"), kMachine, false),
            "user=uuzJqz4+zea80g==&securecode=wM/N5rzSfj4=&salt=" + kMachine + "&autologin=0");
  EXPECT_EQ(LoginBody("ab", "cd", kMachine, true),
            "user=YWI=&securecode=Y2Q=&salt=" + kMachine + "&autologin=1");
  EXPECT_EQ(LoginUrl("https://f.example"),
            "https://f.example/plugin.php?id=tarn_steam_openid:SoftLogin_postv2");
  EXPECT_EQ(AvatarUrl("https://f.example", "7"),
            "https://f.example/uc_server/avatar.php?uid=7&size=big");
  EXPECT_EQ(AvatarUrl("https://f.example", "7&size=1#"),
            "https://f.example/uc_server/avatar.php?uid=7%26size=1%23&size=big");
}

std::string Answer(const std::string& userdata_members) {
  return R"({"userdata":{)" + userdata_members + "}}";
}

const std::string kGood =
    R"("isLogin":"true","uid":"1001","username":"名字","user_auth":"a1b2c3",)"
    R"("steamid64":"76561198000001001","steamid32":"STEAM_1:1:500","steamaccountid":"40001001",)"
    R"("username_encode":"ue","password_encode":"pe")";

TEST(LoginAnswer, EveryMemberOfAYes) {
  auto answer = ParseLoginAnswer(gbk(Answer(kGood)));
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->login.uid, "1001");
  EXPECT_EQ(answer->login.username, gbk("名字"));
  EXPECT_EQ(answer->login.user_auth, "a1b2c3");
  EXPECT_EQ(answer->login.steamid64, "76561198000001001");
  EXPECT_EQ(answer->login.steamid32, "STEAM_1:1:500");
  EXPECT_EQ(answer->login.steamaccountid, 40001001);
  EXPECT_EQ(answer->username_encode, "ue");
  EXPECT_EQ(answer->password_encode, "pe");
  // A numeric uid and a huge account id read as well.
  auto numeric = ParseLoginAnswer(Answer(R"("isLogin":"true","uid":7,"user_auth":"t",)"
                                         R"("steamaccountid":"99999999999999999999")"));
  ASSERT_TRUE(numeric);
  EXPECT_EQ(numeric->login.uid, "7");
  EXPECT_EQ(numeric->login.steamaccountid, INT64_MAX);
}

TEST(LoginAnswer, AYesIsALoginWhateverItsMembersHold) {
  // Odd ids and tokens are made safe where they are used, not refused here.
  for (const std::string& members : {
           std::string(R"("isLogin":"true","user_auth":"t")"),  // no uid
           std::string(R"("isLogin":"true","uid":"12ab","user_auth":"t")"),
           std::string(R"("isLogin":"true","uid":"1001")"),  // no token
           std::string(R"("isLogin":"true","uid":"1001","user_auth":"a&uid=1#x y\r\nX: y")"),
       }) {
    EXPECT_TRUE(ParseLoginAnswer(gbk(Answer(members)))) << members;
    EXPECT_FALSE(IsLoginRefusal(gbk(Answer(members)))) << members;
  }
}

TEST(LoginAnswer, OnlyAnIsLoginOtherThanTrueIsARefusal) {
  for (const std::string& text : {
           Answer(R"("isLogin":"1","uid":"1001","user_auth":"t")"),  // "1" is no "true"
           Answer(R"("isLogin":"false","uid":"1001","user_auth":"t")"),
           Answer(R"("isLogin":"TRUE","uid":"1001","user_auth":"t")"),
       }) {
    EXPECT_FALSE(ParseLoginAnswer(gbk(text))) << text;
    EXPECT_TRUE(IsLoginRefusal(gbk(text))) << text;
  }
  // No answer at all: neither a login nor a refusal.
  for (const std::string& text : {
           std::string(), std::string("<html>论坛维护中</html>"), std::string("{\"userdata\":"),
           std::string("[]"), std::string("{}"),
           Answer(R"("uid":"1001","user_auth":"t")"),  // isLogin missing
       }) {
    EXPECT_FALSE(ParseLoginAnswer(gbk(text))) << text;
    EXPECT_FALSE(IsLoginRefusal(gbk(text))) << text;
  }
}

TEST(LoginWindowRules, BlanksGoFromBothEndsOnly) {
  const std::string wide = "\xA1\xA1";  // the full-width space
  EXPECT_EQ(TrimLoginField("  name \t"), "name");
  EXPECT_EQ(TrimLoginField(wide + " " + gbk("玩家 一号") + wide + wide), gbk("玩家 一号"));
  EXPECT_EQ(TrimLoginField(wide + wide), "");
  // 啊 is B0 A1: its trail byte and a following A1 are no full-width space.
  EXPECT_EQ(TrimLoginField(gbk("啊") + wide), gbk("啊"));
  EXPECT_EQ(TrimLoginField(gbk("啊啊")), gbk("啊啊"));
  EXPECT_EQ(TrimLoginField("\xB0\xA1\xA1"), "\xB0\xA1\xA1");  // a lone A1 at the end stays
  EXPECT_EQ(kMinNameBytes, 4u);
  EXPECT_EQ(kMinCodeBytes, 5u);
  EXPECT_EQ(LoginWindowTitle("https://bbs.brindle.example"),
            gbk("登录到 ") + "bbs.brindle.example");
  EXPECT_EQ(LoginWindowTitle("https://127.0.0.1:4443/forum"), gbk("登录到 ") + "127.0.0.1:4443");
}

TEST(Avatar, OnlyPicturesReplaceThePicture) {
  EXPECT_TRUE(LooksLikeImage(std::string("\x89PNG\r\n\x1A\n....", 12)));
  EXPECT_TRUE(LooksLikeImage("\xFF\xD8\xFF\xE0 jpeg"));
  EXPECT_TRUE(LooksLikeImage("GIF89a..."));
  EXPECT_TRUE(LooksLikeImage(std::string("RIFF\x10\x00\x00\x00WEBPVP8 ", 16)));
  EXPECT_TRUE(LooksLikeImage("BM" + std::string(40, '\0')));
  EXPECT_FALSE(LooksLikeImage(""));
  EXPECT_FALSE(LooksLikeImage("<html><body>404</body></html>"));
  EXPECT_FALSE(LooksLikeImage("\x89PNG"));  // cut before the signature ends
  EXPECT_FALSE(LooksLikeImage("BM"));
  EXPECT_FALSE(LooksLikeImage(std::string("RIFF\x10\x00\x00\x00WAVEfmt ", 16)));
}

TEST(Logout, CookieStoresOfBothBrowsers) {
  const auto files = BrowserCookieFiles("/p/qdata");
  ASSERT_FALSE(files.empty());
  const std::string browser = "/p/qdata" + std::string(1, platform::path_separator()) +
                              "miniblink" + platform::path_separator();
  EXPECT_EQ(files.front(), browser + "cookies.dat");
  for (const std::string& file : files) EXPECT_EQ(file.rfind(browser, 0), 0u) << file;
}

}  // namespace
}  // namespace brindle
