#include "foundation/settings_file.h"

#include <climits>
#include <cstdint>

#include "foundation/file_update_lock.h"
#include "platform/platform.h"

namespace brindle {

std::string ReadSetting(const std::string& settings_path, const std::string& key) {
  if (settings_path.empty()) return {};
  return platform::profile_read(kSettingsSection, key, "", settings_path, kSettingBufferSize);
}

int ReadSettingInt(const std::string& settings_path, const std::string& key) {
  return TextToInt(ReadSetting(settings_path, key));
}

bool WriteSetting(const std::string& settings_path, const std::string& key,
                  const std::string& value) {
  if (settings_path.empty()) return false;  // an unknown data folder is no place to write
  // The profile writer reads the file, changes one line and writes it back: another program's
  // key written in between would be lost without the lock.
  const FileUpdateLock lock(settings_path);
  if (!lock.ok()) return false;
  return platform::profile_write(kSettingsSection, key, value, settings_path);
}

int TextToInt(const std::string& text) {
  const std::int64_t value = TextToInt64(text);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

std::int64_t TextToInt64(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const int digit = text[i] - '0';
    if (value > (INT64_MAX - digit) / 10) {
      value = INT64_MAX;  // clamped
      break;
    }
    value = value * 10 + digit;
  }
  return negative ? -value : value;
}

}  // namespace brindle
