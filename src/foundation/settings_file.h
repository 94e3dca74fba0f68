// One key of section "Configs" in the settings file (Config2.ini). The caller names the file;
// the application layer supplies its data folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace brindle {

inline constexpr char kSettingsSection[] = "Configs";
inline constexpr std::size_t kSettingBufferSize = 10240;

// The value of `key`, or empty text when the key, the section or the file is missing or the
// file cannot be read. Values longer than the 10240-byte buffer come back cut to 10239 bytes.
[[nodiscard]] std::string ReadSetting(const std::string& settings_path, const std::string& key);

// The value read as an integer: optional blanks, an optional sign and the leading digits;
// empty or non-numeric text gives 0, and values beyond the int range are clamped to it.
[[nodiscard]] int ReadSettingInt(const std::string& settings_path, const std::string& key);

// Writes `key` = `value` at once, creating the file and the section when they are missing.
// False when the file cannot be written (or read: its contents are never thrown away), or when
// the key or value would break the file's line structure, or when `settings_path` is empty, or
// when another program kept the file's lock (FileUpdateLock) for the whole wait.
[[nodiscard]] bool WriteSetting(const std::string& settings_path, const std::string& key,
                                const std::string& value);

// The text-to-integer rule used for setting values.
[[nodiscard]] int TextToInt(const std::string& text);
// The same rule as a 64-bit number (file sizes), clamped to its range.
[[nodiscard]] std::int64_t TextToInt64(std::string_view text);

}  // namespace brindle
