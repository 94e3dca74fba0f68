// The external extractor (7-Zip's command-line program, installed as qdata/7zip/q_unbz2): its
// command line, whether one runs, and how its output is put into place.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace brindle {

struct AppState;

#ifdef _WIN32
inline constexpr std::string_view kExtractorName = "q_unbz2.exe";
#else
inline constexpr std::string_view kExtractorName = "q_unbz2";
#endif

// data_dir + "/7zip/" + the extractor's name.
std::string ExtractorPath(const AppState& state);

// q_unbz2 x "<archive>" -o"<target>" -aoa: extract with full paths into target, overwriting.
std::string ExtractorCommandLine(std::string_view archive, std::string_view target);

// The arguments of a command line as the Windows start-up code splits it: blanks separate,
// double quotes group and are removed (so -o"C:\x y\" is one argument -oC:\x y\).
std::vector<std::string> SplitCommandLine(std::string_view command_line);

// True when a process named like the extractor runs on this machine, whoever started it (the
// name of its executable, or the name it was started by, letter case ignored).
bool ExtractorProcessRunning();

// Puts what the extractor wrote into `staging` in place under `target`: folders are merged,
// files replace their namesakes one rename at a time. Refuses, moving nothing, when the staging
// folder holds a link or anything that is neither a file nor a folder (an archive's link could
// point anywhere). `reason` says why.
bool MoveStagedTree(const std::string& staging, const std::string& target, std::string* reason);

}  // namespace brindle
