#include "view/ports.h"

#include "foundation/encoding.h"

namespace brindle {

std::vector<std::string> split_buttons(std::string_view buttons) {
  if (buttons.empty()) return {gbk("确定")};
  std::vector<std::string> out;
  // "&&" is plain ASCII and GBK trail bytes are never below 0x40, so a byte search is safe.
  std::size_t start = 0;
  while (true) {
    const std::size_t sep = buttons.find("&&", start);
    if (sep == std::string_view::npos) {
      out.emplace_back(buttons.substr(start));
      return out;
    }
    out.emplace_back(buttons.substr(start, sep - start));
    start = sep + 2;
  }
}

}  // namespace brindle
