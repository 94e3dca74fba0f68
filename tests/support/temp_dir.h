// A fresh folder under the system's temp directory, removed with everything in it at the end.
// BRINDLE_TEST_TMP (a native path) names another base: under Wine, one that the native programs
// started by the tests (brindle-sim, the shell) can reach too.
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
  std::string dir() const { return DirText(path_); }

  // `path` as a directory value, as the program writes one: with the system's separator last.
  static std::string DirText(const std::filesystem::path& path);

 private:
  std::filesystem::path path_;
};

// A text unique to this run of the test program (names on shared ground: the sim, /tmp).
const std::string& RunToken();

// The base folder of every TempDir (BRINDLE_TEST_TMP, or the system's temp directory).
std::filesystem::path TestTempBase();

// Reads a whole file into a string; empty when missing.
std::string slurp(const std::filesystem::path& path);
// Writes a whole file (test set-up, not atomic).
void spit(const std::filesystem::path& path, const std::string& bytes);

}  // namespace brindle::test
