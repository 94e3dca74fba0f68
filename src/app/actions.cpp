#include "app/actions.h"

#include "app/core.h"
#include "app/installation.h"
#include "tools/process_tools.h"

namespace brindle {

void BindCoreActions(Core& core) {
  Window& w = core.window();
  const std::pair<const char*, int> pages[] = {
      {names::kNavDownload, names::kDownloadPage}, {names::kNavServers, names::kServerPage},
      {names::kNavFavourites, names::kFavouritesPage}, {names::kNavForum, names::kForumPage},
      {names::kNavTools, names::kToolsPage}};
  for (auto [button, page] : pages) {
    w.Bind(button, [&core, page = page] {
      if (!core.window().RequireInitialised(core.state().initialised)) return;
      core.window().controls().SetVisible(names::kPlayerPanel, false);
      core.window().SelectPage(page);
      if (auto& hook = core.page_shown[static_cast<std::size_t>(page)]) hook();
    });
  }
  const char* modes[] = {names::kLaunchAuto, names::kLaunchSteam, names::kLaunchSteamRunAppid,
                         names::kLaunchSteamChina, names::kLaunchCs2};
  for (int i = 0; i < 5; ++i) {
    w.Bind(modes[i], [&core, i] { core.OnLaunchModeChosen(i + 1); });
  }
  w.Bind(names::kRegionChina, [&core] { core.OnRegionChosen(1); });
  w.Bind(names::kRegionWorld, [&core] { core.OnRegionChosen(2); });
  w.Bind(names::kPreDownloadSwitch, [&core] {
    core.OnPreDownloadSwitch(core.window().controls().Checked(names::kPreDownloadSwitch));
  });
  BindInstallation(w);

  w.Bind(names::kVacFix, [&core] { RunSteamRepair(core.window(), core.state().program_dir); });
  auto key_binder = [&core](bool switch_page) {
    std::string forum;
    {
      std::lock_guard lock(core.state().mutex);
      forum = core.state().forum_base_url;
    }
    OpenKeyBinder(core.window(), forum, switch_page, [&core] { core.window().Activate(names::kNavForum); });
  };
  w.Bind(names::kBindKeys, [key_binder] { key_binder(true); });
  w.Bind(names::kBindKeysForum, [key_binder] { key_binder(false); });
}

}  // namespace brindle
