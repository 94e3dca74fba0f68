#include "foundation/cookie_jar.h"

#include <gtest/gtest.h>

namespace brindle {
namespace {

TEST(CookieJar, SetCookieLinesAddReplaceAndRemove) {
  CookieJar jar;
  jar.merge_set_cookie("HTTP/1.1 200 OK\r\nSet-Cookie: a=1; Path=/\r\n\r\n");
  EXPECT_EQ(jar.raw(), "; a=1; ");
  EXPECT_EQ(jar.cookies(), "a=1");

  jar.merge_set_cookie("set-cookie: a=2; Path=/; HttpOnly\r\n");
  EXPECT_EQ(jar.raw(), "; a=2; ");

  jar.merge_set_cookie("SET-COOKIE: a=; expires=Thu, 01 Jan 1970 00:00:00 GMT\r\n");
  EXPECT_TRUE(jar.is_empty());
  EXPECT_EQ(jar.cookies(), "");
}

TEST(CookieJar, DeletedMarkerForAnAbsentCookieChangesNothing) {
  CookieJar jar;
  jar.merge_pairs("a=1");
  for (const char* line : {"Set-Cookie: b=deleted\r\n", "Set-Cookie: b=DELETED; Path=/\r\n",
                           "Set-Cookie: b=Deleted\r\n", "Set-Cookie: b=\r\n"}) {
    jar.merge_set_cookie(line);
    EXPECT_EQ(jar.raw(), "; a=1; ") << line;
  }
  // A present cookie takes "deleted" like any other value.
  jar.merge_set_cookie("Set-Cookie: a=deleted\r\n");
  EXPECT_EQ(jar.value("a"), "deleted");
}

TEST(CookieJar, SeveralLinesInOneBlockAndALastLineWithoutCrlf) {
  CookieJar jar;
  jar.merge_set_cookie(
      "HTTP/1.1 302 Found\r\nSet-Cookie:   sid=abc\r\nLocation: /x\r\nSet-Cookie: uid=7; "
      "Max-Age=60\r\n\r\nHTTP/1.1 200 OK\r\nSet-Cookie: sid=def");
  EXPECT_EQ(jar.cookies(), "sid=def; uid=7");
}

TEST(CookieJar, NamesMatchWholeNotAsSuffix) {
  CookieJar jar;
  jar.merge_pairs("xa=1; a=2");
  EXPECT_EQ(jar.value("a"), "2");
  EXPECT_EQ(jar.value("xa"), "1");
  EXPECT_EQ(jar.value("x"), "");
  jar.merge_pairs("a=3");
  EXPECT_EQ(jar.cookies(), "xa=1; a=3");
}

TEST(CookieJar, MergePairsIgnoresSpacesAndPiecesWithoutEquals) {
  CookieJar jar;
  jar.merge_pairs(" a = 1 ;secure; b=x y ;;=orphan");
  EXPECT_EQ(jar.cookies(), "a=1; b=xy");
  // Values may themselves hold "=" (Base64 padding).
  jar.merge_pairs("tok=YWI=");
  EXPECT_EQ(jar.value("tok"), "YWI=");
}

TEST(CookieJar, RemoveNamedCutsOnlyTheNamedEntries) {
  CookieJar jar;
  jar.merge_pairs("a=1; b=2; c=3; ab=4");
  jar.remove_named("a; c=anything ; missing");
  EXPECT_EQ(jar.cookies(), "b=2; ab=4");
  jar.remove_named("ab;b");
  EXPECT_TRUE(jar.is_empty());
}

TEST(CookieJar, SetCookiesDecoratesTheText) {
  CookieJar jar;
  jar.set_cookies("a=1; b=2");
  EXPECT_EQ(jar.raw(), "; a=1; b=2; ");
  jar.set_cookies("; a=1;");
  EXPECT_EQ(jar.raw(), "; a=1; ");
  jar.set_cookies("a=1; ");
  EXPECT_EQ(jar.raw(), "; a=1; ");
  EXPECT_EQ(jar.value("a"), "1");
  jar.set_cookies("");
  EXPECT_TRUE(jar.is_empty());
  EXPECT_EQ(jar.raw(), "");
}

}  // namespace
}  // namespace brindle
