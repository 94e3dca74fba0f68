// The profile (INI) functions on a file holding the input. Section and key names come from the
// file's own lines (and a few fixed ones), so lookups hit real entries. Properties:
//   - a value never exceeds buffer_size - 1 bytes, and a smaller buffer gives a clipped prefix
//     of the same value;
//   - after a successful write the key reads back as written, every other entry reads as
//     before, and writing the same value again leaves the file as it is.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fuzz_check.h"
#include "platform/gbk_text.h"
#include "platform/platform.h"

namespace {

namespace platform = brindle::platform;

// A file of our own on a memory file system when there is one: every run writes it.
const std::string& ProfilePath() {
  static const std::string path = [] {
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(base) + "/brindle-profile-fuzz-" + std::to_string(getpid()) + ".ini";
  }();
  return path;
}

void RemoveProfile() {
  (void)std::remove(ProfilePath().c_str());
  (void)std::remove((ProfilePath() + ".lock").c_str());
}

void Spit(std::string_view bytes) {
  std::FILE* f = std::fopen(ProfilePath().c_str(), "wb");
  FUZZ_CHECK(f != nullptr);
  FUZZ_CHECK(std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size());
  std::fclose(f);
}

std::string Slurp() {
  std::string bytes;
  FUZZ_CHECK(platform::read_file(ProfilePath(), bytes));
  return bytes;
}

// Section and key names as a reader of the lines would see them.
std::vector<std::pair<std::string, std::string>> Probes(std::string_view text) {
  std::vector<std::pair<std::string, std::string>> probes = {
      {"Configs", "CSGOPath"}, {"Configs", "GameLuncherMode"}, {"endpoints", "software"}};
  std::string section;
  while (!text.empty() && probes.size() < 12) {
    std::size_t end = text.find_first_of("\r\n");
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos) continue;
    line.remove_prefix(start);
    if (line.front() == '[') {
      section = std::string(line.substr(1, line.find(']') - 1));
    } else if (const std::size_t eq = line.find('='); eq != std::string_view::npos) {
      probes.emplace_back(section, std::string(line.substr(0, eq)));
    }
  }
  return probes;
}

// A name as the profile functions compare it: up to a NUL, without surrounding blanks.
std::string_view Normal(std::string_view name) {
  name = name.substr(0, name.find('\0'));
  const std::size_t first = name.find_first_not_of(" \t\r\v\f");
  if (first == std::string_view::npos) return {};
  return name.substr(first, name.find_last_not_of(" \t\r\v\f") - first + 1);
}

bool SurvivesUtf8(std::string_view gbk) {
  return platform::convert_code_page(platform::convert_code_page(gbk, 936, 65001), 65001, 936) ==
         gbk;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  (void)ProfilePath();  // made before the handler is registered, so destroyed after it ran
  std::atexit(RemoveProfile);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view file(reinterpret_cast<const char*>(data), size);
  Spit(file);
  const std::string& path = ProfilePath();
  const auto probes = Probes(file);
  const std::size_t small = size % 37;

  std::vector<std::string> before;
  for (const auto& [section, key] : probes) {
    const std::string value = platform::profile_read(section, key, "<none>", path);
    FUZZ_CHECK(value.size() < 10240);
    const std::string clipped = platform::profile_read(section, key, "<none>", path, small);
    FUZZ_CHECK(clipped.size() + 1 <= (small ? small : 1));
    FUZZ_CHECK(clipped == brindle::GbkClip(value, small ? small - 1 : 0));
    before.push_back(value);
  }

  // Write one of the names; the others must not notice.
  const std::size_t target = size % probes.size();
  const auto& [section, key] = probes[target];
  const bool utf8_file = file.substr(0, 3) == "\xEF\xBB\xBF";
  const std::string written = "v" + std::to_string(size) + "\xD6\xD0";  // ends in a GBK character
  if (!platform::profile_write(section, key, written, path)) return 0;
  if (utf8_file && (!SurvivesUtf8(section) || !SurvivesUtf8(key))) return 0;  // stored lossily
  const std::string after_write = Slurp();
  FUZZ_CHECK(platform::profile_read(section, key, "<none>", path) == written);
  for (std::size_t i = 0; i < probes.size(); ++i) {
    const auto& [s, k] = probes[i];
    if (brindle::GbkEqualsIgnoreCase(Normal(s), Normal(section)) &&
        brindle::GbkEqualsIgnoreCase(Normal(k), Normal(key)))
      continue;
    const std::string value = platform::profile_read(s, k, "<none>", path);
    if (value != before[i]) {
      std::fprintf(stderr, "entry [%s] %s was \"%s\", now \"%s\" after writing [%s] %s\n",
                   s.c_str(), k.c_str(), before[i].c_str(), value.c_str(), section.c_str(),
                   key.c_str());
    }
    FUZZ_CHECK(value == before[i]);
  }
  FUZZ_CHECK(platform::profile_write(section, key, written, path));
  FUZZ_CHECK(Slurp() == after_write);
  return 0;
}
