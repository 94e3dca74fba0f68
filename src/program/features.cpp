#include "program/features.h"

#include <memory>

#include "account/account_feature.h"
#include "app/actions.h"
#include "app/core.h"
#include "app/endpoints.h"
#include "app/remote_config.h"
#include "app/version_check.h"
#include "maps/map_dictionary.h"
#include "maps/map_downloads.h"
#include "maps/model_patch.h"
#include "maps/pre_download.h"
#include "servers/favourites_view.h"
#include "servers/query_engine.h"
#include "servers/server_list_view.h"
#include "tools/tools_feature.h"

namespace brindle {

void BindFeatures(Core& core) {
  // The order here is the order of start-up: the start-up clock starts the version check before
  // the live query; the initialisation thread loads the dictionary first, then the remote
  // configuration, then the automatic login.
  core.AddFeature(std::make_unique<CoreActions>());
  core.AddFeature(std::make_unique<MapDictionaryFeature>());
  core.AddFeature(std::make_unique<VersionCheckFeature>());
  core.AddFeature(std::make_unique<RemoteConfigurationFeature>());
  core.AddFeature(std::make_unique<AccountFeature>());
  core.AddFeature(std::make_unique<MapDownloadsFeature>());
  core.AddFeature(std::make_unique<ModelPatchFeature>());
  core.AddFeature(std::make_unique<PreDownloadFeature>());
  core.AddFeature(std::make_unique<QueryEngineFeature>());
  core.AddFeature(std::make_unique<ServerBrowserFeature>());
  core.AddFeature(std::make_unique<FavouritesFeature>());
  core.AddFeature(std::make_unique<ToolsFeature>());
}

bool StartProgram(Core& core, const CommandLine& command_line, int& exit_code) {
  if (!core.Prepare(command_line)) {
    exit_code = 1;
    return false;
  }
  bool ok = false;
  core.window().RunOnUi([&] {
    BindFeatures(core);
    ok = core.OnMainWindowCreated();
    if (ok) core.window().StartClock(names::kClockStartup);
  });
  exit_code = 0;
  return ok;
}

}  // namespace brindle
