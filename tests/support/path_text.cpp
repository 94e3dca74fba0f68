#include "support/path_text.h"

#include "foundation/encoding.h"

namespace brindle::test {

std::string GbkText(const std::filesystem::path& path) { return utf8_to_gbk(Utf8Text(path)); }

}  // namespace brindle::test
