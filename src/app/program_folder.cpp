#include "app/program_folder.h"

#include "app/app_state.h"
#include "app/endpoints.h"
#include "platform/folders.h"
#include "platform/platform.h"

namespace brindle {

bool ProgramRunsInstalled(const std::string& executable_dir) {
  if (executable_dir.empty()) return false;  // nothing known: the program folder stays as it was
#ifdef BRINDLE_INSTALL_BIN_DIR
  if (executable_dir == BRINDLE_INSTALL_BIN_DIR) return true;
#endif
  return !platform::folder_writable(executable_dir);
}

bool ThisProgramRunsInstalled() {
  static const bool installed = ProgramRunsInstalled(ExecutableDir());
  return installed;
}

std::string DefaultProgramFolder(const std::string& executable_dir, bool installed) {
  if (!installed) return executable_dir;
  std::string folder = platform::user_program_folder();
  return folder.empty() ? executable_dir : folder;
}

std::string ExtractorFile(const AppState& state) {
  const char sep = platform::path_separator();
  std::string own = state.data_dir + sep + "7zip" + sep + std::string(kExtractorFileName);
  if (platform::file_exists(own) || !ThisProgramRunsInstalled()) return own;
  std::string installed = platform::installed_extractor();
  return installed.empty() ? own : installed;
}

}  // namespace brindle
