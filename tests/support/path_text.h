// Paths and their text in the tests. A narrow std::filesystem path is read in the ANSI code page
// on Windows, not as UTF-8, so non-ASCII names go through u8 text both ways; the program itself
// takes GBK.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace brindle::test {

// The path named by UTF-8 text.
inline std::filesystem::path Utf8Path(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// The UTF-8 text of a path.
inline std::string Utf8Text(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// The program's text (GBK) of a path.
std::string GbkText(const std::filesystem::path& path);

}  // namespace brindle::test
