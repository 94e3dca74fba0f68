// The favourites file's text edits: an add or a delete changes the bytes of its one entry and
// nothing else, whatever else the file holds; rows the list cannot show are skipped, not shown
// as garbage; a file that is not a list is refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/encoding.h"
#include "servers/favourites.h"

namespace brindle {
namespace {

std::vector<std::string> Shown(const std::string& text) {
  std::vector<FavouriteEntry> entries;
  EXPECT_TRUE(ReadFavouriteEntries(text, entries)) << text;
  std::vector<std::string> out;
  for (const FavouriteEntry& e : entries) out.push_back(e.ip + "|" + e.type_id);
  return out;
}

TEST(FavouritesText, RowsOfTheWrongShapeAreSkipped) {
  const std::string text =
      "[{\"ip\":3.5e300,\"typeid\":\"1\"},{\"ip\":{\"host\":\"192.0.2.1\"}},"
      "{\"ip\":[\"192.0.2.1:1\"]},\"192.0.2.2:27015\",42,null,"
      "{\"ip\":\"192.0.2.3:27015\",\"typeid\":{}},{\"ip\":\"192.0.2.4:27015\",\"typeid\":5},"
      "{\"ip\":\"192.0.2.5:27015\",\"typeid\":null,\"port\":{}},{\"ip\":\"192.0.2.6:27015\"}]";
  EXPECT_EQ(Shown(text), (std::vector<std::string>{"192.0.2.5:27015|", "192.0.2.6:27015|"}));
}

TEST(FavouritesText, OnlyAnArrayIsAFavouritesList) {
  std::vector<FavouriteEntry> entries = {{"kept:1", ""}};
  for (const std::string text : {"{\"ip\":\"192.0.2.1:27015\"}", "\"192.0.2.1:27015\"", "42",
                                 "null", "{not json", "[1,"}) {
    EXPECT_FALSE(ReadFavouriteEntries(text, entries)) << text;
    EXPECT_EQ(entries.size(), 1u) << text;
    EXPECT_FALSE(AppendFavouriteText(text, "192.0.2.9:27015")) << text;
    bool found = true;
    EXPECT_FALSE(RemoveFavouriteText(text, "192.0.2.1:27015", found)) << text;
  }
  EXPECT_TRUE(ReadFavouriteEntries(" \r\n", entries));  // blank: the empty list
  EXPECT_TRUE(entries.empty());
  EXPECT_EQ(AppendFavouriteText("", "192.0.2.9:27015"), "[{\"ip\":\"192.0.2.9:27015\"}]");
}

TEST(FavouritesText, AddAndRemoveTouchOnlyTheirEntry) {
  // Pretty-printed, with entries and members the program does not understand, escapes, a
  // number written its own way, and GBK text whose trail bytes are "\" and "]".
  const std::string foreign =
      "{\"ip\": \"no-port\", \"typeid\": \"" + gbk("服务器") + "\\u0041\"}";
  const std::string kept = "{\"ip\": \"192.0.2.1:27015\", \"typeid\": \"3\", \"x\": 1.50E+2}";
  const std::string gbk_trail = "{\"ip\": \"192.0.2.2:27016\", \"typeid\": \"\x95\x5c\x8f\x5d\"}";
  const std::string text = "[\n  " + foreign + ",\n  " + kept + ",\n  " + gbk_trail + "\n]\n";
  ASSERT_EQ(Shown(text), (std::vector<std::string>{"192.0.2.1:27015|3",
                                                   "192.0.2.2:27016|\x95\x5c\x8f\x5d"}));

  const auto added = AppendFavouriteText(text, "192.0.2.3:27017");
  ASSERT_TRUE(added);
  EXPECT_EQ(*added, "[\n  " + foreign + ",\n  " + kept + ",\n  " + gbk_trail +
                        ",{\"ip\":\"192.0.2.3:27017\"}\n]\n");

  bool found = false;
  auto removed = RemoveFavouriteText(*added, "192.0.2.1:27015", found);
  ASSERT_TRUE(removed);
  EXPECT_TRUE(found);
  EXPECT_EQ(*removed, "[\n  " + foreign + ",\n  " + gbk_trail + ",{\"ip\":\"192.0.2.3:27017\"}\n]\n");
  removed = RemoveFavouriteText(*removed, "192.0.2.3:27017", found);  // the last one
  ASSERT_TRUE(removed);
  EXPECT_EQ(*removed, "[\n  " + foreign + ",\n  " + gbk_trail + "\n]\n");
  removed = RemoveFavouriteText(*removed, "192.0.2.2:27016", found);
  removed = RemoveFavouriteText(*removed, "no-port", found);  // not a row: never removed
  EXPECT_FALSE(found);
  EXPECT_EQ(*removed, "[\n  " + foreign + "\n]\n");

  // Only the first of two equal rows goes, and an entry the list skips is never taken for it.
  const std::string twice =
      "[{\"ip\":42},{\"ip\":\" 192.0.2.1:27015\",\"a\":1},{\"ip\":\"192.0.2.1:27015\",\"a\":2}]";
  removed = RemoveFavouriteText(twice, "192.0.2.1:27015", found);
  EXPECT_EQ(*removed, "[{\"ip\":42},{\"ip\":\"192.0.2.1:27015\",\"a\":2}]");
  removed = RemoveFavouriteText("[{\"ip\":\"192.0.2.1:27015\"}]", "192.0.2.1:27015", found);
  EXPECT_EQ(*removed, "[]");
  EXPECT_EQ(AppendFavouriteText(" [ ] ", "192.0.2.1:27015"), " [ {\"ip\":\"192.0.2.1:27015\"}] ");
}

}  // namespace
}  // namespace brindle
