#include "app/app_state.h"

#include "platform/platform.h"

namespace brindle {

std::string SettingsFilePath(const AppState& state) {
  if (state.data_dir.empty()) return {};
  return state.data_dir + platform::path_separator() + "Config2.ini";
}

}  // namespace brindle
