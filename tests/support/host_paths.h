// Paths shared with the programs that stay native when the tests run as Windows programs under
// Wine (brindle-sim, the shell, 7zz): they name the same file by its Unix name. On Linux both
// names are the same text.
#pragma once

#include <string>

namespace brindle::test {

// The Unix name of `path` for a native program; `path` itself where it has none (a relative
// path, or a drive that is not mapped).
std::string NativePath(const std::string& path);
// The name this program uses for the native program's absolute `path` ("/tmp/x" -> "Z:\tmp\x").
std::string HostPath(const std::string& native_path);
// This program runs as a Windows program under Wine (never on Linux itself).
bool UnderWine();

}  // namespace brindle::test
