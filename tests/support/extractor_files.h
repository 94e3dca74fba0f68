// The extractor where start-up looks for it (qdata/7zip), as each system names it: q_unbz2 (7-Zip's
// 7zz) on Linux; q_unbz2.exe and the 7z.dll it loads on Windows.
#pragma once

#include <filesystem>
#include <string>

namespace brindle::test {

// The extractor's file in `seven_zip_dir`.
std::filesystem::path ExtractorFile(const std::filesystem::path& seven_zip_dir);
// Makes the folder and puts the real extractor there: a link to /usr/bin/7zz on Linux; under Wine
// the stand-in that hands its work to the native 7zz (7-Zip's Windows build is not at hand),
// with a 7z.dll beside it. False when it could not be put in place.
bool InstallRealExtractor(const std::filesystem::path& seven_zip_dir);
// Files that satisfy start-up's check and extract nothing: an empty shell script on Linux, an
// empty q_unbz2.exe and 7z.dll on Windows.
void InstallPlaceholderExtractor(const std::filesystem::path& seven_zip_dir);

}  // namespace brindle::test
