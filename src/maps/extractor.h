// The external extractor (7-Zip's command-line program, installed as qdata/7zip/q_unbz2): its
// command line, whether one runs, and how its output is put into place.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/program_folder.h"

namespace brindle {

struct AppState;

// The extractor's file name in qdata/7zip (q_unbz2, q_unbz2.exe on Windows).
inline constexpr std::string_view kExtractorName = kExtractorFileName;

// The extractor this program runs (ExtractorFile: the program folder's, or for an installed
// program without one, the one installed with it).
std::string ExtractorPath(const AppState& state);

// q_unbz2 x "<archive>" -o"<target>" -aoa: extract with full paths into target, overwriting.
std::string ExtractorCommandLine(std::string_view archive, std::string_view target);
// The same as the arguments the program is started with, each whole (a path holding a double
// quote stays one argument), and with `type` as -tTYPE when given: a compressed map is opened as
// bzip2 only, whatever its contents claim to be.
std::vector<std::string> ExtractorArguments(std::string_view archive, std::string_view target,
                                            std::string_view type = {});

// The arguments of a command line as the Windows start-up code splits it: blanks separate,
// double quotes group and are removed (so -o"C:\x y\" is one argument -oC:\x y\).
std::vector<std::string> SplitCommandLine(std::string_view command_line);

// True when a process named like the extractor runs on this machine, whoever started it (the
// name of its executable, or the name it was started by, letter case ignored): q_unbz2, or the
// file name of `extractor` (the installed extractor's, which has a name of its own).
bool ExtractorProcessRunning(std::string_view extractor = {});

// Puts what the extractor wrote into `staging` in place under `target`: folders are merged,
// files replace their namesakes one rename at a time, all or nothing: when one cannot be put in
// place, the files already moved are taken back and the replaced ones restored. Refuses, moving
// nothing, when the staging folder holds a link or anything that is neither a file nor a folder
// (an archive's link could point anywhere). `reason` says why.
bool MoveStagedTree(const std::string& staging, const std::string& target, std::string* reason);

// Removes the staging folders in `target` that no running extraction uses: those of a program
// that no longer runs (a kill, a power cut) and this program's own that are not in `in_use`.
// Another running program's are left alone. Returns how many were removed.
int RemoveStaleStaging(const std::string& target, const std::vector<std::string>& in_use);

}  // namespace brindle
