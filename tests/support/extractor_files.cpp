#include "support/extractor_files.h"

#include "support/host_paths.h"
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
  spit(seven_zip_dir / "7z.dll", "");
  return fs::copy_file(fs::path(HostPath(BRINDLE_EXTRACTOR_STAND_IN)), ExtractorFile(seven_zip_dir),
                       fs::copy_options::overwrite_existing, ec);
#else
  fs::create_symlink("/usr/bin/7zz", ExtractorFile(seven_zip_dir), ec);
  return !ec;
#endif
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
