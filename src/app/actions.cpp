#include "app/actions.h"

#include "app/core.h"
#include "app/installation.h"

namespace brindle {

void CoreActions::Bind(Core& core) {
  Window& w = core.window();
  const std::pair<const char*, int> pages[] = {{names::kNavDownload, names::kDownloadPage},
                                               {names::kNavServers, names::kServerPage},
                                               {names::kNavFavourites, names::kFavouritesPage},
                                               {names::kNavForum, names::kForumPage},
                                               {names::kNavTools, names::kToolsPage}};
  for (auto [button, page] : pages) {
    w.Bind(button, [&core, page = page] { core.ShowPage(page); });
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
  w.Bind(names::kAutoExtract, [&core] {
    core.OnAutoExtractSwitch(core.window().controls().Checked(names::kAutoExtract));
  });
  BindInstallation(core);
}

}  // namespace brindle
