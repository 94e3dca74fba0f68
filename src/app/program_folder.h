// Where a program keeps its files and which extractor it runs. A portable program (its own folder
// writable) keeps everything in its own folder; an installed one (a package's program in a system
// folder, a program unpacked where its user may not write) keeps its files in the user's data
// folder and runs the extractor installed with it.
#pragma once

#include <string>
#include <string_view>

namespace brindle {

struct AppState;

#ifdef _WIN32
inline constexpr std::string_view kExtractorFileName = "q_unbz2.exe";
#else
inline constexpr std::string_view kExtractorFileName = "q_unbz2";
#endif

// True when the executable's folder cannot be the program folder: this user may not write it, or
// it is the folder this build installs its programs into (a package's, which only the superuser
// writes and which must not fill with a player's files when the superuser runs the program).
bool ProgramRunsInstalled(const std::string& executable_dir);
// ProgramRunsInstalled of this program's own folder, decided at the first call: an installation
// does not change while the program runs.
bool ThisProgramRunsInstalled();

// The program folder when the command line names none: the executable's own folder for a portable
// program; the user's data folder (made when missing) for an installed one, or the executable's
// folder again when the system names no data folder.
std::string DefaultProgramFolder(const std::string& executable_dir, bool installed);

// The extractor start-up checks for and the installs run: the program folder's
// qdata/7zip/q_unbz2 (q_unbz2.exe on Windows); for an installed program whose program folder holds
// none, the one installed with the program, when there is one.
std::string ExtractorFile(const AppState& state);

}  // namespace brindle
