// The tools page: the Steam repair script and the key-binder page of the forum.
#pragma once

#include <functional>
#include <string>

#include "app/feature.h"

namespace brindle {

class Window;

// Key-binder page of the forum.
std::string KeyBinderUrl(const std::string& forum_base_url);

// Handler of the repair button. `program_dir` holds the repair script under qdata/tools/.
void RunSteamRepair(Window& window, const std::string& program_dir);

// Handlers of the two key-binder buttons. `open_forum_page` switches the main window to the
// forum page; it is called first when `switch_page` is true and the built-in browser is chosen.
void OpenKeyBinder(Window& window, const std::string& forum_base_url, bool switch_page,
                   const std::function<void()>& open_forum_page);

class ToolsFeature final : public Feature {
 public:
  const char* name() const override { return "tools"; }
  void Bind(Core& core) override;
};

}  // namespace brindle
