// A fresh folder under the system's temp directory, removed with everything in it at the end.
#pragma once

#include <filesystem>
#include <string>

namespace brindle::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Path of `name` inside the folder, as the program's text (ASCII names are the same in GBK).
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  // The folder as a directory value: with its trailing separator.
  std::string dir() const { return path_.string() + "/"; }

 private:
  std::filesystem::path path_;
};

// Reads a whole file into a string; empty when missing.
std::string slurp(const std::filesystem::path& path);
// Writes a whole file (test set-up, not atomic).
void spit(const std::filesystem::path& path, const std::string& bytes);

}  // namespace brindle::test
