// The extractor where start-up looks for it (qdata/7zip), as each system names it: q_unbz2 (7-Zip's
// 7zz) on Linux; q_unbz2.exe and the 7z.dll it loads on Windows.
#pragma once

#include <filesystem>
#include <string>

namespace brindle::test {

// The extractor's file in `seven_zip_dir`.
std::filesystem::path ExtractorFile(const std::filesystem::path& seven_zip_dir);
// Makes the folder and puts the real extractor there: a link to /usr/bin/7zz on Linux; on Windows
// 7-Zip's console program and its 7z.dll. False when it could not be put in place.
bool InstallRealExtractor(const std::filesystem::path& seven_zip_dir);
// What an extractor stand-in does when started, in this order. The -o argument names the folder
// it writes into, as 7-Zip's does.
struct ExtractorActions {
  std::filesystem::path record;    // when set: the arguments, one a line, then the working folder
  std::string map;                 // when set: a file of this name written into the -o folder ...
  std::string bytes;               // ... holding this text
  std::string link;                // when set: a link of this name to the root, in the -o folder
  std::filesystem::path wait_for;  // when set: then waits until this file exists
  int exit_code = 0;
};
// Puts a stand-in doing `actions` where start-up looks for the extractor: a shell script on
// Linux; on Windows the tests' own program (tests/support/win32/extractor_stand_in.cpp) with its
// directions beside it. Replaces what was there.
bool InstallExtractorStandIn(const std::filesystem::path& seven_zip_dir,
                             const ExtractorActions& actions);
// Whether a link made as the stand-in makes one (in `scratch`) reads back as a link: Wine 8's
// CreateSymbolicLinkW reports success and makes nothing, and Windows refuses it without the right
// to make links.
bool SystemMakesLinks(const std::filesystem::path& scratch);

// Files that satisfy start-up's check and extract nothing: an empty shell script on Linux, an
// empty q_unbz2.exe and 7z.dll on Windows.
void InstallPlaceholderExtractor(const std::filesystem::path& seven_zip_dir);

}  // namespace brindle::test
