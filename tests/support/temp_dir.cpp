#include "support/temp_dir.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "support/host_paths.h"
#include "support/path_text.h"

namespace brindle::test {

namespace fs = std::filesystem;

fs::path TestTempBase() {
  if (const char* base = std::getenv("BRINDLE_TEST_TMP"); base != nullptr && *base != '\0') {
    return Utf8Path(HostPath(base));
  }
  std::error_code ec;
  fs::path base = fs::temp_directory_path(ec);
  return ec ? fs::path(".") : base;
}

const std::string& RunToken() {
  // Test programs run side by side: a random tag keeps their names apart without a process id.
  static const std::string token = std::to_string(std::random_device{}() % 100000000u);
  return token;
}

TempDir::TempDir() {
  const std::string& tag = RunToken();
  static std::atomic<int> counter{0};
  const fs::path base = TestTempBase();
  std::error_code made;
  fs::create_directories(base, made);
  for (int attempt = 0; attempt < 1000; ++attempt) {
    auto candidate = base / ("brindle-test-" + tag + "-" + std::to_string(counter.fetch_add(1)));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) {
      path_ = candidate;
      return;
    }
  }
  path_ = base / "brindle-test-unmade";  // the tests' own checks report the missing folder
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

std::string TempDir::DirText(const fs::path& path) {
  return path.string() + static_cast<char>(fs::path::preferred_separator);
}

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void spit(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

}  // namespace brindle::test
