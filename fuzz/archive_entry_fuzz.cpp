// What an archive may bring into the CS:GO folder, decided on a hostile entry name.
// Properties: an allowed file lies under csgo/ in one of the content folders, with no empty, "."
// or ".." part and no "\" or ':', and never has a program, library, script or configuration
// extension; a refusal always says why; a file's folder is allowed whenever the file is.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "maps/install_rules.h"

namespace {

std::string Lowered(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; });
  return out;
}

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view path(reinterpret_cast<const char*>(data), size);
  std::string reason;
  const bool allowed = brindle::ArchiveFileAllowed(path, &reason);
  FUZZ_CHECK(allowed == reason.empty());
  std::string folder_reason;
  const bool folder_allowed = brindle::ArchiveFolderAllowed(path, &folder_reason);
  FUZZ_CHECK(folder_allowed == folder_reason.empty());
  if (!allowed) return 0;

  const std::string lowered = Lowered(path);
  FUZZ_CHECK(lowered.starts_with("csgo/"));
  FUZZ_CHECK(path.find('\\') == std::string_view::npos && path.find(':') == std::string_view::npos);
  FUZZ_CHECK(("/" + lowered + "/").find("/../") == std::string::npos);
  FUZZ_CHECK(("/" + lowered + "/").find("/./") == std::string::npos);
  FUZZ_CHECK(lowered.find("//") == std::string::npos && !lowered.ends_with("/"));
  for (const char* end : {".exe", ".dll", ".so", ".bat", ".cmd", ".sh", ".cfg", ".vbs", ".ps1",
                          ".js", ".py", ".lua", ".vpk"}) {
    FUZZ_CHECK(!EndsWith(lowered, end));
  }
  const std::size_t slash = path.rfind('/');
  FUZZ_CHECK(brindle::ArchiveFolderAllowed(path.substr(0, slash)));
  return 0;
}
