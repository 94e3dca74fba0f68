#include "support/extractor_files.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <fstream>

#include "platform/platform.h"
#include "support/host_paths.h"
#include "support/path_text.h"
#include "support/temp_dir.h"

namespace brindle::test {

namespace fs = std::filesystem;

fs::path ExtractorFile(const fs::path& seven_zip_dir) {
#ifdef _WIN32
  return seven_zip_dir / "q_unbz2.exe";
#else
  return seven_zip_dir / "q_unbz2";
#endif
}

bool InstallRealExtractor(const fs::path& seven_zip_dir) {
  std::error_code ec;
  fs::create_directories(seven_zip_dir, ec);
#ifdef _WIN32
  // 7-Zip's Windows build (scripts/build-windows-7zip.sh): the console program and its formats.
  const fs::path built(HostPath(BRINDLE_EXTRACTOR_DIR));
  for (const char* name : {"q_unbz2.exe", "7z.dll"}) {
    if (!fs::copy_file(built / name, seven_zip_dir / name, fs::copy_options::overwrite_existing,
                       ec)) {
      return false;
    }
  }
  return true;
#else
  fs::create_symlink("/usr/bin/7zz", ExtractorFile(seven_zip_dir), ec);
  return !ec;
#endif
}

bool InstallExtractorStandIn(const fs::path& seven_zip_dir, const ExtractorActions& actions) {
  std::error_code ec;
  fs::create_directories(seven_zip_dir, ec);
  const fs::path file = ExtractorFile(seven_zip_dir);
#ifdef _WIN32
  spit(seven_zip_dir / "7z.dll", "");
  std::string directions;
  if (!actions.record.empty()) directions += "record=" + Utf8Text(actions.record) + "\n";
  if (!actions.map.empty()) directions += "map=" + actions.map + "\nbytes=" + actions.bytes + "\n";
  if (!actions.link.empty()) directions += "link=" + actions.link + "\n";
  if (!actions.wait_for.empty()) directions += "wait=" + Utf8Text(actions.wait_for) + "\n";
  directions += "exit=" + std::to_string(actions.exit_code) + "\n";
  spit(seven_zip_dir / "stand-in.txt", directions);
  // The program is the same every time, and the file of one that has just ended can stay locked
  // for a moment: it is copied once.
  const fs::path program(HostPath(BRINDLE_EXTRACTOR_ACTIONS_STAND_IN));
  std::error_code in_place;
  std::error_code built;
  const auto present = fs::file_size(file, in_place);
  if (!in_place && present == fs::file_size(program, built) && !built) return true;
  return fs::copy_file(program, file, fs::copy_options::overwrite_existing, ec);
#else
  std::string script = "#!/bin/sh\nout=\"${3#-o}\"\n";
  if (!actions.record.empty()) {
    const std::string record = actions.record.string();
    script += "printf '%s\\n' \"$@\" > '" + record + ".part'\npwd >> '" + record + ".part'\n";
    script += "mv '" + record + ".part' '" + record + "'\n";
  }
  if (!actions.map.empty()) {
    script += "printf '%s' '" + actions.bytes + "' > \"$out/" + actions.map + "\" || exit 91\n";
  }
  if (!actions.link.empty()) script += "ln -s / \"$out/" + actions.link + "\" || exit 92\n";
  if (!actions.wait_for.empty()) {
    script += "while [ ! -e '" + actions.wait_for.string() + "' ]; do sleep 0.05; done\n";
  }
  script += "exit " + std::to_string(actions.exit_code) + "\n";
  // A new file rather than the old one rewritten: a shell may still be reading that one.
  fs::remove(file, ec);
  spit(file, script);
  fs::permissions(file, fs::perms::owner_all, fs::perm_options::add, ec);
  return !ec;
#endif
}

bool SystemMakesLinks(const fs::path& scratch) {
  std::error_code ec;
  fs::create_directories(scratch, ec);
  const fs::path link = scratch / "link";
#ifdef _WIN32
  const DWORD flags = SYMBOLIC_LINK_FLAG_DIRECTORY | 0x2;  // ..._ALLOW_UNPRIVILEGED_CREATE
  (void)::CreateSymbolicLinkW(link.wstring().c_str(), L"C:\\", flags);  // read back below
#else
  fs::create_directory_symlink("/", link, ec);
#endif
  bool found = false;
  for (const platform::DirEntry& entry :
       platform::list_directory(GbkText(scratch) + platform::path_separator())) {
    found = found || (entry.name == "link" && entry.is_link);
  }
  fs::remove(link, ec);
  return found;
}

void InstallPlaceholderExtractor(const fs::path& seven_zip_dir) {
  std::error_code ec;
  fs::create_directories(seven_zip_dir, ec);
#ifdef _WIN32
  spit(seven_zip_dir / "7z.dll", "");
  spit(ExtractorFile(seven_zip_dir), "");
#else
  spit(ExtractorFile(seven_zip_dir), "#!/bin/sh\n");
  fs::permissions(ExtractorFile(seven_zip_dir), fs::perms::owner_all, fs::perm_options::add, ec);
#endif
}

}  // namespace brindle::test
