// The window's edge of the text rule: the program's GBK texts become QString here and back.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace brindle::ui {

QString FromGbk(std::string_view gbk);
std::string ToGbk(const QString& text);

}  // namespace brindle::ui
