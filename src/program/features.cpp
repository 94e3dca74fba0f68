#include "program/features.h"

#include "app/actions.h"
#include "app/core.h"
#include "app/endpoints.h"
#include "maps/map_dictionary.h"
#include "servers/favourites_view.h"
#include "servers/query_engine.h"
#include "servers/server_list_view.h"

namespace brindle {

void BindFeatures(Core& core) {
  BindCoreActions(core);
  InstallMapDictionary(core);
  BindQueryEngine(core);
  BindServerBrowser(core);
  BindFavourites(core);
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
