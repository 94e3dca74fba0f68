#include "ui/qt_text.h"

#include "foundation/encoding.h"

namespace brindle::ui {

QString FromGbk(std::string_view gbk) {
  if (gbk.empty()) return {};
  const std::u16string wide = gbk_to_u16(gbk);
  return QString(reinterpret_cast<const QChar*>(wide.data()), static_cast<qsizetype>(wide.size()));
}

std::string ToGbk(const QString& text) {
  if (text.isEmpty()) return {};
  return u16_to_gbk(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                        static_cast<std::size_t>(text.size())));
}

}  // namespace brindle::ui
