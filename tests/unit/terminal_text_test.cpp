// Network text on the terminal: controls escaped, everything printable left alone.
#include "foundation/terminal_text.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "foundation/encoding.h"

namespace brindle {
namespace {

using namespace std::string_literals;

TEST(TerminalText, ControlsAreShownEscaped) {
  EXPECT_EQ(terminal_text_utf8("evil\x1b[2Jname"), "evil\\x1b[2Jname");
  EXPECT_EQ(terminal_text_utf8("a\rb\nc\td"), "a\\rb\\nc\\td");
  EXPECT_EQ(terminal_text_utf8("\x07\x08\x7f\x01"), "\\x07\\x08\\x7f\\x01");
  EXPECT_EQ(terminal_text_utf8("nul\0after"s), "nul\\x00after");
  // A literal backslash is doubled, so "\x1b" typed into a name reads differently from an ESC.
  EXPECT_EQ(terminal_text_utf8("C:\\x1b"), "C:\\\\x1b");
  // C1 controls: U+009B is an 8-bit CSI, U+0085 a line break on some terminals.
  EXPECT_EQ(terminal_text_utf8("a\xC2\x9B"
                               "2Jb\xC2\x85"),
            "a\\u009b2Jb\\u0085");
  // The printable neighbours of those ranges stay.
  EXPECT_EQ(terminal_text_utf8("~ \xC2\xA0\xC2\xA9"), "~ \xC2\xA0\xC2\xA9");
}

TEST(TerminalText, PrintableTextIsUnchanged) {
  const std::string text = "[僵尸逃跑] Brindle ZE #1 \xF0\x9F\x94\xA5 (华东 上海)";
  EXPECT_EQ(terminal_text_utf8(text), text);
  EXPECT_EQ(terminal_text_utf8(""), "");
}

TEST(TerminalText, BytesThatAreNoUtf8AreShownAsBytes) {
  // A lone 8-bit CSI, a cut sequence, an overlong "/" and a surrogate.
  EXPECT_EQ(terminal_text_utf8("a\x9b"
                               "2J"),
            "a\\x9b2J");
  EXPECT_EQ(terminal_text_utf8("\xE5\x83"), "\\xe5\\x83");
  EXPECT_EQ(terminal_text_utf8("\xC0\xAF"), "\\xc0\\xaf");
  EXPECT_EQ(terminal_text_utf8("\xED\xA0\x80"), "\\xed\\xa0\\x80");
}

TEST(TerminalText, GbkDoubleByteCharactersStayWhole) {
  // 乗 is 81 5C in GBK and 乕 81 5B: their trail bytes are "\" and "[" when read alone.
  const std::string name = gbk("服务器乗乕") + "\\";
  ASSERT_EQ(name.substr(6, 4), "\x81\x5C\x81\x5B");
  EXPECT_EQ(gbk_to_terminal_text(name), "服务器乗乕\\\\");
  EXPECT_EQ(gbk_to_terminal_text(gbk("僵尸") + "\x1b]0;owned\x07\r\n"),
            "僵尸\\x1b]0;owned\\x07\\r\\n");
}

TEST(TerminalText, JsonKeepsItsValueAndLosesItsControls) {
  const std::string name =
      "a\x1b[2J\r\nb\x7f\xC2\x9B"
      "c \xE5\x83\xB5\xE5\xB0\xB8";
  const std::string dumped = nlohmann::json{{"name", name}}.dump(2, ' ', false);
  const std::string shown = json_text_for_terminal(dumped);
  for (char c : shown) {
    const auto b = static_cast<unsigned char>(c);
    EXPECT_TRUE(b == '\n' || (b >= 0x20 && b != 0x7F)) << int{b};
  }
  EXPECT_EQ(shown.find("\xC2\x9B"), std::string::npos);
  EXPECT_EQ(nlohmann::json::parse(shown).at("name"), name);
}

}  // namespace
}  // namespace brindle
